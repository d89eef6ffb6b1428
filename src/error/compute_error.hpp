#pragma once
// The library's one error type and the Result alias every fallible function returns.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

namespace trelliken {

/// A tensor shape: sizes per dimension.
using Shape = std::vector<std::size_t>;

/// The payload of each error kind. Kinds with one unnamed payload hold it as `text`.
namespace error_kinds {
struct Device { std::string text; };
struct ShapeMismatch { Shape expected; Shape actual; };
struct InvalidShape { Shape expected; Shape actual; };
struct InvalidOperation { std::string op; std::string reason; };
struct Gpu { std::string text; };
struct DeviceLost { std::string text; };
/// The text is shared: copies of the error point at the same immutable buffer.
struct ShaderCompilation { std::shared_ptr<const std::string> text; };
struct OutOfMemory { std::string text; };
struct UnsupportedOperation { std::string op; std::string device; };
struct InvalidInput { std::string message; };
struct ExecutionError { std::string message; };
struct DeviceNotAvailable { std::string device; std::string reason; };
struct NoAvailableExecutor { std::string operation; };
struct Internal { std::string text; };
struct Numerical { std::string message; };
struct ResourceExhausted { std::string text; };
struct DeviceLimitExceeded { std::string message; std::uint64_t requested_bytes; std::uint64_t safe_limit_bytes; };
struct NotImplemented { std::string feature; };
/// `from_type` and `to_type` name numeric types and point at static texts.
struct CastOverflow { std::string_view from_type; std::string_view to_type; std::string value_description; };
struct PrecisionLoss { std::string_view from_type; std::string_view to_type; std::string value_description; };
struct Io { std::string context; std::error_code source; };
struct Json { std::string context; std::string detail; };
}  // namespace error_kinds

/// The error of every fallible library operation: a closed set of kinds, each with a fixed
/// display message. Callers match on `kind()` where they react and print `message()` otherwise.
class ComputeError {
 public:
  /// The kinds, in declaration order.
  enum class Kind : std::uint8_t {
    Device, ShapeMismatch, InvalidShape, InvalidOperation, Gpu, DeviceLost, ShaderCompilation,
    OutOfMemory, UnsupportedOperation, InvalidInput, ExecutionError, DeviceNotAvailable,
    NoAvailableExecutor, Internal, Numerical, ResourceExhausted, DeviceLimitExceeded, NotImplemented,
    CastOverflow, PrecisionLoss, Io, Json,
  };

  using Payload = std::variant<
      error_kinds::Device, error_kinds::ShapeMismatch, error_kinds::InvalidShape, error_kinds::InvalidOperation,
      error_kinds::Gpu, error_kinds::DeviceLost, error_kinds::ShaderCompilation, error_kinds::OutOfMemory,
      error_kinds::UnsupportedOperation, error_kinds::InvalidInput, error_kinds::ExecutionError,
      error_kinds::DeviceNotAvailable, error_kinds::NoAvailableExecutor, error_kinds::Internal,
      error_kinds::Numerical, error_kinds::ResourceExhausted, error_kinds::DeviceLimitExceeded,
      error_kinds::NotImplemented, error_kinds::CastOverflow, error_kinds::PrecisionLoss, error_kinds::Io,
      error_kinds::Json>;

  template <typename P>
    requires std::is_constructible_v<Payload, P&&>
  ComputeError(P&& payload) : payload_(std::forward<P>(payload)) {}

  // Constructors by kind, for the common cases.
  [[nodiscard]] static ComputeError device(std::string text) { return error_kinds::Device{std::move(text)}; }
  [[nodiscard]] static ComputeError shape_mismatch(Shape expected, Shape actual) {
    return error_kinds::ShapeMismatch{std::move(expected), std::move(actual)};
  }
  [[nodiscard]] static ComputeError invalid_operation(std::string op, std::string reason) {
    return error_kinds::InvalidOperation{std::move(op), std::move(reason)};
  }
  [[nodiscard]] static ComputeError gpu(std::string text) { return error_kinds::Gpu{std::move(text)}; }
  [[nodiscard]] static ComputeError device_lost(std::string text) { return error_kinds::DeviceLost{std::move(text)}; }
  [[nodiscard]] static ComputeError shader_compilation(std::string text) {
    return error_kinds::ShaderCompilation{std::make_shared<const std::string>(std::move(text))};
  }
  [[nodiscard]] static ComputeError invalid_input(std::string message) {
    return error_kinds::InvalidInput{std::move(message)};
  }
  [[nodiscard]] static ComputeError execution(std::string message) {
    return error_kinds::ExecutionError{std::move(message)};
  }
  [[nodiscard]] static ComputeError internal(std::string text) { return error_kinds::Internal{std::move(text)}; }
  [[nodiscard]] static ComputeError resource_exhausted(std::string text) {
    return error_kinds::ResourceExhausted{std::move(text)};
  }
  [[nodiscard]] static ComputeError io(std::string context, std::error_code source) {
    return error_kinds::Io{std::move(context), source};
  }
  [[nodiscard]] static ComputeError json(std::string context, std::string detail) {
    return error_kinds::Json{std::move(context), std::move(detail)};
  }

  [[nodiscard]] Kind kind() const noexcept { return static_cast<Kind>(payload_.index()); }
  [[nodiscard]] const Payload& payload() const noexcept { return payload_; }
  /// The payload as kind P, or nullptr when the error is of another kind.
  template <typename P>
  [[nodiscard]] const P* as() const noexcept { return std::get_if<P>(&payload_); }

  /// The human-readable display message of the kind.
  [[nodiscard]] std::string message() const;
  /// The diagnostic rendering: kind name and fields, texts quoted and escaped.
  [[nodiscard]] std::string debug() const;

 private:
  Payload payload_;
};

/// The name of a kind as written in debug renderings ("DeviceLost", ...).
[[nodiscard]] std::string_view kind_name(ComputeError::Kind kind) noexcept;

/// A shape as "[64, 64]".
[[nodiscard]] std::string format_shape(const Shape& shape);

template <typename T>
using Result = std::expected<T, ComputeError>;

/// Shorthand for returning an error from a function that returns Result<T>.
[[nodiscard]] inline std::unexpected<ComputeError> fail(ComputeError e) { return std::unexpected(std::move(e)); }

}  // namespace trelliken
