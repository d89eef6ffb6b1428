#pragma once
// A process-wide thread on which the WebGPU instance discovers adapters and opens devices.

#include <functional>

namespace trelliken::platform {

/// Runs `work` on the home thread and waits for it. The home thread never exits: drivers that
/// the implementation probes (and may unload again when they offer no usable adapter) leave
/// thread-exit hooks behind in the thread that probed them, and those hooks must never run.
void run_on_home_thread(const std::function<void()>& work);

}  // namespace trelliken::platform
