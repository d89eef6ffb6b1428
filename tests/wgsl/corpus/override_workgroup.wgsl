// A workgroup size set by an override, and constants of matrix and vector type. One entry point: a
// size taken from an override applies to every entry point of a SPIR-V module.

var<workgroup> shared_sum: array<f32, 64>;

override block_size: u32 = 64u;
const IDENTITY = mat2x2<f32>(1.0, 0.0, 0.0, 1.0);
const LIMITS: vec2<i32> = vec2(-4, 4);

@compute @workgroup_size(block_size, 2)
fn second(@builtin(local_invocation_id) lid: vec3<u32>) {
    let m = IDENTITY * 2.0;
    let c = clamp(i32(lid.x), LIMITS.x, LIMITS.y);
    shared_sum[lid.x % 64u] = m[1].y + f32(c) + f32(block_size);
}
