// FHE operations through the library next to a plain host implementation of the same work:
// NTT + INTT for N = 2^10 … 2^16 modulo 998244353, and a point-wise product of 2^20
// coefficients. After the runs, the GPU/host time ratio of each pair is printed.

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "device/gpu_device/gpu_device.hpp"
#include "ops/fhe_common/modular.hpp"
#include "ops/fhe_intt/intt.hpp"
#include "ops/fhe_ntt/ntt.hpp"
#include "ops/fhe_pointwise_mul/pointwise_mul.hpp"
#include "runtime/runtime.hpp"
#include "tensor/tensor.hpp"

namespace {

using namespace trelliken;
using u128 = unsigned __int128;

constexpr std::uint64_t kModulus = 998244353;  // 119 · 2^23 + 1, primitive root 3
constexpr std::uint32_t kPointwiseCount = 1u << 20;

std::shared_ptr<GpuDevice> gpu() {
  static Runtime runtime(2);
  static std::shared_ptr<GpuDevice> device = [] {
    auto d = runtime.block_on(GpuDevice::create());
    if (!d) {
      std::fprintf(stderr, "no GPU device: %s\n", d.error().message().c_str());
      std::exit(1);
    }
    return *d;
  }();
  return device;
}

std::vector<std::uint64_t> random_residues(std::size_t n, std::uint64_t q, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::uint64_t> pick(0, q - 1);
  std::vector<std::uint64_t> out(n);
  for (auto& v : out) v = pick(rng);
  return out;
}

std::uint64_t mulmod(std::uint64_t a, std::uint64_t b, std::uint64_t q) {
  return static_cast<std::uint64_t>(static_cast<u128>(a) * b % q);
}

// A straightforward iterative radix-2 transform: bit reversal, then butterflies with a
// precomputed table of root^i, every product through 128 bits.
void host_transform(std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& twiddles, std::uint64_t q) {
  const std::size_t n = a.size();
  const unsigned log_n = static_cast<unsigned>(std::countr_zero(n));
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t r = 0;
    for (unsigned bit = 0; bit < log_n; ++bit) r |= ((i >> bit) & 1) << (log_n - 1 - bit);
    if (i < r) std::swap(a[i], a[r]);
  }
  for (std::size_t stride = 1; stride < n; stride *= 2) {
    const std::size_t step = n / (2 * stride);
    for (std::size_t start = 0; start < n; start += 2 * stride) {
      for (std::size_t j = 0; j < stride; ++j) {
        const std::uint64_t u = a[start + j];
        const std::uint64_t tv = mulmod(twiddles[j * step], a[start + j + stride], q);
        a[start + j] = u + tv >= q ? u + tv - q : u + tv;
        a[start + j + stride] = u >= tv ? u - tv : u + q - tv;
      }
    }
  }
}

struct TransformSetup {
  std::uint32_t n;
  std::uint64_t root, inverse_root, n_inv;
  std::vector<std::uint64_t> input, twiddles, inverse_twiddles;
};

TransformSetup transform_setup(std::uint32_t n) {
  TransformSetup s;
  s.n = n;
  s.root = fhe::pow_mod(3, (kModulus - 1) / n, kModulus);
  s.inverse_root = fhe::mod_inverse(s.root, kModulus);
  s.n_inv = fhe::mod_inverse(n, kModulus);
  s.input = random_residues(n, kModulus, n);
  s.twiddles = fhe::power_table(s.root, n, kModulus);
  s.inverse_twiddles = fhe::power_table(s.inverse_root, n, kModulus);
  return s;
}

std::vector<std::uint64_t> host_round_trip(const TransformSetup& s) {
  std::vector<std::uint64_t> a = s.input;
  host_transform(a, s.twiddles, kModulus);
  host_transform(a, s.inverse_twiddles, kModulus);
  for (auto& v : a) v = mulmod(v, s.n_inv, kModulus);
  return a;
}

