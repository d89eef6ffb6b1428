#pragma once
// Numeric helpers shared by the parser and constant evaluation.

namespace trelliken::wgsl {

/// `v` rounded to the nearest f16 value (ties to even); f16 values are held as doubles so constant folding sees
/// what a GPU would hold. Values beyond the f16 range stay beyond it, for the caller to reject.
[[nodiscard]] double round_to_f16(double v);

}  // namespace trelliken::wgsl
