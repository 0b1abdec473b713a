// The records every window shares: measurement headers, the results store, the
// drawable curves and their view caches, the filter lists, the microphone
// calibration in force and the global flags. Plain module data, one thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/filter_record.h"

namespace zentor {

constexpr int kMaxResults = 32;
constexpr int kMaxSamplesExponent = 17;
constexpr int kMaxSamples = 1 << kMaxSamplesExponent;  // 131072 samples per result
constexpr int kMaxCurvePoints = 2001;
constexpr int kCurveSlots = 32;
constexpr int kMaxFilters = 75;
constexpr int kFilterSets = 33;
constexpr int kMaxModes = 2001;
constexpr int kMaxMicCalPoints = 1001;

constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;

// Settings and results of one measurement; 47 fields, 196 bytes on file
// (member by member, no gaps).
struct MeasurementHeader {
  int32_t NumInSet = 0;
  double ReservedDouble1 = 0;
  double ModalSliceMaxFreq = 0;  // Hz
  double ReservedDouble3 = 0;
  double ReservedDouble4 = 0;
  int32_t SampleRate = 0;  // Hz
  int32_t PeriodExponent = 0;
  int32_t PreExcitationExponent = 0;
  int32_t MeasConfig = 0;  // 42 MLS with crossover high-pass, 43 hybrid, 87 sweeps
  float RunStatus = 0;     // -1 makes the arriving recording report an error
  int32_t ReservedLong1 = 0;
  double ReservedDouble5 = 0;
  float ReservedSingle1 = 0;
  float ReservedSingle2 = 0;
  int16_t MainRunFlag = 0;
  int16_t PsdRunFlag = 0;
  int16_t ReservedInteger1 = 0;
  int16_t ReservedInteger2 = 0;
  int16_t ReservedInteger3 = 0;
  int32_t LevelsPeriodExponent = 0;
  int32_t LevelsPreExcitationExponent = 0;
  int32_t PsdPeriodExponent = 0;
  int32_t ImpulseShift = 0;  // samples
  float PeakLevel = 0;       // dB once stored
  float SignalEnergy = 0;
  float NoiseEnergy = 0;  // signal-to-noise ratio in dB once stored
  float ImpulseGateTime = 0;   // ms
  float FractOctGateTime = 0;  // ms
  float FreqRespGateTime = 0;  // ms
  float ModalGateTime = 0;     // ms
  float NoiseGateTime = 0;     // ms
  float PsycLFResolution = 0;  // octaves
  float PsycGateTime = 0;      // ms
  float PsycShelfTime = 0;     // ms
  float PsycShelfLevel = 0;    // dB
  int32_t PsycDataPoints = 0;
  float FractOctRes = 0;  // octaves
  int32_t FractOctPoints = 0;
  int32_t ReservedWord1 = 0;
  int32_t ReservedWord2 = 0;
  float MeasuredDistance = 0;  // m
  int16_t AutoRange = 0;
  float LevelMultiplier = 0;
  float AlignmentShift = 0;  // samples
  float MicSpeakerDistance = 0;     // m
  float CrossoverFrequency = 0;     // Hz, corner of the MLS high-pass of the run
  int32_t ReservedWord3 = 0;

