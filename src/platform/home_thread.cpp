#include "platform/home_thread.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace trelliken::platform {

namespace {

class HomeThread {
 public:
  HomeThread() { std::thread([this] { loop(); }).detach(); }

  void run(const std::function<void()>& work) {
    if (std::this_thread::get_id() == id_) {
      work();
      return;
    }
    bool done = false;
    std::unique_lock lock(mutex_);
    queue_.push_back([&] {
      work();
      std::lock_guard inner(mutex_);
      done = true;
      finished_.notify_all();
    });
    ready_.notify_one();
    finished_.wait(lock, [&] { return done; });
  }

 private:
  void loop() {
    id_ = std::this_thread::get_id();
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty(); });
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable finished_;
  std::deque<std::function<void()>> queue_;
  std::thread::id id_;
};

}  // namespace

void run_on_home_thread(const std::function<void()>& work) {
  // Deliberately never destroyed: the thread lives until the process ends.
  static HomeThread* home = new HomeThread();
  home->run(work);
}

}  // namespace trelliken::platform
