#include "platform/gl_scope.hpp"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace trelliken::platform {

namespace {

std::atomic<bool> g_enabled{false};
std::recursive_mutex g_lock;
thread_local int t_depth = 0;

using EglGetCurrentContext = void* (*)();
using EglGetCurrentDisplay = void* (*)();
using EglMakeCurrent = unsigned (*)(void*, void*, void*, void*);
using EglGetCurrentSurface = void* (*)(int);
constexpr int kEglDraw = 0x3059;
constexpr int kEglRead = 0x305A;

struct Egl {
  EglGetCurrentContext get_current_context = nullptr;
  EglGetCurrentDisplay get_current_display = nullptr;
  EglGetCurrentSurface get_current_surface = nullptr;
  EglMakeCurrent make_current = nullptr;
  [[nodiscard]] bool usable() const {
    return get_current_context && get_current_display && get_current_surface && make_current;
  }
};

// The context released last, made current again for the next scope: some of the
// implementation's calls (fence creation, waits) assume a current context without making one.
struct Binding {
  void* display = nullptr;
  void* draw = nullptr;
  void* read = nullptr;
  void* context = nullptr;
};
Binding g_last;  // guarded by g_lock

// EGL is already loaded by the implementation once an OpenGL device exists; look it up lazily
// rather than linking against it.
const Egl& egl() {
  static const Egl e = [] {
    Egl out;
    void* lib = dlopen("libEGL.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (lib != nullptr) {
      out.get_current_context = reinterpret_cast<EglGetCurrentContext>(dlsym(lib, "eglGetCurrentContext"));
      out.get_current_display = reinterpret_cast<EglGetCurrentDisplay>(dlsym(lib, "eglGetCurrentDisplay"));
      out.make_current = reinterpret_cast<EglMakeCurrent>(dlsym(lib, "eglMakeCurrent"));
      out.get_current_surface = reinterpret_cast<EglGetCurrentSurface>(dlsym(lib, "eglGetCurrentSurface"));
    }
    return out;
  }();
  return e;
}

void release_current_context() {
  const Egl& e = egl();
  if (!e.usable()) return;
  void* context = e.get_current_context();
  if (context == nullptr) return;
  void* display = e.get_current_display();
  if (display == nullptr) return;
  g_last = Binding{display, e.get_current_surface(kEglDraw), e.get_current_surface(kEglRead), context};
  e.make_current(display, nullptr, nullptr, nullptr);
}

void rebind_last_context() {
  const Egl& e = egl();
  if (!e.usable() || g_last.context == nullptr || e.get_current_context() != nullptr) return;
  e.make_current(g_last.display, g_last.draw, g_last.read, g_last.context);
}

}  // namespace

void release_current_gl_context() noexcept {
  std::lock_guard lock(g_lock);
  release_current_context();
}

void enable_gl_call_scopes() noexcept { g_enabled.store(true, std::memory_order_release); }

GlCallScope::GlCallScope() noexcept : active_(g_enabled.load(std::memory_order_acquire)) {
  if (!active_) return;
  g_lock.lock();
  if (t_depth++ == 0) rebind_last_context();
}

GlCallScope::~GlCallScope() {
  if (!active_) return;
  if (--t_depth == 0) release_current_context();
  g_lock.unlock();
}

}  // namespace trelliken::platform
