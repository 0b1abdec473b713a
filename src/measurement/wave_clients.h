// What the wave-message procedures call on the windows that stream audio. Each
// window implements its interface; the procedure reaches it as the window the
// completion was posted to, so a window that is gone is never called or re-created.
// A window also receives WaveError (the stream was lost) itself: no procedure
// handles it.
#pragma once

#include <cstdint>
#include <functional>

namespace zentor {

// The measurement window.
class AudioFormWaveClient {
 public:
  // Processes the recording just fetched into RecordBufferA and RecordBufferB.
  virtual void AudioRecordProcess() = 0;

 protected:
  ~AudioFormWaveClient() = default;
};

// The distortion window.
class DistFormWaveClient {
 public:
  virtual void SetPlayOn(bool on) = 0;
  virtual void SetRecOn(bool on) = 0;
  virtual bool GetRecOn() const = 0;
  // 1 while the background-noise recording runs, 2 while the distortion recording runs.
  virtual int32_t TestPhase() const = 0;
  virtual void ProcessNoise() = 0;
  // Fetches its recording itself (GetRecInData, CleanRecIn).
  virtual void ProcessDistortionData() = 0;

 protected:
  ~DistFormWaveClient() = default;
};

// The two real-time analysers.
class RtaWaveClient {
 public:
  // True when the play position lies safely inside the play buffer.
  virtual bool CheckPlayPointerLocation() = 0;
  virtual void RePlay() = 0;
  virtual void ReRec() = 0;

 protected:
  ~RtaWaveClient() = default;
};

// The SPL meter.
class SplWaveClient {
 public:
  virtual void ReRec() = 0;

 protected:
  ~SplWaveClient() = default;
};

// The test-CD measurement window.
class CdTestWaveClient {
 public:
  virtual void ReRec() = 0;

 protected:
  ~CdTestWaveClient() = default;
};

// The main window's analyser frames (drawn from the record buffers just fetched).
struct WaveClientLinks {
  std::function<void()> UpdateEQRTA;
  std::function<void()> UpdateImpRTA;
};
extern WaveClientLinks WaveClientHooks;

}  // namespace zentor
