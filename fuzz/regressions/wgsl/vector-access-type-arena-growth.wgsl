// f64 arithmetic: abstract literals keep their full precision when they become f64.
@group(0) @binding(0) var<storage, read> input: array<f64>;
@group(0) @binding(1) var<storage, read_write> output: array<f64>;

const THIRD: f64 = 1.0 / 3.0;
const E = 2.718281828459045235360287;

fn poly(x: f64) -> f64 {
    return fma(x, THIRD, 0.1) + x * x * E - f64(0.1f);
}

@compute @workgroup_size(64)
fn main(@builtin(global_invocation_id) gid: vec3<u32>) {
    let i = gid.x;
    let x = input[i];
    var y: f64 = 0.1;
    y = y + poly(x) + 1e-300 + f64(i) + sqrt(abs(x)) + 0.5lf;
    let v = vec2<f64>(y, x);
    output[i] = select(y, -y, x < 0.0) + dot(v, v) + f64(f32(x));
}
