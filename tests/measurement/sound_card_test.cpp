// The sound-card window over fake PortAudio devices and the simulated card, and the
// automatic mixer over simulated mixers: the store's keys, the older file, the
// snapshot and every failure.
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#include "base/atomic_file.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "measurement/auto_mixer.h"
#include "measurement/mic_calibration.h"
#include "measurement/sound_card_selector.h"
#include "platform/forms.h"
#include "platform/mixer/alsa_mixer.h"
#include "platform/mixer/simulated_mixer.h"
#include "platform/settings.h"
#include "support/audio_fixture.h"
#include "support/file_faults.h"

namespace zentor::test {
namespace {

const std::string kOff = "Mixer Error: Shutting AutoMixer Off (Options->Mixer from main menu).";

// What the mixer settings in force hold, to compare before and after.
struct MixerInForce {
  MixerRecords records = MixerSettings;
  int32_t rate = EQConfig.SampleRate;
  std::array<int32_t, kMixerNameCodes> name = MixerNameArray;
  bool operator==(const MixerInForce& o) const {
    return std::memcmp(records.data(), o.records.data(), sizeof records) == 0 && rate == o.rate && name == o.name;
  }
};

static void SomeMixerInForce() {
  for (int32_t i = 0; i < 5; ++i) {
    MixerControlRecord& r = MixerSettings[static_cast<size_t>(i)];
    r.DeviceNumber = 3;
    r.ControlID = 900 + i;
    r.ControlType = 0x50030001;
    r.ControlNum = 4;
    r.ControlSetting.fill(40 + i);
  }
  MixerSettings[0].NumElements = 5;
  EQConfig.SampleRate = 44100;
  MixerNameArray.fill(77);
}

static void WriteLegacyMixerFile(const std::string& path, int32_t records, int32_t badRecord, size_t tail) {
  std::ofstream f(path, std::ios::binary);
  for (int32_t i = 0; i < records; ++i) {
    std::array<int32_t, 17> rec{};
    rec[0] = records;
    rec[2] = 1 + i;
    rec[3] = 0x50030001;
    rec[5] = i == badRecord ? kMaxControlValues + 1 : 4;
    rec[7] = 1234;
    f.write(reinterpret_cast<const char*>(rec.data()), sizeof rec);
  }
  const std::vector<char> rest(tail, 1);
  f.write(rest.data(), static_cast<std::streamsize>(rest.size()));
}

class SoundCardTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    ResetAutoMixer();
    AppFolder = TempPath("");
    SetMixerApi(&mixer);
    SoundCardNameReader = RecordDeviceName;
  }
  void TearDown() override {
    Forms::DeleteAll();
    SetMixerApi(nullptr);
    SoundCardNameReader = RecordDeviceName;
    ResetAutoMixer();
    AudioTest::TearDown();
  }
  SoundCardSelectorForm* Form() { return Forms::Get<SoundCardSelectorForm>(); }
  static std::string Get(const std::string& key) { return GetSetting("Zentor", "Mixer", key, "<none>"); }
  // Two mixers "Card A" and "Card B" behind two fake PortAudio devices.
  void TwoCards() {
    mixer.cards = {SimulatedMixer::DefaultCard(), SimulatedMixer::DefaultCard()};
    mixer.cards[0].name = "Card A";
    mixer.cards[1].name = "Card B";
  }
  int32_t Volume(int32_t card) { return mixer.Find(card, 1)->values[0]; }
  // The messages an action shows, answered in turn.
  std::vector<std::string> Said(const std::function<void()>& action, std::vector<MsgAnswer> answers = {MsgAnswer::OK}) {
    dialogs.Clear();
    for (MsgAnswer a : answers) dialogs.ExpectMessage(a);
    action();
    return dialogs.MessageTexts();
  }

  SimulatedMixer mixer;
};

