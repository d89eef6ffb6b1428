// Matrix multiply C = A x B (row-major), GpuEvolved32 variant, chosen on GPUs for outputs of at
// least 256 x 256: each 16 x 16 workgroup computes a 32 x 32 square of C, every invocation a
// 2 x 2 block, loading the next 32 x 32 tiles of A and B while it multiplies the current ones.
// Written in f64; the cached-pipeline path downgrades it to f32.

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

// Four 32 x 32 tiles: the ones being multiplied and the next ones being loaded.
var<workgroup> cur_a: array<f64, 1024>;
var<workgroup> cur_b: array<f64, 1024>;
var<workgroup> next_a: array<f64, 1024>;
var<workgroup> next_b: array<f64, 1024>;

fn load_a(row: u32, col: u32) -> f64 {
  if (row < params.m && col < params.k) {
    return a[row * params.k + col];
  }
  return f64(0.0);
}

fn load_b(row: u32, col: u32) -> f64 {
  if (row < params.k && col < params.n) {
    return b[row * params.n + col];
  }
  return f64(0.0);
}

@compute @workgroup_size(16, 16, 1)
fn main(@builtin(workgroup_id) wid: vec3<u32>, @builtin(local_invocation_id) lid: vec3<u32>) {
  let ly = lid.y;
  let lx = lid.x;
  let base_row = wid.y * 32u;
  let base_col = wid.x * 32u;
  let r0 = ly * 2u;
  let c0 = lx * 2u;

  var acc00: f64 = f64(0.0);
  var acc01: f64 = f64(0.0);
  var acc10: f64 = f64(0.0);
  var acc11: f64 = f64(0.0);

  for (var dr: u32 = 0u; dr < 2u; dr = dr + 1u) {
    for (var dc: u32 = 0u; dc < 2u; dc = dc + 1u) {
      let cell = (r0 + dr) * 32u + c0 + dc;
      cur_a[cell] = load_a(base_row + r0 + dr, c0 + dc);
      cur_b[cell] = load_b(r0 + dr, base_col + c0 + dc);
    }
  }
  workgroupBarrier();

  let tiles = (params.k + 31u) / 32u;
  for (var t: u32 = 0u; t < tiles; t = t + 1u) {
    let has_next = t + 1u < tiles;
    if (has_next) {
      let k_next = (t + 1u) * 32u;
      for (var dr: u32 = 0u; dr < 2u; dr = dr + 1u) {
        for (var dc: u32 = 0u; dc < 2u; dc = dc + 1u) {
          let cell = (r0 + dr) * 32u + c0 + dc;
          next_a[cell] = load_a(base_row + r0 + dr, k_next + c0 + dc);
          next_b[cell] = load_b(k_next + r0 + dr, base_col + c0 + dc);
        }
      }
    }

    let k_limit = min(32u, params.k - 32u * t);
    var k: u32 = 0u;
    // Four independent accumulator chains, unrolled four times along k.
    loop {
      if (k + 4u > k_limit) {
        break;
      }
      let a00 = cur_a[r0 * 32u + k];
      let a01 = cur_a[r0 * 32u + k + 1u];
      let a02 = cur_a[r0 * 32u + k + 2u];
      let a03 = cur_a[r0 * 32u + k + 3u];
      let a10 = cur_a[(r0 + 1u) * 32u + k];
      let a11 = cur_a[(r0 + 1u) * 32u + k + 1u];
      let a12 = cur_a[(r0 + 1u) * 32u + k + 2u];
      let a13 = cur_a[(r0 + 1u) * 32u + k + 3u];
      let b00 = cur_b[k * 32u + c0];
      let b01 = cur_b[k * 32u + c0 + 1u];
      let b10 = cur_b[(k + 1u) * 32u + c0];
      let b11 = cur_b[(k + 1u) * 32u + c0 + 1u];
      let b20 = cur_b[(k + 2u) * 32u + c0];
      let b21 = cur_b[(k + 2u) * 32u + c0 + 1u];
      let b30 = cur_b[(k + 3u) * 32u + c0];
      let b31 = cur_b[(k + 3u) * 32u + c0 + 1u];
      acc00 = a00 * b00 + (a01 * b10 + (a02 * b20 + (a03 * b30 + acc00)));
      acc01 = a00 * b01 + (a01 * b11 + (a02 * b21 + (a03 * b31 + acc01)));
      acc10 = a10 * b00 + (a11 * b10 + (a12 * b20 + (a13 * b30 + acc10)));
      acc11 = a10 * b01 + (a11 * b11 + (a12 * b21 + (a13 * b31 + acc11)));
      k = k + 4u;
    }
    loop {
      if (k >= k_limit) {
        break;
      }
      let a0 = cur_a[r0 * 32u + k];
      let a1 = cur_a[(r0 + 1u) * 32u + k];
      let b0 = cur_b[k * 32u + c0];
      let b1 = cur_b[k * 32u + c0 + 1u];
      acc00 = a0 * b0 + acc00;
      acc01 = a0 * b1 + acc01;
      acc10 = a1 * b0 + acc10;
      acc11 = a1 * b1 + acc11;
      k = k + 1u;
    }
    workgroupBarrier();

    if (has_next) {
      for (var dr: u32 = 0u; dr < 2u; dr = dr + 1u) {
        for (var dc: u32 = 0u; dc < 2u; dc = dc + 1u) {
          let cell = (r0 + dr) * 32u + c0 + dc;
          cur_a[cell] = next_a[cell];
          cur_b[cell] = next_b[cell];
        }
      }
      workgroupBarrier();
    }
  }

  let out_row = base_row + r0;
  let out_col = base_col + c0;
  if (out_row < params.m && out_col < params.n) {
    c[out_row * params.n + out_col] = acc00;
  }
  if (out_row < params.m && out_col + 1u < params.n) {
    c[out_row * params.n + out_col + 1u] = acc01;
  }
  if (out_row + 1u < params.m && out_col < params.n) {
    c[(out_row + 1u) * params.n + out_col] = acc10;
  }
  if (out_row + 1u < params.m && out_col + 1u < params.n) {
    c[(out_row + 1u) * params.n + out_col + 1u] = acc11;
  }
}
