// The translator's written WGSL on the real WebGPU implementation: every f32/u32 shader it writes
// back is accepted, and written-back kernels compute what the originals compute.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "ops/fhe_common/modular.hpp"
#include "platform/strings.hpp"
#include "platform/wait.hpp"
#include "shaders/embedded_wgsl.hpp"
#include "shaders/module.hpp"
#include "shaders/precision/downgrade.hpp"
#include "support/buffers.hpp"
#include "support/gpu.hpp"
#include "tensor/compute_dispatch.hpp"
#include "tensor/tensor.hpp"
#include "wgsl/parser/parse.h"
#include "wgsl/validator/validate.h"
#include "wgsl/writer/write.h"

namespace trelliken {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Parses, validates and writes back; empty on any translator error (reported as a failure).
std::string written_back(const std::string& source, const std::string& what) {
  auto module = wgsl::parse(source);
  if (!module) {
    ADD_FAILURE() << what << ": " << wgsl::render(module.error(), source);
    return {};
  }
  auto info = wgsl::validate(*module);
  if (!info) {
    ADD_FAILURE() << what << ": " << wgsl::render(info.error(), source);
    return {};
  }
  auto text = wgsl::write_wgsl(*module, *info);
  if (!text) {
    ADD_FAILURE() << what << ": " << wgsl::render(text.error(), source);
    return {};
  }
  return *text;
}

// Creates the module inside a validation error scope; the scope's error text, empty when none.
std::string module_errors(const GpuDevice& device, const std::string& text) {
  struct Outcome {
    WGPUErrorType type = WGPUErrorType_Unknown;
    std::string message;
  } outcome;
  platform::GlCallScope scope;
  wgpuDevicePushErrorScope(device.device().get(), WGPUErrorFilter_Validation);
  auto module = create_wgsl_module(device, text, "written back");
  WGPUPopErrorScopeCallbackInfo cb{};
  cb.mode = WGPUCallbackMode_WaitAnyOnly;
  cb.callback = [](WGPUPopErrorScopeStatus, WGPUErrorType type, WGPUStringView message, void* u1, void*) {
    auto* out = static_cast<Outcome*>(u1);
    out->type = type;
    out->message = platform::to_string(message);
  };
  cb.userdata1 = &outcome;
  const WGPUFuture future = wgpuDevicePopErrorScope(device.device().get(), cb);
  if (platform::wait_for(device.instance(), future, std::chrono::seconds(60)) != platform::WaitOutcome::Completed) {
    return "error scope did not complete";
  }
  return outcome.type == WGPUErrorType_NoError ? std::string() : outcome.message;
}

bool uses_wide_or_half_floats(const std::string& text) {
  return text.find("f64") != std::string::npos || text.find("f16") != std::string::npos;
}

TEST(WrittenWgsl, EveryF32AndU32ShaderIsAcceptedByTheDevice) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::vector<std::pair<std::string, std::string>> shaders;
  const fs::path root = TRELLIKEN_SOURCE_DIR;
  for (const auto& dir : {root / "tests/wgsl/corpus", root / "src"}) {
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (entry.path().extension() != ".wgsl" || entry.path().string().find("/src/wgsl/") != std::string::npos) continue;
      std::string text = read_file(entry.path());
      // f64-canonical kernels run downgraded; that is the text the device sees.
      if (mentions_f64_types(text)) text = downgrade_f64_to_f32(text);
      if (uses_wide_or_half_floats(text)) continue;
      shaders.emplace_back(fs::relative(entry.path(), root).string(), std::move(text));
    }
  }
  ASSERT_GE(shaders.size(), 10u);
  // The scope does catch a rejected module.
  ASSERT_NE(module_errors(*device, "@compute @workgroup_size(1) fn main() { let x: u32 = 1.5; }"), "");
  for (const auto& [name, text] : shaders) {
    SCOPED_TRACE(name);
    const std::string written = written_back(text, name);
    if (written.empty()) continue;
    EXPECT_EQ(module_errors(*device, written), "") << written;
  }
  EXPECT_FALSE(device->is_lost());
}

TEST(WrittenWgsl, WrittenBackKernelsComputeTheSameResults) {
  TRELLIKEN_REQUIRE_DEVICE(device);
  std::mt19937_64 rng(5);

  // Point-wise modular multiply with a large modulus.
  {
    const std::string original(embedded_wgsl("ops/fhe_pointwise_mul/pointwise_mul.wgsl"));
    const std::string written = written_back(original, "pointwise_mul");
    ASSERT_FALSE(written.empty());
    constexpr std::uint32_t n = 1000;
    const std::uint64_t q = 0xFFFFFFFF00000001ull;
    std::vector<std::uint64_t> a(n), b(n);
    for (auto& v : a) v = rng() % q;
    for (auto& v : b) v = rng() % q;
    const std::uint64_t mu = fhe::barrett_mu(q);
    auto run = [&](const std::string& source) {
      auto ta = Tensor::from_u64(a, device).value();
      auto tb = Tensor::from_u64(b, device).value();
      auto out = testing::buffer_with_words(*device, std::vector<std::uint32_t>(2 * n, 0));
      auto params = testing::buffer_with_words(
          *device, {n, static_cast<std::uint32_t>(q), static_cast<std::uint32_t>(q >> 32), static_cast<std::uint32_t>(mu),
                    static_cast<std::uint32_t>(mu >> 32), 0, 0, 0});
      EXPECT_TRUE(ComputeDispatch(device, "pointwise")
                      .shader(source, "main")
                      .storage_read(0, ta.buffer())
                      .storage_read(1, tb.buffer())
                      .storage_rw(2, out)
                      .uniform(3, params)
                      .dispatch((n + 255) / 256, 1, 1)
                      .submit());
      return device->read_buffer(out, 2 * n).value();
    };
    const auto want = run(original);
    EXPECT_EQ(run(written), want);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint64_t got = want[2 * i] | (std::uint64_t{want[2 * i + 1]} << 32);
      ASSERT_EQ(got, fhe::mul_mod(a[i], b[i], q)) << i;
    }
  }

  // Tiled matrix multiply after the downgrade.
  {
    const std::string original = downgrade_f64_to_f32(embedded_wgsl("ops/matmul/tiled16.wgsl"));
    const std::string written = written_back(original, "tiled16");
    ASSERT_FALSE(written.empty());
    constexpr std::uint32_t m = 37, k = 41, n = 29;
    std::vector<float> a(m * k), b(k * n);
    std::uniform_real_distribution<float> dist(-1, 1);
    for (auto& v : a) v = dist(rng);
    for (auto& v : b) v = dist(rng);
    auto run = [&](const std::string& source) {
      auto ta = Tensor::from_data(a, {m, k}, device).value();
      auto tb = Tensor::from_data(b, {k, n}, device).value();
      auto tc = Tensor::from_data(std::vector<float>(m * n, 0.0f), {m, n}, device).value();
      auto params = testing::buffer_with_words(*device, {m, k, n, 0});
      EXPECT_TRUE(ComputeDispatch(device, "tiled16")
                      .shader(source, "main")
                      .storage_read(0, ta.buffer())
                      .storage_read(1, tb.buffer())
                      .storage_rw(2, tc.buffer())
                      .uniform(3, params)
                      .dispatch((n + 15) / 16, (m + 15) / 16, 1)
                      .submit());
      return tc.to_vec().value();
    };
    EXPECT_EQ(run(written), run(original));
  }
}

}  // namespace
}  // namespace trelliken
