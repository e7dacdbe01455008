// Two stages of work over a sequence of parts, overlapped on two threads: a table
// row run is made (or read from its file) on one while the run before it is written
// out (or proven) on the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace vantrel {

class Pipeline {
 public:
  // Starts calling make(0), make(1), ... make(parts - 1) on a thread of its own.
  // make(k) waits until take has finished part k - ahead (ahead >= 1), so that part
  // k may reuse that part's memory. Where no thread can be started, take calls
  // make(k) itself, just before take(k).
  Pipeline(std::size_t parts, std::size_t ahead, std::function<void(std::size_t)> make)
      : parts_(parts), ahead_(ahead), make_(std::move(make)) {
    try {
      thread_ = std::thread([this] { make_all(); });
    } catch (const std::system_error&) {
      // (out of threads or of address space for a stack)
    }
  }
  // Stops making parts and waits for the thread; a part being made is finished.
  ~Pipeline() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Calls take(k) for every part in order, each once it is made, on this thread.
  // An exception from make(k) is thrown here after take has had every part before k;
  // one from take stops the making.
  void take_each(const std::function<void(std::size_t)>& take) {
    for (std::size_t k = 0; k < parts_; ++k) {
      if (!thread_.joinable()) {
        make_(k);
      } else {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return made_ > k || error_; });
        if (made_ <= k) std::rethrow_exception(error_);
      }
      take(k);
      {
        std::lock_guard lock(mutex_);
        taken_ = k + 1;
      }
      changed_.notify_all();
    }
  }

 private:
  void make_all() {
    try {
      for (std::size_t k = 0; k < parts_; ++k) {
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] { return stop_ || k < taken_ + ahead_; });
          if (stop_) return;
        }
        make_(k);
        {
          std::lock_guard lock(mutex_);
          made_ = k + 1;
        }
        changed_.notify_all();
      }
    } catch (...) {
      {
        std::lock_guard lock(mutex_);
        error_ = std::current_exception();
      }
      changed_.notify_all();
    }
  }

  const std::size_t parts_, ahead_;
  const std::function<void(std::size_t)> make_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t made_ = 0, taken_ = 0;  // parts made, parts taken
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread thread_;  // last: started once everything it uses is in place
};

}  // namespace vantrel
