#include "device/gpu_device/error_handler.hpp"

#include <algorithm>
#include <cctype>
#include <string>

namespace trelliken {

ErrorClass classify_error_text(std::string_view text) {
  for (std::string_view needle : {"lost", "Lost", "Parent device"}) {
    if (text.find(needle) != std::string_view::npos) return ErrorClass::DeviceLost;
  }
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (std::string_view needle : {"out of memory", "allocation failed", "not enough memory"}) {
    if (lower.find(needle) != std::string::npos) return ErrorClass::OutOfMemory;
  }
  return ErrorClass::Other;
}

void handle_uncaptured_error(DeviceFlags& flags, std::string_view text) {
  switch (classify_error_text(text)) {
    case ErrorClass::DeviceLost: flags.device_lost.store(true, std::memory_order_release); break;
    case ErrorClass::OutOfMemory: flags.out_of_memory.store(true, std::memory_order_release); break;
    case ErrorClass::Other: break;
  }
}

}  // namespace trelliken
