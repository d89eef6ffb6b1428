#pragma once
// The validation report: result rows, the table, the summary and the verdict.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace trelliken::validation {

/// One row of the results table.
struct TestResult {
  std::string name;
  bool passed = false;
  std::string detail;
};

/// Counts taken while the rows are printed.
struct Tally {
  std::uint32_t passed = 0;
  std::uint32_t failed = 0;
};

/// A duration as a decimal with two fraction digits and a unit (s, ms, µs, ns). The digits beyond
/// the second round half up; a carry never moves to the next larger unit ("1000.00µs").
[[nodiscard]] std::string format_duration(std::chrono::nanoseconds d);

/// "Trelliken GPU Validation", its underline, and an empty line.
[[nodiscard]] std::string banner_text();
/// "Device: {} ({})" and an empty line.
[[nodiscard]] std::string device_line(std::string_view name, std::string_view type);
/// "Results:", the header, the separator and one line per row.
[[nodiscard]] std::string table_text(const std::vector<TestResult>& rows, Tally& tally);
/// The empty line and the count line.
[[nodiscard]] std::string summary_text(const Tally& tally, std::size_t total);
/// The empty line and the verdict.
[[nodiscard]] std::string verdict_text(bool all_passed);

}  // namespace trelliken::validation
