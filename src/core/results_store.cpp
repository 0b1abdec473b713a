#include "core/results_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

ResultsStoreLinks ResultsStoreHooks;

namespace {

SharedStateRegistrar g_reset([] { ResultsStoreHooks = ResultsStoreLinks{}; });

void ClearCurveRecordCompletely(CurveRecord& r) {
  r.NumCurves = 0;
  r.CurveIndex = 0;
  r.Parameter = 0;
  r.Name = '0';
  r.NumPoints = 0;
  r.YValues.fill(0.0f);
  r.XValues.fill(0.0f);
  r.Label = ' ';
}

}  // namespace

int32_t ImpulseTaperLength(int32_t sampleRate) {
  return std::max<int32_t>(0, CLng(static_cast<double>(sampleRate) * 0.05 / 4.0));
}

std::string ResultsStoreFullMessage() {
  return "User Error: " + std::to_string(kMaxResults) +
         " measurements can be loaded at one time. Delete one result or start a new measurement session to "
         "continue.";
}

std::string AddMeasurementToResults(std::span<float> samples, const MeasurementHeader& header,
                                    const std::string& rightSN, const std::string& leftSN,
                                    const std::string& distance, const std::string& rightLevel,
                                    const std::string& leftLevel) {
  if (ResultsStoreHooks.LoadMicCal) ResultsStoreHooks.LoadMicCal();

  const int32_t count = ResultsDataSetInfo[0].NumInSet;
  if (count >= kMaxResults || count < 0) {
    MsgBox(ResultsStoreFullMessage());
    return "False";
  }

  CopyMeasurementHeader(header, ResultsDataSetInfo[count]);

  const int32_t exponent = std::clamp<int32_t>(header.PeriodExponent, 0, kMaxSamplesExponent);
  const int32_t n = 1 << exponent;
  const int32_t taper = ImpulseTaperLength(header.SampleRate);
  TaperEndOfImpulseC(samples, taper, n);
  TaperStartOfImpulseC(samples, taper);

  auto& column = ImpulseSet[count];
  const size_t held = std::min<size_t>(static_cast<size_t>(n), samples.size());
  std::copy_n(samples.begin(), held, column.begin());
  std::fill(column.begin() + static_cast<std::ptrdiff_t>(held), column.end(), 0.0f);

  const int32_t newCount = count + 1;
  ResultsDataSetInfo[0].NumInSet = newCount;
  if (ResultsStoreHooks.SetDisplayCurveNumber) ResultsStoreHooks.SetDisplayCurveNumber(newCount);
  if (ResultsStoreHooks.ShowMeasParms) ResultsStoreHooks.ShowMeasParms(rightSN, leftSN, distance, rightLevel, leftLevel);
  for (int32_t j = 0; j < newCount; ++j) ResultsDataSetInfo[j].NumInSet = newCount;
  if (ResultsStoreHooks.MarkResultsUnsaved) ResultsStoreHooks.MarkResultsUnsaved();
  return "True";
}

void RemoveResultFromStore(int32_t k) {
  const int32_t c = ResultsDataSetInfo[0].NumInSet;
  if (c < 1 || c > kMaxResults || k < 1 || k > c) return;
  // Only held columns move: those past the count are zero already.
  for (int32_t j = k; j < c; ++j) {
    std::memcpy(ImpulseSet[j - 1].data(), ImpulseSet[j].data(), sizeof(float) * kMaxSamples);
    CopyMeasurementHeader(ResultsDataSetInfo[j], ResultsDataSetInfo[j - 1]);
  }
  ImpulseSet[c - 1].fill(0.0f);
  ClearMeasurementHeader(ResultsDataSetInfo[c - 1]);
  for (int32_t j = 0; j < c; ++j) ResultsDataSetInfo[j].NumInSet = c - 1;
  ResultsDataSetInfo[c - 1].NumInSet = 0;
}

void CopyMeasurementHeader(const MeasurementHeader& source, MeasurementHeader& destination) {
  const int32_t keep = destination.NumInSet;
  destination = source;
  destination.NumInSet = keep;
}

void ClearMeasurementHeader(MeasurementHeader& h) {
  MeasurementHeader z{};
  z.NumInSet = h.NumInSet;
  z.MeasConfig = h.MeasConfig;
  z.RunStatus = h.RunStatus;
  z.ImpulseGateTime = h.ImpulseGateTime;
  z.PsycDataPoints = h.PsycDataPoints;
  z.FractOctRes = h.FractOctRes;
  z.FractOctPoints = h.FractOctPoints;
  z.ReservedWord1 = h.ReservedWord1;
  z.ReservedWord2 = h.ReservedWord2;
  z.MeasuredDistance = h.MeasuredDistance;
  z.AutoRange = h.AutoRange;
  z.AlignmentShift = h.AlignmentShift;
  z.MicSpeakerDistance = h.MicSpeakerDistance;
  h = z;
}

