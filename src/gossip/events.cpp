#include "gossip/events.hpp"

#include <string>

#include <nlohmann/json.hpp>

#include "gossip/emitter.hpp"

namespace trelliken {
namespace {

// Keys read "<event>:<node>:trelliken" so that the service can tell nodes and products apart.
void emit(std::string_view event, const nlohmann::json& payload) noexcept {
  try {
    std::string key(event);
    key += ':';
    key += node_name();
    key += ":trelliken";
    (void)gossip_inject(key, payload);
  } catch (...) {
    // Publication is best effort: an event that cannot even be built is dropped.
  }
}

}  // namespace

void emit_tier_degraded(std::string_view requested_tier, std::string_view actual_tier,
                        std::string_view reason, std::string_view adapter) noexcept {
  try {
    emit("compute.precision.tier_degraded", {
                                                {"actual_tier", std::string(actual_tier)},
                                                {"adapter", std::string(adapter)},
                                                {"reason", std::string(reason)},
                                                {"requested_tier", std::string(requested_tier)},
                                            });
  } catch (...) {
  }
}

void emit_dispatch_stall(std::string_view context, std::uint64_t timeout_secs,
                         bool retriable) noexcept {
  try {
    emit("compute.dispatch.stall", {
                                       {"context", std::string(context)},
                                       {"retriable", retriable},
                                       {"timeout_secs", timeout_secs},
                                   });
  } catch (...) {
  }
}

void emit_quota_exceeded(std::uint64_t requested_bytes, std::uint64_t limit_bytes,
                         std::string_view device_name, std::string_view operation) noexcept {
  try {
    emit("compute.quota.exceeded", {
                                       {"device_name", std::string(device_name)},
                                       {"limit_bytes", limit_bytes},
                                       {"operation", std::string(operation)},
                                       {"requested_bytes", requested_bytes},
                                   });
  } catch (...) {
  }
}

void emit_compiler_peer_status(bool available,
                               std::optional<std::string_view> compiler_addr) noexcept {
  try {
    nlohmann::json address = nullptr;
    if (compiler_addr) address = std::string(*compiler_addr);
    emit("compute.compiler.peer_status", {
                                             {"compiler_addr", std::move(address)},
                                             {"ostrel_available", available},
                                         });
  } catch (...) {
  }
}

}  // namespace trelliken
