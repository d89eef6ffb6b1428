#pragma once
// The per-adapter record of which f64 operations can be trusted, and its process-wide cache.

#include <optional>
#include <string>

namespace trelliken {

/// Seventeen yes/no capabilities of an adapter's f64 and double-float arithmetic.
struct F64Capabilities {
  bool basic_f64 = false;
  bool exp = false;
  bool log = false;
  bool exp2 = false;
  bool log2 = false;
  bool sin = false;
  bool cos = false;
  bool sqrt = false;
  bool fma = false;
  bool abs_min_max = false;
  bool composite_transcendental = false;
  bool exp_log_chain = false;
  bool shared_mem_f64 = false;
  bool df64_arith = false;
  bool df64_transcendentals_safe = false;
  bool df64_fma_two_prod = false;
  bool df64_workgroup_reduce = false;
  friend bool operator==(const F64Capabilities&, const F64Capabilities&) = default;
};

/// The record for an adapter key, or none.
[[nodiscard]] std::optional<F64Capabilities> cached_capabilities(const std::string& adapter_key);

/// Inserts or replaces the record for an adapter key.
void store_capabilities(const std::string& adapter_key, const F64Capabilities& capabilities);

}  // namespace trelliken
