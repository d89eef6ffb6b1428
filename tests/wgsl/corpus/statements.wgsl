// let / var / const in functions, compound and increment assignment, phony assignment, nested blocks.
@group(0) @binding(0) var<storage, read_write> out: array<u32>;

fn side(x: u32) -> u32 {
    out[0] = x;
    return x + 1u;
}

fn helper() {
    out[1] = 7u;
}

@compute @workgroup_size(1)
fn main() {
    const c = 5;
    let l: u32 = 3u;
    var v: u32 = l;
    var w = vec2<i32>(1, c);
    v += 1u;
    v -= 1u;
    v *= 3u;
    v /= 2u;
    v %= 7u;
    v &= 0xffu;
    v |= 0x100u;
    v ^= 3u;
    v <<= 2u;
    v >>= 1u;
    v++;
    v--;
    w.x += 2;
    w[1] *= 3;
    _ = side(v);
    _ = l;
    helper();
    {
        let inner = v + u32(w.y);
        out[2] = inner;
    }
    out[3] = v;
}
