// The WGSL translator on a generated 1,000-line compute shader: parse, validate and write, separately and
// together, with the peak of heap memory the whole translation holds (counted by replacing operator new).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "wgsl/wgsl.h"

namespace {

std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void note_alloc(size_t n) {
    const size_t now = g_live.fetch_add(n) + n;
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

// Sizes are stored in front of each block so operator delete can account for them. GCC sees the
// free() of a block that its own operator new handed out and warns about a mismatch that is not there.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    void* p = std::malloc(n + 16);
    if (!p) throw std::bad_alloc();
    *static_cast<size_t*>(p) = n;
    note_alloc(n);
    return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    void* base = static_cast<char*>(p) - 16;
    g_live.fetch_sub(*static_cast<size_t*>(base));
    std::free(base);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace {

std::string helper(int k) {
    const std::string n = std::to_string(k);
    return "fn helper_" + n + "(x: f32, i: u32) -> f32 {\n"
           "    var acc = x + " + n + ".0;\n"
           "    for (var j = 0u; j < 4u; j++) {\n"
           "        let t = acc * params.scale + f32(j) * 0.5;\n"
           "        if t > 1.0 {\n"
           "            acc = acc - sqrt(abs(t));\n"
           "        } else {\n"
           "            acc = acc + t * t;\n"
           "        }\n"
           "    }\n"
           "    let v = vec4<f32>(acc, x, f32(i), 1.0);\n"
           "    let w = v * 2.0 + vec4<f32>(params.offset);\n"
           "    switch i % 3u {\n"
           "        case 0u: { acc += w.x; }\n"
           "        case 1u: { acc += w.y * w.z; }\n"
           "        default: { acc -= dot(v, w); }\n"
           "    }\n"
           "    tile[i % 256u] = acc;\n"
           "    workgroupBarrier();\n"
           "    let neighbour = tile[(i + 1u) % 256u];\n"
           "    return clamp(acc + neighbour, -1e6, 1e6);\n"
           "}\n\n";
}

std::string shader_1000_lines() {
    std::string s =
        "struct Params {\n    n: u32,\n    scale: f32,\n    offset: f32,\n    pad: u32,\n}\n\n"
        "@group(0) @binding(0) var<storage, read> input: array<f32>;\n"
        "@group(0) @binding(1) var<storage, read_write> output: array<f32>;\n"
        "@group(0) @binding(2) var<uniform> params: Params;\n"
        "var<workgroup> tile: array<f32, 256>;\n\n";
    int k = 0;
    std::string calls;
    while (true) {
        const std::string h = helper(k);
        if (static_cast<size_t>(std::count(s.begin(), s.end(), '\n') + std::count(h.begin(), h.end(), '\n')) > 940) break;
        s += h;
        calls += "    acc = acc + helper_" + std::to_string(k) + "(acc, i);\n";
        ++k;
    }
    s += "@compute @workgroup_size(256)\nfn main(@builtin(global_invocation_id) gid: vec3<u32>) {\n"
         "    let i = gid.x;\n    var acc = input[i];\n" + calls + "    output[i] = acc;\n}\n";
    return s;
}

const std::string& source() {
    static const std::string s = shader_1000_lines();
    return s;
}

using namespace trelliken::wgsl;

void BM_Parse(benchmark::State& state) {
    for (auto _ : state) {
        auto m = parse(source());
        if (!m) state.SkipWithError(m.error().message.c_str());
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMicrosecond);

void BM_Validate(benchmark::State& state) {
    auto m = parse(source());
    for (auto _ : state) {
        auto info = validate(*m, Capabilities::all());
        if (!info) state.SkipWithError(info.error().message.c_str());
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_Validate)->Unit(benchmark::kMicrosecond);

void BM_Write(benchmark::State& state) {
    auto m = parse(source());
    auto info = validate(*m, Capabilities::all());
    for (auto _ : state) {
        auto out = write_wgsl(*m, *info);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_Write)->Unit(benchmark::kMicrosecond);

void BM_ParseValidateWrite1000Lines(benchmark::State& state) {
    size_t peak = 0;
    for (auto _ : state) {
        const size_t base = g_live.load();
        g_peak.store(base);
        auto m = parse(source());
        auto info = validate(*m, Capabilities::all());
        auto out = write_wgsl(*m, *info);
        if (!out) state.SkipWithError("translation failed");
        benchmark::DoNotOptimize(out);
        peak = g_peak.load() - base;
    }
    state.counters["lines"] = static_cast<double>(std::count(source().begin(), source().end(), '\n'));
    state.counters["peak_heap_KiB"] = static_cast<double>(peak) / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source().size()));
}
BENCHMARK(BM_ParseValidateWrite1000Lines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
