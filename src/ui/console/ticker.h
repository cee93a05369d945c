// The elapsed-seconds count of a burn, kept by a thread of its own as the
// window's timer keeps it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "state/run.h"

namespace plc {

// Adds a second to the run's elapsedTime every second from Start until Stop.
class ElapsedTicker {
 public:
  explicit ElapsedTicker(Run& run) : run_(run) {}
  ElapsedTicker(const ElapsedTicker&) = delete;
  ElapsedTicker& operator=(const ElapsedTicker&) = delete;
  ~ElapsedTicker() { Stop(); }
  void Start();
  void Stop();

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
  Run& run_;
};

}  // namespace plc
