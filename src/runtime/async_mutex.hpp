#pragma once
// A mutex that coroutines wait for without blocking a worker thread.

#include <asio/awaitable.hpp>
#include <asio/experimental/concurrent_channel.hpp>
#include <asio/use_awaitable.hpp>

#include <utility>

namespace trelliken {

/// Single-holder mutex for coroutines. Holding it is a token in a one-slot channel: locking
/// sends the token (suspending while the slot is full), unlocking takes it out again.
class AsyncMutex {
 public:
  /// Unlocks on destruction.
  class Guard {
   public:
    explicit Guard(AsyncMutex* m) noexcept : mutex_(m) {}
    Guard(Guard&& o) noexcept : mutex_(std::exchange(o.mutex_, nullptr)) {}
    Guard& operator=(Guard&&) = delete;
    ~Guard() {
      if (mutex_) mutex_->unlock();
    }

   private:
    AsyncMutex* mutex_;
  };

  template <typename Executor>
  explicit AsyncMutex(Executor ex) : slot_(std::move(ex), 1) {}

  /// Waits, without blocking the thread, until the mutex is free, then holds it.
  asio::awaitable<Guard> lock() {
    co_await slot_.async_send(asio::error_code{}, true, asio::use_awaitable);
    co_return Guard(this);
  }

  /// Holds the mutex if it is free right now.
  [[nodiscard]] bool try_lock() { return slot_.try_send(asio::error_code{}, true); }

  void unlock() {
    slot_.try_receive([](asio::error_code, bool) {});
  }

 private:
  asio::experimental::concurrent_channel<void(asio::error_code, bool)> slot_;
};

}  // namespace trelliken
