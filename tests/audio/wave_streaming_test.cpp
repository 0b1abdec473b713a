#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cmath>
#include <memory>
#include <thread>

#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

// A recognisable signal: a different ramp on each channel.
std::vector<int16_t> Ramp(int32_t n, int step, int offset) {
  std::vector<int16_t> v(static_cast<std::size_t>(n));
  for (int32_t i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = static_cast<int16_t>((i * step + offset) % 30001 - 15000);
  return v;
}

struct Recording {
  std::vector<float> left, right;
};

// Plays left/right while recording as many frames on the manual clock.
Recording PlayAndRecord(WaveReceiver& rx, const std::vector<int16_t>& left, const std::vector<int16_t>& right,
                        int32_t rate = 48000) {
  const auto n = static_cast<int32_t>(left.size());
  EXPECT_EQ(PlayOutPrep(&rx, SimulatedCardIndex(), rate, left, right, n), WaveStatus::Ok);
  EXPECT_EQ(RecInPrep(&rx, SimulatedCardIndex(), rate, n), WaveStatus::Ok);
  EXPECT_EQ(PlayOut(), WaveStatus::Ok);
  EXPECT_EQ(RecIn(), WaveStatus::Ok);
  SimulatedSoundCard::Instance().Advance(n);
  AudioTest::Pump();
  Recording r{std::vector<float>(static_cast<std::size_t>(n)), std::vector<float>(static_cast<std::size_t>(n))};
  EXPECT_EQ(GetRecInData(r.left, r.right), n);
  CleanRecIn();
  CleanPlayOut();
  return r;
}

using WaveStreamingTest = AudioTest;

TEST_F(WaveStreamingTest, PairedJobsStartOnOneFrameAndOnlyTheirWindowHearsOfThem) {
  WaveReceiver rx, other;
  const int32_t n = 196608;
  const auto left = Ramp(n, 7, 0), right = Ramp(n, 11, 5);
  ASSERT_EQ(PlayOutPrep(&rx, Sim(), 48000, left, right, n), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, n), WaveStatus::Ok);
  ASSERT_EQ(PlayOut(), WaveStatus::Ok);
  const int64_t opened = InspectStreaming().deviceFrames;
  // Armed play and prepared record: nothing starts yet, however long the card runs.
  Run(5000);
  EXPECT_EQ(InspectStreaming().play, SlotState::Armed);
  ASSERT_EQ(RecIn(), WaveStatus::Ok);
  Run(n + 1000);
  const StreamingView v = InspectStreaming();
  EXPECT_EQ(v.playStartFrame, v.recordStartFrame);
  EXPECT_EQ(v.playStartFrame, opened + 5000);
  EXPECT_EQ(rx.Messages(), (std::vector<int32_t>{MM_WOM_DONE, MM_WIM_DATA}));
  EXPECT_TRUE(other.got.empty());
  Run(20000);
  EXPECT_EQ(rx.got.size(), 2u) << "a completion arrived twice";
}

TEST_F(WaveStreamingTest, AnArmedJobStopsWaitingForItsPartnerAfterAQuarterSecond) {
  WaveReceiver rx;
  const auto buf = Ramp(4000, 3, 0);
  ASSERT_EQ(PlayOutPrep(&rx, Sim(), 48000, buf, buf, 4000), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 4000), WaveStatus::Ok);
  ASSERT_EQ(PlayOut(), WaveStatus::Ok);
  const int64_t opened = InspectStreaming().deviceFrames;
  Run(12000);
  EXPECT_EQ(InspectStreaming().play, SlotState::Armed);
  Run(1000);
  EXPECT_EQ(InspectStreaming().playStartFrame, opened + 12000);
  EXPECT_EQ(InspectStreaming().record, SlotState::Prepared);
}

TEST_F(WaveStreamingTest, UnitRoomGivesEachOutputBackDelayedBitForBit) {
  SimulatedCardSettings s = Quiet();
  s.latency = 480;
  UseCard(s);
  WaveReceiver rx;
  const int32_t n = 20000;
  const auto left = Ramp(n, 7, 0), right = Ramp(n, 13, 99);
  const Recording r = PlayAndRecord(rx, left, right);
  for (int32_t i = 0; i < n; ++i) {
    const float l = i < 480 ? 0.0f : left[static_cast<std::size_t>(i - 480)];
    const float rr = i < 480 ? 0.0f : right[static_cast<std::size_t>(i - 480)];
    ASSERT_EQ(r.left[static_cast<std::size_t>(i)], l) << i;
    ASSERT_EQ(r.right[static_cast<std::size_t>(i)], rr) << i;
  }
  // With the reference at half gain the roles show: the microphone side keeps full level.
  s.referenceGain = 0.5;
  for (int32_t mic : {kSimMicRight, kSimMicLeft}) {
    UseCard(s);
    SimulatedCardHooks.MicChannel = [mic] { return mic; };
    const Recording h = PlayAndRecord(rx, left, right);
    const std::size_t i = 1000;
    const float fullL = left[i - 480], fullR = right[i - 480];
    if (mic == kSimMicRight) {
      EXPECT_EQ(h.right[i], fullR);
      EXPECT_EQ(h.left[i], std::nearbyint(0.5 * fullL));
    } else {
      EXPECT_EQ(h.left[i], fullL);
      EXPECT_EQ(h.right[i], std::nearbyint(0.5 * fullR));
    }
  }
}