TEST_F(SoundCardTest, DeviceButtonsStackAndQueryTheChosenDevice) {
  FakePortAudio& fake = FakePortAudio::Current();
  fake.Add("A card with a name much longer than thirty-one characters", 2, 2);
  fake.Add("Second", 2, 2);
  fake.defaultIn = fake.defaultOut = 0;
  SimulatedCardSettings s = Quiet();
  s.rates = {44100};
  UseCard(s);
  Form()->SetUpSoundCardSelection();
  ASSERT_EQ(Form()->InputCard.size(), 3u);
  EXPECT_EQ(Form()->InputCard[0]->text().size(), 31);
  EXPECT_EQ(Form()->InputCard[2]->text().toStdString(), "Zentor Simulated Loopback");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Form()->InputCard[i]->y(), Form()->InputCard[0]->height() * i + Form()->InputCard[0]->y());
  EXPECT_EQ(WaveDeviceId, -1);
  EXPECT_TRUE(Form()->InputCard[0]->isChecked());
  Form()->InputCard[2]->click();
  EXPECT_EQ(WaveDeviceId, 2);
  for (auto [rate, on] : {std::pair{Form()->FortyEight, false}, {Form()->FortyFourPointOne, true},
                          {Form()->Twelve, true}, {Form()->SevenFifty, true}})
    EXPECT_EQ(rate->isEnabled(), on) << rate->text().toStdString();
  EXPECT_EQ(Form()->GetSoundCardNumDevices(), "3");
  // A second set-up builds nothing and keeps the chosen button.
  Form()->SetUpSoundCardSelection();
  EXPECT_EQ(Form()->InputCard.size(), 3u);
  EXPECT_TRUE(Form()->InputCard[2]->isChecked());
  Form()->show();
  if (const char* dir = std::getenv("ZENTOR_RENDER_DIR")) Form()->grab().toImage().save(QString(dir) + "/sound_card.png");
}

TEST_F(SoundCardTest, UnreadableNameShowsItsErrorAndTheOthersAreListed) {
  FakePortAudio::Current().Add("Card A", 2, 2);
  SoundCardNameReader = [](int32_t i, std::string& error) {
    if (i == 0) error = "fake PortAudio error";
    return i == 0 ? std::string() : RecordDeviceName(i, error);
  };
  InstallSoundCardLinks();
  dialogs.ExpectMessage();
  Forms::Get<DataPlotter>()->SoundCard_Click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"fake PortAudio error"});
  ASSERT_EQ(Form()->InputCard.size(), 2u);
  EXPECT_EQ(Form()->InputCard[0]->text().toStdString(), "Input");
  EXPECT_EQ(Form()->InputCard[1]->text().toStdString(), "Zentor Simulated Loopback");
  EXPECT_TRUE(Form()->isVisible());
}

TEST_F(SoundCardTest, TheDefaultDeviceRatesMicrophoneAndTheCloseBox) {
  EQConfig.SampleRate = 0;
  Form()->SetUpSoundCardSelection();
  ASSERT_EQ(Form()->InputCard.size(), 1u);  // only the simulated card, which is the default device
  Form()->InputCard[0]->click();
  EXPECT_EQ(WaveDeviceId, -1);
  EXPECT_EQ(EQConfig.SampleRate, 48000);
  EXPECT_TRUE(Form()->FortyEight->isChecked());
  const std::vector<std::pair<QRadioButton*, int32_t>> rates{{Form()->FortyFourPointOne, 44100},
                                                            {Form()->Twelve, 12000},
                                                            {Form()->SevenFifty, 750},
                                                            {Form()->FortyEight, 48000}};
  for (auto [button, rate] : rates) {
    button->click();
    EXPECT_EQ(EQConfig.SampleRate, rate);
  }
  Form()->Twelve->click();
  EQConfig.SampleRate = 750;
  Form()->SetUpSoundCardSelection();
  EXPECT_TRUE(Form()->Twelve->isChecked());

  Form()->micInRightCheck->click();
  EXPECT_EQ(MicChannel, Form()->micInRightCheck->isChecked() ? 99 : 33);
  Form()->micInRightCheck->setChecked(true);
  Form()->micInRightCheck_Click();
  EXPECT_EQ(MicChannel, 99);
  SetMicChannel(33);
  MicCalFileName = "room.cal";
  Form()->Initialize();
  EXPECT_FALSE(Form()->micInRightCheck->isChecked());
  EXPECT_EQ(Form()->MicCaltext->text().toStdString(), "room.cal");

  Form()->show();
  Form()->close();
  EXPECT_TRUE(Forms::IsLoaded<SoundCardSelectorForm>());
  EXPECT_FALSE(Form()->isVisible());
  EXPECT_TRUE(Form()->Twelve->isChecked());
  Form()->Command2->click();
}

