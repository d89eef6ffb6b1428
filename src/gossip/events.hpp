#pragma once
// The operational events the library publishes. Each emitter builds its key and payload and sends
// them through `gossip_inject`; none reports anything back, so callers carry on unchanged whether
// or not the event reached a service.

#include <cstdint>
#include <optional>
#include <string_view>

namespace trelliken {

/// "compute.precision.tier_degraded": a precision tier was replaced by a weaker one.
void emit_tier_degraded(std::string_view requested_tier, std::string_view actual_tier,
                        std::string_view reason, std::string_view adapter) noexcept;

/// "compute.dispatch.stall": a time-limited GPU wait ran out; `timeout_secs` is 0 for no limit.
void emit_dispatch_stall(std::string_view context, std::uint64_t timeout_secs,
                         bool retriable) noexcept;

/// "compute.quota.exceeded": a buffer allocation would break the quota named `device_name`;
/// `operation` names the limit ("single_buffer", "buffer_count" or "vram_budget").
void emit_quota_exceeded(std::uint64_t requested_bytes, std::uint64_t limit_bytes,
                         std::string_view device_name, std::string_view operation) noexcept;

/// "compute.compiler.peer_status": the outcome of compiler discovery; an absent address is
/// written as JSON null.
void emit_compiler_peer_status(bool available,
                               std::optional<std::string_view> compiler_addr) noexcept;

}  // namespace trelliken
