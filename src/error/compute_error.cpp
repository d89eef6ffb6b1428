#include "error/compute_error.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <array>

namespace trelliken {

namespace {

using namespace error_kinds;

constexpr std::array<std::string_view, 22> kKindNames = {
    "Device", "ShapeMismatch", "InvalidShape", "InvalidOperation", "Gpu", "DeviceLost", "ShaderCompilation",
    "OutOfMemory", "UnsupportedOperation", "InvalidInput", "ExecutionError", "DeviceNotAvailable",
    "NoAvailableExecutor", "Internal", "Numerical", "ResourceExhausted", "DeviceLimitExceeded", "NotImplemented",
    "CastOverflow", "PrecisionLoss", "Io", "Json",
};
static_assert(kKindNames.size() == std::variant_size_v<ComputeError::Payload>);

struct DisplayVisitor {
  std::string operator()(const Device& e) const { return fmt::format("Device error: {}", e.text); }
  std::string operator()(const ShapeMismatch& e) const {
    return fmt::format("Shape mismatch: expected {}, got {}", format_shape(e.expected), format_shape(e.actual));
  }
  std::string operator()(const InvalidShape& e) const {
    return fmt::format("Invalid shape: expected {}, got {}", format_shape(e.expected), format_shape(e.actual));
  }
  std::string operator()(const InvalidOperation& e) const {
    return fmt::format("Invalid operation: {} - {}", e.op, e.reason);
  }
  std::string operator()(const Gpu& e) const { return fmt::format("GPU error: {}", e.text); }
  std::string operator()(const DeviceLost& e) const { return fmt::format("GPU device lost: {}", e.text); }
  std::string operator()(const ShaderCompilation& e) const {
    return fmt::format("Shader compilation error: {}", e.text ? std::string_view(*e.text) : std::string_view());
  }
  std::string operator()(const OutOfMemory& e) const { return fmt::format("Out of memory: {}", e.text); }
  std::string operator()(const UnsupportedOperation& e) const {
    return fmt::format("Operation not supported on device: {} on {}", e.op, e.device);
  }
  std::string operator()(const InvalidInput& e) const { return fmt::format("Invalid input: {}", e.message); }
  std::string operator()(const ExecutionError& e) const { return fmt::format("Execution error: {}", e.message); }
  std::string operator()(const DeviceNotAvailable& e) const {
    return fmt::format("Device not available: {} - {}", e.device, e.reason);
  }
  std::string operator()(const NoAvailableExecutor& e) const {
    return fmt::format("No available executor for operation: {}", e.operation);
  }
  std::string operator()(const Internal& e) const { return fmt::format("Internal error: {}", e.text); }
  std::string operator()(const Numerical& e) const { return fmt::format("Numerical error: {}", e.message); }
  std::string operator()(const ResourceExhausted& e) const { return fmt::format("Resource exhausted: {}", e.text); }
  std::string operator()(const DeviceLimitExceeded& e) const {
    return fmt::format("Device limit exceeded: {} (requested {} bytes, safe limit {} bytes)", e.message,
                       e.requested_bytes, e.safe_limit_bytes);
  }
  std::string operator()(const NotImplemented& e) const { return fmt::format("Not implemented: {}", e.feature); }
  std::string operator()(const CastOverflow& e) const {
    return fmt::format("Cast overflow: {} \u2192 {} ({})", e.from_type, e.to_type, e.value_description);
  }
  std::string operator()(const PrecisionLoss& e) const {
    return fmt::format("Precision loss: {} \u2192 {} ({})", e.from_type, e.to_type, e.value_description);
  }
  std::string operator()(const Io& e) const { return fmt::format("IO error: {}", e.context); }
  std::string operator()(const Json& e) const { return fmt::format("JSON error: {}", e.context); }
};

// Quoted and escaped like a diagnostic string literal: control characters never reach a terminal raw.
std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          out += fmt::format("\\u{{{:x}}}", c);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

// Builds "Name { a: x, b: y }".
class Fields {
 public:
  explicit Fields(std::string_view name) : out_(name) {}
  Fields& text(std::string_view field, std::string_view value) { return add(field, quoted(value)); }
  Fields& shape(std::string_view field, const Shape& value) { return add(field, format_shape(value)); }
  Fields& number(std::string_view field, std::uint64_t value) { return add(field, fmt::format("{}", value)); }
  Fields& raw(std::string_view field, std::string_view value) { return add(field, value); }
  std::string done() { return out_ + " }"; }

