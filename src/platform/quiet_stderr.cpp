#include "platform/quiet_stderr.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace trelliken::platform {

QuietStderr::QuietStderr() {
  std::fflush(stderr);
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) return;
  saved_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (saved_ >= 0) ::dup2(null_fd, 2);
  ::close(null_fd);
}

QuietStderr::~QuietStderr() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  ::dup2(saved_, 2);
  ::close(saved_);
}

}  // namespace trelliken::platform
