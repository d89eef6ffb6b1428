// Module declarations: struct layout attributes, aliases, constants, overrides, variables in every address space.
alias Index = u32;
alias Vec = vec4<f32>;

struct Inner {
    a: vec3<f32>,
    b: f32,
}

struct Block {
    @align(16) header: u32,
    @size(32) inner: Inner,
    m: mat4x4<f32>,
    tail: array<vec2<f32>, 3>,
    data: array<f32>,
}

struct Counters {
    hits: atomic<u32>,
    misses: atomic<i32>,
}

const PI = 3.14159265358979323846;
const TWO_PI: f32 = 2.0 * PI;
const SIZES = vec3<u32>(4u, 8u, 16u);
const BIG = 0x7fffffffi;
const MASK = 0xFFu;
const NEG = -12;
const ARR = array<i32, 3>(1, 2, 3);

@id(7) override threshold: f32 = 0.5;
override count: u32;
override scaled = threshold * 2.0;

@group(0) @binding(0) var<storage, read_write> block: Block;
@group(0) @binding(1) var<storage, read_write> counters: Counters;
@group(1) @binding(0) var<uniform> colour: Vec;
var<private> seed: u32 = 12345u;
var<private> table: array<f32, 4> = array<f32, 4>(1.0, 2.0, 3.0, 4.0);
var<workgroup> shared_sum: array<f32, 64>;
var<workgroup> flag: atomic<u32>;

fn bump(p: ptr<function, u32>) {
    *p = *p + 1u;
}

fn first(p: ptr<storage, Block, read_write>) -> f32 {
    return (*p).inner.a.x;
}

@compute @workgroup_size(64)
fn main(@builtin(local_invocation_index) li: u32, @builtin(workgroup_id) wg: vec3<u32>) {
    var idx: Index = li;
    bump(&idx);
    let p = &block.data[idx];
    *p = TWO_PI * f32(SIZES.y) + table[li % 4u] + threshold + scaled + f32(count);
    shared_sum[li] = colour.x + first(&block) + f32(BIG & i32(MASK)) + f32(NEG + ARR[1]);
    seed = seed * 1103515245u + 12345u;
    block.m[1][2] = block.inner.b;
    block.tail[li % 3u] = vec2<f32>(block.m[0].xy);
    let n = arrayLength(&block.data);
    if li == 0u {
        atomicAdd(&counters.hits, n);
        atomicStore(&flag, wg.x);
    }
}
