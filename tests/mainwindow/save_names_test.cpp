// The names the windows' saves write: only the extension is replaced, and a name
// that is only an extension is refused with nothing written and the names kept.
#include "eqdesign/eq_report.h"
#include "mainwindow/filter_file.h"
#include "mainwindow/measurement_file.h"
#include "window_fixtures.h"

namespace zentor {
namespace {

using SaveNamesTest = test::RecordedWindowTest;

TEST_F(SaveNamesTest, OnlyTheExtensionIsReplacedAndANameThatIsOnlyAnExtensionIsRefused) {
  test::FillStore(1, 10, 48000);
  QDir(tempDir.path()).mkdir("a.b");
  const struct {
    const char* command;
    std::function<void()> save;
    std::string ext;
  } commands[] = {{"measurements", [] { SaveMeasurementFile(); }, "cfa"},
                  {"filters", [this] { w->SaveEQModel_Click(); }, "EQ"},
                  {"settings report", [] { TextEQ_Click(); }, "txt"}};
  const struct {
    std::string typed;
    std::string saved;  // empty: refused
  } names[] = {{"a.b/seat1.v2", "a.b/seat1.v2.@"},
               {"a.b/my.room.@", "a.b/my.room.@"},
               {"a.b/seat1.cfa.bak", "a.b/seat1.cfa.bak.@"},
               {"a.b/seat1.EQ", "a.b/seat1.@"},
               {"a.b/.@", ""},
               {"a.b/", ""}};
  const auto with = [](std::string text, const std::string& ext) {
    if (const size_t at = text.find('@'); at != std::string::npos) text.replace(at, 1, ext);
    return text;
  };
  for (const auto& c : commands) {
    for (const auto& n : names) {
      const std::string typed = TempPath(with(n.typed, c.ext));
      SCOPED_TRACE(std::string(c.command) + " as " + typed);
      QDir(QString::fromStdString(TempPath("a.b"))).removeRecursively();
      QDir(tempDir.path()).mkdir("a.b");
      ResultFileName = "kept.cfa";
      EQFileName = "kept.EQ";
      dialogs.Clear();
      dialogs.ExpectSaveFile(typed);
      if (n.saved.empty()) dialogs.ExpectMessage();
      c.save();
      const QStringList written = QDir(QString::fromStdString(TempPath("a.b"))).entryList(QDir::Files | QDir::Hidden);
      if (n.saved.empty()) {
        EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{NoFileNameText(typed)});
        EXPECT_TRUE(written.isEmpty()) << written.join(" ").toStdString();
        EXPECT_EQ(std::pair(ResultFileName, EQFileName), std::pair(std::string("kept.cfa"), std::string("kept.EQ")));
      } else {
        EXPECT_TRUE(dialogs.MessageTexts().empty());
        const std::string saved = with(n.saved, c.ext);
        EXPECT_EQ(written, QStringList{QString::fromStdString(saved.substr(4))});
      }
    }
  }
}

}  // namespace
}  // namespace zentor
