// Every window that records, on a card that loses its stream, refuses to start or never
// fills a recording: one message, the card closed, the results kept, the window usable.
#include <gtest/gtest.h>

#include "analyser_fixture.h"
#include "analysers/distortion_form.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "analysers/spl_meter.h"
#include "analysers/test_cd_measure.h"
#include "display/dispatcher.h"
#include "measurement/audio_form.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

// A window seen from outside: its start, whether it thinks it runs, the length of
// its first recording, closing it (false when refused).
struct Recorder {
  const char* name;
  int32_t rate;
  std::function<void()> start;
  std::function<bool()> running;
  std::function<int64_t()> frames;
  bool (*close)();
};

template <class W>
W* Get() {
  return Forms::Get<W>();
}

const Recorder kRecorders[] = {
    {"AudioForm", 48000, [] { Get<AudioForm>()->Test->click(); }, [] { return SoundCardBusy; },
     [] { return (int64_t{1} << EQConfig.PeriodExponent) + (int64_t{1} << EQConfig.PreExcitationExponent); },
     Forms::Unload<AudioForm>},
    {"RTAEQ", 48000, [] { Get<RTAEQ>()->Play->click(); }, [] { return !Get<RTAEQ>()->RtaStopped; },
     [] { return int64_t{Get<RTAEQ>()->BlockSize}; }, Forms::Unload<RTAEQ>},
    {"RTAImp", 48000, [] { Get<RTAImp>()->Play->click(); }, [] { return !Get<RTAImp>()->RtaStopped; },
     [] { return int64_t{Get<RTAImp>()->BlockSize}; }, Forms::Unload<RTAImp>},
    {"DistForm", 48000, [] { Get<DistForm>()->Start->click(); }, [] { return !Get<DistForm>()->Start->isEnabled(); },
     [] { return int64_t{kDistTestLength}; }, Forms::Unload<DistForm>},
    {"SPLLevelForm", 48000, [] { Get<SPLLevelForm>()->CalBut->click(); }, [] { return Get<SPLLevelForm>()->BlockPending; },
     [] { return int64_t{Get<SPLLevelForm>()->BlockLength}; }, Forms::Unload<SPLLevelForm>},
    {"CDTest", 44100, [] { Get<CDTest>()->RecBut->click(); }, [] { return Get<CDTest>()->RecordingOn; },
     [] { return int64_t{Get<CDTest>()->Work.RecordLength}; }, Forms::Unload<CDTest>},
};

enum class Fault { StreamLost, Refused, NeverCompletes };

// A refused start is told apart from a stream lost or a recording never filled, which
// every window reports alike with the engine's reason.
std::string Expected(const Recorder& r, Fault f) {
  if (f == Fault::Refused)
    return r.name != std::string("AudioForm") ? "Error Initializing Sound Card"
                                              : "Error 3850: Sound card could not be started: The sound card refused to start";
  return std::string("Error 3852: Sound card stopped during the recording: ") +
         (f == Fault::StreamLost ? "The sound card stopped" : "The sound card delivered no recording in time");
}

using StreamFaultTest = RtaTest;

TEST_F(StreamFaultTest, EachFaultEndsTheRunOnceAndLeavesTheWindowUsable) {
  DefaultTwoToneTable();
  for (const Recorder& r : kRecorders) {
    for (const Fault fault : {Fault::StreamLost, Fault::Refused, Fault::NeverCompletes}) {
      SCOPED_TRACE(std::string(r.name) + ", fault " + std::to_string(static_cast<int>(fault)));
      dialogs.Clear();
      EQConfig.SampleRate = r.rate;
      LoadSilentSet(1, r.rate, EQConfig.PeriodExponent, 20.0f);
      ImpulseSet[0][100] = 0.5f;
      const auto stored = ImpulseSet[0];
      SimulatedCardSettings s = Quiet();
      s.loseStreamAfter = fault == Fault::StreamLost ? 2000 : -1;
      s.refuseOpen = fault == Fault::Refused;
      s.recordNeverCompletes = fault == Fault::NeverCompletes;
      UseCard(s);

      dialogs.ExpectMessage();
      r.start();
      Run(4000);
      if (fault == Fault::NeverCompletes) {
        AdvanceWaveClock(r.frames() * 1000 / r.rate + kRecordGraceMs - 1);
        Pump();
        EXPECT_TRUE(dialogs.MessageTexts().empty() && r.running()) << "the deadline has not passed";
        AdvanceWaveClock(1);
        Pump();
      }
      EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{Expected(r, fault)});
      EXPECT_FALSE(r.running());
      const StreamingView v = InspectStreaming();
      EXPECT_TRUE(v.play == SlotState::Idle && v.record == SlotState::Idle && !v.streamOpen);
      EXPECT_TRUE(ResultsDataSetInfo[0].NumInSet == 1 && ImpulseSet[0] == stored);
      // A new start is accepted; when its stream is lost too, the window closes.
      s = Quiet();
      s.loseStreamAfter = 2000;
      UseCard(s);
      dialogs.ExpectMessage();
      r.start();
      EXPECT_TRUE(r.running());
      Run(4000);
      EXPECT_FALSE(r.running());
      EXPECT_TRUE(r.close());
      EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
    }
  }
}

}  // namespace
}  // namespace zentor::test
