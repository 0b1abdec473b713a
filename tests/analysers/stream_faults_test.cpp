// Every analyser window that records (the SPL meter too), on a card that loses its stream, refuses to
// start or never fills a recording: one message, the card closed, the run flags
// clear and the stored results kept; then a new start is accepted and the window
// closes.
#include <gtest/gtest.h>

#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

#include "analysers/distortion_form.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "analysers/spl_meter.h"
#include "analysers/test_cd_measure.h"
#include "display/dispatcher.h"
#include "rta_fixture.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

enum class Fault { StreamLost, Refused, NeverCompletes };

// One window seen from outside: how to start it, whether it thinks it runs, how
// long its first recording is, and closing it (false when it refused).
struct Recorder {
  const char* name;
  int32_t rate;
  std::function<void()> start;
  std::function<bool()> running;
  std::function<int64_t()> recordFrames;
  std::function<bool()> close;
};

class StreamFaultTest : public RtaTest {
 protected:
  static std::vector<Recorder> Recorders() {
    return {
        {"RTAEQ", 48000, [] { Forms::Get<RTAEQ>()->Play->click(); }, [] { return !Forms::Get<RTAEQ>()->RtaStopped; },
         [] { return int64_t{Forms::Get<RTAEQ>()->BlockSize}; }, [] { return Forms::Unload<RTAEQ>(); }},
        {"RTAImp", 48000, [] { Forms::Get<RTAImp>()->Play->click(); },
         [] { return !Forms::Get<RTAImp>()->RtaStopped; }, [] { return int64_t{Forms::Get<RTAImp>()->BlockSize}; },
         [] { return Forms::Unload<RTAImp>(); }},
        {"DistForm", 48000, [] { Forms::Get<DistForm>()->Start->click(); },
         [] {
           DistForm* f = Forms::Get<DistForm>();
           return f->PlayOn || f->RecOn || !f->Start->isEnabled();
         },
         [] { return int64_t{kDistTestLength}; }, [] { return Forms::Unload<DistForm>(); }},
        {"SPLLevelForm", 48000, [] { Forms::Get<SPLLevelForm>()->CalBut->click(); },
         [] { return Forms::Get<SPLLevelForm>()->BlockPending; },
         [] { return int64_t{Forms::Get<SPLLevelForm>()->BlockLength}; }, [] { return Forms::Unload<SPLLevelForm>(); }},
        {"CDTest", 44100, [] { Forms::Get<CDTest>()->RecBut->click(); }, [] { return Forms::Get<CDTest>()->RecordingOn; },
         [] { return int64_t{Forms::Get<CDTest>()->Work.RecordLength}; }, [] { return Forms::Unload<CDTest>(); }},
    };
  }
};

TEST_F(StreamFaultTest, EachFaultEndsTheRunOnceAndLeavesTheWindowUsable) {
  DefaultTwoToneTable();
  for (const Recorder& r : Recorders()) {
    for (const Fault fault : {Fault::StreamLost, Fault::Refused, Fault::NeverCompletes}) {
      SCOPED_TRACE(std::string(r.name) + ", fault " + std::to_string(static_cast<int>(fault)));
      dialogs.Clear();
      EQConfig.SampleRate = r.rate;
      LoadSilentSet(1, r.rate, 16, 20.0f);
      ImpulseSet[0][100] = 0.5f;
      const auto stored = ImpulseSet[0];
      SimulatedCardSettings s = Quiet();
      s.loseStreamAfter = fault == Fault::StreamLost ? 2000 : -1;
      s.refuseOpen = fault == Fault::Refused;
      s.recordNeverCompletes = fault == Fault::NeverCompletes;
      UseCard(s);
      if (r.name == std::string("DistForm")) Forms::Get<DistForm>()->TotalLine = "Total Distortion = 1 %";

      dialogs.ExpectMessage();
      r.start();
      const int64_t frames = r.recordFrames();
      Run(4000);
      if (fault == Fault::NeverCompletes) {
        EXPECT_TRUE(dialogs.MessageTexts().empty()) << "nothing is wrong before the deadline";
        EXPECT_TRUE(r.running());
        AdvanceWaveClock(frames * 1000 / r.rate + kRecordGraceMs);
        Pump();
      }
      EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error Initializing Sound Card"});
      EXPECT_FALSE(r.running());
      const StreamingView v = InspectStreaming();
      EXPECT_EQ(v.play, SlotState::Idle);
      EXPECT_EQ(v.record, SlotState::Idle);
      EXPECT_FALSE(v.streamOpen);
      EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
      EXPECT_TRUE(ImpulseSet[0] == stored);
      if (r.name == std::string("DistForm")) {
        EXPECT_EQ(Forms::Get<DistForm>()->TotalLine, "Total Distortion = 1 %");
      }

      // A new start is accepted; when its stream is lost too, the window closes.
      s = Quiet();
      s.loseStreamAfter = 2000;
      UseCard(s);
      dialogs.ExpectMessage();
      r.start();
      EXPECT_TRUE(r.running());
      EXPECT_NE(InspectStreaming().record, SlotState::Idle);
      Run(4000);
      EXPECT_FALSE(r.running());
      EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
      EXPECT_TRUE(r.close());
      EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
    }
  }
}

}  // namespace
}  // namespace zentor::test
