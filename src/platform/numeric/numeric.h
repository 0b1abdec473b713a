// Numeric library: arrays, transforms, windows, convolution, filters, gated and
// smoothed responses. Built on FFTW3 (single precision for the transforms callers
// see, plans cached per size) and plain loops.
//
// Conventions
// - Every function takes spans plus explicit counts. A count larger than a span is
//   clamped to the span (or the call is refused where a partial result would be
//   wrong: the transforms). Nothing is read or written past a span or past its count.
//   Each function owns its scratch; there are no shared work arrays.
// - Threads: every function may run on several threads at once, each call on its
//   own arrays. Scratch is per call (or per thread for the transforms); the plans are
//   shared read-only once made, and made under a lock.
// - Outputs may alias inputs only where noted ("out may be a").
// - fft(re, im, k): forward, unscaled, kernel e^(-j2πnk/N), N = 2^k, split real and
//   imaginary arrays, in place. ifft(re, im, k): kernel e^(+j2πnk/N), scaled 1/N, so
//   ifft(fft(x)) == x. k outside 1..20 (or spans shorter than N) is refused: false,
//   arrays untouched.
// - FFTW plans are made once per size in estimate mode (no first-call stall) and kept;
//   sizes in steady use are measured by a background worker into FFTW wisdom kept in the
//   user's config folder, which the next start plans from (a run never changes its
//   plans, so equal input gives equal bits). A real
//   signal (im all 0) and a conjugate-symmetric spectrum take real transforms. Nothing
//   else in the program calls FFTW's planner.
// - dB: LogMagArray and the TenLogTen* functions floor the power at 1e-30 (-300 dB),
//   never -inf or NaN; a unit impulse reads 0 dB.
// - FindMaxValue / FindMinValue are signed; FindImpulseC finds the largest magnitude,
//   first index on ties.
// - Tapers are half-Hann: TaperStartOfImpulseC(a, L) multiplies a[i] by
//   0.5 (1 - cos(πi/L)) for i < L; TaperEndOfImpulseC(a, L, n) is its mirror over the
//   last L of n samples (a[n-1] becomes 0). L <= 0 does nothing, L > n is clamped.
// - RotateImpulseLeftC / RightC(n, a, s): circular rotation of a[0..n-1] by s mod n.
// - GetSymmetricalPsycologicalGaussianWindow(out, L, w): exp(-((i - c)/w)^2 / 2),
//   c = (L-1)/2, peak 1, not normalised; w <= 0 gives ones.
// - Convolute / NewConvolute(in, out, win, n, L): causal FIR
//   out[i] = sum_{j <= min(L-1, i)} win[j] in[i-j], so a symmetric window delays by
//   (L-1)/2. Direct loop for windows up to 128 taps, one zero-padded FFT product above.
//   in and out must not alias (refused when they do).
// - RecursiveFilter keeps its state in double precision.
// - EnergyEnvelope(x) = x^2 + H{x}^2 with H the Hilbert transform through the analytic
//   signal; used for every energy-time curve instead of the negate-and-invert recipe,
//   which yields a time-reversed signal rather than an envelope.
#pragma once

#include <cstdint>
#include <span>

