// Wave streaming on the simulated card: paired jobs, resets, refusals and faults;
// the card itself: its room, noise, clipping and distortion; the device list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <thread>

#include "base/atomic_file.h"
#include "support/audio_fixture.h"
#include "tools/wav_file.h"

namespace zentor::test {
namespace {

// A recognisable signal: a different ramp on each channel.
std::vector<int16_t> Ramp(int32_t n, int step, int offset) {
  std::vector<int16_t> v(static_cast<std::size_t>(n));
  for (int32_t i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = static_cast<int16_t>((i * step + offset) % 30001 - 15000);
  return v;
}

std::vector<int16_t> Tone(std::size_t n, double peak, double hz) {
  std::vector<int16_t> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = static_cast<int16_t>(std::nearbyint(peak * std::sin(2 * std::numbers::pi * hz * double(i) / 48000)));
  return v;
}

struct Recording {
  std::vector<float> left, right;
};

// Prepares a play and a record job of the signal's length and arms the play.
void Prepare(WaveReceiver& rx, const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
  const auto n = static_cast<int32_t>(left.size());
  ASSERT_EQ(PlayOutPrep(&rx, SimulatedCardIndex(), 48000, left, right, n), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(&rx, SimulatedCardIndex(), 48000, n), WaveStatus::Ok);
  ASSERT_EQ(PlayOut(), WaveStatus::Ok);
}
void Record(WaveReceiver& rx, int32_t n) {
  ASSERT_EQ(RecInPrep(&rx, SimulatedCardIndex(), 48000, n), WaveStatus::Ok);
  ASSERT_EQ(RecIn(), WaveStatus::Ok);
}

// Plays left/right while recording as many frames on the manual clock.
Recording PlayAndRecord(WaveReceiver& rx, const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
  const auto n = static_cast<int32_t>(left.size());
  Prepare(rx, left, right);
  EXPECT_EQ(RecIn(), WaveStatus::Ok);
  SimulatedSoundCard::Instance().Advance(n);
  AudioTest::Pump();
  Recording r{std::vector<float>(left.size()), std::vector<float>(left.size())};
  EXPECT_EQ(GetRecInData(r.left, r.right), n);
  CleanRecIn();
  CleanPlayOut();
  return r;
}
Recording PlayAndRecord(const std::vector<int16_t>& both) {
  WaveReceiver rx;
  return PlayAndRecord(rx, both, both);
}

// For a card on its own clock: a hang guard, not a timing.
void WaitFor(const WaveReceiver& rx, std::size_t messages) {
  for (int spins = 0; rx.got.size() < messages && spins < 60000; ++spins) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

using WaveStreamingTest = AudioTest;

TEST_F(WaveStreamingTest, RefusalsSayWhyAndPairedJobsStartOnOneFrameForTheirWindowOnly) {
  WaveReceiver rx, other;
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

  const int32_t n = 196608;
  Prepare(rx, Ramp(n, 7, 0), Ramp(n, 11, 5));
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

TEST_F(WaveStreamingTest, ThePlayPointerAndAUnitRoomGiveEachOutputBackDelayedBitForBit) {
  SimulatedCardSettings s = Quiet();
  s.latency = 480;
  UseCard(s);
  WaveReceiver rx;
  // The play pointer counts played frames less the latency.
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
  CleanPlayOut();
  const int32_t n = 20000;
  const auto left = Ramp(n, 7, 0), right = Ramp(n, 13, 99);
  const Recording r = PlayAndRecord(rx, left, right);
  for (int32_t i = 0; i < n; ++i) {
    ASSERT_EQ(r.left[i], i < 480 ? 0.0f : left[i - 480]) << i;
    ASSERT_EQ(r.right[i], i < 480 ? 0.0f : right[i - 480]) << i;
  }
  // With the reference at half gain the roles show: the microphone side keeps full level.
  s.referenceGain = 0.5;
  for (int32_t mic : {kSimMicRight, kSimMicLeft}) {
    UseCard(s);
    SimulatedCardHooks.MicChannel = [mic] { return mic; };
    const Recording h = PlayAndRecord(rx, left, right);
    const bool onRight = mic == kSimMicRight;
    EXPECT_EQ(h.right[1000], onRight ? right[520] : std::nearbyint(0.5 * right[520]));
    EXPECT_EQ(h.left[1000], onRight ? std::nearbyint(0.5 * left[520]) : left[520]);
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
  WaveReceiver rx, fast;
  UseCard(s);
  const Recording manual = PlayAndRecord(rx, left, right);

  s.clock = SimulatedCardSettings::Clock::Instant;
  UseCard(s);
  Prepare(fast, left, right);
  ASSERT_EQ(RecIn(), WaveStatus::Ok);
  WaitFor(fast, 2);
  ASSERT_EQ(fast.Messages(), (std::vector<int32_t>{MM_WOM_DONE, MM_WIM_DATA}));
  Recording instant{std::vector<float>(n), std::vector<float>(n)};
  ASSERT_EQ(GetRecInData(instant.left, instant.right), n);
  EXPECT_EQ(instant.left, manual.left);
  EXPECT_EQ(instant.right, manual.right);
  double energy = 0;
  for (float v : manual.right) energy += double(v) * v;
  EXPECT_GT(energy, 1e6) << "the room passed nothing to the microphone";
}

TEST_F(WaveStreamingTest, AnArmedJobStopsWaitingAfterAQuarterSecondAndResetsCancelTheirJobs) {
  // An armed job stops waiting for its partner after a quarter second.
  WaveReceiver armed;
  Prepare(armed, Ramp(4000, 3, 0), Ramp(4000, 3, 0));
  const int64_t opened = InspectStreaming().deviceFrames;
  Run(12000);
  EXPECT_EQ(InspectStreaming().play, SlotState::Armed);
  Run(1000);
  EXPECT_EQ(InspectStreaming().playStartFrame, opened + 12000);
  EXPECT_EQ(InspectStreaming().record, SlotState::Prepared);
  ResetAudio();
  WaveReceiver rx;
  const auto buf = Ramp(3000, 3, 0);
  // Mid-job.
  Prepare(rx, buf, buf);
  RecIn();
  Run(1000);
  ResetAudio();
  Run(5000);
  EXPECT_TRUE(rx.got.empty());
  EXPECT_EQ(GetTimePointer(), 0);

  // Finished and posted, not yet delivered.
  Record(rx, 3000);
  SimulatedSoundCard::Instance().Advance(4000);
  DrainWaveCompletions();
  ResetAudio();
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(rx.got.empty());

  // ResetPlayAudio leaves the record job, which delivers once.
  Prepare(rx, buf, buf);
  RecIn();
  Run(1000);
  ResetPlayAudio();
  Run(5000);
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{MM_WIM_DATA});
}

TEST_F(WaveStreamingTest, AFilledRecordingDeliversLateAGoneWindowGetsNothingAndShortSpansWhatFits) {
  // The deadline of a record job counts only while it is unfilled: one that filled
  // in time delivers however late the UI looks at it.
  WaveReceiver late;
  Record(late, 4800);
  SimulatedSoundCard::Instance().Advance(6000);
  AdvanceWaveClock(60000);
  Pump();
  EXPECT_EQ(late.Messages(), std::vector<int32_t>{MM_WIM_DATA});
  CleanRecIn();
  auto rx = std::make_unique<WaveReceiver>();
  Record(*rx, 3000);
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
  Record(*gone, 3000);
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

// A stream that dies while no job runs is noticed by the next job, which opens the
// card afresh instead of waiting on the dead stream; one lost mid-job posts one
// WaveError and nothing else.
TEST_F(WaveStreamingTest, ALostStreamIsOpenedAfreshOrPostsOneWaveErrorAndCardFaultsShow) {
  SimulatedCardSettings s = Quiet();
  s.loseStreamAfter = 3000;
  UseCard(s);
  WaveReceiver rx;
  Prepare(rx, Ramp(10000, 3, 0), Ramp(10000, 3, 0));
  RecIn();
  Run(20000);
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{WaveError});
  EXPECT_FALSE(InspectStreaming().streamOpen);
  rx.got.clear();
  for (int job = 1; job <= 2; ++job) {
    SCOPED_TRACE(job);
    Record(rx, 1000);
    Run(2000);
    ASSERT_EQ(rx.Messages(), std::vector<int32_t>(static_cast<size_t>(job), MM_WIM_DATA));
    CleanRecIn();
    Run(4000);  // no job: the stream dies unseen
  }

  // Card faults show as the callers would see them.
  s = Quiet();
  s.recordCompletionFirst = true;
  UseCard(s);
  rx.got.clear();
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
  Record(rx, 1000);
  Run(10000);
  EXPECT_TRUE(rx.got.empty());
  EXPECT_EQ(InspectStreaming().record, SlotState::Running);
}

// Amplitude of the component at `hz` over whole periods of x[first, first + n) at 48 kHz.
double Amplitude(const std::vector<float>& x, std::size_t first, std::size_t n, double hz) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double ph = 2 * std::numbers::pi * hz * static_cast<double>(i) / 48000;
    re += x[first + i] * std::cos(ph);
    im += x[first + i] * std::sin(ph);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(n);
}

void WriteWave(const std::string& path, int32_t rate, int16_t channels, const std::vector<int16_t>& samples) {
  BinaryWriter w;
  WriteWavHeader(w, MakeWavHeader(channels, rate, static_cast<int32_t>(samples.size())));
  w.Integers(samples);
  ASSERT_TRUE(WriteWholeFileAtomic(path, w.data()));
}

using SimulatedCardTest = AudioTest;

TEST_F(SimulatedCardTest, DistortionNoiseClippingAndTheRoomReachTheInputsAsSet) {
  SimulatedCardSettings s = Quiet();
  s.a2 = 0.02;
  UseCard(s);
  const Recording t = PlayAndRecord(Tone(24000, 16384, 1000));
  // 0.5 sin squared has a 2nd harmonic of 0.02 x 0.25 / 2 re 0.5: -46.02 dB.
  EXPECT_NEAR(20 * std::log10(Amplitude(t.right, 4800, 9600, 2000) / Amplitude(t.right, 4800, 9600, 1000)), -46.0,
              0.1);
  // Noise and clipping reach the inputs as set.
  s = Quiet();
  s.micNoise = 2.0;
  UseCard(s);
  const Recording quiet = PlayAndRecord(std::vector<int16_t>(48000, 0));
  double sum = 0;
  for (float v : quiet.right) sum += double(v) * v;
  // sigma 2 plus the rounding's 1/12 LSB^2.
  EXPECT_NEAR(std::sqrt(sum / 48000), 2.02, 0.05);
  EXPECT_EQ(*std::max_element(quiet.left.begin(), quiet.left.end()), 0.0f) << "reference noise was off";

  s = Quiet();
  s.inputGain = 4.0;
  UseCard(s);
  const Recording loud = PlayAndRecord(Tone(8000, 30000, 440));
  const auto [lo, hi] = std::minmax_element(loud.right.begin(), loud.right.end());
  EXPECT_EQ(*hi, 32767.0f);
  EXPECT_EQ(*lo, -32768.0f);

  // The default room, or one from a wave file, is what the microphone hears.
  s = Quiet();
  s.room.clear();
  s.referenceGain = 0.5;
  UseCard(s);
  const std::vector<double> h = KnownMicImpulse(48000);
  ASSERT_EQ(h.size(), 21600u);
  // Three clicks, the room's response to each summed: the oracle is the response itself.
  const std::size_t clicks[] = {0, 3001, 9000};
  const double heights[] = {20000, -12000, 8000};
  std::vector<int16_t> signal(40000, 0);
  for (int c = 0; c < 3; ++c) signal[clicks[c]] = static_cast<int16_t>(heights[c]);
  const Recording rec = PlayAndRecord(signal);
  int worst = 0;
  for (std::size_t i = 480; i < signal.size(); ++i) {
    double expect = 0;
    for (int c = 0; c < 3; ++c)
      if (i - 480 >= clicks[c] && i - 480 - clicks[c] < h.size()) expect += heights[c] * h[i - 480 - clicks[c]];
    worst = std::max(worst, static_cast<int>(std::abs(rec.right[i] - std::nearbyint(expect))));
  }
  EXPECT_LE(worst, 1);
  // The direct sound arrives 2 m on, behind the latency.
  const auto peak =
      std::max_element(rec.right.begin(), rec.right.end(), [](float a, float b) { return std::abs(a) < std::abs(b); });
  EXPECT_NEAR(static_cast<double>(peak - rec.right.begin()), 480 + std::nearbyint(2 * 48000 / 343.0), 3);
  EXPECT_EQ(rec.left[480], 10000.0f) << "the reference is half the other output";

  // A room from a wave file replaces the default at its rate.
  const std::string path = TempPath("room.wav");
  WriteWave(path, 48000, 1, {16384, 0, 0, -8192});
  setenv("ZENTOR_SIM_ROOM", path.c_str(), 1);
  EXPECT_EQ(KnownMicImpulse(48000), (std::vector<double>{0.5, 0, 0, -0.25}));
  // Another rate keeps the default room.
  EXPECT_EQ(KnownMicImpulse(44100), DefaultRoomImpulse(44100));

  s = Quiet();
  s.room.clear();
  UseCard(s);
  std::vector<int16_t> click(2000, 0);
  click[0] = 1000;
  const Recording c = PlayAndRecord(click);
  EXPECT_EQ(c.right[480], 500.0f);
  EXPECT_EQ(c.right[483], -250.0f);
  unsetenv("ZENTOR_SIM_ROOM");

  std::vector<double> room;
  std::string why;
  const auto refused = [&](const std::string& file, const std::string& reason) {
    EXPECT_FALSE(ReadRoomWave(file, 48000, room, why)) << reason;
    EXPECT_NE(why.find(reason), std::string::npos) << why;
  };
  refused(TempPath("none.wav"), "cannot be opened");
  ASSERT_EQ(mkfifo(TempPath("pipe.wav").c_str(), 0600), 0);
  refused(TempPath("pipe.wav"), "is not a regular file");  // would block the card's start for ever
  WriteWave(path, 48000, 2, {1, 2, 3, 4});
  refused(path, "is not mono");
  WriteWave(path, 44100, 1, {1, 2});
  refused(path, "44100");
  WriteWholeFileAtomic(path, std::string_view("RIFF\x10\0\0\0WAVEdata", 16));
  EXPECT_FALSE(ReadRoomWave(path, 48000, room, why));
  EXPECT_TRUE(room.empty());
}

class SoundDevicesTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    FakePortAudio& pa = FakePortAudio::Current();
    pa.Add("HDA Intel PCH: ALC892 Analog (hw:0,0)", 2, 2);
    pa.Add("USB Mic: Audio (hw:1,0)", 1, 0);
    pa.Add("JACK system", 2, 2, 1);  // another host API: not listed
    pa.Add("USB Mic: Audio Out (hw:1,1)", 0, 2);
    pa.Add("Webcam C920 with a rather long product name (hw:2,0)", 2, 0);
    pa.defaultIn = 1;
    pa.defaultOut = 0;
    ForgetSoundDevices();
  }
  static PortAudioDevice* Card(int32_t id) { return dynamic_cast<PortAudioDevice*>(ResolveWaveDevice(id)); }
};

TEST_F(SoundDevicesTest, InputsAreListedWithTheirOutputsFormatsAskedAndRefusalsMade) {
  ASSERT_EQ(RecordDeviceCount(), 4);
  std::string error;
  EXPECT_EQ(RecordDeviceName(0, error), "HDA Intel PCH: ALC892 Analog (h");
  EXPECT_EQ(RecordDeviceName(1, error), "USB Mic: Audio (hw:1,0)");
  EXPECT_EQ(RecordDeviceName(2, error).size(), 31u);
  EXPECT_EQ(RecordDeviceName(3, error), kSimulatedCardName);
  EXPECT_EQ(error, "");
  EXPECT_EQ(RecordDeviceName(4, error), "");
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(SimulatedCardIndex(), 3);

  // Its own outputs; the output on the same card; the default output.
  for (auto [id, output, alsa] : {std::tuple{0, 0, 0}, {1, 3, 1}, {2, 0, 2}}) {
    EXPECT_EQ(Card(id)->OutputIndex(), output) << id;
    EXPECT_EQ(RecordDeviceAlsaCard(id), alsa) << id;
  }
  EXPECT_EQ(RecordDeviceAlsaCard(3), -1);

  // -1: the first card, the one the sound-card window ticks when none was chosen.
  EXPECT_EQ(ResolveWaveDevice(-1), ResolveWaveDevice(0));
  EXPECT_EQ(ResolveWaveDevice(4), nullptr);
  EXPECT_EQ(ResolveWaveDevice(-2), nullptr);
  EXPECT_EQ(FakePortAudio::Current().initCalls, 1) << "the list is built once";

  // Format queries ask the devices themselves; a card that will not open, and another
  // device while one is busy, are refused.
  SimulatedCardSettings s = Quiet();
  s.rates = {750};
  UseCard(s);
  const auto in = WaveDirection::Input, out = WaveDirection::Output;
  for (auto [direction, id, rate, supported] :
       {std::tuple{in, 0, 48000, true}, {in, 0, 12000, false}, {out, 1, 44100, true}, {in, -1, 44100, true},
        {in, 9, 48000, false}, {out, 3, 750, true}, {in, 3, 48000, false}})
    EXPECT_EQ(IsFormatSupported(direction, id, rate), supported) << id << " " << rate;
  UseCard(Quiet());
  WaveReceiver rx;
  std::vector<int16_t> buf(1000, 0);
  EXPECT_EQ(RecInPrep(&rx, 0, 48000, 1000), WaveStatus::OpenFailed);
  EXPECT_NE(AudioLastErrorText().find("fake PortAudio error"), std::string::npos);
  ASSERT_EQ(RecInPrep(&rx, 3, 48000, 5000), WaveStatus::Ok);
  RecIn();
  Run(1000);
  EXPECT_EQ(PlayOutPrep(&rx, 0, 48000, buf, buf, 1000), WaveStatus::DeviceBusy);
  ResetAudio();
  // Without PortAudio only the simulated card is listed, and is the default.
  FakePortAudio::Current().initResult = paNotInitialized;
  ForgetSoundDevices();
  ASSERT_EQ(RecordDeviceCount(), 1);
  EXPECT_EQ(RecordDeviceName(0, error), kSimulatedCardName);
  EXPECT_EQ(ResolveWaveDevice(-1), ResolveWaveDevice(0));

  FakePortAudio::Current() = FakePortAudio{};  // starts, lists nothing
  ForgetSoundDevices();
  EXPECT_EQ(RecordDeviceCount(), 1);
  EXPECT_EQ(ResolveWaveDevice(-1), &SimulatedSoundCard::Instance());
}

TEST(RealSoundCard, RecordsABlockWhenOneIsListed) {
  UsePortAudioApi(nullptr);
  ForgetSoundDevices();
  const bool none = RecordDeviceCount() < 2;
  if (none || !IsFormatSupported(WaveDirection::Input, 0, 48000)) {
    ForgetSoundDevices();
    GTEST_SKIP() << "no sound card here";
  }
  WaveReceiver rx;
  ASSERT_EQ(RecInPrep(&rx, 0, 48000, 4800), WaveStatus::Ok) << AudioLastErrorText();
  ASSERT_EQ(RecIn(), WaveStatus::Ok);
  WaitFor(rx, 1);
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{MM_WIM_DATA});
  CleanRecIn();
  ResetAudio();
  CloseIdleWaveStream();
  ForgetSoundDevices();
}

}  // namespace
}  // namespace zentor::test
