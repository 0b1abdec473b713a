#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/settings.h"
#include "support/file_faults.h"
#include "support/fixture.h"

namespace zentor {

class Seams : public test::ZentorTest {};

// The settings store's file as it stands.
QByteArray SettingsFile() {
  QFile conf(QString::fromStdString(SettingsFilePath("Zentor")));
  return conf.open(QIODevice::ReadOnly) ? conf.readAll() : QByteArray("(unreadable)");
}

struct CountingForm : QWidget {
  static inline int unloads = 0;
  int16_t refuse = 0;
  void Form_Unload(int16_t& cancel) {
    ++unloads;
    cancel = refuse;
  }
};
struct PlainForm : QWidget {};

TEST_F(Seams, DialogsDesktopLineFormsWaitCursorAndTheSettingsStore) {
  EXPECT_NONFATAL_FAILURE(MsgBox("User Error: Sound card is in use"), "User Error: Sound card is in use");
  dialogs.Clear();
  dialogs.ExpectMessage(MsgAnswer::No);
  EXPECT_EQ(MsgBox("Save?", MsgButtons::YesNoCancel, MsgIcon::Question, "Mirabelt Zentor"), MsgAnswer::No);
  EXPECT_EQ(dialogs.calls()[0].buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(dialogs.calls()[0].title, "Mirabelt Zentor");

  dialogs.ExpectOpenFile(std::nullopt);
  EXPECT_FALSE(FileOpenDialog({"Open", "Result files (*.cfa)|*.cfa", "/tmp", "x.cfa", ""}).has_value());
  EXPECT_EQ(dialogs.calls()[1].filter, "Result files (*.cfa)|*.cfa");
  EXPECT_EQ(dialogs.calls()[1].fileName, "x.cfa");

  dialogs.ExpectColour(RGB(1, 2, 3));
  EXPECT_EQ(ColourDialog(0), RGB(1, 2, 3));
  dialogs.ExpectInput(std::string("42"));
  EXPECT_EQ(InputBox("How many?"), "42");

  QDialog d;
  d.setWindowTitle("Options");
  dialogs.ExpectModal([](QDialog*) { return int(QDialog::Accepted); });
  EXPECT_EQ(ShowModal(&d), QDialog::Accepted);
  EXPECT_EQ(dialogs.calls().back().title, "Options");

  EXPECT_EQ(ConvertFileFilter("Result files (*.cfa)|*.cfa"), "Result files (*.cfa)");
  EXPECT_EQ(ConvertFileFilter("EQ|*.EQ|All (*.*)|*.*"), "EQ (*.EQ);;All (*.*)");
  EXPECT_EQ(RGB(255, 0, 0), 255);
  EXPECT_EQ(BlueOf(RGB(1, 2, 3)), 3);

  // Qt aborts without a display server; the program must stop first with its own line.
  const QByteArray saved[3] = {qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), qgetenv("QT_QPA_PLATFORM")};
  const char* names[3] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  for (const char* n : names) qunsetenv(n);
  const char* plain[] = {"zentor", "file.cfa"};
  const std::string line = MissingDesktopMessage(2, plain);
  EXPECT_NE(line.find("QT_QPA_PLATFORM=offscreen"), std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const char* chosen[] = {"zentor", "-platform", "offscreen"};
  EXPECT_EQ(MissingDesktopMessage(3, chosen), "");
  qputenv("WAYLAND_DISPLAY", "");  // set but empty is no display
  EXPECT_NE(MissingDesktopMessage(2, plain), "");
  qputenv("DISPLAY", ":0");
  EXPECT_EQ(MissingDesktopMessage(2, plain), "");
  qunsetenv("DISPLAY");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  EXPECT_EQ(MissingDesktopMessage(2, plain), "");
  for (int i = 0; i < 3; ++i) {
    if (saved[i].isNull()) qunsetenv(names[i]);
    else qputenv(names[i], saved[i]);
  }

  EXPECT_FALSE(Forms::IsLoaded<CountingForm>());
  CountingForm* a = Forms::Get<CountingForm>();
  EXPECT_EQ(Forms::Get<CountingForm>(), a);
  EXPECT_TRUE(Forms::IsLoaded<CountingForm>());
  a->refuse = -1;
  EXPECT_FALSE(Forms::Unload<CountingForm>());
  EXPECT_TRUE(Forms::IsLoaded<CountingForm>());
  a->refuse = 0;
  CountingForm::unloads = 0;
  EXPECT_TRUE(Forms::Unload<CountingForm>());
  EXPECT_EQ(CountingForm::unloads, 1);
  EXPECT_FALSE(Forms::IsLoaded<CountingForm>());
  EXPECT_TRUE(Forms::Unload<CountingForm>()) << "unloading what is not loaded is harmless";

  PlainForm* p = Forms::Get<PlainForm>();
  delete p;  // a window that deletes itself leaves the registry
  EXPECT_FALSE(Forms::IsLoaded<PlainForm>());
  // The wait cursor is restored on every exit.
  auto thrower = [] {
    WaitCursor w;
    throw 1;
  };
  EXPECT_THROW(thrower(), int);
  {
    WaitCursor a;
    WaitCursor b;
    EXPECT_EQ(WaitCursor::Depth(), 2);
  }
  EXPECT_EQ(WaitCursor::Depth(), 0);

  // Every write is synced at once and reports whether the file took it; a store
  // that cannot be written keeps its file as it was.
  EXPECT_EQ(GetSetting("Zentor", "User", "On", "none"), "none");
  EXPECT_TRUE(SaveSetting("Zentor", "User", "On", "T"));
  EXPECT_TRUE(SaveSettings("Zentor", "User", {{"Color 0", " 255"}, {"Color 1", " 2"}}));
  EXPECT_TRUE(SaveSetting("Zentor", "Mixer", "Rate", " 48000"));
  EXPECT_EQ(GetSetting("Zentor", "User", "Color 0"), " 255");
  EXPECT_NE(SettingsFilePath("Zentor").find(tempDir.path().toStdString()), std::string::npos);
  EXPECT_TRUE(DeleteSetting("Zentor", "User", "On"));
  EXPECT_EQ(GetSetting("Zentor", "User", "On", "gone"), "gone");
  EXPECT_EQ(GetSetting("Zentor", "User", "Color 0"), " 255");
  const QByteArray before = SettingsFile();
  EXPECT_TRUE(before.contains("Color%200=\" 255\""));

  const std::string good = tempDir.path().toStdString() + "/config";
  test::BlockSettingsStore(tempDir.path().toStdString() + "/blocked");
  EXPECT_FALSE(SaveSetting("Zentor", "User", "On", "F"));
  EXPECT_FALSE(SaveSettings("Zentor", "User", {{"Color 0", " 9"}}));
  SetSettingsFolder(good);
  EXPECT_EQ(SettingsFile(), before);
  DeleteSetting("Zentor", "User");
  EXPECT_EQ(GetSetting("Zentor", "User", "Color 0", "gone"), "gone");
  EXPECT_EQ(GetSetting("Zentor", "Mixer", "Rate"), " 48000");

  // A change the file did not take is gone from memory too: every value reads back
  // as the file holds it, and the next good save writes nothing of the failed ones.
  // A malformed old file is no failure: the save replaces it with a good one.
  ASSERT_TRUE(SaveSettings("Zentor", "User", {{"On", "T"}, {"Color 0", " 1"}}));
  ASSERT_TRUE(SaveSetting("Zentor", "AutoMixer", "Enabled", "True"));
  const auto readAll = [] {
    return std::vector<std::string>{GetSetting("Zentor", "User", "On", "-"), GetSetting("Zentor", "User", "Color 0", "-"),
                                    GetSetting("Zentor", "User", "New", "-"),
                                    GetSetting("Zentor", "AutoMixer", "Enabled", "-")};
  };
  const std::vector<std::string> kept{"T", " 1", "-", "True"};
  {
    test::FileSizeLimit full(16);  // the file cannot be written whole
    const std::vector<std::pair<std::string, std::function<bool()>>> changes{
        {"SaveSetting", [] { return SaveSetting("Zentor", "User", "On", "F"); }},
        {"SaveSettings", [] { return SaveSettings("Zentor", "User", {{"Color 0", " 9"}, {"New", "x"}}); }},
        {"DeleteSetting key", [] { return DeleteSetting("Zentor", "User", "Color 0"); }},
        {"DeleteSetting section", [] { return DeleteSetting("Zentor", "AutoMixer"); }},
    };
    for (const auto& [name, change] : changes) {
      EXPECT_FALSE(change()) << name;
      EXPECT_EQ(readAll(), kept) << name;
    }
  }
  ASSERT_TRUE(SaveSetting("Zentor", "Mixer", "Rate", " 48000"));
  const QByteArray text = SettingsFile();
  for (const char* failed : {"On=F", "New", "\" 9\"", "Enabled=False"}) EXPECT_FALSE(text.contains(failed)) << failed;
  EXPECT_EQ(readAll(), kept);

  QFile conf(QString::fromStdString(SettingsFilePath("Zentor")));
  ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
  conf.write("[User\nOn=T\n[AutoMixer]\n=\n");
  conf.close();
  EXPECT_TRUE(SaveSetting("Zentor", "Other", "Key", "v"));
}

}  // namespace zentor
