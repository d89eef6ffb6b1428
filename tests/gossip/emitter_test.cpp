#include "gossip/emitter.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/gossip_listener.hpp"

namespace trelliken {
namespace {

using testing::gossip_line;
using testing::Listener;
using testing::ScopedEnv;
using testing::TempDir;

// No timing is asserted beyond this: a send that takes longer has hung.
constexpr auto kHangBound = std::chrono::seconds(10);

class GossipEmitter : public ::testing::Test {
 protected:
  std::filesystem::path runtime_socket() const { return dir_.path() / "verdalis/pellwick.sock"; }
  void touch(const std::filesystem::path& path) const {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream{path};
  }

  TempDir dir_;
  ScopedEnv explicit_socket_{"PELLWICK_SOCKET", std::nullopt};
  ScopedEnv runtime_dir_{"XDG_RUNTIME_DIR", dir_.path().string()};
};

// Paths are relative to the temporary directory.
struct PathCase {
  const char* name;
  std::optional<std::string> pellwick;
  std::optional<std::string> runtime;
  bool explicit_exists;
  bool runtime_exists;
  std::optional<std::string> expected;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class GossipSocketPath : public GossipEmitter, public ::testing::WithParamInterface<PathCase> {};

TEST_P(GossipSocketPath, FollowsFallbacks) {
  const PathCase& c = GetParam();
  const auto root = dir_.path().string() + "/";
  const auto in_root = [&](const std::optional<std::string>& relative) {
    return relative ? std::optional(root + *relative) : std::nullopt;
  };
  if (c.explicit_exists) touch(root + c.pellwick.value_or("unused"));
  if (c.runtime_exists) touch(runtime_socket());
  ScopedEnv pellwick("PELLWICK_SOCKET", in_root(c.pellwick));
  ScopedEnv runtime("XDG_RUNTIME_DIR", in_root(c.runtime));

  const auto found = gossip_socket_path();
  if (c.expected) {
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->string(), root + *c.expected);
  } else {
    EXPECT_FALSE(found.has_value()) << found->string();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, GossipSocketPath,
    ::testing::Values(
        PathCase{"ExplicitWins", "explicit.sock", "", true, true, "explicit.sock"},
        PathCase{"ExplicitMissingFallsBack", "explicit.sock", "", false, true,
                 "verdalis/pellwick.sock"},
        PathCase{"ExplicitNotUnicodeFallsBack", "\xff.sock", "", true, true,
                 "verdalis/pellwick.sock"},
        PathCase{"SeparatorInserted", std::nullopt, ".", false, true, "./verdalis/pellwick.sock"},
        PathCase{"RuntimeOnlyWhenPresent", std::nullopt, "", false, false, std::nullopt},
        PathCase{"NeitherSet", std::nullopt, std::nullopt, true, true, std::nullopt},
        PathCase{"NeitherExists", "explicit.sock", "", false, false, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GossipEmitter, EmptyRuntimeDirIsNotTheRoot) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", "");
  EXPECT_FALSE(gossip_socket_path().has_value());
}

TEST_F(GossipEmitter, WritesOneCompactSortedLine) {
  Listener listener(runtime_socket());
  const nlohmann::json payload = {
      {"b", 1}, {"a", {{"z", nullptr}, {"Z", "line\nfeed"}}}, {"B", true}, {"\xc3\xa9", -2}};

  EXPECT_TRUE(gossip_inject("some.event:n:trelliken", payload));

  EXPECT_EQ(listener.received(),
            std::vector<std::string>{gossip_line(
                "some.event:n:trelliken",
                R"({"B":true,"a":{"Z":"line\nfeed","z":null},"b":1,"é":-2})")});
}

TEST_F(GossipEmitter, PathIsLookedUpForEveryEvent) {
  EXPECT_FALSE(gossip_inject("k", nlohmann::json::object()));
  Listener listener(runtime_socket());
  EXPECT_TRUE(gossip_inject("k", nlohmann::json::object()));
  EXPECT_EQ(listener.received().size(), 1u);
}

TEST_F(GossipEmitter, ExplicitSocketTakesTheEvent) {
  Listener fallback(runtime_socket());
  Listener explicit_listener(dir_.path() / "elsewhere.sock");
  ScopedEnv pellwick("PELLWICK_SOCKET", (dir_.path() / "elsewhere.sock").string());

  EXPECT_TRUE(gossip_inject("k", {{"x", 1}}));

  EXPECT_EQ(explicit_listener.received(),
            std::vector<std::string>{gossip_line("k", R"({"x":1})")});
  EXPECT_TRUE(fallback.received().empty());
}

TEST_F(GossipEmitter, UnreachableServiceDropsTheEvent) {
  // A socket file whose listener has gone refuses the connection; so does a plain file.
  { Listener gone(runtime_socket()); }
  EXPECT_FALSE(gossip_inject("k", {{"x", 1}}));

  touch(dir_.path() / "plain-file");
  ScopedEnv pellwick("PELLWICK_SOCKET", (dir_.path() / "plain-file").string());
  EXPECT_FALSE(gossip_inject("k", {{"x", 1}}));
}

TEST_F(GossipEmitter, PathTooLongForSocketAddressDropsTheEvent) {
  const auto long_path = dir_.path() / std::string(sizeof(sockaddr_un::sun_path), 'd') / "s";
  touch(long_path);
  ScopedEnv pellwick("PELLWICK_SOCKET", long_path.string());
  EXPECT_FALSE(gossip_inject("k", {{"x", 1}}));
}

TEST_F(GossipEmitter, TextThatIsNotUtf8DropsTheEventBeforeConnecting) {
  Listener listener(runtime_socket());
  EXPECT_FALSE(gossip_inject("k", {{"adapter", "\xff"}}));
  EXPECT_TRUE(listener.received().empty());
}

TEST_F(GossipEmitter, ListenerThatNeverReadsBoundsTheSend) {
  Listener listener(runtime_socket());
  // Far larger than any socket send buffer, so the writes stall once it is full.
  const nlohmann::json huge = {{"adapter", std::string(16 << 20, 'x')}};

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gossip_inject("k", huge));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kHangBound);
}

TEST_F(GossipEmitter, ListenerThatNeverAcceptsBoundsTheConnect) {
  Listener listener(runtime_socket(), /*backlog=*/0);
  // Fill the accept queue so that a blocking connect would wait for the service.
  std::vector<int> fillers;
  for (int i = 0; i < 64; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, runtime_socket().c_str(), sizeof(address.sun_path) - 1);
    fillers.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) break;
  }

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gossip_inject("k", {{"x", 1}}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kHangBound);
  for (int fd : fillers) ::close(fd);
}

}  // namespace
}  // namespace trelliken
