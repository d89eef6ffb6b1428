#pragma once
// Waiting for the implementation's futures.

#include <chrono>
#include <optional>

#include "platform/handle.hpp"

namespace trelliken::platform {

enum class WaitOutcome { Completed, TimedOut, Failed };

/// Blocks until `future` completes, the time limit passes (none: wait as long as it takes), or
/// the implementation reports a failure of the wait itself. Callbacks registered in the
/// WaitAnyOnly mode run inside this call, on this thread.
[[nodiscard]] WaitOutcome wait_for(const Instance& instance, WGPUFuture future,
                                   std::optional<std::chrono::nanoseconds> limit);

}  // namespace trelliken::platform
