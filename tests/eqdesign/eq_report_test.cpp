// The equaliser settings report: its lines against hand-worked values, whole
// files byte for byte, the save dialog and the overwrite question; and the
// path from a fitted set through the modes list to the report.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDevice>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>
#include <fstream>
#include <sstream>

#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/user_select.h"
#include "mainwindow/main_window_links.h"

namespace zentor {
namespace {

using test::MakeFilter;
using test::SetApplied;
using Texts = std::vector<std::string>;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Quoted(const Texts& lines) {
  std::string out;
  for (const std::string& l : lines) out += "\"" + l + "\"\r\n";
  return out;
}

Texts Report(const std::string& graphic, const std::string& parametric, const std::string& modal,
             const std::string& footer) {
  Texts t{"Mirabelt Zentor EQ Settings", "", "Graphic EQ Settings"};
  if (!graphic.empty()) t.push_back(graphic);
  t.insert(t.end(), {"", footer, "", "", "Parametric EQ Settings"});
  if (!parametric.empty()) t.push_back(parametric);
  t.insert(t.end(), {"", footer, "", "", "Modal EQ Parametric Settings"});
  if (!modal.empty()) t.push_back(modal);
  t.insert(t.end(), {"", footer});
  return t;
}

class EqReportTest : public test::EqListTest {};

TEST_F(EqReportTest, WholeFilesByteForByte) {
  const std::string path = TempPath("r.txt");
  SetApplied({});
  ASSERT_TRUE(WriteEQSettingsReport(path, AppliedFilters));
  EXPECT_EQ(Slurp(path), Quoted(Report("", "", "", "No Settings Required")));

  FilterRecord boost;
  boost.Kind = 2;
  boost.EQEmulationCode = 2;
  boost.Freq1 = test::kTwoPiF * 1000;
  boost.Q1 = -4;
  boost.Q2 = 2;
  FilterRecord flat = MakeFilter(2, 500, 0, 2);  // 0 dB: not listed
  flat.Q2 = std::fabs(flat.Q1);
  SetApplied({flat, boost});
  ASSERT_TRUE(WriteEQSettingsReport(path, AppliedFilters));
  EXPECT_EQ(Slurp(path), Quoted(Report("", "Freq = 1000Hz  Level = 6 dB Q:2.8", "",
                                       "Controls set to zero dB are not listed")));
}

TEST_F(EqReportTest, LinesByEmulationCode) {
  // ISO bands, given without relisting.
  auto iso = [](float hz) {
    FilterRecord f = MakeFilter(3, hz, -3, 2, 1);
    f.Freq1 = test::kTwoPiF * hz;
    const std::string line = EQReportLine(f, true);
    return line.substr(0, line.find("/60 Oct"));
  };
  EXPECT_EQ(iso(25000), "ISO Freq = 16000Hz + 38.6");
  EXPECT_EQ(iso(15), "ISO Freq = 20Hz + -24.9");
  double band = 0, offset = 0;
  for (float hz : {20.0f, 16000.0f}) {
    ISOBandOf(static_cast<float>(hz * 6.283185307), band, offset);
    EXPECT_EQ(band, hz);
    EXPECT_EQ(offset, 0);
  }
  // At the geometric mean of 1000 and 1250 Hz: the lower band.
  const double mean = std::sqrt(1000.0 * 1250.0);
  auto atMean = static_cast<float>(mean * 6.283185307);
  while (atMean / 6.283185307 > mean) atMean = std::nextafter(atMean, 0.0f);
  ISOBandOf(atMean, band, offset);
  EXPECT_EQ(band, 1000);
  ISOBandOf(std::nextafter(std::nextafter(atMean, 1e9f), 1e9f), band, offset);
  EXPECT_EQ(band, 1250);

  const FilterRecord cut = MakeFilter(3, 1000, -6, 1.4f, 1);
  const std::string line1 = EQReportLine(cut, true);
  EXPECT_EQ(line1.substr(0, 47), "ISO Freq = 1000Hz + 0/60 Oct  Level = -6 dB BW:");
  EXPECT_TRUE(line1.ends_with("/60 ")) << line1;

  EXPECT_EQ(BandwidthText(6), "0.1");
  EXPECT_EQ(BandwidthText(5), "5/60");
  FilterRecord fbq = MakeFilter(2, 1000, 4, 1, 4);
  fbq.Q1 = ConvertEmulatedQ(0.1f, 4, 4);  // 6/60 octave
  fbq.Q2 = std::fabs(fbq.Q1) / std::pow(10.0f, 0.2f);
  EXPECT_TRUE(EQReportLine(fbq, false).ends_with(" Hz, Level = 4 dB BW:0.1")) << EQReportLine(fbq, false);

  const FilterRecord dcx = MakeFilter(2, 1000, -6, 4, 5);
  const std::string graphic = EQReportLine(dcx, true), other = EQReportLine(dcx, false);
  EXPECT_NE(graphic.find(" dB Q: 3."), std::string::npos) << graphic;
  EXPECT_NE(other.find(" dB BW:3."), std::string::npos) << other;
  EXPECT_EQ(graphic.substr(0, graphic.find(" dB Q:")), other.substr(0, other.find(" dB BW:")));
  FilterRecord modal = dcx;
  modal.Kind = 4;
  SetApplied({modal});
  EXPECT_EQ(EQReportLines(AppliedFilters)[13], other);
}

TEST_F(EqReportTest, SaveDialogNameAndOverwriteQuestion) {
  SetApplied({MakeFilter(2, 100, -6, 2)});
  dialogs.ExpectSaveFile(TempPath("settings.old.txt"));
  w->TextEQ->trigger();
  const std::string path = TempPath("settings.txt");
  ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));
  const test::DialogCall& save = dialogs.calls().front();
  EXPECT_EQ(save.title, "Save EQ Settings Text File");
  EXPECT_EQ(save.filter, "EQ settings (*.txt)|*.txt");
  EXPECT_EQ(save.fileName, "EQSettings");

