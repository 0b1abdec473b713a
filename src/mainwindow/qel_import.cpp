#include "mainwindow/qel_import.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "base/binary_io.h"
#include "core/results_store.h"
#include "base/shared_state.h"
#include "base/text_number.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

std::string QelFileName;

namespace {

SharedStateRegistrar g_reset([] { QelFileName.clear(); });

constexpr int32_t kReferenceEnd = kQelSamples - 1;  // 176400
constexpr int32_t kWorkExponentLimit = 18;          // transforms at most 2^18 points
constexpr int32_t kWorkPoints = 1 << kWorkExponentLimit;
constexpr int32_t kSignalWindowEnd = 16384;
constexpr int32_t kNoiseWindowEnd = 32767;
constexpr int kUnusedRecordArrays[] = {5, 7, 9, 9, 3, 9, 4, 9};
constexpr int64_t kLongestString = 2 + 32767;

// Every record's two strings at their longest.
constexpr int64_t LargestQelFileBytes() {
  int64_t records = 0;
  for (int n : kUnusedRecordArrays) records += n;
  return int64_t{2} * kQelSamples + 272 + 2 * 4 * kMaxMicCalPoints + 4004 + 4 + 8 + 4 +
         records * (12 + 8016 + 2 * kLongestString) + 44 + 4 + 4 + 12 + 4;
}

bool SameValue(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

bool ParseQelFile(std::span<const uint8_t> bytes, QelFileImage& q) {
  BinaryReader r(bytes);
  q.Samples.assign(kQelSamples, 0);
  r.Integers(q.Samples);
  r.Skip(272);
  r.Singles(q.Cal.Freq);
  r.Singles(q.Cal.Level);
  r.Skip(4004);
  r.Long(q.Cal.Count);
  r.Skip(8);
  r.Long(q.ImpulsePosition);
  std::string text;
  for (int records : kUnusedRecordArrays)
    for (int k = 0; k < records; ++k) {
      r.Skip(12);
      r.String(text);
      r.Skip(8016);
      r.String(text);
    }
  r.Skip(44);
  r.Long(q.SampleRate);
  r.Long(q.BandMarker);
  r.Skip(12);
  r.Long(q.PeriodFlag);
  if (!r.ok()) return false;
  if (q.Cal.Count < 0 || q.Cal.Count > kMaxMicCalPoints) return false;
  if (q.SampleRate < 8000 || q.SampleRate > 192000) return false;
  return true;
}

bool ReadQelFile(const std::string& path, QelFileImage& image) {
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(path, bytes, LargestQelFileBytes()) && ParseQelFile(bytes, image)) return true;
  MsgBox("Error: Qel file could not be read");
  return false;
}

int16_t ImportQelFile(const std::string& path) {
  const int32_t k = ResultsDataSetInfo[0].NumInSet;
  if (k >= kMaxResults || k < 0) {
    MsgBox("User Error: A maximum of 32measurements can be loaded into one file");
    return kQelNotAdded;
  }

  QelFileImage q;
  if (!ReadQelFile(path, q)) return kQelNotAdded;
  if (q.BandMarker > 1) {
    MsgBox("User Error: This file cannot be added to Zentor because it is limited to the low frequency band");
    return kQelLowBand;
  }

  const int32_t lead = CLng(q.SampleRate * 0.05);
  const int64_t shift64 = static_cast<int64_t>(q.ImpulsePosition) - lead;
  if (shift64 < INT32_MIN || shift64 > INT32_MAX) {
    MsgBox("Error: Qel file could not be read");
    return kQelNotAdded;
  }
  const int32_t impulseShift = static_cast<int32_t>(shift64);

  // Everything below works on a copy of header 0; the store changes only once
  // the file has been accepted.
  MeasurementHeader first = ResultsDataSetInfo[0];
  bool lowerHeldPeriods = false;
  if (k == 0) {
    first.PeriodExponent = q.PeriodFlag == 1 ? 15 : 17;
    first.PreExcitationExponent = q.PeriodFlag == 1 ? 14 : 16;
    first.SampleRate = q.SampleRate;
    first.ImpulseShift = impulseShift;
    first.LevelMultiplier = 0;
    first.PsdPeriodExponent = 15;
    SetDefaultMeasurementHeader(first);
  } else if (q.PeriodFlag == 1 && first.PeriodExponent > 15) {
    lowerHeldPeriods = true;
    first.PeriodExponent = 15;
    first.PreExcitationExponent = 14;
  }
  if (q.SampleRate != first.SampleRate) {
    MsgBox("User Error: This file cannot be added because it has a different sample frequency than the first loaded "
           "file");
    return kQelOtherRateOrCalCount;
  }
  const bool takeCalibration = k == 0 && q.Cal.Count > 0;
  if (k > 0) {
    if (q.Cal.Count != ActiveMicCal.Count) {
      MsgBox("User Error: Added files must have the same mic calibration as originals");
      return kQelOtherRateOrCalCount;
    }
    for (int32_t i = 0; i < q.Cal.Count; ++i)
      if (!SameValue(q.Cal.Freq[i], ActiveMicCal.Freq[i]) || !SameValue(q.Cal.Level[i], ActiveMicCal.Level[i])) {
        MsgBox("User Error: Added files must have the same mic calibration as the first loaded file.");
        return kQelOtherCalValues;
      }
  }

  const int32_t order = std::clamp<int32_t>(first.PeriodExponent, 1, kWorkExponentLimit);
  const int32_t n = 1 << order;
  const int32_t d = CLng(q.SampleRate * 0.025);
  const int32_t taper = CLng(q.SampleRate * 0.05 / 4.0);

  std::vector<float> a(kWorkPoints, 0.0f), b(kWorkPoints, 0.0f), c(kWorkPoints, 0.0f), dd(kWorkPoints, 0.0f);
  for (int32_t i = 0; i <= kQelRecordingEnd; ++i) a[static_cast<size_t>(i + d)] = q.Samples[static_cast<size_t>(i)];
  float peak = 0.0f;
  FindMaxValue(a, n, peak);
  const float inputLevel = static_cast<float>(20.0 * std::log10(static_cast<double>(peak) / kQelLevelReference));
  for (int32_t i = 0; kQelRecordingEnd + d + i <= kReferenceEnd; ++i)
    c[static_cast<size_t>(i)] = q.Samples[static_cast<size_t>(kQelRecordingEnd + d + i)];

  fft(a, b, order);
  fft(c, dd, order);
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    const std::complex<double> den(c[i], dd[i]);
    const std::complex<double> q2 = den == 0.0 ? 0.0 : std::complex<double>(a[i], b[i]) / den;
    a[i] = static_cast<float>(q2.real());
    c[i] = static_cast<float>(q2.imag());
  }
  a[0] = 0.0f;
  c[0] = 0.0f;
  ifft(a, c, order);
  // Only the first n points are the response; the rest of the curve held the recording.
  std::fill(a.begin() + n, a.end(), 0.0f);

