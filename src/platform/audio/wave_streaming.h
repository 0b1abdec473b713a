// Sound-card streaming: one play job and one record job of two 16-bit channels on
// one device, completions posted as Qt events to the object that prepared the job.
//
// Use (UI thread only):
//   PlayOutPrep(window, WaveDeviceId, rate, left, right, count);   copies the buffers
//   RecInPrep(window, WaveDeviceId, rate, count);
//   PlayOut(); RecIn();          both start on the same device frame
//   ... the window receives a WaveEvent MM_WOM_DONE when the play buffer has been
//   played and MM_WIM_DATA when the record block is full; in its handler:
//   GetRecInData(left, right); CleanRecIn(); CleanPlayOut();
//
// Jobs. Each slot (play, record) goes Idle -> Prepared (Prep) -> Armed (PlayOut/RecIn)
// -> Running (the device's next cycle) -> Done (last frame) -> Idle (Clean). While
// one slot is Armed and the other Prepared, neither starts, for at most 250 ms of
// device frames, so Prep, Prep, arm, arm starts both on one frame. A job armed while
// the other runs (a re-arm from a completion handler) starts at the next cycle.
// When both end in one cycle MM_WOM_DONE queues before MM_WIM_DATA.
//
// Cancelling. ResetPlayAudio cancels the play job, ResetAudio both. A cancelled job
// never delivers, even when its event is already queued; a job that ended normally
// always delivers, once, unless its window is gone. A stream that dies posts one
// WaveError to the windows of the jobs it ended; those jobs deliver nothing else.
// A record job still unfilled kRecordGraceMs after its length has passed since RecIn
// (a card that takes no input) ends the same way: both jobs cancelled, the stream
// closed, one WaveError, and AudioLastErrorText says why.
//
// The stream opens at the first Prep (its failures are returned there), reopens
// when a Prep names another device or rate while the other slot is unused, and
// closes after 1 s without a job.
//
// Threads. The device cycle copies frames between the device and the job buffers
// and sets atomics: no allocation, no lock, no Qt. A 5 ms UI timer, running only
// while a job exists, turns finished jobs into posted events. A reset waits at most
// for the device cycle in progress; nothing else on the UI thread waits for audio.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/audio/audio_device.h"

namespace zentor {

// Message codes carried by WaveEvent.
inline constexpr int32_t MM_WOM_DONE = 0x3BD;  // the play buffer has been played
inline constexpr int32_t MM_WIM_DATA = 0x3C0;  // the record block is full
inline constexpr int32_t WaveError = 0x3C1;    // the stream was lost

// The largest play or record job, frames per channel.
inline constexpr int32_t kMaxWaveFrames = 1 << 22;

// How long past its own length a record job may take to fill.
inline constexpr int64_t kRecordGraceMs = 2000;

class WaveEvent : public QEvent {
 public:
  WaveEvent(int32_t message, uint64_t job) : QEvent(EventType()), message_(message), job_(job) {}
  static QEvent::Type EventType();
  int32_t message() const { return message_; }
  uint64_t job() const { return job_; }

 private:
  int32_t message_;
  uint64_t job_;
};

// ---- The streaming calls ----
// Prep copies `count` frames of each buffer (left to the left output). Statuses:
// BadArgument (no window, count outside 1..kMaxWaveFrames, a buffer too short),
// NoDevice, RateNotSupported, DeviceBusy (the slot's job is armed or running, or the
// other slot uses another device or rate), OpenFailed.
WaveStatus PlayOutPrep(QObject* window, int32_t waveDeviceId, int32_t rate, std::span<const int16_t> left,
                       std::span<const int16_t> right, int32_t count);
WaveStatus PlayOut();  // NotPrepared unless a play job is prepared
void CleanPlayOut();   // releases a finished play job (nothing while it runs)
void ResetPlayAudio();
WaveStatus RecInPrep(QObject* window, int32_t waveDeviceId, int32_t rate, int32_t count);
WaveStatus RecIn();  // NotPrepared unless a record job is prepared
// The finished record block at 16-bit scale, left input into `left`; copies what fits
// in both spans and returns the frames copied (0 when no block is finished).
int32_t GetRecInData(std::span<float> left, std::span<float> right);
void CleanRecIn();
void ResetAudio();
// Play frames consumed less the output latency: 0..count, never decreasing within a
// play job; 0 without one.
int32_t GetTimePointer();
void GetTimePointer(int32_t& position);
// Why the last failing call failed ("" after a success).
std::string AudioLastErrorText();
// What a window says when its stream was lost during a run or its recording never
// completed, with the engine's reason; a card that refuses to start is told apart.
std::string StreamLostText();

// Xruns, overflows and underflows the device counted while the last finished record
// job was armed or running: dropouts that may have spoiled it.
int64_t RecordingDropouts();
// Closes an idle stream and builds the device list afresh, so that a card or JACK
// server that came or went since shows; false (nothing done) while a job uses the
// card.
bool RefreshSoundDevices();

// ---- Inspection, for tests and the measurement windows ----
enum class SlotState { Idle, Prepared, Armed, Running, Done };
struct StreamingView {
  SlotState play = SlotState::Idle, record = SlotState::Idle;
  uint64_t playJob = 0, recordJob = 0;      // ids of the jobs in the slots
  int64_t playStartFrame = -1;              // device frame each job started on
  int64_t recordStartFrame = -1;
  int32_t playFramesDone = 0, recordFramesDone = 0;
  bool streamOpen = false;
  int32_t streamDevice = 0, streamRate = 0;
  int64_t deviceFrames = 0;                 // frames the open stream has run
  int64_t xruns = 0;
};
StreamingView InspectStreaming();
// Posts what has finished now instead of at the next timer tick (tests, manual clock).
void DrainWaveCompletions();
// Closes the stream at once when no job uses it (tests; the program waits 1 s).
void CloseIdleWaveStream();
// The clock, in milliseconds, that record deadlines are measured on; empty: the
// steady clock. Tests give their own, so no deadline depends on the machine.
void SetWaveClock(std::function<int64_t()> nowMs);

}  // namespace zentor
