#include "gossip/events.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gossip/emitter.hpp"
#include "support/gossip_listener.hpp"

extern char** environ;

namespace trelliken {
namespace {

using testing::gossip_line;
using testing::Listener;
using testing::ScopedEnv;
using testing::TempDir;

// The node name is read once per process, so the tests in this process share one fixed name, and
// the first-use behaviour is checked in child processes of this binary started with the variable
// below: they emit two stall events, changing GATE_NAME in between, and exit before main().
constexpr const char* kChildVariable = "TRELLIKEN_GOSSIP_TEST_CHILD";
constexpr const char* kNodeName = "node-7";

const bool kProcessPrepared = [] {
  if (std::getenv(kChildVariable) != nullptr) {
    emit_dispatch_stall("first", 1, true);
    ::setenv("GATE_NAME", "changed-later", 1);
    emit_dispatch_stall("second", 2, true);
    std::_Exit(0);
  }
  ::setenv("GATE_NAME", kNodeName, 1);
  return true;
}();

class GossipEvents : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedEnv explicit_socket_{"PELLWICK_SOCKET", std::nullopt};
  ScopedEnv runtime_dir_{"XDG_RUNTIME_DIR", dir_.path().string()};
  Listener listener_{dir_.path() / "verdalis/pellwick.sock"};
};

struct EventCase {
  const char* name;
  std::function<void()> emit;
  std::string line;
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }

class GossipEventLine : public GossipEvents, public ::testing::WithParamInterface<EventCase> {};

TEST_P(GossipEventLine, IsExact) {
  GetParam().emit();
  EXPECT_EQ(listener_.received(), std::vector<std::string>{GetParam().line});
}

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Catalogue, GossipEventLine,
    ::testing::Values(
        EventCase{"TierDegraded",
                  [] { emit_tier_degraded("F64", "DF64", "probe_failed", "Apple M2"); },
                  R"({"id":null,"jsonrpc":"2.0","method":"gossip.inject","params":{"key":)"
                  R"("compute.precision.tier_degraded:node-7:trelliken","payload":{"actual_tier":)"
                  R"("DF64","adapter":"Apple M2","reason":"probe_failed","requested_tier":"F64"},)"
                  R"("topic":"compute"}})"
                  "\n"},
        EventCase{"DispatchStall", [] { emit_dispatch_stall("poll_safe", 120, true); },
                  gossip_line("compute.dispatch.stall:node-7:trelliken",
                              R"({"context":"poll_safe","retriable":true,"timeout_secs":120})")},
        EventCase{"DispatchStallWithoutLimit", [] { emit_dispatch_stall("poll_safe", 0, false); },
                  gossip_line("compute.dispatch.stall:node-7:trelliken",
                              R"({"context":"poll_safe","retriable":false,"timeout_secs":0})")},
        EventCase{"QuotaSingleBuffer",
                  [] { emit_quota_exceeded(kMax, 1024, "lab 'A'", "single_buffer"); },
                  gossip_line("compute.quota.exceeded:node-7:trelliken",
                              R"({"device_name":"lab 'A'","limit_bytes":1024,)"
                              R"("operation":"single_buffer",)"
                              R"("requested_bytes":18446744073709551615})")},
        EventCase{"QuotaBufferCount", [] { emit_quota_exceeded(4, 0, "q", "buffer_count"); },
                  gossip_line("compute.quota.exceeded:node-7:trelliken",
                              R"({"device_name":"q","limit_bytes":0,"operation":"buffer_count",)"
                              R"("requested_bytes":4})")},
        EventCase{"PeerFound", [] { emit_compiler_peer_status(true, "unix:/run/ostrel.sock"); },
                  gossip_line("compute.compiler.peer_status:node-7:trelliken",
                              R"({"compiler_addr":"unix:/run/ostrel.sock",)"
                              R"("ostrel_available":true})")},
        EventCase{"PeerMissingIsNull", [] { emit_compiler_peer_status(false, std::nullopt); },
                  gossip_line("compute.compiler.peer_status:node-7:trelliken",
                              R"({"compiler_addr":null,"ostrel_available":false})")},
        EventCase{"LineFeedInTextIsEscaped",
                  [] { emit_tier_degraded("DF64", "DF64_arith_only", "df64_poisoned", "a\nb\"c"); },
                  gossip_line("compute.precision.tier_degraded:node-7:trelliken",
                              R"({"actual_tier":"DF64_arith_only","adapter":"a\nb\"c",)"
                              R"("reason":"df64_poisoned","requested_tier":"DF64"})")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GossipEvents, EveryEmitterReturnsWithoutAService) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
  emit_tier_degraded("F64", "DF64", "probe_failed", "a");
  emit_dispatch_stall("poll_safe", 1, true);
  emit_quota_exceeded(1, 0, "q", "buffer_count");
  emit_compiler_peer_status(false, std::nullopt);
  EXPECT_TRUE(listener_.received().empty());
}

// Runs this test binary as a child that emits two events with `gate_name` in its environment and
// returns the keys the listener saw.
std::vector<std::string> child_keys(const TempDir& dir, const Listener& listener,
                                    const std::optional<std::string>& gate_name) {
  std::vector<std::string> storage;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    if (!variable.starts_with("GATE_NAME=") && !variable.starts_with("PELLWICK_SOCKET=") &&
        !variable.starts_with("XDG_RUNTIME_DIR=")) {
      storage.emplace_back(variable);
    }
  }
  storage.push_back(std::string(kChildVariable) + "=1");
  storage.push_back("XDG_RUNTIME_DIR=" + dir.path().string());
  if (gate_name) storage.push_back("GATE_NAME=" + *gate_name);
  std::vector<char*> envp;
  for (auto& variable : storage) envp.push_back(variable.data());
  envp.push_back(nullptr);

  char program[] = "/proc/self/exe";
  char* argv[] = {program, nullptr};
  pid_t pid = 0;
  EXPECT_EQ(::posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  std::vector<std::string> keys;
  for (const std::string& line : listener.received()) {
    const auto json = nlohmann::json::parse(line);
    keys.push_back(json["params"]["key"]);
  }
  return keys;
}

struct NodeCase {
  const char* name;
  std::optional<std::string> gate_name;
  std::string expected;
};

void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.name; }

class GossipNodeName : public GossipEvents, public ::testing::WithParamInterface<NodeCase> {};

TEST_P(GossipNodeName, IsFixedAtFirstUse) {
  const std::string node = GetParam().expected;
  EXPECT_EQ(child_keys(dir_, listener_, GetParam().gate_name),
            (std::vector<std::string>{"compute.dispatch.stall:" + node + ":trelliken",
                                      "compute.dispatch.stall:" + node + ":trelliken"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, GossipNodeName,
    ::testing::Values(NodeCase{"FromGateName", "gate-\xce\xb1", "gate-\xce\xb1"},
                      NodeCase{"UnsetIsUnknown", std::nullopt, "unknown"},
                      NodeCase{"NotUnicodeIsUnknown", "gate-\xff", "unknown"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GossipNodeNameInProcess, KeepsTheFirstValue) {
  ASSERT_TRUE(kProcessPrepared);
  EXPECT_EQ(node_name(), kNodeName);
  ScopedEnv changed("GATE_NAME", "other");
  EXPECT_EQ(node_name(), kNodeName);
}

}  // namespace
}  // namespace trelliken
