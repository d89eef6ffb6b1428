// Inverse number-theoretic transform modulo q: the forward passes run with the inverse
// twiddles, then a pass scales by N^-1 (carried in the root field). Coefficients and twiddles
// are u64 values held as (low, high) u32 word pairs.

struct Params {
  degree: u32,
  modulus_lo: u32,
  modulus_hi: u32,
  mu_lo: u32,
  mu_hi: u32,
  root_lo: u32,
  root_hi: u32,
  stage: u32,
}

@group(0) @binding(0) var<storage, read> src_words: array<u32>;
@group(0) @binding(1) var<storage, read_write> dst_words: array<u32>;
@group(0) @binding(2) var<storage, read> twiddle_words: array<u32>;
@group(0) @binding(3) var<uniform> params: Params;

// ---- exact 64-bit modular arithmetic on (low, high) word pairs: begin ----
// WGSL has no 64-bit integers. Products are formed in full (128 bits) and reduced by long
// division in 16-bit digits, so every result is exact for any modulus 1 <= q < 2^64.

// Sum of two words and the carry out, as (sum, carry).
fn add_carry(a: u32, b: u32) -> vec2<u32> {
  let s = a + b;
  return vec2<u32>(s, select(0u, 1u, s < a));
}

fn add64(a: vec2<u32>, b: vec2<u32>) -> vec2<u32> {
  let lo = add_carry(a.x, b.x);
  return vec2<u32>(lo.x, a.y + b.y + lo.y);
}

fn sub64(a: vec2<u32>, b: vec2<u32>) -> vec2<u32> {
  let borrow = select(0u, 1u, a.x < b.x);
  return vec2<u32>(a.x - b.x, a.y - b.y - borrow);
}

fn less64(a: vec2<u32>, b: vec2<u32>) -> bool {
  return a.y < b.y || (a.y == b.y && a.x < b.x);
}

// The full 64-bit product of two words; 16-bit halves keep every partial product below 2^32.
fn mul32_wide(a: u32, b: u32) -> vec2<u32> {
  let a_lo = a & 0xFFFFu;
  let a_hi = a >> 16u;
  let b_lo = b & 0xFFFFu;
  let b_hi = b >> 16u;
  let ll = a_lo * b_lo;
  let lh = a_lo * b_hi;
  let hl = a_hi * b_lo;
  let hh = a_hi * b_hi;
  let mid = (ll >> 16u) + (lh & 0xFFFFu) + (hl & 0xFFFFu);
  return vec2<u32>((ll & 0xFFFFu) | (mid << 16u), hh + (lh >> 16u) + (hl >> 16u) + (mid >> 16u));
}

// The full 128-bit product of two 64-bit values, as four words, lowest first.
fn mul64_wide(a: vec2<u32>, b: vec2<u32>) -> vec4<u32> {
  let p00 = mul32_wide(a.x, b.x);
  let p01 = mul32_wide(a.x, b.y);
  let p10 = mul32_wide(a.y, b.x);
  let p11 = mul32_wide(a.y, b.y);
  let c1a = add_carry(p00.y, p01.x);
  let c1b = add_carry(c1a.x, p10.x);
  let c2a = add_carry(p01.y, p10.y);
  let c2b = add_carry(c2a.x, p11.x);
  let c2c = add_carry(c2b.x, c1a.y + c1b.y);
  return vec4<u32>(p00.x, c1b.x, c2c.x, p11.y + c2a.y + c2b.y + c2c.y);
}

// A modulus with its normalised form: d = q << shift has its top bit set, which keeps every
// quotient-digit estimate within two of the true digit.
struct Modulus {
  q: vec2<u32>,
  d: vec2<u32>,
  shift: u32,
}

fn make_modulus(q: vec2<u32>) -> Modulus {
  var shift = 32u + countLeadingZeros(q.x);
  if (q.y != 0u) {
    shift = countLeadingZeros(q.y);
  }
  var d = q;
  if (shift >= 32u) {
    d = vec2<u32>(0u, d.x);
  }
  let bits = shift & 31u;
  if (bits != 0u) {
    d = vec2<u32>(d.x << bits, (d.y << bits) | (d.x >> (32u - bits)));
  }
  return Modulus(q, d, shift);
}

// (r * 2^16 + digit) mod d, for r < d and a 16-bit digit: one step of schoolbook division.
fn remainder_step(r: vec2<u32>, digit: u32, d: vec2<u32>) -> vec2<u32> {
  let x0 = (r.x << 16u) | digit;
  let x1 = (r.y << 16u) | (r.x >> 16u);
  let x2 = r.y >> 16u;
  let qhat = min(r.y / (d.y >> 16u), 0xFFFFu);
  // qhat * d as three words; qhat < 2^16 keeps the partial products below 2^48.
  let pl = mul32_wide(qhat, d.x);
  let ph = mul32_wide(qhat, d.y);
  let p1 = add_carry(pl.y, ph.x);
  let p2 = ph.y + p1.y;
  // x - qhat * d lies in [-2d, d): the top word is 0, or the value is negative and d is
  // added back at most twice.
  let b0 = select(0u, 1u, x0 < pl.x);
  let r0 = x0 - pl.x;
  let t1 = x1 - p1.x;
  let b1 = select(0u, 1u, x1 < p1.x) + select(0u, 1u, t1 < b0);
  let r1 = t1 - b0;
  var top = x2 - p2 - b1;
  var rem = vec2<u32>(r0, r1);
  for (var k = 0u; k < 2u; k = k + 1u) {
    let lo = add_carry(rem.x, d.x);
    let hi = add_carry(rem.y, d.y);
    let hi2 = add_carry(hi.x, lo.y);
    let negative = top != 0u;
    rem = select(rem, vec2<u32>(lo.x, hi2.x), negative);
    top = select(top, top + hi.y + hi2.y, negative);
  }
  return rem;
}

