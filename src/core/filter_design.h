// Filters held as a gain and two lists of complex roots (zeros and poles), in the
// analogue (s) or digital (z) plane, and the operations that design them.
// A design runs: clear, set samplerate, build a prototype or place roots (s plane),
// optionally turn into a high-pass and scale to the corner, then the bilinear transform.
// Every design or transform that refuses shows its message, returns false and leaves
// the block exactly as it was.
#pragma once

#include <array>
#include <cstdint>

namespace zentor {

constexpr int kMaxFilterRoots = 75;

constexpr int32_t kDomainCleared = 0;
constexpr int32_t kDomainSPlane = -11;
constexpr int32_t kDomainZPlane = -12;

constexpr int32_t kFilterTypeButterworth = 11;
constexpr int32_t kFilterTypeBessel = 12;
constexpr int32_t kFilterTypeLinkwitzRiley = 13;

struct FilterBlock {
  int32_t samplerate = 0;  // Hz, used by the bilinear transform
  int32_t Domain = 0;      // kDomainSPlane, kDomainZPlane or 0 after clear
  int32_t VavevadoRovo1 = 0;  // carried with the block, never read
  double VavevadoRovo2 = 0;   // carried with the block, never read
  int32_t FilterType = 0;     // prototype the poles came from, 0 otherwise
  int32_t Reserved1 = 0;      // carried, never read
  int32_t NumPoles = 0;       // entries in use; a prototype builder reads it as the order
  int32_t NumZeros = 0;
  double DigitalGain = 1.0;   // gain of the z-plane form
  double AnalogGain = 1.0;    // H(s) = AnalogGain * prod(s - zero) / prod(s - pole)
  double Reserved2 = 0;       // carried, never read
  double Reserved3 = 0;       // carried, never read
  std::array<double, kMaxFilterRoots> ZeroIm{};
  std::array<double, kMaxFilterRoots> ZeroRe{};
  std::array<double, kMaxFilterRoots> PoleIm{};
  std::array<double, kMaxFilterRoots> PoleRe{};
};

// The one shared design block, and the scratch block that holds one section at a time.
extern FilterBlock WorkFilterBlock;
extern FilterBlock SectionFilterBlock;

// Every field 0, the four root lists 0, both gains 1.
void ClearFilterBlock(FilterBlock& block);

// Normalised Butterworth low-pass of order NumPoles (1..75), conjugates adjacent, for an
// odd order the real pole last. Also known as BuildButterworthLowPass.
bool BuildButterworthPoles(FilterBlock& block);

// Linkwitz-Riley low-pass of even order NumPoles (2..10): the Butterworth set of half the
// order taken twice, arranged so that (0,1), (2,3), ... are sections.
// Also known as BuildLinkwitzRileyLowPass.
bool BuildLinkwitzRileyPrototype(FilterBlock& block);

// Bessel low-pass of order NumPoles (1..8) from its pole table, unit gain at DC.
bool BuildBesselPrototype(FilterBlock& block);

// First-order shelf of levelDb: 0 dB at DC, levelDb well above 1 rad/s.
// Also known as DbToLinearGainPair.
bool BuildShelfPrototype(FilterBlock& block, float levelDb);

// Moves a normalised s-plane block to the corner w (rad/s), keeping its pass-band gain.
bool ScaleFilterBlockFrequency(FilterBlock& block, double w);

// Normalised s-plane low-pass to the normalised high-pass (callers pass factor 1.0).
bool LowPassToHighPass(FilterBlock& block, double factor);

// 2 fs tan(w / (2 fs)): the analogue frequency that lands on w after the bilinear transform.
double PrewarpFrequency(double w, int32_t fs);

// s plane to z plane at the block's samplerate; zeros at z = -1 fill up to NumPoles.
bool BilinearTransformFilterBlock(FilterBlock& block);

// The two roots of s^2 + (w/Q) s + w^2. Also known as SecondOrderSectionRoots and
// AddParametricSection.
bool ResonanceRoots(double Q, double w, double& re1, double& im1, double& re2, double& im2);

// A cleared s-plane block holding one peaking section at w (rad/s): zeros of Q
// zeroQ, poles of Q poleQ, unit gains. False, the block untouched, when
// ResonanceRoots refuses a Q.
bool PeakingSectionBlock(double zeroQ, double poleQ, double w, int32_t rate, FilterBlock& block);

// The two roots of a x^2 + b x + c.
bool QuadraticRoots(double a, double b, double c, double& re1, double& im1, double& re2,
                    double& im2);

// Complex coefficients of prod(x - r_k); polyRe[0] = 1 belongs to the highest power.
// The coefficient arrays must hold count + 1 entries.
bool ExpandRootsToPolynomial(double* polyRe, double* polyIm, int32_t count, const double* rootRe,
                             const double* rootIm);

// Copies poles start..start+count-1 (and the matching zeros) and every scalar field.
bool CopyFilterBlockSection(const FilterBlock& source, FilterBlock& target, int32_t start,
                            int32_t count);

// For an odd count of at least 3: the most nearly real pole (zero) moves to index 0.
void MoveRealRootFirst(FilterBlock& block);

// out = a * b; inputs are taken by value, so an output may alias an input.
void ComplexMultiply(double aIm, double aRe, double bIm, double bRe, double& outIm, double& outRe);

// z = 1/z; false and z unchanged when z = 0. Also known as ComplexDivide.
bool ComplexReciprocal(double& re, double& im);

// The Q the analogue section needs so that the emulated equaliser's filter has q at w
// (rad/s): code 2 (cookbook biquad) q sin(w0)/w0 with w0 = w/fs; codes 1, 3, 4, 5 q;
// others 0. Also known as BuildAnalogSection.
double AdaptEmulationQ(float q, float w, int32_t EQEmulationCode, int32_t fs);

// Q of a band of bw octaves: 1 / (2 sinh(ln 2 / 2 * bw)), single precision.
float QFromBandwidthOctaves(float bw);

double Tangent(double x);
double SquareRoot(double x);

}  // namespace zentor
