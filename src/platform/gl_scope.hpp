#pragma once
// Serialising calls into the implementation when it drives an OpenGL context.
//
// The implementation's OpenGL backend makes its one context current on whichever thread calls
// it and leaves it there. An EGL context can be current on one thread only, so a later call from
// another thread finds no context and the device is lost. The library calls the device from
// several threads, so every call that may touch the context runs inside a GlCallScope: a
// process-wide recursive lock, and on leaving the outermost scope the context is released from
// the thread, ready for the next caller. With any other backend the scope does nothing.

namespace trelliken::platform {

/// Turns the scopes on; called when a device of the OpenGL backend is opened.
void enable_gl_call_scopes() noexcept;

/// Releases whatever EGL context is current on the calling thread (none: nothing happens).
void release_current_gl_context() noexcept;

class GlCallScope {
 public:
  GlCallScope() noexcept;
  ~GlCallScope();
  GlCallScope(const GlCallScope&) = delete;
  GlCallScope& operator=(const GlCallScope&) = delete;

 private:
  bool active_;
};

}  // namespace trelliken::platform
