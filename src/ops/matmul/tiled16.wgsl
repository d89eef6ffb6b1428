// Matrix multiply C = A x B (row-major), Tiled16 variant: each 16 x 16 workgroup computes one
// 16 x 16 square of C, one element per invocation, staging 16 x 16 tiles of A and B in
// workgroup memory. Written in f64; the cached-pipeline path downgrades it to f32.

struct Params {
  m: u32,
  k: u32,
  n: u32,
  pad: u32,
}

@group(0) @binding(0) var<storage, read> a: array<f64>;
@group(0) @binding(1) var<storage, read> b: array<f64>;
@group(0) @binding(2) var<storage, read_write> c: array<f64>;
@group(0) @binding(3) var<uniform> params: Params;

var<workgroup> tile_a: array<f64, 256>;
var<workgroup> tile_b: array<f64, 256>;

@compute @workgroup_size(16, 16, 1)
fn main(@builtin(global_invocation_id) gid: vec3<u32>, @builtin(local_invocation_id) lid: vec3<u32>) {
  let row = gid.y;
  let col = gid.x;
  let ly = lid.y;
  let lx = lid.x;
  var sum: f64 = f64(0.0);
  let tiles = (params.k + 15u) / 16u;
  // Every invocation, also those outside C, takes part in the loads and barriers.
  for (var t: u32 = 0u; t < tiles; t = t + 1u) {
    let a_col = t * 16u + lx;
    var av: f64 = f64(0.0);
    if (row < params.m && a_col < params.k) {
      av = a[row * params.k + a_col];
    }
    tile_a[ly * 16u + lx] = av;
    let b_row = t * 16u + ly;
    var bv: f64 = f64(0.0);
    if (b_row < params.k && col < params.n) {
      bv = b[b_row * params.n + col];
    }
    tile_b[ly * 16u + lx] = bv;
    workgroupBarrier();
    for (var k: u32 = 0u; k < 16u; k = k + 1u) {
      sum = sum + tile_a[ly * 16u + k] * tile_b[k * 16u + lx];
    }
    workgroupBarrier();
  }
  if (row < params.m && col < params.n) {
    c[row * params.n + col] = sum;
  }
}
