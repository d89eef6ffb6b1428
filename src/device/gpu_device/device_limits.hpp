#pragma once
// The live limits of a created device, as the implementation reports them.

#include <cstdint>

namespace trelliken {

struct DeviceLimits {
  std::uint64_t max_buffer_size = 0;
  std::uint64_t max_storage_buffer_binding_size = 0;
  std::uint64_t max_uniform_buffer_binding_size = 0;
  std::uint32_t max_storage_buffers_per_shader_stage = 0;
  std::uint32_t max_uniform_buffers_per_shader_stage = 0;
  std::uint32_t max_bind_groups = 0;
  std::uint32_t max_bindings_per_bind_group = 0;
  std::uint32_t max_compute_workgroup_size_x = 0;
  std::uint32_t max_compute_workgroup_size_y = 0;
  std::uint32_t max_compute_workgroup_size_z = 0;
  std::uint32_t max_compute_invocations_per_workgroup = 0;
  std::uint32_t max_compute_workgroup_storage_size = 0;
  std::uint32_t max_compute_workgroups_per_dimension = 0;
  std::uint32_t min_storage_buffer_offset_alignment = 0;
  std::uint32_t min_uniform_buffer_offset_alignment = 0;
};

/// Optional device features the library asks for (each only when the adapter has it).
enum class DeviceFeature { ShaderF64, ShaderF16, TimestampQuery, Subgroups };

}  // namespace trelliken
