#pragma once
// Silences the implementation's own diagnostics on standard error for a scope.

namespace trelliken::platform {

/// While alive, file descriptor 2 points at /dev/null. Adapter discovery makes the
/// implementation and the drivers it probes print warnings about backends the library does not
/// use; the library's promise is that the program alone writes to standard error.
class QuietStderr {
 public:
  QuietStderr();
  ~QuietStderr();
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace trelliken::platform
