#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

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

TEST_F(SoundDevicesTest, InputsAreListedInOrderWithTheirOutputsAndTheSimulatedCardLast) {
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
  EXPECT_EQ(Card(0)->OutputIndex(), 0);
  EXPECT_EQ(Card(1)->OutputIndex(), 3);
  EXPECT_EQ(Card(2)->OutputIndex(), 0);
  EXPECT_EQ(RecordDeviceAlsaCard(0), 0);
  EXPECT_EQ(RecordDeviceAlsaCard(1), 1);
  EXPECT_EQ(RecordDeviceAlsaCard(3), -1);

  // -1: PortAudio's default pair.
  ASSERT_NE(Card(-1), nullptr);
  EXPECT_EQ(Card(-1)->InputIndex(), 1);
  EXPECT_EQ(Card(-1)->OutputIndex(), 0);
  EXPECT_EQ(ResolveWaveDevice(4), nullptr);
  EXPECT_EQ(ResolveWaveDevice(-2), nullptr);
  EXPECT_EQ(FakePortAudio::Current().initCalls, 1) << "the list is built once";
}

TEST_F(SoundDevicesTest, FormatQueriesAskTheDevicesThemselves) {
  EXPECT_TRUE(IsFormatSupported(WaveDirection::Input, 0, 48000));
  EXPECT_FALSE(IsFormatSupported(WaveDirection::Input, 0, 12000));
  EXPECT_TRUE(IsFormatSupported(WaveDirection::Output, 1, 44100));
  EXPECT_TRUE(IsFormatSupported(WaveDirection::Input, -1, 44100));
  EXPECT_FALSE(IsFormatSupported(WaveDirection::Input, 9, 48000));
  SimulatedCardSettings s = Quiet();
  s.rates = {750};
  UseCard(s);
  EXPECT_TRUE(IsFormatSupported(WaveDirection::Output, 3, 750));
  EXPECT_FALSE(IsFormatSupported(WaveDirection::Input, 3, 48000));
}

TEST_F(SoundDevicesTest, ACardThatWillNotOpenAndAnotherDeviceWhileBusyAreRefused) {
  WaveReceiver rx;
  std::vector<int16_t> buf(1000, 0);
  EXPECT_EQ(RecInPrep(&rx, 0, 48000, 1000), WaveStatus::OpenFailed);
  EXPECT_NE(AudioLastErrorText().find("fake PortAudio error"), std::string::npos);
  ASSERT_EQ(RecInPrep(&rx, 3, 48000, 5000), WaveStatus::Ok);
  RecIn();
  Run(1000);
  EXPECT_EQ(PlayOutPrep(&rx, 0, 48000, buf, buf, 1000), WaveStatus::DeviceBusy);
}

TEST_F(SoundDevicesTest, WithoutPortAudioOnlyTheSimulatedCardIsListedAndIsTheDefault) {
  FakePortAudio::Current().initResult = paNotInitialized;
  ForgetSoundDevices();
  ASSERT_EQ(RecordDeviceCount(), 1);
  std::string error;
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
  for (int spins = 0; rx.got.empty() && spins < 10000; ++spins) {  // a hang guard, not a timing
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(rx.Messages(), std::vector<int32_t>{MM_WIM_DATA});
  CleanRecIn();
  ResetAudio();
  CloseIdleWaveStream();
  ForgetSoundDevices();
}

}  // namespace
}  // namespace zentor::test