bool StoreCurveRecord(CurveArray& curves, const WorkCurveBuffer& buffer, const std::string& label, int32_t k) {
  if (k < 0 || k >= kCurveSlots || buffer.Num < 0 || buffer.Num > kMaxCurvePoints) return false;
  CurveRecord& r = curves[k];
  r.NumPoints = buffer.Num;
  std::copy_n(buffer.YValues.begin(), buffer.Num, r.YValues.begin());
  std::copy_n(buffer.XValues.begin(), buffer.Num, r.XValues.begin());
  CopyString(r.Label, label);
  r.Parameter = buffer.Parameter;
  if (k + 1 >= curves[0].NumCurves) curves[0].NumCurves = k + 1;
  const int32_t n = std::clamp<int32_t>(curves[0].NumCurves, 0, kCurveSlots);
  for (int32_t j = 0; j < n; ++j) {
    curves[j].NumCurves = curves[0].NumCurves;
    curves[j].CurveIndex = j;
  }
  return true;
}

bool CopyCurveRecords(const CurveArray& source, CurveArray& destination) {
  const int32_t n = source[0].NumCurves;
  if (n < 0 || n > kCurveSlots) return false;
  for (int32_t j = 0; j < n; ++j)
    if (source[j].NumPoints < 0 || source[j].NumPoints > kMaxCurvePoints) return false;
  for (int32_t j = 0; j < n; ++j) {
    const CurveRecord& s = source[j];
    CurveRecord& d = destination[j];
    std::copy_n(s.XValues.begin(), s.NumPoints, d.XValues.begin());
    std::copy_n(s.YValues.begin(), s.NumPoints, d.YValues.begin());
    d.NumCurves = s.NumCurves;
    d.CurveIndex = s.CurveIndex;
    d.Parameter = s.Parameter;
    d.Name = s.Name;
    d.NumPoints = s.NumPoints;
  }
  return true;
}

void ClearCurveRecords(CurveArray& curves) {
  for (CurveRecord& r : curves) {
    r.NumCurves = 0;
    r.CurveIndex = 0;
    r.NumPoints = 0;
    r.YValues.fill(0.0f);
    r.XValues.fill(0.0f);
    r.Label.clear();
  }
}

void RemoveCurveRecord(int32_t k, CurveArray& curves) {
  if (k > 2000) {
    MsgBox("Error 3421");
    return;
  }
  const int32_t c = std::min<int32_t>(curves[0].NumCurves, kCurveSlots);
  if (k < 1 || k > c) return;
  for (int32_t j = k - 1; j <= c - 2; ++j) {
    CurveRecord& d = curves[j];
    CurveRecord& s = curves[j + 1];
    d.YValues = s.YValues;
    d.XValues = s.XValues;
    d.NumPoints = s.NumPoints;
    d.Parameter = s.Parameter;
    d.Name = s.Name;
    d.Label = FormatDouble(j + 1) + " ";
  }
  ClearCurveRecordCompletely(curves[c - 1]);
  for (int32_t j = 0; j < c - 1; ++j) {
    curves[j].NumCurves = c - 1;
    curves[j].CurveIndex = j;
  }
  curves[0].NumCurves = c - 1;
}

FilterRecord GetModesListEntry(int32_t i) {
  if (i < 0 || i >= kMaxModes) return FilterRecord{};
  FilterRecord r = ModesListContents[i];
  r.Unused22 = 0;
  r.Unused23 = 0;
  return r;
}

void CopyFilterRecord(const FilterRecord& s, FilterRecord& d) {
  const FilterRecord keep = d;
  d = s;
  d.Count = keep.Count;
  d.Unused22 = keep.Unused22;
  d.Unused23 = keep.Unused23;
  d.EQEmulationCode = keep.EQEmulationCode;
}

void ClearAppliedFilters() {
  const int32_t c = AppliedFilters[0].Count;
  const int32_t n = (c >= 0 && c <= kMaxFilters) ? c : kMaxFilters;
  for (int32_t i = 0; i < n; ++i) AppliedFilters[i] = FilterRecord{};
  AppliedFilters[0].Count = 0;
}

void ClearAllFilterSets() {
  SingularityList.fill(SingularityListRecord{});
  ModesListContents.fill(FilterRecord{});
}

}  // namespace zentor
