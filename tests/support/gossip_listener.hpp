#pragma once
// Real Unix-domain listeners in a private runtime directory, for the gossip tests.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace trelliken::testing {

/// A fresh directory under the system temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "trelliken-gossip-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// Sets or unsets an environment variable for one scope and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    apply(value);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { apply(old_); }

 private:
  void apply(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

/// A listening Unix-domain socket that never reads until asked to. Senders can connect and write
/// without an accept, because the kernel queues both, so tests stay single-threaded.
class Listener {
 public:
  explicit Listener(const std::filesystem::path& path, int backlog = 16) {
    std::filesystem::create_directories(path.parent_path());
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd_, backlog) != 0) {
      ADD_FAILURE() << "listener at " << path << ": " << std::strerror(errno);
    }
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener() { ::close(fd_); }

  /// Everything sent on each connection made so far, one entry per connection.
  [[nodiscard]] std::vector<std::string> received() const {
    std::vector<std::string> messages;
    for (int peer = ::accept(fd_, nullptr, nullptr); peer >= 0;
         peer = ::accept(fd_, nullptr, nullptr)) {
      ::fcntl(peer, F_SETFL, 0);
      std::string bytes;
      char chunk[4096];
      for (ssize_t n = ::read(peer, chunk, sizeof chunk); n > 0;
           n = ::read(peer, chunk, sizeof chunk)) {
        bytes.append(chunk, static_cast<std::size_t>(n));
      }
      ::close(peer);
      messages.push_back(std::move(bytes));
    }
    return messages;
  }

 private:
  int fd_ = -1;
};

/// The wire line that carries `payload` (compact JSON text) under `key`.
inline std::string gossip_line(const std::string& key, const std::string& payload) {
  return R"({"id":null,"jsonrpc":"2.0","method":"gossip.inject","params":{"key":")" + key +
         R"(","payload":)" + payload + R"(,"topic":"compute"}})" + "\n";
}

}  // namespace trelliken::testing