TEST_F(SoundCardTest, StoreKeysCarryTheBlankOfStrAndManyControlsStayInBounds) {
  AutoMixerOn = true;
  mixer.cards[0].destinations[0].controls[0].values = {-5, 5, 5, 5};
  dialogs.ExpectMessage(MsgAnswer::Yes);
  WaveDeviceId = -1;
  SaveSetting("Zentor", "Mixer", "ControlSetting 9 0", "kept");
  SaveAutoMixerSettingsOnExit();
  // Six records: two kept lists, a volume, a mute, an on/off, a volume; record 2 is
  // the two-item list, positions 0..2; name code 1 is 'Z'.
  for (auto [key, value] : {std::pair{"SaveSetting", "True"}, {"NumElements 0", " 6"}, {"ControlSetting 0 1", "-5"},
                            {"ControlSetting 0 2", " 5"}, {"ControlNum 2", " 2"}, {"ControlSetting 2 0", " 0"},
                            {"ControlSetting 2 2", " 1"}, {"ControlSetting 2 3", "<none>"},
                            {"ControlSetting 9 0", "kept"}, {"MixerNameArrayLength", " 26"}, {"MixerNameArray 1", " 90"}})
    EXPECT_EQ(Get(key), value) << key;

  // Read back: the values come back onto the mixer.
  mixer.cards[0].destinations[0].controls[0].values = {1, 1, 1, 1};
  EXPECT_EQ(RestoreAutoMixerSettings(), 0);
  EXPECT_EQ(MixerSettings[2].ControlNum, 2);
  EXPECT_EQ(mixer.cards[0].destinations[0].controls[0].values, (std::vector<int32_t>{-5, 5, 5, 5}));

  // Long lists and many controls stay in bounds.
  SimMixerLine& line = mixer.cards[0].destinations[0];
  line.controls.push_back({{500, MixerControlType::SingleSelect, 12}, std::vector<int32_t>(12, 1)});
  for (int32_t i = 0; i < 600; ++i) line.controls.push_back({{1000 + i, MixerControlType::Volume, 0}, {i, i, i, i}});
  AutoMixerOn = true;
  ReadMixerControls(0, MixerSettings);
  EXPECT_EQ(MixerSettings[0].NumElements, kMixerRecordCount);
  for (int32_t i = 0; i < kMixerRecordCount; ++i) EXPECT_NE(MixerSettings[i].ControlID, 500);
  ApplyMixerControls(MixerSettings);
  EXPECT_TRUE(AutoMixerOn);
}

TEST_F(SoundCardTest, TwoOpeningsThenACloseGiveBackTheUsersMixerOfThatDeviceOnlyNamedWhole) {
  TwoCards();
  AutoMixerOn = true;
  mixer.Find(0, 1)->values = {100, 100, 100, 100};
  WaveDeviceId = 0;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  SaveAutoMixerSettingsOnExit();
  mixer.Find(0, 1)->values = {7, 7, 7, 7};  // the user's own
  EXPECT_EQ(RestoreAutoMixerSettings(), 0);
  EXPECT_EQ(Volume(0), 100);
  EXPECT_EQ(RestoreAutoMixerSettings(), 0);
  dialogs.ExpectMessage(MsgAnswer::Cancel);
  SaveAutoMixerSettingsOnExit();
  EXPECT_EQ(Volume(0), 7);
  EXPECT_EQ(dialogs.calls().back().title, "Mirabelt Zentor");
  EXPECT_EQ(dialogs.calls().back().icon, MsgIcon::Question);

  EXPECT_EQ(RestoreAutoMixerSettings(), 0);
  WaveDeviceId = 1;
  EXPECT_EQ(Said(SaveAutoMixerSettingsOnExit, {MsgAnswer::Yes, MsgAnswer::OK}).back(), "Error 4362");

  // A saved device is found by its whole name.
  AutoMixerOn = true;
  std::array<int32_t, kMixerNameCodes> codes{};
  int32_t count = 0;
  GetMixerNameCodes(1, codes, count);
  MixerSettings[0].NumElements = 1;
  EXPECT_TRUE(FindSavedMixerDevice(codes, count, MixerSettings));
  EXPECT_EQ(MixerSettings[0].DeviceNumber, 1);
  mixer.cards[1].name = "Card C";
  EXPECT_FALSE(FindSavedMixerDevice(codes, count, MixerSettings));
  mixer.cards[1].name = "Abc";
  GetMixerNameCodes(1, codes, count);
  EXPECT_EQ(count, 4);
  EXPECT_TRUE(FindSavedMixerDevice(codes, count, MixerSettings));
  EXPECT_FALSE(FindSavedMixerDevice(codes, 0, MixerSettings));
}