namespace zentor {

// ---------------------------------------------------------------- plain arrays
void ClearArray(std::span<float> a, int32_t n);
void ClearDoubleArray(std::span<double> a, int32_t n);
// Source and target may overlap.
void CopySingle(std::span<const float> src, std::span<float> dst, int32_t n);
void CopySingleToDouble(std::span<const float> src, std::span<double> dst, int32_t n);
void CopyDoubleToSingle(std::span<const double> src, std::span<float> dst, int32_t n);
void CopyIntToSingle(std::span<const int16_t> src, std::span<float> dst, int32_t n);
// Rounded half to even, saturated to the 16-bit range; NaN gives 0.
void CopySingleToInt(std::span<const float> src, std::span<int16_t> dst, int32_t n);

// out = a + b, a - b, a * b; out may be a or b.
void AddArray(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n);
void AddDoubleArray(std::span<const double> a, std::span<const double> b, std::span<double> out, int32_t n);
void SubtractCurves(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n);
void MultiplyArray(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n);

// Values times c in place. Both argument orders are in use by callers.
void MultSingleByConst(std::span<float> a, int32_t n, float c);
void MultSingleByConst(std::span<float> a, float c, int32_t n);
void SquareSingle(std::span<float> a, int32_t n);

// out = a^2 + b^2; out may be a or b.
void MagArraySquared(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n);
// out = 10 log10(re^2 + im^2), floored at -300 dB; out may be re or im.
void LogMagArray(std::span<float> out, std::span<const float> re, std::span<const float> im, int32_t n);
// In place: 10 log10 x, 20 log10 x (power floored at 1e-30), 10^(x/10), 10^(x/20).
void TenLogTenArray(std::span<float> a, int32_t n);
void TenLogTenDoubleArray(std::span<double> a, int32_t n);
void TwentyLogTenDoubleArray(std::span<double> a, int32_t n);
void TenPowerValueOverTen(std::span<float> a, int32_t n);
void TenPowerValueOverTen(std::span<double> a, int32_t n);
void TenPowerValueOverTwenty(std::span<double> a, int32_t n);
// In place: a[i] = a[i+1] - a[i], a forward difference, and 0 at the last point.
// The middle argument is not read.
void DifferentiateDouble(std::span<double> a, int32_t unused, int32_t n);
// Values below a tiny positive floor (and NaN) are raised to it, ready for 10 log10.
void CheckForNegatives(std::span<float> a, int32_t n);

// out = largest (smallest) of the first n values; n <= 0 leaves out unchanged.
void FindMaxValue(std::span<const float> a, int32_t n, float& out);
void FindMinValue(std::span<const float> a, int32_t n, float& out);
// out = sum of a[first .. first+n-1], accumulated in double (out of range parts skipped).
void IntegrateSingle(std::span<const float> a, int32_t first, int32_t n, double& out);
// sum = sum of squares of the first n values, accumulated in double.
void SquareAndSumSingle(std::span<const float> a, int32_t n, double& sum);
// out = index of the largest |a[i]| in the first n values, first on ties (0 for n <= 0).
void FindImpulseC(std::span<const float> a, int32_t n, int32_t& out);
// Slope of the least-squares line through (x[i], y[i]), i0 <= i <= i1, in out[0].
void LinearExtrapolationC(std::span<const float> x, std::span<const float> y, int32_t i0, int32_t i1,
                          std::span<float> out);
void TangentC(double x, double& result);
// Square root of x; x < 0 gives 0.
void SquareRootC(double x, double& result);

// ---------------------------------------------------------------- fit levels
// Linear levels normalised about 1: divided by their geometric mean, exp(mean ln y),
// over the points with low <= f <= high Hz (values <= 0 and non-finite ones take no
// part). No such point, or low >= high, takes the whole curve; nothing usable leaves
// the levels as they are.
void FixDoubleLinearLevelAboutOneBetweenLimits(std::span<const float> freqs, std::span<double> levels,
                                               int32_t count, float low, float high);
// Loudspeaker low-end compensation of the levels for a speaker of the given order.
// The identity: a fixed f^-order tilt would swamp the peaks and dips the fit looks for.
void LoudspeakerOriginZerosCompensation(std::span<const float> freqs, std::span<double> levels, int32_t count,
                                        int32_t order);

// ---------------------------------------------------------------- transforms
bool fft(std::span<float> re, std::span<float> im, int32_t k);
bool ifft(std::span<float> re, std::span<float> im, int32_t k);
// Each bin's reciprocal over 2^order bins; a zero bin (or one whose reciprocal is
// beyond float range) gives 0.
bool InvertComplexArrayC(std::span<float> re, std::span<float> im, int32_t order);
// A := A x B over 2^order bins.
bool MultiplyComplexArrays(std::span<float> reA, std::span<float> imA, std::span<const float> reB,
                           std::span<const float> imB, int32_t order);
// env[i] = x[i]^2 + H{x}[i]^2 over 2^k samples; env may be x.
bool EnergyEnvelope(std::span<const float> x, std::span<float> env, int32_t k);
// dB level (a sine of amplitude 1 centred on a bin = 0 dB, no window) of a 2^order-sample block
// at each of the count bin indexes listed in bins; the levels replace samples[0..count-1].
bool GetRTASingleResponse(std::span<const float> bins, std::span<float> samples, int32_t count, int32_t order);
// Welch estimate over the first count samples: Hann-windowed segments of 2^(e+1)
// samples, each starting half a segment after the last, at most maxSegments of them.
// spectrum[i] (i = 0 .. 2^e) = sqrt(mean over segments of |X_i|^2 / sum w^2), so
// white noise of variance s^2 reads s^2 once squared; bin i lies at i fs / 2^(e+1).
// False (spectrum untouched) for e outside 1..21, fewer samples than one segment,
// maxSegments < 1 or a spectrum shorter than 2^e + 1.
bool PowerSpectralDensity(std::span<const float> samples, int32_t count, std::span<float> spectrum, int32_t e,
                          int32_t maxSegments);
// In-place rate conversion: a[j] = the signal at input time j * old_rate / new_rate for
// j < count (windowed-sinc interpolation, band-limited to the lower rate). new_rate_int
// is the same rate as a whole number; lead_in is the count of quiet samples the caller
// placed before the signal (kept for the caller; the kernel reads zeros before index 0).
bool ReSample(std::span<float> a, float old_rate, float new_rate, int32_t new_rate_int, int32_t count,
              int32_t lead_in);

// One period of a spectrally shaped sweep into out[0..period-1] (period a power of
// two), peak = amplitude. shape holds shape_len levels in dB spread evenly over 0 to
// rate/2; the sweep spends time at each frequency in proportion to 10^(shape/10), so
// its spectrum follows the shape with a constant envelope, from f_low to f_high Hz.
// scratch is not needed (the function owns its work arrays); kept for the callers.
bool BuildTestSignal(std::span<const float> shape, int32_t shape_len, std::span<int16_t> out, int32_t period,
                     int32_t amplitude, int32_t rate, float f_low, float f_high, std::span<float> scratch);

// Pink weighting of a spectrum of 2^N bins at rate fs: bin k (1 <= k <= 2^(N-1)) and
// its mirror 2^N - k are multiplied by 1/sqrt(k fs / 2^N), so the power falls 10 dB
// per decade; bin 0 becomes 0. N outside 1..20, fs <= 0 or a short array: false,
// nothing changed.
bool PinkEnergyWeightArray(std::span<float> a, int32_t N, int32_t fs);

// ---------------------------------------------------------------- windows, impulses
void GetSymmetricalPsycologicalGaussianWindow(std::span<float> out, int32_t L, float w);
void TaperStartOfImpulseC(std::span<float> a, int32_t L);
void TaperEndOfImpulseC(std::span<float> a, int32_t L, int32_t n);
void TaperStartOfIntegerArrayC(std::span<int16_t> a, int32_t L);
void TaperEndOfIntegerArrayC(std::span<int16_t> a, int32_t L, int32_t n);
void RotateImpulseLeftC(int32_t n, std::span<float> a, int32_t s);
void RotateImpulseRightC(int32_t n, std::span<float> a, int32_t s);
bool Convolute(std::span<const float> in, std::span<float> out, std::span<const float> win, int32_t n, int32_t L);
bool NewConvolute(std::span<const float> in, std::span<float> out, std::span<const float> win, int32_t n, int32_t L);

// ---------------------------------------------------------------- filters
// y = gain * (b * x) filtered by 1/a over n samples from rest; b[0..nb-1], a[0..na-1]
// in powers of z^-1, a normalised by a[0] (a[0] == 0 is refused). y may be x.
bool RecursiveFilter(std::span<const double> b, int32_t nb, std::span<const double> a, int32_t na,
                     std::span<const float> x, std::span<float> y, int32_t n, double gain);

// Filter domains of a pole/zero set.
inline constexpr int32_t kAnalogDomain = -11;   // s plane, roots in rad/s
inline constexpr int32_t kDigitalDomain = -12;  // z plane

// Multiplies out[i] in place by |H| at freqs[i] Hz. s plane: H(s) = analog_gain
// prod(s - zero) / prod(s - pole) at s = j2πf. z plane: digital_gain
// prod(z - zero) / prod(z - pole) at z = e^(j2πf/rate). Other domains leave out as is.
void FilterFrequencyDomainLinArrayC(std::span<double> out, std::span<const float> freqs, int32_t n, int32_t rate,
                                    std::span<const double> pole_re, std::span<const double> pole_im,
                                    std::span<const double> zero_re, std::span<const double> zero_im,
                                    int32_t num_poles, int32_t num_zeros, int32_t domain, double analog_gain,
                                    double digital_gain);
// Multiplies a spectrum of n bins (n a power of two) by the set's response at bin
// frequency i * rate / n; bins above n/2 take the conjugate response (negative
// frequencies), so a real signal stays real after ifft.
void ComplexZFilterC(std::span<float> re, std::span<float> im, int32_t n, int32_t rate,
                     std::span<const double> pole_re, std::span<const double> pole_im,
                     std::span<const double> zero_re, std::span<const double> zero_im, int32_t num_poles,
                     int32_t num_zeros, int32_t domain, double analog_gain, double digital_gain);

// ---------------------------------------------------------------- gated and smoothed responses
// Copies src[0..n-1] into dst[0..n-1] through the gate window: time zero at sample a,
// a raised-cosine rise before it, flat to 0.8 g, raised-cosine fall to 0 at g ms, zero
// after. start_ms > 0 moves the slice that begins start_ms after a to begin at a.
void ApplySliceGate(std::span<const float> src, std::span<float> dst, int32_t a, float gate_ms, int32_t fs,
                    int32_t n, float start_ms);

// Fractional-octave response: gate from start sample a, transform of 2^k points,
// power smoothed over [f 2^(-res/2), f 2^(res/2)], points log-spaced frequencies over
// ten octaves to min(20000, (fs/2)/2^0.333) into x (Hz) and level (dB, a unit impulse
// reads 0 dB), minus the microphone calibration.
bool GetLogResponse(std::span<const float> impulse, float gate_ms, float res_oct, int32_t a, int32_t points,
                    std::span<float> x, std::span<float> level, int32_t k, int32_t fs,
                    std::span<const float> cal_freqs, std::span<const float> cal_db, int32_t cal_count);

// Psychoacoustic response: perceptual time weighting (full to gate_ms, raised-cosine
// fall in dB to shelf_db at shelf_ms, shelf_db after it) and smoothing over
// min(lf_res, ERB(f)) octaves, points log-spaced frequencies over ten octaves ending
// at top_hz.
// valid is the count of samples of impulse holding data.
bool GetPhsycologicalResponse(std::span<const float> impulse, int32_t valid, float lf_res, float gate_ms,
                              float shelf_ms, float shelf_db, int32_t a, int32_t points, std::span<float> x,
                              std::span<float> level, int32_t fs, float top_hz,
                              std::span<const float> cal_freqs, std::span<const float> cal_db,
                              int32_t cal_count);

// levels[i] -= microphone response at freqs[i] (dB, linear in dB over log2 frequency
// between table points, constant beyond the ends). cal_count 0 changes nothing.
void AmplitudeCalibration(std::span<const float> freqs, std::span<float> levels, int32_t count,
                          std::span<const float> cal_freqs, std::span<const float> cal_db, int32_t cal_count);

}  // namespace zentor