  // The measurement runs' names for the noise-spectrum fields; the file keeps the
  // names above.
  int32_t& PsdExponent() { return PsdPeriodExponent; }  // log2 of the spectrum's bins
  int16_t& PsdRecorded() { return PsdRunFlag; }         // a noise spectrum was recorded
};
constexpr size_t kMeasurementHeaderFileBytes = 196;

// One drawable curve; each view keeps 32 of them, the count in element 0.
struct CurveRecord {
  int32_t NumCurves = 0;
  int32_t CurveIndex = 0;
  double Parameter = 0;
  std::string Name;
  int32_t NumPoints = 0;
  std::array<float, kMaxCurvePoints> YValues{};
  std::array<float, kMaxCurvePoints> XValues{};
  std::string Label;
};
using CurveArray = std::array<CurveRecord, kCurveSlots>;

// The curve a view builder fills before filing it.
struct WorkCurveBuffer {
  int32_t Num = 0;
  std::array<float, kMaxCurvePoints> YValues{};
  std::array<float, kMaxCurvePoints> XValues{};
  float Parameter = 0;
};

// One measured filter set: count, 17 header words (field numbers shared with
// FilterRecord) and four parallel arrays of entries.
struct SingularityListRecord {
  int32_t Count = 0;
  int32_t Curve = 0;
  int32_t Average = 0;  // -1: fitted on the average curve
  float MaxDecay = 0;
  float QMinimum = 0;
  float RangeLow = 0;   // Hz
  float RangeHigh = 0;  // Hz
  float SecondaryPolishWidth = 0;
  int32_t NumInitialLoops = 0;
  float Damping = 0;
  int32_t LoudspeakerOrder = 0;
  int32_t ModeCode = 0;  // 5 Bode, 6 fractional octave, 7 psychoacoustic
  float SchroederFreq = 0;
  int32_t Kind = 0;
  int32_t SelectCode = 0;
  int32_t Graphshown = 0;
  float Smoothing = 0;
  float Gatetime = 0;  // ms
  int32_t SampleRate = 0;  // Hz of the measurement fitted, at which the set is judged; 0: 48000
  std::array<float, kMaxFilters> Freq{};  // rad/s
  std::array<float, kMaxFilters> Q1{};
  std::array<float, kMaxFilters> Q2{};
  std::array<float, kMaxFilters> FitError{};
  // Stretches of the fit range (Hz) deeper than the boost limit: the nulls a
  // limited fit leaves.
  int32_t NullCount = 0;
  std::array<float, kMaxFilters> NullLowHz{};
  std::array<float, kMaxFilters> NullHighHz{};
};

// A microphone calibration: levels in dB against frequency in Hz.
struct MicCalTable {
  int32_t Count = 0;
  std::array<float, kMaxMicCalPoints> Freq{};
  std::array<float, kMaxMicCalPoints> Level{};
  std::string FileName;
};

// Results store: result k (1-based) in element k-1; count in element 0.
extern std::array<MeasurementHeader, kMaxResults> ResultsDataSetInfo;
// One result's samples side by side: ImpulseSet[k-1][i].
extern std::array<std::array<float, kMaxSamples>, kMaxResults> ImpulseSet;

extern MeasurementHeader EQConfig;           // current settings
extern MeasurementHeader MeasHeader;         // the run in progress
extern MeasurementHeader LevelsCheckHeader;  // the levels check's view

extern WorkCurveBuffer MainBuffer;

// View caches, slot i for result i+1.
extern CurveArray ImpulseCurves, PsdCurves, LevelsCurves, NoiseCurves, ModalCurves, BodeCurves, FractOctCurves,
    PsycCurves, SingleViewCurves, AverageCurves, FitStoredCurves, FitInputCurves, FilterListCurves;

extern std::array<FilterRecord, kMaxFilters> AppliedFilters;
extern std::array<FilterRecord, kMaxModes> ModesListContents;
extern std::array<SingularityListRecord, kFilterSets> SingularityList;

// The calibration in force, and the table the calibration readers filled last.
extern MicCalTable ActiveMicCal;
extern int32_t MicCalCount;
extern std::array<float, kMaxMicCalPoints> MicCalFreq;
extern std::array<float, kMaxMicCalPoints> MicCalLevel;
extern std::string MicCalFileName;
// After a set is loaded: the last-read table takes the calibration in force, so that
// the next new result (which makes the last-read table the one in force) keeps it.
void SeedLastReadMicCal();

constexpr int32_t kMicOnRightInput = 99;
constexpr int32_t kMicOnLeftInput = 33;

extern bool SoundCardBusy;
extern bool DataResampled;  // resampled sets may be neither saved nor extended
extern bool AutoMixerOn;
extern int32_t MicChannel;
extern int32_t WaveDeviceId;  // -1: default device

extern std::string ResultFileName;
extern std::string EQFileName;

void SetMicChannel(int32_t code);
int32_t GetMicChannel();

// The analysis defaults: the current settings at start-up, and a set started by a Qel file.
void SetDefaultMeasurementHeader(MeasurementHeader& h);

}  // namespace zentor
