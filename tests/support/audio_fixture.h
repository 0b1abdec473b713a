// Streaming tests run on the simulated card with its manual clock, over a fake
// PortAudio that lists no card, so no test touches a real sound card.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <vector>

#include "platform/audio/portaudio_backend.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "support/fixture.h"

namespace zentor::test {

// A PortAudio whose devices, defaults and supported rates a test sets.
struct FakePortAudio {
  std::vector<PaDeviceInfo> devices;
  std::vector<std::string> names;  // backing store of devices[i].name
  PaDeviceIndex defaultIn = paNoDevice, defaultOut = paNoDevice;
  PaError initResult = paNoError;
  std::vector<int32_t> rates{48000, 44100};
  int initCalls = 0;

  // A device of the ALSA host API (index 0) unless hostApi says otherwise.
  void Add(const std::string& name, int in, int out, PaHostApiIndex hostApi = 0);
  static FakePortAudio& Current();
};

// Records the wave events an object receives.
class WaveReceiver : public QObject {
 public:
  struct Got {
    int32_t message;
    uint64_t job;
  };
  std::vector<Got> got;
  std::vector<int32_t> Messages() const;
  bool event(QEvent* e) override;
};

class AudioTest : public ZentorTest {
 public:
  // Posts what finished and delivers it.
  static void Pump();

 protected:
  void SetUp() override;
  void TearDown() override;
  // Card settings for a test: manual clock, unit room, no noise unless changed.
  static SimulatedCardSettings Quiet();
  static void UseCard(const SimulatedCardSettings& s) { SimulatedSoundCard::Instance().SetSettings(s); }
  static int32_t Sim() { return SimulatedCardIndex(); }
  // Runs the manual clock `frames` on, delivering completions after each cycle.
  static void Run(int64_t frames);
};

}  // namespace zentor::test
