#include "bin/validate_gpu/report.hpp"

#include <fmt/format.h>

namespace trelliken::validation {

std::string format_duration(std::chrono::nanoseconds d) {
  const std::uint64_t ns = d.count() < 0 ? 0 : static_cast<std::uint64_t>(d.count());
  std::uint64_t unit = 1;
  std::string_view suffix = "ns";
  if (ns >= 1'000'000'000) {
    unit = 1'000'000'000;
    suffix = "s";
  } else if (ns >= 1'000'000) {
    unit = 1'000'000;
    suffix = "ms";
  } else if (ns >= 1'000) {
    unit = 1'000;
    suffix = "\u00b5s";
  }
  std::uint64_t whole = ns / unit;
  const std::uint64_t rest = ns % unit;
  std::uint64_t hundredths = rest * 100 / unit;
  const std::uint64_t beyond = rest * 100 % unit;
  if (beyond * 2 >= unit && beyond != 0) ++hundredths;
  if (hundredths == 100) {
    ++whole;
    hundredths = 0;
  }
  return fmt::format("{}.{:02}{}", whole, hundredths, suffix);
}

std::string banner_text() { return "Trelliken GPU Validation\n========================\n\n"; }

std::string device_line(std::string_view name, std::string_view type) {
  return fmt::format("Device: {} ({})\n\n", name, type);
}

std::string table_text(const std::vector<TestResult>& rows, Tally& tally) {
  std::string out = "Results:\n";
  out += fmt::format("{:<45} {:<6} {}\n", "Test", "Status", "Detail");
  out += std::string(90, '-') + "\n";
  for (const auto& row : rows) {
    out += fmt::format("{} {:<44} {:<6} {}\n", row.passed ? " " : "!", row.name, row.passed ? "PASS" : "FAIL",
                       row.detail);
    if (row.passed) {
      ++tally.passed;
    } else {
      ++tally.failed;
    }
  }
  return out;
}

std::string summary_text(const Tally& tally, std::size_t total) {
  return fmt::format("\n{} passed, {} failed out of {} tests\n", tally.passed, tally.failed, total);
}

std::string verdict_text(bool all_passed) {
  return all_passed ? "\nGPU validation PASSED \u2014 device is ready for Trelliken workloads.\n"
                    : "\nGPU validation FAILED \u2014 do not trust this device for scientific compute.\n";
}

}  // namespace trelliken::validation