TEST_F(WaveStreamingTest, ManualAndInstantClocksRecordTheSameWithOneSeed) {
  SimulatedCardSettings s = Quiet();
  s.room.clear();  // the default room
  s.micNoise = 1.0;
  s.refNoise = 0.5;
  s.referenceGain = 0.5;
  s.seed = 7;
  s.blockSize = 1024;
  const int32_t n = 30000;
  const auto left = Ramp(n, 5, 0), right = Ramp(n, 9, 3);
  WaveReceiver rx;
  UseCard(s);
  const Recording manual = PlayAndRecord(rx, left, right);

  s.clock = SimulatedCardSettings::Clock::Instant;
  UseCard(s);
  WaveReceiver fast;
  ASSERT_EQ(PlayOutPrep(&fast, Sim(), 48000, left, right, n), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&fast, Sim(), 48000, n), WaveStatus::Ok);
  ASSERT_EQ(PlayOut(), WaveStatus::Ok);
  ASSERT_EQ(RecIn(), WaveStatus::Ok);
  for (int spins = 0; fast.got.size() < 2 && spins < 60000; ++spins) {  // a hang guard, not a timing
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(fast.Messages(), (std::vector<int32_t>{MM_WOM_DONE, MM_WIM_DATA}));
  Recording instant{std::vector<float>(n), std::vector<float>(n)};
  ASSERT_EQ(GetRecInData(instant.left, instant.right), n);
  EXPECT_EQ(instant.left, manual.left);
  EXPECT_EQ(instant.right, manual.right);
  double energy = 0;
  for (float v : manual.right) energy += double(v) * v;
  EXPECT_GT(energy, 1e6) << "the room passed nothing to the microphone";
}

TEST_F(WaveStreamingTest, ResetsCancelTheirJobsEvenWithTheEventQueued) {
  WaveReceiver rx;
  const auto buf = Ramp(3000, 3, 0);
  // Mid-job.
  ASSERT_EQ(PlayOutPrep(&rx, Sim(), 48000, buf, buf, 3000), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 3000), WaveStatus::Ok);
  PlayOut();
  RecIn();
  Run(1000);
  ResetAudio();
  Run(5000);
  EXPECT_TRUE(rx.got.empty());
  EXPECT_EQ(GetTimePointer(), 0);

  // Finished and posted, not yet delivered.
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 3000), WaveStatus::Ok);
  RecIn();
  SimulatedSoundCard::Instance().Advance(4000);
  DrainWaveCompletions();
  ResetAudio();
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(rx.got.empty());

  // ResetPlayAudio leaves the record job, which delivers once.
  ASSERT_EQ(PlayOutPrep(&rx, Sim(), 48000, buf, buf, 3000), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 3000), WaveStatus::Ok);
  PlayOut();
  RecIn();
  Run(1000);
  ResetPlayAudio();
  Run(5000);
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{MM_WIM_DATA});
}

TEST_F(WaveStreamingTest, AGoneWindowGetsNothingAndShortSpansGetWhatFits) {
  const auto buf = Ramp(3000, 3, 0);
  auto rx = std::make_unique<WaveReceiver>();
  ASSERT_EQ(RecInPrep(rx.get(), Sim(), 48000, 3000), WaveStatus::Ok);
  RecIn();
  SimulatedSoundCard::Instance().Advance(3000);
  DrainWaveCompletions();
  rx.reset();  // deleted with its completion queued
  QCoreApplication::sendPostedEvents();

  std::vector<float> left(20, -1.0f), right(20, -1.0f);
  EXPECT_EQ(GetRecInData(std::span(left).first(10), std::span(right).first(4)), 4);
  EXPECT_EQ(left[3], right[3]);
  EXPECT_EQ(left[4], -1.0f) << "written past the shorter span";
  EXPECT_EQ(right[4], -1.0f);
  CleanRecIn();
  EXPECT_EQ(GetRecInData(left, right), 0) << "a released block is still readable";

  auto gone = std::make_unique<WaveReceiver>();
  ASSERT_EQ(RecInPrep(gone.get(), Sim(), 48000, 3000), WaveStatus::Ok);
  RecIn();
  gone.reset();  // deleted before the job ends
  Run(5000);
}

