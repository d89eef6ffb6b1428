// The validation tests in their fixed order. A test never propagates an error: whatever stops it
// becomes a failed row "error: {message}".

#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <numbers>

#include "bin/validate_gpu/validation.hpp"
#include "ops/fhe_common/modular.hpp"
#include "ops/fhe_intt/intt.hpp"
#include "ops/fhe_ntt/ntt.hpp"
#include "ops/fhe_pointwise_mul/pointwise_mul.hpp"
#include "tensor/tensor.hpp"

namespace trelliken::validation {

namespace {

using Clock = std::chrono::steady_clock;

// Measures from just after the row's name is built to just after its verdict.
class Stopwatch {
 public:
  [[nodiscard]] std::string elapsed() const { return format_duration(Clock::now() - start_); }

 private:
  Clock::time_point start_ = Clock::now();
};

TestResult errored(std::string name, const ComputeError& error) {
  return TestResult{std::move(name), false, "error: " + error.message()};
}

TestResult matmul_test(const std::shared_ptr<GpuDevice>& device) {
  std::string name = "Tensor matmul 64x64";
  const Stopwatch watch;
  std::vector<float> identity(4096, 0.0f);
  for (std::size_t i = 0; i < 64; ++i) identity[i * 65] = 1.0f;
  std::vector<float> a(4096);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<float>(i) * 0.01f;

  auto ti = Tensor::from_data(identity, {64, 64}, device);
  if (!ti) return errored(std::move(name), ti.error());
  auto ta = Tensor::from_data(a, {64, 64}, device);
  if (!ta) return errored(std::move(name), ta.error());
  auto tc = ti->matmul(*ta);
  if (!tc) return errored(std::move(name), tc.error());
  auto c = tc->to_vec();
  if (!c) return errored(std::move(name), c.error());

  float drift = 0.0f;
  const std::size_t n = std::min<std::size_t>(c->size(), 4096);
  for (std::size_t i = 0; i < n; ++i) {
    const float diff = std::fabs((*c)[i] - a[i]);
    if (!std::isnan(diff)) drift = std::max(drift, diff);
  }
  const bool passed = drift < 1e-5f;
  const std::string took = watch.elapsed();
  return passed ? TestResult{std::move(name), true, fmt::format("I*A == A in {}", took)}
                : TestResult{std::move(name), false, "identity matmul drift > 1e-5"};
}

TestResult add_precision_test(const std::shared_ptr<GpuDevice>& device) {
  std::string name = "DF64 add/sub precision";
  const Stopwatch watch;
  const float pi = std::numbers::pi_v<float>;
  auto ta = Tensor::from_data(std::vector<float>{1.0f, 0.0f, pi, 0.0f}, {2, 2}, device);
  if (!ta) return errored(std::move(name), ta.error());
  auto tb = Tensor::from_data(std::vector<float>{1e-10f, 0.0f, -pi, 0.0f}, {2, 2}, device);
  if (!tb) return errored(std::move(name), tb.error());
  auto tc = ta->add(*tb);
  if (!tc) return errored(std::move(name), tc.error());
  auto c = tc->to_vec();
  if (!c) return errored(std::move(name), c.error());
  const bool passed = std::fabs((*c)[0] - 1.0f) < 1e-5f && std::fabs((*c)[2]) < 1e-5f;
  const std::string took = watch.elapsed();
  return passed ? TestResult{std::move(name), true, fmt::format("precision OK in {}", took)}
                : TestResult{std::move(name), false, "precision drift"};
}

TestResult ntt_round_trip_test(const std::shared_ptr<GpuDevice>& device, std::uint64_t q, std::uint64_t root,
                               std::uint32_t n) {
  std::string name = fmt::format("FHE NTT round-trip (mod {}, N={})", q, n);
  const Stopwatch watch;
  std::vector<std::uint64_t> p(n);
  for (std::uint32_t i = 0; i < n; ++i) p[i] = i + 1;
  const std::uint64_t root_inv = fhe::mod_inverse(root, q);

  auto x = Tensor::from_u64(p, device);
  if (!x) return errored(std::move(name), x.error());
  auto ntt = FheNtt::create(*x, n, q, root);
  if (!ntt) return errored(std::move(name), ntt.error());
  auto transformed = ntt->execute();
  if (!transformed) return errored(std::move(name), transformed.error());
  auto intt = FheIntt::create(*transformed, n, q, root_inv);
  if (!intt) return errored(std::move(name), intt.error());
  auto y = intt->execute();
  if (!y) return errored(std::move(name), y.error());
  auto back = y->to_vec_u64();
  if (!back) return errored(std::move(name), back.error());

  bool passed = back->size() >= n;
  for (std::uint32_t i = 0; passed && i < n; ++i) passed = (*back)[i] % q == p[i] % q;
  const std::string took = watch.elapsed();
  return passed ? TestResult{std::move(name), true, fmt::format("bit-perfect in {}", took)}
                : TestResult{std::move(name), false, "INTT(NTT(p)) != p"};
}

TestResult pointwise_test(const std::shared_ptr<GpuDevice>& device) {
  std::string name = "FHE pointwise mod-mul (mod 12289)";
  const Stopwatch watch;
  constexpr std::uint64_t q = 12289;
  const std::vector<std::uint64_t> a = {100, 200, 300, 400};
  const std::vector<std::uint64_t> b = {5, 10, 15, 20};
  auto ta = Tensor::from_u64(a, device);
  if (!ta) return errored(std::move(name), ta.error());
  auto tb = Tensor::from_u64(b, device);
  if (!tb) return errored(std::move(name), tb.error());
  auto op = FhePointwiseMul::create(*ta, *tb, q, 4);
  if (!op) return errored(std::move(name), op.error());
  auto tr = op->execute();
  if (!tr) return errored(std::move(name), tr.error());
  auto r = tr->to_vec_u64();
  if (!r) return errored(std::move(name), r.error());

  bool passed = true;
  const std::size_t n = std::min<std::size_t>(r->size(), 4);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t expected = (a[i] * b[i]) % q;
    passed = passed && (*r)[i] == expected;
  }
  const std::string took = watch.elapsed();
  return passed ? TestResult{std::move(name), true, fmt::format("exact in {}", took)}
                : TestResult{std::move(name), false, "product mismatch"};
}

}  // namespace

std::vector<TestResult> run_tests(const std::shared_ptr<GpuDevice>& device) {
  std::vector<TestResult> rows;
  rows.push_back(device_capability_test(*device));
  rows.push_back(matmul_test(device));
  rows.push_back(add_precision_test(device));
  rows.push_back(ntt_round_trip_test(device, 17, 4, 4));
  rows.push_back(ntt_round_trip_test(device, 12289, 11, 8));
  rows.push_back(pointwise_test(device));
  return rows;
}

}  // namespace trelliken::validation
