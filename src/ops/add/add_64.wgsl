// Element-wise add, 64-wide workgroups, for devices limited to fewer than 128 invocations.

@group(0) @binding(0) var<storage, read> a: array<f32>;
@group(0) @binding(1) var<storage, read> b: array<f32>;
@group(0) @binding(2) var<storage, read_write> output: array<f32>;

// No parameter block: the bound is the output buffer's length, which may exceed the tensor's
// element count when the pool hands out a larger buffer. Large inputs spread their workgroups
// over y as well, since one dimension holds at most 65535 of them.
@compute @workgroup_size(64)
fn main(@builtin(global_invocation_id) gid: vec3<u32>, @builtin(num_workgroups) groups: vec3<u32>) {
  let i = gid.x + gid.y * groups.x * 64u;
  if (i >= arrayLength(&output)) {
    return;
  }
  output[i] = a[i] + b[i];
}