// Every failure turns the mixer off and ticks "Mixer Off" in the main window's
// menu, so the user sees why the settings stopped following the card.
TEST_F(SoundCardTest, EveryResultCodeAtEverySiteTurnsTheMixerOff) {
  DataPlotter* main = Forms::Get<DataPlotter>();
  main->SetMixerOn(1);
  ASSERT_TRUE(main->MixerOnMenue->isChecked());
  const std::vector<int32_t> sites{4652, 4653, 4656, 4753, 4754, 4657, 3753, 3754, 4658, 4659, 4397};
  for (int32_t code = 1; code <= 14; ++code)
    for (int32_t site : sites) {
      AutoMixerOn = true;
      const auto texts = Said([&] { EXPECT_FALSE(CheckMixerResult(code, site)); }, {MsgAnswer::OK, MsgAnswer::OK});
      EXPECT_FALSE(AutoMixerOn);
      ASSERT_EQ(texts.size(), 2u);
      EXPECT_EQ(texts[1], kOff);
      const bool withSite = code != 1 && code != 9 && code != 12 && code != 13;
      EXPECT_EQ(texts[0].ends_with(std::to_string(site)), withSite) << texts[0];
    }
  EXPECT_TRUE(main->MixerOffMenue->isChecked());
  EXPECT_FALSE(main->MixerOnMenue->isChecked());
  dialogs.Clear();
  EXPECT_TRUE(CheckMixerResult(0, 4652));

  // Failures reached through the simulated mixer name their call's site, the first eight above in order.
  using enum SimMixerCall;
  const SimMixerCall calls[] = {Open,       Caps,           DestinationLine, DestinationControls, DestinationValues,
                                SourceLine, SourceControls, SourceValues};
  for (size_t i = 0; i < std::size(calls); ++i) {
    mixer.ClearFailures();
    mixer.FailAt(calls[i], 11);
    AutoMixerOn = true;
    EXPECT_EQ(Said([&] { ReadMixerControls(0, MixerSettings); }, {MsgAnswer::OK, MsgAnswer::OK})[0],
              "One or more parameters are invalid. " + std::to_string(sites[i]));
    EXPECT_FALSE(AutoMixerOn);
  }
}

TEST_F(SoundCardTest, LegacyFileMovesIntoTheStore) {
  WriteLegacyMixerFile(AppFolder + "ZentorMixer", 1, -1, 0);
  EQConfig.SampleRate = 44100;
  EXPECT_EQ(RestoreAutoMixerSettings(), -1);  // the mixer is off: only moved
  EXPECT_FALSE(FileExists(AppFolder + "ZentorMixer"));
  EXPECT_EQ(Get("SampleRate"), " 44100");
  EXPECT_EQ(Get("ControlSetting 0 1"), " 1234");

  SaveSetting("Zentor", "Mixer", "SampleRate", " 0");
  SaveSetting("Zentor", "Mixer", "MixerNameArrayLength", " 26");
  std::array<int32_t, kMixerNameCodes> codes{};
  int32_t count = 0;
  GetMixerNameCodes(0, codes, count);
  for (int32_t k = 0; k < count; ++k) SaveSetting("Zentor", "Mixer", "MixerNameArray" + Str(k), Str(codes[k]));
  AutoMixerOn = true;
  EXPECT_EQ(RestoreAutoMixerSettings(), 0);
  EXPECT_EQ(EQConfig.SampleRate, 48000);

  // A truncated file: the message, the mechanism off, the file kept aside.
  WriteWholeFileAtomic(AppFolder + "ZentorMixer", std::string_view("short"));
  dialogs.ExpectMessage();
  EXPECT_EQ(RestoreAutoMixerSettings(), -1);
  EXPECT_EQ(dialogs.MessageTexts().back(), kOff);
  EXPECT_FALSE(AutoMixerOn);
  EXPECT_TRUE(FileExists(AppFolder + "ZentorMixer.bad"));
  EXPECT_FALSE(FileExists(AppFolder + "ZentorMixer"));
}

