// A simple element-wise kernel.
struct Params {
    n: u32,
    scale: f32,
}

@group(0) @binding(0) var<storage, read> a: array<f32>;
@group(0) @binding(1) var<storage, read> b: array<f32>;
@group(0) @binding(2) var<storage, read_write> out: array<f32>;
@group(0) @binding(3) var<uniform> params: Params;

const WG: u32 = 64u;

fn add_scaled(x: f32, y: f32) -> f32 {
    return x * params.scale + y;
}

@compute @workgroup_size(WG)
fn main(@builtin(global_invocation_id) gid: vec3<u32>) {
    let i = gid.x;
    if (i >= params.n) {
        return;
    }
    out[i] = add_scaled(a[i], b[i]);
}
