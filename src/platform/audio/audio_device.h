// The seam between the streaming engine and a sound card. A device runs cycles on
// its own thread (the PortAudio callback, the simulated card's thread) or, for the
// simulated card's manual clock, on the caller's; each cycle it asks the engine for
// output frames and hands it the input frames of the same device frames.
#pragma once

#include <cstdint>
#include <string>

namespace zentor {

// What the streaming calls return. Prep and arm report here; the text of the last
// failure is AudioLastErrorText().
inline constexpr const char* kNoRecordingInTime = "The sound card delivered no recording in time";

enum class WaveStatus { Ok, NoDevice, RateNotSupported, DeviceBusy, OpenFailed, NotPrepared, BadArgument };

// The engine's side of one device cycle. Called on the device's thread, never twice
// at once: RenderOutput, then CaptureInput for the same frames. Neither allocates,
// locks or touches Qt.
class StreamCycle {
 public:
  // The record job that the cycle's input frames belong to.
  struct Plan {
    bool recording = false;    // a record job takes this cycle's input
    int64_t recordJob = 0;     // its id
    int64_t recordFrame = 0;   // the job frame that the cycle's first input frame fills
    bool active = false;       // a play or record job runs in this cycle
    bool started = false;      // a job started with this cycle
  };
  // Fills `frames` interleaved stereo frames (left, right); silence where no job plays.
  virtual Plan RenderOutput(int16_t* out, int32_t frames) = 0;
  // Takes `frames` interleaved stereo input frames (0: the cycle captured nothing).
  virtual void CaptureInput(const int16_t* in, int32_t frames) = 0;
  // The stream died; no further cycle will run.
  virtual void StreamLost() = 0;

 protected:
  ~StreamCycle() = default;
};

// One entry of the device list: a recording device with the output paired to it.
class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  virtual std::string Name() const = 0;
  // 2 channels of 16 bits at `rate` on the input (or the paired output).
  virtual bool SupportsRate(bool input, int32_t rate) = 0;
  virtual bool HasOutput() const = 0;
  // The channels the card offers on each side; the program needs 2 of each.
  virtual int32_t InputChannels() const { return 2; }
  virtual int32_t OutputChannels() const { return HasOutput() ? 2 : 0; }
  // Opens and starts a stream that calls `cycle` until Close(). `withOutput` false
  // opens the input only. On failure returns the status and fills `error`.
  virtual WaveStatus Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) = 0;
  // Stops the stream; after it returns no cycle runs and none is running.
  virtual void Close() = 0;
  // Frames between a frame leaving the engine and its being heard.
  virtual int32_t OutputLatencyFrames() const = 0;
  // A job was armed (UI thread): an idle device thread may want to wake.
  virtual void JobArmed() {}
  // True when the device's settings changed since Open, so the engine reopens the
  // stream at the next Prep that finds it unused.
  virtual bool NeedsReopen() const { return false; }
  // When play and record end in one cycle the play completion queues first; a
  // device may reverse that (a fault the simulated card can model).
  virtual bool RecordCompletionFirst() const { return false; }
  // Input overflows and output underflows counted since Open.
  virtual int64_t Xruns() const { return 0; }
  // The open stream stopped without being asked (its server went away) and told
  // no one; UI thread.
  virtual bool Lost() const { return false; }
  // What the list says of a card that was there but did not answer when last
  // asked; "" for one that answered.
  virtual std::string NotAnsweringText() const { return ""; }
  // Why a recording that never filled did not: what the engine reports then.
  virtual std::string OverdueText() const { return kNoRecordingInTime; }
};

// "The sound card offers 1 input; 2 are needed" for a card short of channels on
// the sides the stream uses; "" when it has enough.
std::string ChannelShortageText(int32_t inputs, int32_t outputs, bool withOutput);

}  // namespace zentor
