// Complex transforms on split arrays, the real-transform helpers the library uses
// inside, complex bin arithmetic and the energy-time envelope.
#include <fftw3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"
#include "platform/settings.h"

namespace zentor {
namespace numeric_detail {

DoubleBuffer AllocDoubles(std::size_t n) {
  DoubleBuffer b(fftw_alloc_real(n ? n : 1));
  std::memset(b.get(), 0, sizeof(double) * (n ? n : 1));
  return b;
}

ComplexBuffer AllocComplex(std::size_t n) {
  ComplexBuffer b(fftw_alloc_complex(n ? n : 1));
  std::memset(b.get(), 0, sizeof(fftw_complex) * (n ? n : 1));
  return b;
}

int OrderFor(std::size_t n) {
  int k = 0;
  while ((std::size_t{1} << k) < n) ++k;
  return k;
}

bool WriteFftWisdom(bool doublePrecision, const std::string& file) {
  char* text = doublePrecision ? fftw_export_wisdom_to_string() : fftwf_export_wisdom_to_string();
  if (!text) return false;
  const bool ok = WriteWholeFileAtomic(file, std::string_view(text));
  std::free(text);
  return ok;
}

std::mutex& SinglePlannerMutex() {
  static std::mutex m;
  return m;
}

std::mutex& DoublePlannerMutex() {
  static std::mutex m;
  return m;
}

namespace {

// Plans. Every size first gets an estimate-mode plan (instant), all sizes at once on
// first use so the foreground never waits for the planner. A size used repeatedly is
// then measured by one background worker, which only keeps the result as FFTW wisdom in
// the user's config folder: the next start has measured plans at once, while a running
// process keeps the plans it started with, so the same input always gives the same
// bits. FFTW's planner is not re-entrant (one mutex per library).
constexpr int kMaxOrder = 20;
constexpr int kTuneAfterUses = 3;

struct FloatFree {
  void operator()(void* p) const { fftwf_free(p); }
};
using WorkBuffer = std::unique_ptr<fftwf_complex[], FloatFree>;


// kComplex, kRealSingle: fft/ifft (fftw3f); kReal: the library's own double transforms.
enum class Kind { kComplex, kRealSingle, kReal };

struct Plans {
  std::array<std::atomic<fftwf_plan>, kMaxOrder + 1> complex{};
  std::array<std::atomic<fftw_plan>, kMaxRealOrder + 1> realForward{}, realInverse{};
  std::array<std::atomic<fftwf_plan>, kMaxOrder + 1> singleForward{}, singleInverse{};
  std::array<std::atomic<int>, kMaxOrder + 1> complexUses{}, singleUses{};
  std::array<std::atomic<int>, kMaxRealOrder + 1> realUses{};
  std::string floatWisdom, doubleWisdom;
  std::mutex queueMutex;
  std::condition_variable queueWake;
  std::deque<std::pair<Kind, int>> queue;
  bool workerStarted = false;
  bool working = false;
  std::condition_variable idle;
};

fftwf_plan MakeComplexPlan(int k, unsigned flags) {
  const int n = 1 << k;
  WorkBuffer t(fftwf_alloc_complex(n));
  return fftwf_plan_dft_1d(n, t.get(), t.get(), FFTW_FORWARD, flags);
}

std::pair<fftwf_plan, fftwf_plan> MakeSinglePlans(int k, unsigned flags) {
  const int n = 1 << k;
  std::unique_ptr<float[], FloatFree> r(fftwf_alloc_real(n));
  WorkBuffer c(fftwf_alloc_complex(n / 2 + 1));
  fftwf_plan f = fftwf_plan_dft_r2c_1d(n, r.get(), c.get(), flags);
  fftwf_plan i = fftwf_plan_dft_c2r_1d(n, c.get(), r.get(), flags | FFTW_DESTROY_INPUT);
  return {f, i};
}

std::pair<fftw_plan, fftw_plan> MakeRealPlans(int k, unsigned flags) {
  const int n = 1 << k;
  DoubleBuffer r(fftw_alloc_real(n));
  ComplexBuffer c(fftw_alloc_complex(n / 2 + 1));
  fftw_plan f = fftw_plan_dft_r2c_1d(n, r.get(), c.get(), flags);
  fftw_plan i = fftw_plan_dft_c2r_1d(n, c.get(), r.get(), flags | FFTW_DESTROY_INPUT);
  return {f, i};
}

void SaveWisdom(const Plans& p, Kind kind) {
  const bool single = kind != Kind::kReal;
  const std::string& file = single ? p.floatWisdom : p.doubleWisdom;
  if (file.empty()) return;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(file).parent_path();
  // The config folder's parent must exist: a folder removed meanwhile is not recreated.
  if (!std::filesystem::exists(folder.parent_path(), ec)) return;
  std::filesystem::create_directory(folder, ec);
  (void)WriteFftWisdom(!single, file);
}

void Worker(Plans* p) {
  for (;;) {
    std::pair<Kind, int> job;
    {
      std::unique_lock lock(p->queueMutex);
      p->working = false;
      p->idle.notify_all();
      p->queueWake.wait(lock, [&] { return !p->queue.empty(); });
      job = p->queue.front();
      p->queue.pop_front();
      p->working = true;
    }
    const int k = job.second;
    if (job.first == Kind::kComplex) {
      std::lock_guard lock(SinglePlannerMutex());
      // Patient planning finds plans close to FFTW's best; it takes seconds, which only
      // this worker pays. The largest sizes would take minutes: measured only.
      if (fftwf_plan q = MakeComplexPlan(k, k <= 18 ? FFTW_PATIENT : FFTW_MEASURE)) fftwf_destroy_plan(q);
      SaveWisdom(*p, Kind::kComplex);
    } else if (job.first == Kind::kRealSingle) {
      std::lock_guard lock(SinglePlannerMutex());
      auto [f, i] = MakeSinglePlans(k, k <= 18 ? FFTW_PATIENT : FFTW_MEASURE);
      if (f) fftwf_destroy_plan(f);
      if (i) fftwf_destroy_plan(i);
      SaveWisdom(*p, Kind::kRealSingle);
    } else {
      std::lock_guard lock(DoublePlannerMutex());
      auto [f, i] = MakeRealPlans(k, FFTW_MEASURE);
      if (f) fftw_destroy_plan(f);
      if (i) fftw_destroy_plan(i);
      SaveWisdom(*p, Kind::kReal);
    }
  }
}

std::string ConfigFolder() {
  const std::string conf = SettingsFilePath("Zentor");
  return std::filesystem::path(conf).parent_path().string();
}

constexpr int kEagerRealOrder = 18;  // larger real sizes are rare: planned when first used

Plans& PlanStore() {
  static Plans* plans = [] {
    auto* p = new Plans;  // lives for the whole run; the worker may outlast main()
    const std::string folder = ConfigFolder();
    if (!folder.empty()) {
      p->floatWisdom = folder + "/fftw-wisdom-single";
      p->doubleWisdom = folder + "/fftw-wisdom-double";
    }
    return p;
  }();
  return *plans;
}

Plans& ComplexPlans() {
  Plans& p = PlanStore();
  static std::once_flag once;
  std::call_once(once, [&] {
    std::lock_guard lock(SinglePlannerMutex());
    if (!p.floatWisdom.empty()) fftwf_import_wisdom_from_filename(p.floatWisdom.c_str());
    for (int k = 1; k <= kMaxOrder; ++k) {
      fftwf_plan q = MakeComplexPlan(k, (k <= 18 ? FFTW_PATIENT : FFTW_MEASURE) | FFTW_WISDOM_ONLY);
      if (q) p.complexUses[k].store(-1);  // measured in an earlier run
      else q = MakeComplexPlan(k, FFTW_ESTIMATE);
      p.complex[k].store(q);
      const unsigned tuned = (k <= 18 ? FFTW_PATIENT : FFTW_MEASURE) | FFTW_WISDOM_ONLY;
      auto [f, i] = MakeSinglePlans(k, tuned);
      if (f && i) p.singleUses[k].store(-1);
      else std::tie(f, i) = MakeSinglePlans(k, FFTW_ESTIMATE);
      p.singleForward[k].store(f);
      p.singleInverse[k].store(i);
    }
  });
  return p;
}

void PlanReal(Plans& p, int k) {
  auto [f, i] = MakeRealPlans(k, FFTW_MEASURE | FFTW_WISDOM_ONLY);
  if (f && i) {
    p.realUses[k].store(-1);
  } else {
    std::tie(f, i) = MakeRealPlans(k, FFTW_ESTIMATE);
    if (k > kEagerRealOrder) p.realUses[k].store(-1);  // never measured: see kEagerRealOrder
  }
  p.realInverse[k].store(i);
  p.realForward[k].store(f);
}

Plans& RealPlans(int k) {
  Plans& p = PlanStore();
  static std::once_flag once;
  std::call_once(once, [&] {
    std::lock_guard lock(DoublePlannerMutex());
    if (!p.doubleWisdom.empty()) fftw_import_wisdom_from_filename(p.doubleWisdom.c_str());
    for (int j = 1; j <= kEagerRealOrder; ++j) PlanReal(p, j);
  });
  if (!p.realForward[k].load()) {
    std::lock_guard lock(DoublePlannerMutex());
    if (!p.realForward[k].load()) PlanReal(p, k);
  }
  return p;
}

// Counts a use of a size and hands it to the worker once it is clearly in demand.
void NoteUse(Plans& p, Kind kind, int k) {
  std::atomic<int>& uses = kind == Kind::kComplex      ? p.complexUses[k]
                           : kind == Kind::kRealSingle ? p.singleUses[k]
                                                       : p.realUses[k];
  int seen = uses.load();
  if (seen < 0 || seen > kTuneAfterUses) return;
  if (uses.fetch_add(1) + 1 != kTuneAfterUses) return;
  std::lock_guard lock(p.queueMutex);
  p.queue.emplace_back(kind, k);
  p.working = true;
  if (!p.workerStarted) {
    p.workerStarted = true;
    std::thread(Worker, &p).detach();
  }
  p.queueWake.notify_one();
}

fftwf_complex* WorkFor(int k) {
  thread_local std::array<WorkBuffer, kMaxOrder + 1> work;
  if (!work[k]) work[k].reset(fftwf_alloc_complex(std::size_t{1} << k));
  return work[k].get();
}

// Forward transform of (a + jb); results back into a and b, times scale. The inverse
// is the forward transform with the parts exchanged on the way in and out.
void RunForward(int k, float* __restrict a, float* __restrict b, float scale) {
  Plans& plans = ComplexPlans();
  NoteUse(plans, Kind::kComplex, k);
  const fftwf_plan plan = plans.complex[k].load();
  float* __restrict w = reinterpret_cast<float*>(WorkFor(k));
  const std::size_t n = std::size_t{1} << k;
  for (std::size_t j = 0; j < n; ++j) {
    w[2 * j] = a[j];
    w[2 * j + 1] = b[j];
  }
  fftwf_execute_dft(plan, reinterpret_cast<fftwf_complex*>(w), reinterpret_cast<fftwf_complex*>(w));
  for (std::size_t j = 0; j < n; ++j) {
    a[j] = w[2 * j] * scale;
    b[j] = w[2 * j + 1] * scale;
  }
}

bool Aligned(const float* p) { return fftwf_alignment_of(const_cast<float*>(p)) == 0; }

// fft of a real signal (im all zero), the usual case: a real transform straight from
// the caller's array, the spectrum written out with its mirror half.
bool ForwardRealInput(int k, float* __restrict re, float* __restrict im) {
  const std::size_t n = std::size_t{1} << k;
  if (!Aligned(re)) return false;
  for (std::size_t j = 0; j < n; ++j)
    if (im[j] != 0.0f) return false;
  Plans& plans = ComplexPlans();
  NoteUse(plans, Kind::kRealSingle, k);
  float* __restrict w = reinterpret_cast<float*>(WorkFor(k));
  fftwf_execute_dft_r2c(plans.singleForward[k].load(), re, reinterpret_cast<fftwf_complex*>(w));
  const std::size_t half = n / 2;
  for (std::size_t j = 0; j <= half; ++j) {
    re[j] = w[2 * j];
    im[j] = w[2 * j + 1];
  }
  for (std::size_t j = half + 1; j < n; ++j) {
    re[j] = re[n - j];
    im[j] = -im[n - j];
  }
  return true;
}

// ifft of an exactly conjugate-symmetric spectrum: a real inverse straight into the
// caller's array; the imaginary part of the result is exactly 0.
bool InverseToRealOutput(int k, float* __restrict re, float* __restrict im) {
  const std::size_t n = std::size_t{1} << k;
  const std::size_t half = n / 2;
  if (!Aligned(re) || im[0] != 0.0f || im[half] != 0.0f) return false;
  for (std::size_t j = 1; j < half; ++j)
    if (re[j] != re[n - j] || im[j] != -im[n - j]) return false;
  Plans& plans = ComplexPlans();
  NoteUse(plans, Kind::kRealSingle, k);
  float* __restrict w = reinterpret_cast<float*>(WorkFor(k));
  const float scale = 1.0f / static_cast<float>(n);
  for (std::size_t j = 0; j <= half; ++j) {
    w[2 * j] = re[j] * scale;
    w[2 * j + 1] = im[j] * scale;
  }
  fftwf_execute_dft_c2r(plans.singleInverse[k].load(), reinterpret_cast<fftwf_complex*>(w), re);
  std::fill_n(im, n, 0.0f);
  return true;
}

bool TransformArgsOk(std::span<float> re, std::span<float> im, int32_t k) {
  if (k < 1 || k > kMaxOrder) return false;
  const std::size_t n = std::size_t{1} << k;
  return re.size() >= n && im.size() >= n && re.data() != im.data();
}

}  // namespace

void WaitForTransformTuning() {
  Plans& p = PlanStore();
  std::unique_lock lock(p.queueMutex);
  p.idle.wait(lock, [&] { return p.queue.empty() && !p.working; });
}

void AdoptTunedPlans() {
  WaitForTransformTuning();
  Plans& p = ComplexPlans();
  std::lock_guard lock(SinglePlannerMutex());
  for (int k = 1; k <= kMaxOrder; ++k) {
    const unsigned tuned = (k <= 18 ? FFTW_PATIENT : FFTW_MEASURE) | FFTW_WISDOM_ONLY;
    if (fftwf_plan q = MakeComplexPlan(k, tuned)) p.complex[k].store(q);
    auto [f, i] = MakeSinglePlans(k, tuned);
    if (f && i) {
      p.singleForward[k].store(f);
      p.singleInverse[k].store(i);
    }
  }
}

void ForwardReal(int k, double* in, fftw_complex* out) {
  Plans& p = RealPlans(k);
  NoteUse(p, Kind::kReal, k);
  fftw_execute_dft_r2c(p.realForward[k].load(), in, out);
}

void InverseReal(int k, fftw_complex* in, double* out) {
  Plans& p = RealPlans(k);
  NoteUse(p, Kind::kReal, k);
  fftw_execute_dft_c2r(p.realInverse[k].load(), in, out);
}

}  // namespace numeric_detail

using namespace numeric_detail;

bool fft(std::span<float> re, std::span<float> im, int32_t k) {
  if (!TransformArgsOk(re, im, k)) return false;
  if (k >= 2 && ForwardRealInput(k, re.data(), im.data())) return true;
  RunForward(k, re.data(), im.data(), 1.0f);
  return true;
}

bool ifft(std::span<float> re, std::span<float> im, int32_t k) {
  if (!TransformArgsOk(re, im, k)) return false;
  if (k >= 2 && InverseToRealOutput(k, re.data(), im.data())) return true;
  RunForward(k, im.data(), re.data(), 1.0f / static_cast<float>(std::size_t{1} << k));
  return true;
}

bool InvertComplexArrayC(std::span<float> re, std::span<float> im, int32_t order) {
  if (order < 0 || order > 30) return false;
  const std::size_t n = std::size_t{1} << order;
  if (re.size() < n || im.size() < n) return false;
  for (std::size_t j = 0; j < n; ++j) {
    const double a = re[j], b = im[j];
    const double m = a * a + b * b;
    const double r = a / m, i = -b / m;
    constexpr double kMax = std::numeric_limits<float>::max();
    if (!(m > 0.0) || !std::isfinite(m) || !(std::fabs(r) <= kMax) || !(std::fabs(i) <= kMax)) {
      // 1/0 (and a reciprocal beyond float range, or of inf/NaN) is given as 0, so a
      // division never spreads inf or NaN through a spectrum.
      re[j] = 0.0f;
      im[j] = 0.0f;
      continue;
    }
    re[j] = static_cast<float>(r);
    im[j] = static_cast<float>(i);
  }
  return true;
}

bool MultiplyComplexArrays(std::span<float> reA, std::span<float> imA, std::span<const float> reB,
                           std::span<const float> imB, int32_t order) {
  if (order < 0 || order > 30) return false;
  const std::size_t n = std::size_t{1} << order;
  if (reA.size() < n || imA.size() < n || reB.size() < n || imB.size() < n) return false;
  for (std::size_t j = 0; j < n; ++j) {
    const float a = reA[j], b = imA[j], c = reB[j], d = imB[j];
    reA[j] = a * c - b * d;
    imA[j] = a * d + b * c;
  }
  return true;
}

bool EnergyEnvelope(std::span<const float> x, std::span<float> env, int32_t k) {
  if (k < 1 || k > kMaxRealOrder) return false;
  const std::size_t n = std::size_t{1} << k;
  if (x.size() < n || env.size() < n) return false;
  DoubleBuffer t = AllocDoubles(n);
  ComplexBuffer spectrum = AllocComplex(n / 2 + 1);
  for (std::size_t i = 0; i < n; ++i) t[i] = x[i];
  ForwardReal(k, t.get(), spectrum.get());
  // Hilbert transform: positive bins times -j (negative bins, implied by the real
  // inverse, times +j); DC and Nyquist carry no quadrature part.
  spectrum[0][0] = spectrum[0][1] = 0.0;
  spectrum[n / 2][0] = spectrum[n / 2][1] = 0.0;
  for (std::size_t b = 1; b < n / 2; ++b) {
    const double r = spectrum[b][0], i = spectrum[b][1];
    spectrum[b][0] = i;
    spectrum[b][1] = -r;
  }
  DoubleBuffer h = AllocDoubles(n);
  InverseReal(k, spectrum.get(), h.get());
  const double scale = 1.0 / static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double xi = x[i];
    const double hi = h[i] * scale;
    env[i] = static_cast<float>(xi * xi + hi * hi);
  }
  return true;
}

}  // namespace zentor
