#include "core/records.h"

#include <algorithm>

#include "base/shared_state.h"

namespace zentor {

std::array<MeasurementHeader, kMaxResults> ResultsDataSetInfo{};
std::array<std::array<float, kMaxSamples>, kMaxResults> ImpulseSet{};

MeasurementHeader EQConfig{};
MeasurementHeader MeasHeader{};
MeasurementHeader LevelsCheckHeader{};

WorkCurveBuffer MainBuffer{};

CurveArray ImpulseCurves{}, PsdCurves{}, LevelsCurves{}, NoiseCurves{}, ModalCurves{}, BodeCurves{}, FractOctCurves{},
    PsycCurves{}, SingleViewCurves{}, AverageCurves{}, FitStoredCurves{}, FitInputCurves{}, FilterListCurves{};

std::array<FilterRecord, kMaxFilters> AppliedFilters{};
std::array<FilterRecord, kMaxModes> ModesListContents{};
std::array<SingularityListRecord, kFilterSets> SingularityList{};

MicCalTable ActiveMicCal{};
int32_t MicCalCount = 0;
std::array<float, kMaxMicCalPoints> MicCalFreq{};
std::array<float, kMaxMicCalPoints> MicCalLevel{};
std::string MicCalFileName;

bool SoundCardBusy = false;
bool DataResampled = false;
bool AutoMixerOn = false;
int32_t MicChannel = kMicOnRightInput;
int32_t WaveDeviceId = -1;

std::string ResultFileName = "VavevadoRovoResult";
std::string EQFileName = "EQSim.Eq";

void SetMicChannel(int32_t code) { MicChannel = code; }

void SeedLastReadMicCal() {
  const int32_t n = std::clamp(ActiveMicCal.Count, 0, kMaxMicCalPoints);
  MicCalCount = n;
  std::copy_n(ActiveMicCal.Freq.begin(), n, MicCalFreq.begin());
  std::copy_n(ActiveMicCal.Level.begin(), n, MicCalLevel.begin());
  std::fill(MicCalFreq.begin() + n, MicCalFreq.end(), 0.0f);
  std::fill(MicCalLevel.begin() + n, MicCalLevel.end(), 0.0f);
  MicCalFileName = ActiveMicCal.FileName;
}
int32_t GetMicChannel() { return MicChannel; }

namespace {

void ResetRecords() {
  ResultsDataSetInfo.fill(MeasurementHeader{});
  for (auto& column : ImpulseSet) column.fill(0.0f);
  EQConfig = MeasHeader = LevelsCheckHeader = MeasurementHeader{};
  MainBuffer = WorkCurveBuffer{};
  for (CurveArray* a : {&ImpulseCurves, &PsdCurves, &LevelsCurves, &NoiseCurves, &ModalCurves, &BodeCurves,
                        &FractOctCurves, &PsycCurves, &SingleViewCurves, &AverageCurves, &FitStoredCurves,
                        &FitInputCurves, &FilterListCurves})
    a->fill(CurveRecord{});
  AppliedFilters.fill(FilterRecord{});
  ModesListContents.fill(FilterRecord{});
  SingularityList.fill(SingularityListRecord{});
  ActiveMicCal = MicCalTable{};
  MicCalCount = 0;
  MicCalFreq.fill(0.0f);
  MicCalLevel.fill(0.0f);
  MicCalFileName.clear();
  SoundCardBusy = false;
  DataResampled = false;
  AutoMixerOn = false;
  MicChannel = kMicOnRightInput;
  WaveDeviceId = -1;
  ResultFileName = "VavevadoRovoResult";
  EQFileName = "EQSim.Eq";
}

SharedStateRegistrar g_reset(ResetRecords);

}  // namespace

void SetDefaultMeasurementHeader(MeasurementHeader& h) {
  h.ReservedDouble1 = 15.0;
  h.ModalSliceMaxFreq = 150.0;
  h.ReservedDouble3 = 6.0;
  h.ReservedDouble4 = 20.0;
  h.ReservedDouble5 = 16.0;
  h.MeasConfig = 43;
  h.ReservedLong1 = 4;
  h.ReservedSingle1 = 10.0f;
  h.ReservedSingle2 = 20000.0f;
  h.MainRunFlag = h.PsdRunFlag = h.ReservedInteger1 = h.ReservedInteger2 = h.ReservedInteger3 = 0;
  h.LevelsPeriodExponent = 15;
  h.LevelsPreExcitationExponent = 14;
  h.PsdPeriodExponent = 15;
  h.ImpulseGateTime = 20.0f;
  h.FractOctGateTime = 50.0f;
  h.FreqRespGateTime = 10.0f;
  h.ModalGateTime = 500.0f;
  h.NoiseGateTime = 200.0f;
  h.PsycLFResolution = 0.75f;
  h.PsycGateTime = 5.0f;
  h.PsycShelfTime = 15.0f;
  h.PsycShelfLevel = -10.0f;
  h.PsycDataPoints = 30;
  h.FractOctRes = 0.333f;
  h.FractOctPoints = 1000;
  h.MeasuredDistance = 0.0f;
  h.AutoRange = kTrue;
}

}  // namespace zentor
