// The replug and power-cycle prompt of a run of several PLCs, asked once
// for the PLCs that wait at it rather than once per PLC: the user replugs
// them all, then presses Enter once.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace plc {

class PromptGate {
 public:
  // Asks the user on behalf of the workers waiting (their numbers, in
  // order); true when answered, false when nobody can answer (end of input).
  using Ask = std::function<bool(const std::vector<int>& waiting)>;

  PromptGate(int workers, Ask ask);

  // Worker w is at its prompt.  Blocks until every worker still at work
  // has come to its prompt too (or ended), then one of the waiting threads
  // asks once for them all; returns the answer.
  bool Wait(int w);
  // Worker w has ended: the others no longer wait for it.
  void Done(int w);

 private:
  enum class State { kBefore, kWaiting, kPast, kDone };
  bool ReadyLocked() const;

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<State> states_;
  std::vector<bool> answers_;
  bool asking_ = false;
  Ask ask_;
};

}  // namespace plc
