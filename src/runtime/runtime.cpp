#include "runtime/runtime.hpp"

namespace trelliken {

Runtime::Runtime(std::size_t workers) : context_(static_cast<int>(workers ? workers : std::max(1u, std::thread::hardware_concurrency()))) {
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  work_.emplace(context_.get_executor());
  threads_.reserve(workers);
  for (std::size_t i = 0; i < workers; ++i) {
    threads_.emplace_back([this] { context_.run(); });
  }
}

Runtime::~Runtime() {
  work_.reset();
  context_.stop();
  for (auto& t : threads_) t.join();
}

}  // namespace trelliken
