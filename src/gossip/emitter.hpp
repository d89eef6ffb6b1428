#pragma once
// Best-effort delivery of one operational event to the local pellwick gossip service.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace trelliken {

/// The node part of every event key: `GATE_NAME` when it is set and valid UTF-8, else "unknown".
/// Read once per process on first use (thread-safe); later changes of the variable are ignored.
[[nodiscard]] const std::string& node_name();

/// Where the gossip service listens, looked up afresh on every call: `PELLWICK_SOCKET` when it
/// names an existing file system object, else `XDG_RUNTIME_DIR`/verdalis/pellwick.sock when that
/// exists, else nothing.
[[nodiscard]] std::optional<std::filesystem::path> gossip_socket_path();

/// Sends one "gossip.inject" line carrying `key` and `payload` (a JSON object) under the topic
/// "compute". True only when the whole line was written; every failure is silent and no reply is
/// read. Blocks the caller for at most 500 ms in the connect and 500 ms per write.
bool gossip_inject(std::string_view key, const nlohmann::json& payload) noexcept;

}  // namespace trelliken
