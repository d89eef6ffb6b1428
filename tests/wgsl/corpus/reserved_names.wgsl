// Names that a writer must keep distinct: shadowing and repeated local names.
@group(0) @binding(0) var<storage, read_write> buf: array<f32>;

fn value(x: f32) -> f32 {
    let y = x * 2.0;
    {
        let y = x + 1.0;
        buf[1] = y;
    }
    return y;
}

@compute @workgroup_size(1)
fn main() {
    let x = value(1.0);
    var y = x;
    for (var i = 0; i < 2; i++) {
        let y = f32(i);
        buf[0] += y;
    }
    buf[2] = y;
}
