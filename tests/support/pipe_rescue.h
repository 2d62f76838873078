#pragma once
// Named pipes without a writer, put where a reader must not wait on them. Should the reader wait
// after all, the guard lets it go after a while (each pipe is opened for writing and closed
// again, which ends a waiting read empty), so such a fault fails the test instead of hanging it.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace tolv::testing {

class PipeRescue {
 public:
  explicit PipeRescue(std::vector<std::filesystem::path> pipes,
                      std::chrono::milliseconds after = std::chrono::milliseconds(3000))
      : pipes_(std::move(pipes)), thread_([this, after] { run(after); }) {}
  ~PipeRescue() { stop(); }
  PipeRescue(const PipeRescue&) = delete;
  PipeRescue& operator=(const PipeRescue&) = delete;

  // Ends the watch; true when a reader had to be let go.
  bool stop() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stopped_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    return rescued_;
  }

 private:
  void run(std::chrono::milliseconds after) {
    std::unique_lock<std::mutex> lock(m_);
    if (cv_.wait_for(lock, after, [this] { return stopped_; })) return;
    while (!stopped_) {
      for (const auto& p : pipes_) {
        // Succeeds only while a reader waits on the pipe.
        const int fd = ::open(p.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
          ::close(fd);
          rescued_ = true;
        }
      }
      cv_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stopped_; });
    }
  }

  std::vector<std::filesystem::path> pipes_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stopped_ = false;
  std::atomic<bool> rescued_{false};
  std::thread thread_;
};

}  // namespace tolv::testing
