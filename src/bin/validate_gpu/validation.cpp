#include "bin/validate_gpu/validation.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>

namespace trelliken::validation {

namespace {

void write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// The failure paths end the process at once, without tearing down the device.
[[noreturn]] void end_now(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace

TestResult device_capability_test(const GpuDevice& device) {
  const DeviceLimits limits = device.limits();
  return TestResult{
      "Device capability probe", true,
      fmt::format("{} ({}), max_buf={}MB, max_wg={}", device.adapter().name,
                  adapter_type_name(device.adapter().device_type), limits.max_buffer_size >> 20,
                  limits.max_compute_workgroup_size_x)};
}

asio::awaitable<Result<int>> run_validation() {
  write(stdout, banner_text());

  auto device = co_await GpuDevice::create();
  if (!device) {
    write(stderr, fmt::format("FAIL: No GPU device available: {}\n", device.error().message()));
    end_now(1);
  }
  write(stdout, device_line((*device)->adapter().name, adapter_type_name((*device)->adapter().device_type)));

  std::vector<TestResult> rows = run_tests(*device);

  Tally tally;
  write(stdout, table_text(rows, tally));
  write(stdout, summary_text(tally, rows.size()));
  if (tally.failed > 0) {
    write(stdout, verdict_text(false));
    end_now(1);
  }
  write(stdout, verdict_text(true));
  co_return 0;
}

}  // namespace trelliken::validation
