enable f16;

@group(0) @binding(0) var<storage, read_write> halves: array<vec4<f16>>;

@compute @workgroup_size(32)
fn main(@builtin(global_invocation_id) gid: vec3<u32>) {
    let h = halves[gid.x];
    let s: f16 = 1.5h;
    halves[gid.x] = h * s + vec4<f16>(f16(0.25), 2.0h, 0.0, 1.0);
}
