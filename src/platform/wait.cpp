#include "platform/wait.hpp"

#include <cstdint>

namespace trelliken::platform {

WaitOutcome wait_for(const Instance& instance, WGPUFuture future, std::optional<std::chrono::nanoseconds> limit) {
  WGPUFutureWaitInfo info{future, 0};
  const std::uint64_t timeout_ns =
      limit ? static_cast<std::uint64_t>(std::max<std::int64_t>(0, limit->count())) : UINT64_MAX;
  switch (wgpuInstanceWaitAny(instance.get(), 1, &info, timeout_ns)) {
    case WGPUWaitStatus_Success: return info.completed ? WaitOutcome::Completed : WaitOutcome::Failed;
    case WGPUWaitStatus_TimedOut: return WaitOutcome::TimedOut;
    default: return WaitOutcome::Failed;
  }
}

}  // namespace trelliken::platform