  SetApplied({});
  for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Cancel}) {
    dialogs.ExpectSaveFile(path);
    dialogs.ExpectMessage(answer);
    w->TextEQ->trigger();
    EXPECT_EQ(Slurp(path).find("No Settings Required"), std::string::npos) << "unchanged";
  }
  const test::DialogCall& ask = dialogs.calls().back();
  EXPECT_EQ(ask.text, path + " Already Exists, Overwrite ?");
  EXPECT_EQ(ask.buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(ask.icon, MsgIcon::Exclamation);
  EXPECT_EQ(ask.title, "EQ Settings");
  dialogs.ExpectSaveFile(path);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  w->TextEQ->trigger();
  EXPECT_NE(Slurp(path).find("No Settings Required"), std::string::npos);

  dialogs.ExpectSaveFile(std::nullopt);  // cancelled: silent
  w->TextEQ->trigger();

  const QString locked = QString::fromStdString(TempPath("locked"));
  ASSERT_TRUE(QDir().mkdir(locked));
  QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  if (!QFile(locked + "/probe").open(QIODevice::WriteOnly)) {  // not so for root
    dialogs.ExpectSaveFile(TempPath("locked/EQSettings"));
    dialogs.ExpectMessage();
    w->TextEQ->trigger();
    EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5853: The EQ settings file could not be written.");
  }
  QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A fitted set of three room modes on curve 1, as the fit leaves it, taken into
// the applied list under each parametric emulation: list and report show the
// three corrections.
TEST_F(EqReportTest, FittedModesBecomeTheReportedCorrections) {
  struct Mode { float hz, dB, q; };
  const Mode modes[] = {{45, 9, 6}, {83, 6, 10}, {131, 12, 4}};
  for (const Mode& m : modes) test::AddMeasured(0, m.hz, m.q, m.q / std::pow(10.0f, m.dB / 20));
  SingularityList[0].RangeLow = 20;
  SingularityList[0].RangeHigh = 300;

  QRadioButton* EQOpt::*parametric[] = {&EQOpt::ParametricBFDEmulatorBut, &EQOpt::CookParametric,
                                        &EQOpt::ParametricClassicEng, &EQOpt::BehringerFBQ2496Parm,
                                        &EQOpt::BehringerDCX2496Parm};
  for (int32_t code = 1; code <= 5; ++code) {
    SetApplied({});
    dialogs.ExpectModal([&](QDialog* d) {
      auto* o = qobject_cast<EQOpt*>(d);
      (o->*parametric[code - 1])->click();
      o->accept();
      return o->result();
    });
    w->ErrSelect->click();
    ASSERT_EQ(w->GetParametricEQEmulation(), code);
    if (!w->CompModes->isEnabled()) FAIL() << "List All Modes is not enabled";
    w->CompModes->click();
    if (w->ModeSortAscending != kTrue) w->CompModes->click();
    for (int row = 0; row < 3; ++row) {
      dialogs.ExpectModal([](QDialog* d) {
        qobject_cast<UserSelect*>(d)->Apply->click();
        return d->result();
      });
      w->ModesList->item(row)->setSelected(true);
      MainWindowHooks.ModesList_Click(row);
    }
    ASSERT_EQ(AppliedFilters[0].Count, 3);
    const Texts list = test::Lines(w->AppliedFilterListBox);
    const Texts report = EQReportLines(AppliedFilters);
    const size_t first = code == 2 || code == 3 ? 13 : 8;  // kind 4 stays modal
    for (size_t i = 0; i < 3; ++i) {
      const Mode& m = modes[i];
      const double listedHz = std::stod(list[i]);
      const double listedDb = std::stod(list[i].substr(list[i].find(" L:") + 3));
      EXPECT_NEAR(std::log2(listedHz / m.hz), 0, 1.0 / 24) << code << ": " << list[i];
      EXPECT_NEAR(listedDb, -m.dB, 0.6) << code << ": " << list[i];
      const std::string& line = report[first + i];
      double hz = 0;
      if (code == 1) {
        const double b = std::stod(line.substr(11)), d = std::stod(line.substr(line.find("Hz + ") + 5));
        hz = b * std::pow(2.0, d / 60);
      } else {
        hz = std::stod(line.substr(7));
      }
      const double dB = std::stod(line.substr(line.find("Level = ") + 8));
      EXPECT_NEAR(std::log2(hz / m.hz), 0, 1.0 / 24) << code << ": " << line;
      EXPECT_NEAR(dB, -m.dB, 0.6) << code << ": " << line;
    }
    if (code == 4) Screenshot(w, "zentor_applied_list.png");
  }
}

}  // namespace
}  // namespace zentor