// x mod q for a 128-bit x whose high half is below q.
fn reduce_below(x: vec4<u32>, m: Modulus) -> vec2<u32> {
  var v = x;
  if (m.shift >= 32u) {
    v = vec4<u32>(0u, v.x, v.y, v.z);
  }
  let bits = m.shift & 31u;
  if (bits != 0u) {
    let back = 32u - bits;
    v = vec4<u32>(v.x << bits, (v.y << bits) | (v.x >> back), (v.z << bits) | (v.y >> back),
                  (v.w << bits) | (v.z >> back));
  }
  var r = vec2<u32>(v.z, v.w);
  r = remainder_step(r, v.y >> 16u, m.d);
  r = remainder_step(r, v.y & 0xFFFFu, m.d);
  r = remainder_step(r, v.x >> 16u, m.d);
  r = remainder_step(r, v.x & 0xFFFFu, m.d);
  // r = (x mod q) << shift: shift it back.
  if (m.shift >= 32u) {
    r = vec2<u32>(r.y, 0u);
  }
  if (bits != 0u) {
    r = vec2<u32>((r.x >> bits) | (r.y << (32u - bits)), r.y >> bits);
  }
  return r;
}

// a mod q for any 64-bit a; inputs that are already reduced pass through.
fn reduce64(a: vec2<u32>, m: Modulus) -> vec2<u32> {
  if (less64(a, m.q)) {
    return a;
  }
  return reduce_below(vec4<u32>(a.x, a.y, 0u, 0u), m);
}

// a * b mod q, exact for any 64-bit a and b.
fn mul_mod(a: vec2<u32>, b: vec2<u32>, m: Modulus) -> vec2<u32> {
  var x = mul64_wide(a, b);
  let high = vec2<u32>(x.z, x.w);
  if (!less64(high, m.q)) {
    // Only operands that were not reduced get here.
    let h = reduce_below(vec4<u32>(high.x, high.y, 0u, 0u), m);
    x = vec4<u32>(x.x, x.y, h.x, h.y);
  }
  return reduce_below(x, m);
}

// (a + b) mod q for a, b < q; the sum may carry out of 64 bits.
fn add_mod(a: vec2<u32>, b: vec2<u32>, m: Modulus) -> vec2<u32> {
  let lo = add_carry(a.x, b.x);
  let hi = add_carry(a.y, b.y);
  let hi2 = add_carry(hi.x, lo.y);
  let s = vec2<u32>(lo.x, hi2.x);
  if (hi.y + hi2.y != 0u || !less64(s, m.q)) {
    return sub64(s, m.q);
  }
  return s;
}

// (a - b) mod q for a, b < q.
fn sub_mod(a: vec2<u32>, b: vec2<u32>, m: Modulus) -> vec2<u32> {
  let diff = sub64(a, b);
  if (less64(a, b)) {
    return add64(diff, m.q);
  }
  return diff;
}
// ---- exact 64-bit modular arithmetic on (low, high) word pairs: end ----

fn load_word_pair(i: u32) -> vec2<u32> {
  return vec2<u32>(src_words[2u * i], src_words[2u * i + 1u]);
}

fn store_word_pair(i: u32, v: vec2<u32>) {
  dst_words[2u * i] = v.x;
  dst_words[2u * i + 1u] = v.y;
}

fn params_modulus() -> Modulus {
  return make_modulus(vec2<u32>(params.modulus_lo, params.modulus_hi));
}

// Puts the coefficients in bit-reversed order. Each pair is moved by its lower index; inputs
// that are not reduced modulo q are reduced on the way, so the passes after see only residues.
@compute @workgroup_size(256)
fn bit_reverse(@builtin(global_invocation_id) id: vec3<u32>) {
  let i = id.x;
  let n = params.degree;
  if (i >= n) {
    return;
  }
  // The degree is a power of two, so its trailing zeros are its exact logarithm.
  let log_n = countTrailingZeros(n);
  var r = 0u;
  if (log_n != 0u) {
    r = reverseBits(i) >> (32u - log_n);
  }
  if (i > r) {
    return;
  }
  let m = params_modulus();
  store_word_pair(r, reduce64(load_word_pair(i), m));
  if (i != r) {
    store_word_pair(i, reduce64(load_word_pair(r), m));
  }
}

// One radix-2 butterfly of the given stage.
@compute @workgroup_size(256)
fn main(@builtin(global_invocation_id) id: vec3<u32>) {
  let b = id.x;
  let n = params.degree;
  if (b >= n / 2u) {
    return;
  }
  let stage = params.stage;
  let stride = 1u << stage;
  let j = b & (stride - 1u);
  let ia = ((b >> stage) << (stage + 1u)) + j;
  let ib = ia + stride;
  let t_index = j * ((n >> 1u) >> stage);
  let t = vec2<u32>(twiddle_words[2u * t_index], twiddle_words[2u * t_index + 1u]);
  let m = params_modulus();
  let u = load_word_pair(ia);
  let tv = mul_mod(t, load_word_pair(ib), m);
  store_word_pair(ia, add_mod(u, tv, m));
  store_word_pair(ib, sub_mod(u, tv, m));
}

// Multiplies every coefficient by N^-1 mod q.
@compute @workgroup_size(256)
fn scale_by_n(@builtin(global_invocation_id) id: vec3<u32>) {
  let i = id.x;
  if (i >= params.degree) {
    return;
  }
  let n_inv = vec2<u32>(params.root_lo, params.root_hi);
  store_word_pair(i, mul_mod(load_word_pair(i), n_inv, params_modulus()));
}