TEST_F(WaveStreamingTest, AnalyserCycleLosesAndDoublesNothing) {
  // Play 524288 frames again and again, record 4096-frame blocks back to back, each
  // re-armed from its completion, for 25 s of card time.
  static constexpr int32_t kPlay = 524288, kBlock = 4096;
  const auto buf = Ramp(kPlay, 1, 0);
  class Rta : public WaveReceiver {
   public:
    std::vector<int16_t> buf;
    int plays = 0, blocks = 0, backwards = 0;
    int32_t last = -1;
    std::vector<uint64_t> jobs;
    bool event(QEvent* e) override {
      if (e->type() != WaveEvent::EventType()) return QObject::event(e);
      auto* w = static_cast<WaveEvent*>(e);
      jobs.push_back(w->job());
      if (w->message() == MM_WOM_DONE) {
        ++plays;
        CleanPlayOut();
        EXPECT_EQ(PlayOutPrep(this, SimulatedCardIndex(), 48000, buf, buf, kPlay), WaveStatus::Ok);
        EXPECT_EQ(PlayOut(), WaveStatus::Ok);
        last = -1;
      } else if (w->message() == MM_WIM_DATA) {
        ++blocks;
        std::vector<float> a(kBlock), b(kBlock);
        EXPECT_EQ(GetRecInData(a, b), kBlock);
        CleanRecIn();
        const int32_t p = GetTimePointer();
        if (p < last) ++backwards;
        last = p;
        EXPECT_EQ(RecInPrep(this, SimulatedCardIndex(), 48000, kBlock), WaveStatus::Ok);
        EXPECT_EQ(RecIn(), WaveStatus::Ok);
      }
      return true;
    }
  } rta;
  rta.buf = buf;
  SimulatedCardSettings s = Quiet();
  s.blockSize = 1024;
  UseCard(s);
  ASSERT_EQ(PlayOutPrep(&rta, Sim(), 48000, buf, buf, kPlay), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rta, Sim(), 48000, kBlock), WaveStatus::Ok);
  PlayOut();
  RecIn();
  const int64_t opened = InspectStreaming().deviceFrames;
  Run(25 * 48000);
  const int64_t frames = InspectStreaming().deviceFrames - opened;
  std::sort(rta.jobs.begin(), rta.jobs.end());
  EXPECT_EQ(std::adjacent_find(rta.jobs.begin(), rta.jobs.end()), rta.jobs.end()) << "a job delivered twice";
  EXPECT_EQ(rta.backwards, 0);
  EXPECT_EQ(rta.plays, 2);
  // Each block restarts on the cycle after it ended: a block spans 4 or 5 cycles.
  EXPECT_GE(rta.blocks, frames / (5 * 1024) - 1);
  EXPECT_LE(rta.blocks, frames / kBlock);
}

TEST_F(WaveStreamingTest, RefusalsReturnAStatusAndSayWhy) {
  WaveReceiver rx;
  const auto buf = Ramp(1000, 3, 0);
  EXPECT_EQ(PlayOut(), WaveStatus::NotPrepared);
  EXPECT_EQ(RecIn(), WaveStatus::NotPrepared);
  EXPECT_EQ(PlayOutPrep(&rx, Sim(), 48000, buf, buf, 1001), WaveStatus::BadArgument);
  EXPECT_EQ(PlayOutPrep(nullptr, Sim(), 48000, buf, buf, 1000), WaveStatus::BadArgument);
  EXPECT_EQ(RecInPrep(&rx, Sim(), 48000, 0), WaveStatus::BadArgument);
  EXPECT_EQ(RecInPrep(&rx, Sim() + 1, 48000, 100), WaveStatus::NoDevice);

  SimulatedCardSettings s = Quiet();
  s.rates = {48000, 44100};
  UseCard(s);
  EXPECT_EQ(RecInPrep(&rx, Sim(), 12000, 100), WaveStatus::RateNotSupported);
  EXPECT_NE(AudioLastErrorText().find("12000"), std::string::npos) << AudioLastErrorText();

  // Busy: the record job holds the card at 48 kHz.
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 5000), WaveStatus::Ok);
  EXPECT_EQ(AudioLastErrorText(), "");
  RecIn();
  Run(1000);
  EXPECT_EQ(RecInPrep(&rx, Sim(), 48000, 100), WaveStatus::DeviceBusy);
  EXPECT_EQ(PlayOutPrep(&rx, Sim(), 44100, buf, buf, 1000), WaveStatus::DeviceBusy);
  EXPECT_EQ(PlayOutPrep(&rx, -1, 48000, buf, buf, 1000), WaveStatus::Ok) << "-1 is the simulated card here";
  ResetAudio();
}

