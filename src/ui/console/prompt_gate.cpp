#include "ui/console/prompt_gate.h"

#include <cstddef>
#include <utility>

namespace plc {

PromptGate::PromptGate(int workers, Ask ask)
    : states_(static_cast<size_t>(workers), State::kBefore),
      answers_(static_cast<size_t>(workers), false),
      ask_(std::move(ask)) {}

// A worker that has not reached its prompt yet may still come to it: asking
// before it does would make the user replug twice.  One that has passed its
// prompt is at work again and is not waited for.
bool PromptGate::ReadyLocked() const {
  bool someoneWaits = false;
  for (const State state : states_) {
    if (state == State::kBefore) return false;
    if (state == State::kWaiting) someoneWaits = true;
  }
  return someoneWaits;
}

bool PromptGate::Wait(int w) {
  const auto me = static_cast<size_t>(w);
  std::unique_lock<std::mutex> hold(lock_);
  states_[me] = State::kWaiting;
  changed_.notify_all();
  changed_.wait(hold, [&] { return states_[me] == State::kPast || (!asking_ && ReadyLocked()); });
  if (states_[me] == State::kPast) return answers_[me];
  // This thread asks for everyone waiting now.
  std::vector<int> waiting;
  for (size_t i = 0; i < states_.size(); ++i) {
    if (states_[i] == State::kWaiting) waiting.push_back(static_cast<int>(i));
  }
  asking_ = true;
  hold.unlock();
  const bool answered = ask_(waiting);
  hold.lock();
  asking_ = false;
  for (const int i : waiting) {
    states_[static_cast<size_t>(i)] = State::kPast;
    answers_[static_cast<size_t>(i)] = answered;
  }
  changed_.notify_all();
  return answered;
}

void PromptGate::Done(int w) {
  const std::lock_guard<std::mutex> hold(lock_);
  states_[static_cast<size_t>(w)] = State::kDone;
  changed_.notify_all();
}

}  // namespace plc
