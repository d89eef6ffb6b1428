#pragma once
// Turns the implementation's asynchronous error reports into the device's sticky flags.

#include <atomic>
#include <memory>
#include <string_view>

namespace trelliken {

/// The two sticky flags of a device. They only ever go from false to true.
struct DeviceFlags {
  std::atomic<bool> device_lost{false};
  std::atomic<bool> out_of_memory{false};
};

/// What an uncaptured error text means for the device.
enum class ErrorClass { DeviceLost, OutOfMemory, Other };

/// Loss is recognised case-sensitively ("lost", "Lost", "Parent device"); memory exhaustion
/// case-insensitively ("out of memory", "allocation failed", "not enough memory"). Loss wins.
[[nodiscard]] ErrorClass classify_error_text(std::string_view text);

/// Applies an uncaptured error to the flags.
void handle_uncaptured_error(DeviceFlags& flags, std::string_view text);

}  // namespace trelliken