TEST_F(WaveStreamingTest, ALostStreamPostsOneWaveErrorAndNothingElse) {
  SimulatedCardSettings s = Quiet();
  s.loseStreamAfter = 3000;
  UseCard(s);
  WaveReceiver rx;
  const auto buf = Ramp(10000, 3, 0);
  ASSERT_EQ(PlayOutPrep(&rx, Sim(), 48000, buf, buf, 10000), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 10000), WaveStatus::Ok);
  PlayOut();
  RecIn();
  Run(20000);
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{WaveError});
  EXPECT_FALSE(InspectStreaming().streamOpen);
  // The next job opens the card again.
  s.loseStreamAfter = -1;
  UseCard(s);
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 1000), WaveStatus::Ok);
  RecIn();
  Run(2000);
  EXPECT_EQ(rx.got.back().message, MM_WIM_DATA);
}

// A stream that dies while no job runs is noticed by the next job, which opens the
// card afresh instead of waiting on the dead stream.
TEST_F(WaveStreamingTest, AStreamLostWhileIdleIsOpenedAfreshByTheNextJob) {
  SimulatedCardSettings s = Quiet();
  s.loseStreamAfter = 3000;
  UseCard(s);
  WaveReceiver rx;
  for (int job = 1; job <= 2; ++job) {
    SCOPED_TRACE(job);
    ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 1000), WaveStatus::Ok);
    RecIn();
    Run(2000);
    ASSERT_EQ(rx.Messages(), std::vector<int32_t>(static_cast<size_t>(job), MM_WIM_DATA));
    CleanRecIn();
    Run(4000);  // no job: the stream dies unseen
  }
}

TEST_F(WaveStreamingTest, CardFaultsShowAsTheCallersWouldSeeThem) {
  SimulatedCardSettings s = Quiet();
  s.recordCompletionFirst = true;
  UseCard(s);
  WaveReceiver rx;
  const auto buf = Ramp(2000, 3, 0);
  const Recording r = PlayAndRecord(rx, buf, buf);
  EXPECT_EQ(rx.Messages(), (std::vector<int32_t>{MM_WIM_DATA, MM_WOM_DONE}));

  s.recordCompletionFirst = false;
  s.silentInput = true;
  UseCard(s);
  const Recording silent = PlayAndRecord(rx, buf, buf);
  EXPECT_EQ(*std::max_element(silent.right.begin(), silent.right.end()), 0.0f);

  s.silentInput = false;
  s.recordNeverCompletes = true;
  UseCard(s);
  rx.got.clear();
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 1000), WaveStatus::Ok);
  RecIn();
  Run(10000);
  EXPECT_TRUE(rx.got.empty());
  EXPECT_EQ(InspectStreaming().record, SlotState::Running);
}

// The deadline of a record job counts only while it is unfilled: one that filled
// in time delivers however late the UI looks at it.
TEST_F(WaveStreamingTest, ARecordingThatFilledDeliversPastItsDeadline) {
  WaveReceiver rx;
  ASSERT_EQ(RecInPrep(&rx, Sim(), 48000, 4800), WaveStatus::Ok);
  RecIn();
  SimulatedSoundCard::Instance().Advance(6000);
  AdvanceWaveClock(60000);
  Pump();
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{MM_WIM_DATA});
}

TEST_F(WaveStreamingTest, ThePlayPointerCountsPlayedFramesLessTheLatency) {
  SimulatedCardSettings s = Quiet();
  s.latency = 480;
  UseCard(s);
  WaveReceiver rx;
  const auto buf = Ramp(5000, 3, 0);
  ASSERT_EQ(PlayOutPrep(&rx, Sim(), 48000, buf, buf, 5000), WaveStatus::Ok);
  EXPECT_EQ(GetTimePointer(), 0);
  PlayOut();
  SimulatedSoundCard::Instance().Advance(1000);
  int32_t p = -1;
  GetTimePointer(p);
  EXPECT_EQ(p, 1000 - 480);
  SimulatedSoundCard::Instance().Advance(5000);
  EXPECT_EQ(GetTimePointer(), 5000 - 480);
}

}  // namespace
}  // namespace zentor::test