  double e1 = 0.0, e2 = 0.0;
  for (int32_t i = 0; i <= kSignalWindowEnd; ++i) e1 += static_cast<double>(a[i]) * a[i];
  if (e1 == 0.0) {
    MsgBox("Error 5425");
    return kQelNoData;
  }
  for (int32_t i = kSignalWindowEnd; i <= kNoiseWindowEnd; ++i) e2 += static_cast<double>(a[i]) * a[i];
  if (e2 == 0.0) {
    MsgBox("Error 5433");
    return kQelNoData;
  }
  const float signalToNoise = static_cast<float>(Fix(100.0 * std::log10(e1 / e2)) * 0.1);

  float impulsePeak = 0.0f;
  FindMaxValue(a, n, impulsePeak);
  if (impulsePeak == 0.0f) {
    MsgBox("Error: No measurement data contained in file");
    return kQelNoData;
  }
  const float multiplier = kQelLevelReference / impulsePeak;
  if (!std::isfinite(multiplier)) {
    MsgBox("Error: No measurement data contained in file");
    return kQelNoData;
  }

  DataPlotter* p = Forms::Get<DataPlotter>();
  if (!p->ClearExtDisplay()) return kQelNotAdded;

  TaperEndOfImpulseC(a, taper, n);
  TaperStartOfImpulseC(a, taper);

  // Accepted: apply the header changes, the calibration and the new result.
  if (lowerHeldPeriods)
    for (int32_t i = 0; i < k; ++i) {
      ResultsDataSetInfo[i].PeriodExponent = 15;
      ResultsDataSetInfo[i].PreExcitationExponent = 14;
    }
  if (k == 0) ResultsDataSetInfo[0] = first;
  if (takeCalibration) {
    ActiveMicCal.Count = q.Cal.Count;
    // Nothing of a longer calibration stays past the count.
    std::fill(std::copy_n(q.Cal.Freq.begin(), q.Cal.Count, ActiveMicCal.Freq.begin()), ActiveMicCal.Freq.end(), 0.0f);
    std::fill(std::copy_n(q.Cal.Level.begin(), q.Cal.Count, ActiveMicCal.Level.begin()), ActiveMicCal.Level.end(),
              0.0f);
    SeedLastReadMicCal();
  }

  MeasurementHeader& entry = ResultsDataSetInfo[k];
  const MeasurementHeader& source = ResultsDataSetInfo[0];
  const MeasurementHeader before = entry;
  entry = source;
  // Only the fields from SampleRate on come from result 0.
  entry.NumInSet = before.NumInSet;
  entry.ReservedDouble1 = before.ReservedDouble1;
  entry.ModalSliceMaxFreq = before.ModalSliceMaxFreq;
  entry.ReservedDouble3 = before.ReservedDouble3;
  entry.ReservedDouble4 = before.ReservedDouble4;
  entry.RunStatus = 0;
  entry.MainRunFlag = kFalse;
  entry.PsdRunFlag = kFalse;
  entry.PsdPeriodExponent = 15;
  entry.LevelMultiplier = multiplier;
  entry.ImpulseShift = impulseShift;
  entry.PeakLevel = inputLevel;
  entry.SignalEnergy = static_cast<float>(e1);
  entry.NoiseEnergy = signalToNoise;
  std::copy_n(a.begin(), kMaxSamples, ImpulseSet[k].begin());

  const int32_t total = k + 1;
  for (int32_t i = 0; i < total; ++i) ResultsDataSetInfo[i].NumInSet = total;
  p->ResultsTakenButNotSaved = kTrue;
  return kQelAdded;
}

}  // namespace zentor
