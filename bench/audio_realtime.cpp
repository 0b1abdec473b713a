// Timekeeping of the simulated card's real-time clock while the UI thread is busy
// 50 ms of every 100: a 2^18-frame measurement job, then 30 s of the analysers'
// cycle (524288-frame play re-armed on its completion, 4096-frame record blocks
// re-armed on theirs). Prints deadline misses, the worst cycle, p99 lateness, the
// frames lost between record blocks and the gap before each play restart.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "platform/audio/portaudio_backend.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"

namespace zentor {
namespace {

PaError NoPortAudio() { return paNotInitialized; }
PaError Ok() { return paNoError; }
const PortAudioApi kNone{NoPortAudio, Ok, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr,     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

class Cycle : public QObject {
 public:
  bool analyser = false;
  std::vector<int16_t> play;
  int32_t block = 4096;
  int64_t lastRecordEnd = -1, lostFrames = 0, worstLoss = 0, blocks = 0;
  int64_t lastPlayEnd = -1, worstRestart = 0, restarts = 0;
  bool done = false;

  bool event(QEvent* e) override {
    if (e->type() != WaveEvent::EventType()) return QObject::event(e);
    const StreamingView v = InspectStreaming();
    auto* w = static_cast<WaveEvent*>(e);
    if (w->message() == MM_WIM_DATA) {
      ++blocks;
      if (lastRecordEnd >= 0) {
        lostFrames += v.recordStartFrame - lastRecordEnd;
        worstLoss = std::max(worstLoss, v.recordStartFrame - lastRecordEnd);
      }
      CleanRecIn();
      lastRecordEnd = v.recordStartFrame + v.recordFramesDone;
      if (!analyser) {
        done = true;
        return true;
      }
      RecInPrep(this, SimulatedCardIndex(), 48000, block);
      RecIn();
    } else if (w->message() == MM_WOM_DONE) {
      if (lastPlayEnd >= 0) {
        worstRestart = std::max(worstRestart, v.playStartFrame - lastPlayEnd);
        ++restarts;
      }
      CleanPlayOut();
      lastPlayEnd = v.playStartFrame + v.playFramesDone;
      if (analyser) {
        PlayOutPrep(this, SimulatedCardIndex(), 48000, play, play, static_cast<int32_t>(play.size()));
        PlayOut();
      }
    }
    return true;
  }
};

void BusyUi(const std::function<bool()>& finished, double seconds) {
  QElapsedTimer clock;
  clock.start();
  while (!finished() && clock.elapsed() < seconds * 1000) {
    const auto busyUntil = clock.elapsed() + 50;
    while (clock.elapsed() < busyUntil) {
    }  // the UI computing for 50 ms
    const auto idleUntil = clock.elapsed() + 50;
    while (clock.elapsed() < idleUntil) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

void Report(const char* what) {
  const auto t = SimulatedSoundCard::Instance().TimingSinceOpen();
  std::printf("%s: %lld cycles, %lld deadline misses, worst cycle %.3f ms, p99 lateness %.1f ms\n", what,
              static_cast<long long>(t.cycles), static_cast<long long>(t.misses), t.worstRenderMs, t.p99LatenessMs);
}

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  using namespace zentor;
  QCoreApplication app(argc, argv);
  UsePortAudioApi(&kNone);
  SimulatedCardSettings s;  // the real-time clock, 1024-frame cycles, the default room
  SimulatedSoundCard::Instance().SetSettings(s);

  std::vector<int16_t> signal(1 << 18);
  for (std::size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<int16_t>((i * 7919) % 20000 - 10000);
  Cycle job;
  PlayOutPrep(&job, SimulatedCardIndex(), 48000, signal, signal, 1 << 18);
  RecInPrep(&job, SimulatedCardIndex(), 48000, 1 << 18);
  PlayOut();
  RecIn();
  BusyUi([&] { return job.done; }, 20);
  Report("P18 job");

  ResetAudio();
  CloseIdleWaveStream();
  s.clock = SimulatedCardSettings::Clock::RealTime;
  s.seed = 2;
  SimulatedSoundCard::Instance().SetSettings(s);
  Cycle rta;
  rta.analyser = true;
  rta.play.assign(524288, 1000);
  PlayOutPrep(&rta, SimulatedCardIndex(), 48000, rta.play, rta.play, 524288);
  RecInPrep(&rta, SimulatedCardIndex(), 48000, rta.block);
  PlayOut();
  RecIn();
  BusyUi([] { return false; }, 30);
  Report("analyser cycle, 30 s");
  std::printf("analyser cycle: %lld blocks, %lld frames lost between blocks (worst gap %lld), %lld play restarts, "
              "worst restart gap %lld frames\n",
              static_cast<long long>(rta.blocks), static_cast<long long>(rta.lostFrames),
              static_cast<long long>(rta.worstLoss), static_cast<long long>(rta.restarts),
              static_cast<long long>(rta.worstRestart));
  ResetAudio();
  CloseIdleWaveStream();
  return 0;
}
