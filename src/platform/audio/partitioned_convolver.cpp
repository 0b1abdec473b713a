#include "platform/audio/partitioned_convolver.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/numeric/numeric_internal.h"

namespace zentor {

PartitionedConvolver::PartitionedConvolver(std::span<const double> taps, int32_t block)
    : block_(block),
      bins_(block + 1),
      parts_(static_cast<int32_t>((taps.size() + static_cast<std::size_t>(block) - 1) / static_cast<std::size_t>(block))) {
  const std::size_t n2 = 2 * static_cast<std::size_t>(block_);
  const std::size_t cells = static_cast<std::size_t>(parts_) * static_cast<std::size_t>(bins_);
  time_ = fftw_alloc_real(n2);
  spectrum_ = fftw_alloc_complex(static_cast<std::size_t>(bins_));
  filters_ = fftw_alloc_complex(cells);
  history_ = fftw_alloc_complex(cells);
  {
    // The numeric library's planner lock: FFTW's planner is not re-entrant.
    std::lock_guard lock(numeric_detail::DoublePlannerMutex());
    forward_ = fftw_plan_dft_r2c_1d(static_cast<int>(n2), time_, spectrum_, FFTW_ESTIMATE);
    inverse_ = fftw_plan_dft_c2r_1d(static_cast<int>(n2), spectrum_, time_, FFTW_ESTIMATE);
  }
  // Partition k: taps[k B .. (k+1) B) zero-padded to 2B, scaled for the unscaled inverse.
  const double scale = 1.0 / static_cast<double>(n2);
  for (int32_t k = 0; k < parts_; ++k) {
    std::fill(time_, time_ + n2, 0.0);
    const std::size_t first = static_cast<std::size_t>(k) * static_cast<std::size_t>(block_);
    const std::size_t n = std::min(static_cast<std::size_t>(block_), taps.size() - first);
    for (std::size_t i = 0; i < n; ++i) time_[i] = taps[first + i] * scale;
    fftw_execute_dft_r2c(forward_, time_, filters_ + static_cast<std::size_t>(k) * static_cast<std::size_t>(bins_));
  }
  Reset();
}

PartitionedConvolver::~PartitionedConvolver() {
  {
    std::lock_guard lock(numeric_detail::DoublePlannerMutex());
    fftw_destroy_plan(forward_);
    fftw_destroy_plan(inverse_);
  }
  fftw_free(time_);
  fftw_free(spectrum_);
  fftw_free(filters_);
  fftw_free(history_);
}

void PartitionedConvolver::Reset() {
  std::fill(time_, time_ + 2 * static_cast<std::size_t>(block_), 0.0);
  std::memset(history_, 0, sizeof(fftw_complex) * static_cast<std::size_t>(parts_) * static_cast<std::size_t>(bins_));
  newest_ = 0;
}

void PartitionedConvolver::Process(const double* in, double* out) {
  const std::size_t B = static_cast<std::size_t>(block_);
  // time_ keeps the previous block in its upper half: slide it down, append the new.
  std::memmove(time_, time_ + B, sizeof(double) * B);
  std::memcpy(time_ + B, in, sizeof(double) * B);
  newest_ = newest_ == 0 ? parts_ - 1 : newest_ - 1;
  fftw_complex* x = history_ + static_cast<std::size_t>(newest_) * static_cast<std::size_t>(bins_);
  fftw_execute_dft_r2c(forward_, time_, x);
  double* __restrict acc = reinterpret_cast<double*>(spectrum_);
  std::fill(acc, acc + 2 * static_cast<std::size_t>(bins_), 0.0);
  for (int32_t k = 0; k < parts_; ++k) {
    const double* __restrict h =
        reinterpret_cast<const double*>(filters_ + static_cast<std::size_t>(k) * static_cast<std::size_t>(bins_));
    const double* __restrict xs = reinterpret_cast<const double*>(
        history_ + static_cast<std::size_t>((newest_ + k) % parts_) * static_cast<std::size_t>(bins_));
    for (int32_t b = 0; b < 2 * bins_; b += 2) {
      acc[b] += xs[b] * h[b] - xs[b + 1] * h[b + 1];
      acc[b + 1] += xs[b] * h[b + 1] + xs[b + 1] * h[b];
    }
  }
  fftw_execute_dft_c2r(inverse_, spectrum_, time_);
  for (std::size_t i = 0; i < B; ++i) out[i] += time_[B + i];
  // The inverse wrote over time_: put the newest block back for the next overlap.
  std::memcpy(time_ + B, in, sizeof(double) * B);
}

}  // namespace zentor
