#include "gossip/emitter.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace trelliken {
namespace {

// Environment values are raw bytes on POSIX; the service and the JSON writer both want UTF-8, so
// anything else is treated as if the variable were not set.
bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
    }
    if (length == 0 || text.size() - i < length) return false;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not Unicode scalar values.
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> utf8_env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Owns one socket descriptor so that every early return closes it.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a vanished peer must surface as EPIPE, not kill the process with SIGPIPE.
    const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;  // includes EAGAIN from the send time-out
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool send_line(const std::filesystem::path& path, std::string_view line) {
  const std::string& native = path.native();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (native.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, native.c_str(), native.size() + 1);

  Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket.get() < 0) return false;

  // The time-out goes on before the connect: on Linux it also bounds a connect to a service whose
  // accept backlog is full, which would otherwise wait for as long as the service stays stuck.
  const timeval timeout{.tv_sec = 0, .tv_usec = 500'000};
  (void)::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));

  int connected = 0;
  do {
    connected = ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address),
                          sizeof(address));
  } while (connected != 0 && errno == EINTR);
  if (connected != 0) return false;

  return write_all(socket.get(), line);
}

}  // namespace

const std::string& node_name() {
  static const std::string name = utf8_env("GATE_NAME").value_or("unknown");
  return name;
}

std::optional<std::filesystem::path> gossip_socket_path() {
  if (auto explicit_path = utf8_env("PELLWICK_SOCKET"); explicit_path && exists(*explicit_path)) {
    return std::filesystem::path(*explicit_path);
  }
  // An empty runtime directory would turn the relative location into one at the file system
  // root, which nobody configured; it counts as unset.
  if (auto runtime_dir = utf8_env("XDG_RUNTIME_DIR"); runtime_dir && !runtime_dir->empty()) {
    std::string path = *runtime_dir;
    if (path.back() != '/') path += '/';
    path += "verdalis/pellwick.sock";
    if (exists(path)) return std::filesystem::path(std::move(path));
  }
  return std::nullopt;
}

bool gossip_inject(std::string_view key, const nlohmann::json& payload) noexcept {
  try {
    const auto path = gossip_socket_path();
    if (!path) return false;

    const nlohmann::json message = {
        {"id", nullptr},
        {"jsonrpc", "2.0"},
        {"method", "gossip.inject"},
        {"params", {{"key", std::string(key)}, {"payload", payload}, {"topic", "compute"}}},
    };
    // Compact output; object members come out in byte order because json objects are std::maps
    // of std::string. Text that is not UTF-8 makes dump() throw, which drops the event.
    std::string line = message.dump();
    line += '\n';
    return send_line(*path, line);
  } catch (...) {
    return false;
  }
}

}  // namespace trelliken
