#include "ui/console/ticker.h"

#include <chrono>
#include <system_error>

namespace plc {

void ElapsedTicker::Start() {
  Stop();
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = false;
  }
  // Without a thread the seconds stand still; the run goes on.
  try {
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> hold(lock_);
      while (!wake_.wait_for(hold, std::chrono::seconds(1), [this] { return stop_; })) {
        // Added under the lock: once Stop has returned no second is added,
        // so the engine's reset to 0 stays 0.
        run_.elapsedTime += 1;
      }
    });
  } catch (const std::system_error&) {
  }
}

void ElapsedTicker::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace plc
