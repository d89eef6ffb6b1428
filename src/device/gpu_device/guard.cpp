#include "device/gpu_device/guard.hpp"

#include <cstdio>
#include <cstdlib>

namespace trelliken {

void unreachable_by_ownership(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
  std::abort();
}

GuardedEncoder::~GuardedEncoder() {
  if (encoder_) {
    encoder_.reset();
    active_operations_->fetch_sub(1, std::memory_order_acq_rel);
  }
}

WGPUCommandEncoder GuardedEncoder::get() {
  if (!encoder_) unreachable_by_ownership("GuardedEncoder::deref_mut after finish (unreachable by ownership)");
  return encoder_.get();
}

platform::CommandBuffer GuardedEncoder::finish() && {
  if (!encoder_) unreachable_by_ownership("GuardedEncoder::finish called twice (unreachable by ownership)");
  platform::CommandEncoder encoder = std::move(encoder_);
  encoder_.reset();
  active_operations_->fetch_sub(1, std::memory_order_acq_rel);
  platform::GlCallScope scope;
  return platform::CommandBuffer::acquire(wgpuCommandEncoderFinish(encoder.get(), nullptr));
}

}  // namespace trelliken