// An older file or saved settings refused part-way change nothing of the settings
// in force: neither the records decoded before the bad one, nor the sample rate
// read before a short name.
TEST_F(SoundCardTest, AnOlderFileOrSavedSettingsRefusedPartWayChangeNothing) {
  const auto saveWithout = [&](const std::string& key) {
    AutoMixerOn = true;
    WaveDeviceId = -1;
    dialogs.Clear();
    dialogs.ExpectMessage(MsgAnswer::Yes);
    SaveAutoMixerSettingsOnExit();  // saves the simulated card's controls
    ASSERT_GE(std::stoi(Get("NumElements 0")), 3);
    DeleteSetting("Zentor", "Mixer", key);
  };
  const std::vector<std::pair<std::string, std::function<void()>>> cases{
      {"file: a bad record", [&] { WriteLegacyMixerFile(AppFolder + "ZentorMixer", 3, 2, 0); }},
      {"file: a short name", [&] { WriteLegacyMixerFile(AppFolder + "ZentorMixer", 3, -1, 4 + 7); }},
      {"store: a record's key missing", [&] { saveWithout("ControlID 2"); }},
      {"store: a negative name length", [&] {
         saveWithout("MixerNameArrayLength");
         SaveSetting("Zentor", "Mixer", "MixerNameArrayLength", "-1");
       }}};
  for (const auto& [name, prepare] : cases) {
    SCOPED_TRACE(name);
    prepare();
    SomeMixerInForce();
    const MixerInForce before;
    EXPECT_EQ(Said([] { EXPECT_EQ(RestoreAutoMixerSettings(), -1); }), std::vector<std::string>{kOff});
    EXPECT_TRUE(MixerInForce() == before);
    if (name.starts_with("file")) {
      EXPECT_EQ(Get("SaveSetting"), "<none>");
      EXPECT_TRUE(FileExists(AppFolder + "ZentorMixer.bad"));
      std::remove((AppFolder + "ZentorMixer.bad").c_str());
    } else {
      EXPECT_EQ(MixerNameArrayLength, 0);
    }
  }
}

// A settings store that cannot be written: the good older file stays where it
// is for a later opening, the settings in force are unchanged, and saving at a
// window's close says it failed.
TEST_F(SoundCardTest, AStoreThatCannotBeWrittenKeepsTheOlderFileAndSaysSo) {
  SomeMixerInForce();
  const MixerInForce before;
  WriteLegacyMixerFile(AppFolder + "ZentorMixer", 2, -1, 0);
  BlockSettingsStore(TempPath("blocked"));
  EXPECT_EQ(Said([] { EXPECT_EQ(RestoreAutoMixerSettings(), -1); }, {MsgAnswer::OK, MsgAnswer::OK}),
            (std::vector<std::string>{"Error 5873: The mixer settings could not be saved.", kOff}));
  EXPECT_TRUE(MixerInForce() == before);
  EXPECT_TRUE(FileExists(AppFolder + "ZentorMixer"));
  EXPECT_FALSE(FileExists(AppFolder + "ZentorMixer.bad"));

  AutoMixerOn = true;
  WaveDeviceId = -1;
  EXPECT_EQ(Said(SaveAutoMixerSettingsOnExit, {MsgAnswer::Yes, MsgAnswer::OK}).back(),
            "Error 5873: The mixer settings could not be saved.");
}

// A real ALSA card, when the machine has one: writing back what was read changes nothing.
TEST(AlsaMixer, ReadApplyReadGivesTheSameRecords) {
  AlsaMixerApi alsa;
  if (alsa.OpenCard(0) != MixerResult::NoError) GTEST_SKIP() << "no ALSA card";
  std::vector<MixerControlInfo> controls;
  ASSERT_EQ(alsa.LineControls(0, -1, controls), MixerResult::NoError);
  auto read = [&] {
    std::vector<std::vector<int32_t>> all;
    for (const MixerControlInfo& c : controls) {
      std::vector<int32_t> v;
      EXPECT_EQ(alsa.GetValues(c.id, IsListControlType(c.type) ? c.items : kMixerChannelValues, v),
                MixerResult::NoError);
      all.push_back(v);
    }
    return all;
  };
  const auto before = read();
  for (size_t i = 0; i < controls.size(); ++i) EXPECT_EQ(alsa.SetValues(controls[i].id, before[i]), MixerResult::NoError);
  EXPECT_EQ(read(), before);
  alsa.Close();
}

}  // namespace
}  // namespace zentor::test