void BM_HostNttIntt(benchmark::State& state) {
  const auto s = transform_setup(static_cast<std::uint32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(host_round_trip(s));
}

void BM_GpuNttIntt(benchmark::State& state) {
  const auto s = transform_setup(static_cast<std::uint32_t>(state.range(0)));
  const auto device = gpu();
  auto input = Tensor::from_u64(s.input, device);
  if (!input) return state.SkipWithError(input.error().message().c_str());
  auto ntt = FheNtt::create(*input, s.n, kModulus, s.root);
  if (!ntt) return state.SkipWithError(ntt.error().message().c_str());
  std::vector<std::uint64_t> result;
  for (auto _ : state) {
    auto forward = ntt->execute();
    if (!forward) return state.SkipWithError(forward.error().message().c_str());
    auto intt = FheIntt::create(*forward, s.n, kModulus, s.inverse_root);
    if (!intt) return state.SkipWithError(intt.error().message().c_str());
    auto back = intt->execute();
    if (!back) return state.SkipWithError(back.error().message().c_str());
    auto words = back->to_vec_u64();
    if (!words) return state.SkipWithError(words.error().message().c_str());
    result = std::move(*words);
  }
  if (result != s.input) state.SkipWithError("the GPU round trip did not give back the input");
}

struct PointwiseSetup {
  std::vector<std::uint64_t> a, b;
};

const PointwiseSetup& pointwise_setup() {
  static const PointwiseSetup s{random_residues(kPointwiseCount, kModulus, 1),
                                random_residues(kPointwiseCount, kModulus, 2)};
  return s;
}

std::vector<std::uint64_t> host_pointwise(const PointwiseSetup& s) {
  std::vector<std::uint64_t> out(s.a.size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = mulmod(s.a[i], s.b[i], kModulus);
  return out;
}

void BM_HostPointwiseMul(benchmark::State& state) {
  const auto& s = pointwise_setup();
  for (auto _ : state) benchmark::DoNotOptimize(host_pointwise(s));
}

void BM_GpuPointwiseMul(benchmark::State& state) {
  const auto& s = pointwise_setup();
  const auto device = gpu();
  auto a = Tensor::from_u64(s.a, device);
  auto b = Tensor::from_u64(s.b, device);
  if (!a || !b) return state.SkipWithError("cannot create the input tensors");
  auto op = FhePointwiseMul::create(*a, *b, kModulus, kPointwiseCount);
  if (!op) return state.SkipWithError(op.error().message().c_str());
  std::vector<std::uint64_t> result;
  for (auto _ : state) {
    auto out = op->execute();
    if (!out) return state.SkipWithError(out.error().message().c_str());
    auto words = out->to_vec_u64();
    if (!words) return state.SkipWithError(words.error().message().c_str());
    result = std::move(*words);
  }
  if (result != host_pointwise(s)) state.SkipWithError("the GPU products differ from the host's");
}

BENCHMARK(BM_HostNttIntt)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GpuNttIntt)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HostPointwiseMul)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GpuPointwiseMul)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's real time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      if (!times_.contains(run.benchmark_name())) order_.push_back(run.benchmark_name());
      times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void print_ratios() const {
    std::printf("\nGPU / host time (through the library, read-back included; lower is better for the GPU)\n");
    for (const auto& name : order_) {
      const double gpu_time = times_.at(name);
      if (name.rfind("BM_Gpu", 0) != 0) continue;
      const std::string host_name = "BM_Host" + name.substr(6);
      const auto host = times_.find(host_name);
      if (host == times_.end()) continue;
      std::printf("%-32s gpu %10.3f ms  host %10.3f ms  ratio %8.2f\n", name.substr(6).c_str(), gpu_time,
                  host->second, gpu_time / host->second);
    }
  }

 private:
  std::map<std::string, double> times_;
  std::vector<std::string> order_;  // in the order the runs were reported
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios();
  benchmark::Shutdown();
  return 0;
}