 private:
  Fields& add(std::string_view field, std::string_view value) {
    out_ += first_ ? " { " : ", ";
    first_ = false;
    out_ += field;
    out_ += ": ";
    out_ += value;
    return *this;
  }
  std::string out_;
  bool first_ = true;
};

std::string tuple(std::string_view name, std::string_view text) { return fmt::format("{}({})", name, quoted(text)); }

struct DebugVisitor {
  std::string operator()(const Device& e) const { return tuple("Device", e.text); }
  std::string operator()(const ShapeMismatch& e) const {
    return Fields("ShapeMismatch").shape("expected", e.expected).shape("actual", e.actual).done();
  }
  std::string operator()(const InvalidShape& e) const {
    return Fields("InvalidShape").shape("expected", e.expected).shape("actual", e.actual).done();
  }
  std::string operator()(const InvalidOperation& e) const {
    return Fields("InvalidOperation").text("op", e.op).text("reason", e.reason).done();
  }
  std::string operator()(const Gpu& e) const { return tuple("Gpu", e.text); }
  std::string operator()(const DeviceLost& e) const { return tuple("DeviceLost", e.text); }
  std::string operator()(const ShaderCompilation& e) const {
    return tuple("ShaderCompilation", e.text ? std::string_view(*e.text) : std::string_view());
  }
  std::string operator()(const OutOfMemory& e) const { return tuple("OutOfMemory", e.text); }
  std::string operator()(const UnsupportedOperation& e) const {
    return Fields("UnsupportedOperation").text("op", e.op).text("device", e.device).done();
  }
  std::string operator()(const InvalidInput& e) const { return Fields("InvalidInput").text("message", e.message).done(); }
  std::string operator()(const ExecutionError& e) const {
    return Fields("ExecutionError").text("message", e.message).done();
  }
  std::string operator()(const DeviceNotAvailable& e) const {
    return Fields("DeviceNotAvailable").text("device", e.device).text("reason", e.reason).done();
  }
  std::string operator()(const NoAvailableExecutor& e) const {
    return Fields("NoAvailableExecutor").text("operation", e.operation).done();
  }
  std::string operator()(const Internal& e) const { return tuple("Internal", e.text); }
  std::string operator()(const Numerical& e) const { return Fields("Numerical").text("message", e.message).done(); }
  std::string operator()(const ResourceExhausted& e) const { return tuple("ResourceExhausted", e.text); }
  std::string operator()(const DeviceLimitExceeded& e) const {
    return Fields("DeviceLimitExceeded")
        .text("message", e.message)
        .number("requested_bytes", e.requested_bytes)
        .number("safe_limit_bytes", e.safe_limit_bytes)
        .done();
  }
  std::string operator()(const NotImplemented& e) const {
    return Fields("NotImplemented").text("feature", e.feature).done();
  }
  std::string operator()(const CastOverflow& e) const {
    return Fields("CastOverflow")
        .text("from_type", e.from_type)
        .text("to_type", e.to_type)
        .text("value_description", e.value_description)
        .done();
  }
  std::string operator()(const PrecisionLoss& e) const {
    return Fields("PrecisionLoss")
        .text("from_type", e.from_type)
        .text("to_type", e.to_type)
        .text("value_description", e.value_description)
        .done();
  }
  std::string operator()(const Io& e) const {
    std::string source = fmt::format("Os {{ code: {}, category: {}, message: {} }}", e.source.value(),
                                     quoted(e.source.category().name()), quoted(e.source.message()));
    return Fields("Io").text("context", e.context).raw("source", source).done();
  }
  std::string operator()(const Json& e) const {
    return Fields("Json").text("context", e.context).text("detail", e.detail).done();
  }
};

}  // namespace

std::string_view kind_name(ComputeError::Kind kind) noexcept { return kKindNames[static_cast<std::size_t>(kind)]; }

std::string format_shape(const Shape& shape) { return fmt::format("[{}]", fmt::join(shape, ", ")); }

std::string ComputeError::message() const { return std::visit(DisplayVisitor{}, payload_); }

std::string ComputeError::debug() const { return std::visit(DebugVisitor{}, payload_); }

}  // namespace trelliken
