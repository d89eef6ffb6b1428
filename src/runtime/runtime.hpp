#pragma once
// The async runtime: a multi-threaded Asio scheduler with one worker per online processor, on
// which the program runs its body as one task while the main thread waits for it.

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include <cstddef>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace trelliken {

/// Owns the scheduler and its worker threads; joins them on destruction.
class Runtime {
 public:
  /// A runtime with `workers` threads (0: one per online processor).
  explicit Runtime(std::size_t workers = 0);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  [[nodiscard]] asio::io_context& context() noexcept { return context_; }
  [[nodiscard]] std::size_t worker_count() const noexcept { return threads_.size(); }

  /// Runs `task` on the runtime and blocks the calling thread until it ends.
  template <typename T>
  T block_on(asio::awaitable<T> task) {
    auto future = asio::co_spawn(context_, std::move(task), asio::use_future);
    return future.get();
  }

 private:
  asio::io_context context_;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  std::vector<std::thread> threads_;
};

}  // namespace trelliken
