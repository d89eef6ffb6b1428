#include "error/compute_error.hpp"

#include <gtest/gtest.h>

namespace trelliken {
namespace {

using namespace error_kinds;

struct Case {
  ComputeError error;
  ComputeError::Kind kind;
  std::string display;
  std::string debug;
};

std::vector<Case> cases() {
  return {
      {Device{"boom"}, ComputeError::Kind::Device, "Device error: boom", R"(Device("boom"))"},
      {ShapeMismatch{{4096}, {4095}}, ComputeError::Kind::ShapeMismatch, "Shape mismatch: expected [4096], got [4095]",
       "ShapeMismatch { expected: [4096], actual: [4095] }"},
      {InvalidShape{{2, 3}, {}}, ComputeError::Kind::InvalidShape, "Invalid shape: expected [2, 3], got []",
       "InvalidShape { expected: [2, 3], actual: [] }"},
      {InvalidOperation{"matmul", "requires 2D+ tensors, got shapes [4] and [4, 4]"},
       ComputeError::Kind::InvalidOperation,
       "Invalid operation: matmul - requires 2D+ tensors, got shapes [4] and [4, 4]",
       R"(InvalidOperation { op: "matmul", reason: "requires 2D+ tensors, got shapes [4] and [4, 4]" })"},
      {Gpu{"x"}, ComputeError::Kind::Gpu, "GPU error: x", R"(Gpu("x"))"},
      {DeviceLost{"cannot read buffer \u2014 device lost"}, ComputeError::Kind::DeviceLost,
       "GPU device lost: cannot read buffer \u2014 device lost", "DeviceLost(\"cannot read buffer \u2014 device lost\")"},
      {ComputeError::shader_compilation("bad\ttoken"), ComputeError::Kind::ShaderCompilation,
       "Shader compilation error: bad\ttoken", R"(ShaderCompilation("bad\ttoken"))"},
      {OutOfMemory{"vram"}, ComputeError::Kind::OutOfMemory, "Out of memory: vram", R"(OutOfMemory("vram"))"},
      {UnsupportedOperation{"fft", "llvmpipe"}, ComputeError::Kind::UnsupportedOperation,
       "Operation not supported on device: fft on llvmpipe",
       R"(UnsupportedOperation { op: "fft", device: "llvmpipe" })"},
      {InvalidInput{"ComputeDispatch: shader source required"}, ComputeError::Kind::InvalidInput,
       "Invalid input: ComputeDispatch: shader source required",
       R"(InvalidInput { message: "ComputeDispatch: shader source required" })"},
      {ExecutionError{"GPU buffer mapping channel closed"}, ComputeError::Kind::ExecutionError,
       "Execution error: GPU buffer mapping channel closed",
       R"(ExecutionError { message: "GPU buffer mapping channel closed" })"},
      {DeviceNotAvailable{"gpu0", "busy"}, ComputeError::Kind::DeviceNotAvailable,
       "Device not available: gpu0 - busy", R"(DeviceNotAvailable { device: "gpu0", reason: "busy" })"},
      {NoAvailableExecutor{"conv"}, ComputeError::Kind::NoAvailableExecutor,
       "No available executor for operation: conv", R"(NoAvailableExecutor { operation: "conv" })"},
      {Internal{"oops"}, ComputeError::Kind::Internal, "Internal error: oops", R"(Internal("oops"))"},
      {Numerical{"nan"}, ComputeError::Kind::Numerical, "Numerical error: nan", R"(Numerical { message: "nan" })"},
      {ResourceExhausted{"Quota 'q': buffer count 2 at limit 2"}, ComputeError::Kind::ResourceExhausted,
       "Resource exhausted: Quota 'q': buffer count 2 at limit 2",
       R"(ResourceExhausted("Quota 'q': buffer count 2 at limit 2"))"},
      {DeviceLimitExceeded{"too big", 3000000000, 2147483647}, ComputeError::Kind::DeviceLimitExceeded,
       "Device limit exceeded: too big (requested 3000000000 bytes, safe limit 2147483647 bytes)",
       R"(DeviceLimitExceeded { message: "too big", requested_bytes: 3000000000, safe_limit_bytes: 2147483647 })"},
      {NotImplemented{"f128"}, ComputeError::Kind::NotImplemented, "Not implemented: f128",
       R"(NotImplemented { feature: "f128" })"},
      {CastOverflow{"f64", "u32", "1e20"}, ComputeError::Kind::CastOverflow, "Cast overflow: f64 \u2192 u32 (1e20)",
       R"(CastOverflow { from_type: "f64", to_type: "u32", value_description: "1e20" })"},
      {PrecisionLoss{"f64", "f32", "0.1"}, ComputeError::Kind::PrecisionLoss, "Precision loss: f64 \u2192 f32 (0.1)",
       R"(PrecisionLoss { from_type: "f64", to_type: "f32", value_description: "0.1" })"},
      {Json{"reading discovery", "line 1: \"unexpected\""}, ComputeError::Kind::Json, "JSON error: reading discovery",
       R"(Json { context: "reading discovery", detail: "line 1: \"unexpected\"" })"},
  };
}

TEST(ComputeError, DisplayAndDebugOfEveryKind) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.display);
    EXPECT_EQ(c.error.kind(), c.kind);
    EXPECT_EQ(c.error.message(), c.display);
    EXPECT_EQ(c.error.debug(), c.debug);
  }
}

TEST(ComputeError, IoShowsContextOnlyAndKeepsTheSource) {
  const auto e = ComputeError::io("opening socket", std::make_error_code(std::errc::connection_refused));
  EXPECT_EQ(e.kind(), ComputeError::Kind::Io);
  EXPECT_EQ(e.message(), "IO error: opening socket");
  ASSERT_NE(e.as<Io>(), nullptr);
  EXPECT_EQ(e.as<Io>()->source, std::errc::connection_refused);
  EXPECT_NE(e.debug().find("Io { context: \"opening socket\", source: Os { code: 111"), std::string::npos)
      << e.debug();
}

TEST(ComputeError, KindNamesFollowDeclarationOrder) {
  EXPECT_EQ(kind_name(ComputeError::Kind::Device), "Device");
  EXPECT_EQ(kind_name(ComputeError::Kind::Json), "Json");
  EXPECT_EQ(static_cast<int>(ComputeError::Kind::Json), 21);
}

TEST(ComputeError, ShaderCompilationCopiesShareTheText) {
  const auto a = ComputeError::shader_compilation("line 3: unknown identifier");
  const ComputeError b = a;
  EXPECT_EQ(a.as<ShaderCompilation>()->text.get(), b.as<ShaderCompilation>()->text.get());
}

TEST(ComputeError, DebugEscapesControlCharacters) {
  EXPECT_EQ(ComputeError(Gpu{"a\nb\\c\x01"}).debug(), "Gpu(\"a\\nb\\\\c\\u{1}\")");
}

}  // namespace
}  // namespace trelliken
