// validate_gpu run as a process, and its report texts.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "bin/validate_gpu/report.hpp"
#include "bin/validate_gpu/validation.hpp"
#include "support/gpu.hpp"
#include "support/process.hpp"

namespace trelliken {
namespace {

using namespace std::chrono_literals;
using validation::format_duration;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DurationFormat, TwoDecimalsHalfUpWithoutChangingUnit) {
  const struct {
    std::chrono::nanoseconds d;
    const char* want;
  } cases[] = {
      {0ns, "0.00ns"},
      {999ns, "999.00ns"},
      {1000ns, "1.00\u00b5s"},
      {1005ns, "1.01\u00b5s"},
      {1004ns, "1.00\u00b5s"},
      {999'995ns, "1000.00\u00b5s"},
      {999'994ns, "999.99\u00b5s"},
      {1'000'000ns, "1.00ms"},
      {12'345'678ns, "12.35ms"},
      {999'999'999ns, "1000.00ms"},
      {1s, "1.00s"},
      {1'234'999'999ns, "1.23s"},
      {1'235'000'000ns, "1.24s"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_duration(c.d), c.want) << c.d.count();
}

TEST(ReportLayout, FailedRowAndCounts) {
  validation::Tally tally;
  const std::string table = validation::table_text(
      {{"Device capability probe", true, "ok"}, {"Tensor matmul 64x64", false, "identity matmul drift > 1e-5"}},
      tally);
  const auto lines = lines_of(table);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3].substr(0, 2), "  ");
  EXPECT_EQ(lines[4].substr(0, 2), "! ");
  EXPECT_EQ(lines[4].substr(47, 8), "FAIL   i");
  EXPECT_EQ(tally.passed, 1u);
  EXPECT_EQ(tally.failed, 1u);
  EXPECT_EQ(validation::summary_text(tally, 2), "\n1 passed, 1 failed out of 2 tests\n");
  EXPECT_EQ(validation::verdict_text(false),
            "\nGPU validation FAILED \u2014 do not trust this device for scientific compute.\n");
}

TEST(ValidateGpu, HealthyDeviceReport) {
  const auto r = testing::run_process({TRELLIKEN_VALIDATE_GPU_PATH});
  ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  const auto lines = lines_of(r.out);
  ASSERT_GE(lines.size(), 11u) << r.out;
  EXPECT_EQ(lines[0], "Trelliken GPU Validation");
  EXPECT_EQ(lines[1], "========================");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3].rfind("Device: ", 0), 0u);
  EXPECT_EQ(lines[3].substr(lines[3].size() - 8), " (Other)");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "Results:");
  EXPECT_EQ(lines[6].find("Test"), 0u);
  EXPECT_EQ(lines[6].find("Status"), 46u);
  EXPECT_EQ(lines[6].substr(53), "Detail");
  EXPECT_EQ(lines[7], std::string(90, '-'));

  std::size_t row = 8;
  std::size_t rows = 0;
  for (; row < lines.size() && !lines[row].empty(); ++row, ++rows) {
    SCOPED_TRACE(lines[row]);
    EXPECT_EQ(lines[row].substr(0, 2), "  ");
    EXPECT_EQ(lines[row].substr(47, 7), "PASS   ");
  }
  ASSERT_EQ(rows, 6u);
  const char* names[] = {"Device capability probe", "Tensor matmul 64x64", "DF64 add/sub precision",
                         "FHE NTT round-trip (mod 17, N=4)", "FHE NTT round-trip (mod 12289, N=8)",
                         "FHE pointwise mod-mul (mod 12289)"};
  const char* prefixes[] = {"llvmpipe", "I*A == A in ", "precision OK in ", "bit-perfect in ", "bit-perfect in ",
                            "exact in "};
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(lines[8 + i]);
    EXPECT_EQ(lines[8 + i].substr(2, 44), fmt::format("{:<44}", names[i]));
    EXPECT_EQ(lines[8 + i].substr(54).rfind(prefixes[i], 0), 0u);
  }
  EXPECT_EQ(lines[8].substr(2, 45), "Device capability probe                      ");
  const std::string detail = lines[8].substr(54);
  EXPECT_EQ(detail.substr(detail.size() - 26), "max_buf=2047MB, max_wg=256");
  EXPECT_EQ(lines[row], "");
  ASSERT_GE(lines.size(), row + 4);
  EXPECT_EQ(lines[row + 1], std::to_string(rows) + " passed, 0 failed out of " + std::to_string(rows) + " tests");
  EXPECT_EQ(lines[row + 2], "");
  EXPECT_EQ(lines[row + 3], "GPU validation PASSED \u2014 device is ready for Trelliken workloads.");
  EXPECT_EQ(lines.size(), row + 4);
}

TEST(ValidationTests, ErrorsBecomeFailedRowsAndTheRunContinues) {
  auto device = testing::fresh_test_device();
  ASSERT_TRUE(device);
  device->force_loss_for_testing("test");
  const auto rows = validation::run_tests(device);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_TRUE(rows[0].passed);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_FALSE(rows[i].passed);
    EXPECT_EQ(rows[i].detail, "error: GPU device lost: cannot read buffer \u2014 device lost");
  }
}

TEST(ValidateGpu, InstalledCopyFindsTheWebGpuLibraryWithoutEnvironment) {
  char pattern[] = "/tmp/trelliken-install-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string prefix = pattern;
  const auto install = testing::run_process(
      {TRELLIKEN_CMAKE_COMMAND, "--install", TRELLIKEN_BUILD_DIR, "--prefix", prefix, "--component", "Unspecified"});
  ASSERT_EQ(install.exit_status, 0) << install.out << install.err;
  const auto r = testing::run_process({prefix + "/bin/validate_gpu"}, {{"LD_LIBRARY_PATH", std::nullopt}});
  std::filesystem::remove_all(prefix);
  EXPECT_EQ(r.exit_status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("GPU validation PASSED"), std::string::npos) << r.out;
}

TEST(ValidateGpu, NoAdapterPrintsTheBannerAndFails) {
  // Hide every driver: no EGL vendor library, no Vulkan driver.
  const auto r = testing::run_process({TRELLIKEN_VALIDATE_GPU_PATH},
                                      {{"__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent/egl.json"},
                                       {"__EGL_VENDOR_LIBRARY_DIRS", "/nonexistent"},
                                       {"VK_ICD_FILENAMES", "/nonexistent/icd.json"},
                                       {"VK_DRIVER_FILES", "/nonexistent/icd.json"}});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "Trelliken GPU Validation\n========================\n\n");
  const std::string prefix = "FAIL: No GPU device available: Device error: No adapter found by the WebGPU implementation";
  EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
  EXPECT_EQ(r.err.back(), '\n');
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace
}  // namespace trelliken
