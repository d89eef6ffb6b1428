// Builtin functions compute shaders use: math, bits, select, bitcast, conversions, constructors, atomics,
// barriers, array length.
struct Result {
    f: vec4<f32>,
    i: vec4<i32>,
    u: vec4<u32>,
    m: mat3x3<f32>,
}

@group(0) @binding(0) var<storage, read_write> res: Result;
@group(0) @binding(1) var<storage, read_write> acc_u: array<atomic<u32>>;
@group(0) @binding(2) var<storage, read_write> acc_i: atomic<i32>;
var<workgroup> wg_counter: atomic<u32>;

@compute @workgroup_size(4, 2, 1)
fn main(@builtin(global_invocation_id) gid: vec3<u32>, @builtin(num_workgroups) nwg: vec3<u32>,
        @builtin(local_invocation_id) lid: vec3<u32>) {
    let x = f32(gid.x) + 0.5;
    let v = vec3<f32>(x, 2.0, 3.0);
    var f = vec4<f32>(abs(-x), min(x, 1.0), max(x, 2.0), clamp(x, 0.0, 1.0));
    f += vec4(sin(x), cos(x), tan(x), sqrt(x));
    f += vec4(exp(x), exp2(x), log(x + 1.0), log2(x + 1.0));
    f += vec4(pow(x, 2.0), floor(x), ceil(x), round(x));
    f += vec4(fract(x), trunc(x), sign(x), inverseSqrt(x));
    f += vec4(fma(x, 2.0, 1.0), mix(0.0, x, 0.25), step(0.5, x), smoothstep(0.0, 1.0, x));
    f += vec4(dot(v, v), length(v), distance(v, vec3(1.0)), saturate(x));
    f += vec4(normalize(v), 0.0) + vec4(cross(v, vec3<f32>(0.0, 0.0, 1.0)), 1.0);
    f += vec4(asin(0.5), acos(0.5), atan(x), atan2(x, 1.0));
    f += vec4(sinh(x), cosh(x), tanh(x), radians(degrees(x)));
    f += vec4(ldexp(x, 2), 0.0, 0.0, 0.0);
    res.f = select(f, -f, vec4<bool>(true, false, x > 1.0, all(v > vec3(0.0))));
    let i = i32(gid.y) - 3;
    res.i = vec4<i32>(abs(i), min(i, 2), max(i, -2), clamp(i, -1, 1)) + vec4(sign(i));
    res.i += vec4<i32>(countOneBits(i), countLeadingZeros(i), countTrailingZeros(i), reverseBits(i));
    res.i += vec4<i32>(firstLeadingBit(i), firstTrailingBit(i), extractBits(i, 1u, 3u), insertBits(i, 5, 2u, 3u));
    let u = gid.x * 7u;
    res.u = vec4<u32>(u >> 1u, u << 2u, ~u, u ^ 0x55u) + vec4<u32>(bitcast<u32>(x), bitcast<u32>(i), u32(i), u32(x));
    res.u += vec4(pack4x8unorm(f), pack2x16float(f.xy), u32(any(vec2<bool>(u > 3u, false))), select(0u, 1u, u > 2u));
    res.u.x += dot4U8Packed(u, 0x01010101u) + u32(dot4I8Packed(u, 0x01010101u));
    res.f += unpack4x8snorm(u) + vec4(unpack2x16float(u), 0.0, 0.0);
    res.m = mat3x3<f32>(v, v * 2.0, vec3(1.0)) * transpose(mat3x3f(1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0));
    res.f.w += determinant(res.m);
    let mv = res.m * v;
    let vm = v * res.m;
    res.f.x += mv.x + vm.y + f32(bitcast<i32>(x));
    res.f = vec4<f32>(res.f.wzy, f32(vec2<u32>(3u, 4u).y));
    let n = arrayLength(&acc_u);
    let old = atomicAdd(&acc_u[gid.x % n], 1u);
    atomicSub(&acc_u[0], 1u);
    atomicMax(&acc_u[0], old);
    atomicMin(&acc_u[0], 2u);
    atomicAnd(&acc_u[0], 0xffu);
    atomicOr(&acc_u[0], 1u);
    atomicXor(&acc_u[0], 2u);
    let prev = atomicExchange(&acc_i, 5);
    let cmp = atomicCompareExchangeWeak(&acc_i, prev, 6);
    if cmp.exchanged {
        res.i.x = cmp.old_value + atomicLoad(&acc_i);
    }
    atomicStore(&wg_counter, lid.x);
    workgroupBarrier();
    storageBarrier();
    res.u.y = atomicLoad(&wg_counter) + nwg.x;
}
