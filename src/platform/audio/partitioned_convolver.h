// Streaming convolution by uniformly partitioned overlap-save in double precision:
// each block of `block` input samples yields the same span of output. The plans and
// buffers are made by the constructor; Process neither allocates nor locks, so a
// device thread can run it.
#pragma once

#include <fftw3.h>

#include <cstdint>
#include <span>
#include <vector>

namespace zentor {

class PartitionedConvolver {
 public:
  // `block` a power of two from 2 to 2^16; `taps` not empty.
  PartitionedConvolver(std::span<const double> taps, int32_t block);
  ~PartitionedConvolver();
  PartitionedConvolver(const PartitionedConvolver&) = delete;
  PartitionedConvolver& operator=(const PartitionedConvolver&) = delete;

  int32_t Block() const { return block_; }
  // Adds the output of one input block to out[0..block-1].
  void Process(const double* in, double* out);
  // Forgets the input history.
  void Reset();

 private:
  int32_t block_, bins_, parts_;
  int32_t newest_ = 0;  // slot of the newest spectrum in the delay line
  fftw_plan forward_ = nullptr, inverse_ = nullptr;
  double* time_ = nullptr;         // 2 block
  fftw_complex* spectrum_ = nullptr;  // bins
  fftw_complex* filters_ = nullptr;   // parts x bins
  fftw_complex* history_ = nullptr;   // parts x bins, the input spectra
};

}  // namespace zentor
