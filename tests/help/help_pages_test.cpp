// The built-in help: every topic has its page and the pages hold together, each
// window's help control opens its topic's page, and every caption a page names in
// bold is a caption of the window it describes, so a renamed control cannot leave
// its help behind.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <QUrl>
#include <functional>

#include "analysers/distortion_form.h"
#include "core/records.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "analysers/spl_meter.h"
#include "analysers/test_cd_measure.h"
#include "analysers/test_cd_writer.h"
#include "crossover/xover_form.h"
#include "display/display_options.h"
#include "display/psyc_form.h"
#include "eqdesign/fit_limits_form.h"
#include "eqdesign/band_simulator.h"
#include "eqdesign/level_set.h"
#include "eqdesign/numerical_options.h"
#include "eqdesign/user_select.h"
#include "mainwindow/main_window_fixture.h"
#include "measurement/audio_form.h"
#include "measurement/mic_calibration.h"
#include "measurement/sound_card_selector.h"
#include "platform/help.h"
#include "tools/data_integrity_form.h"
#include "tools/math_form.h"
#include "tools/wav_import.h"

namespace zentor::test {
namespace {

QString ReadPage(const QString& url) {
  QFile f(QUrl(url).scheme() == "qrc" ? ":" + QUrl(url).path() : url);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A caption as a reader sees it: no accelerator marks, single spaces, no trailing
// colon or ellipsis.
QString Plain(QString s) {
  s.replace("&&", "\x01").remove('&').replace("\x01", "&");
  s = s.simplified();
  while (s.endsWith(':') || s.endsWith("...") || s.endsWith(QChar(0x2026)))
    s.chop(s.endsWith("...") ? 3 : 1), s = s.trimmed();
  return s;
}

QSet<QString> Captions(QWidget* window) {
  QSet<QString> out{Plain(window->windowTitle())};
  for (QWidget* c : window->findChildren<QWidget*>()) {
    if (auto* b = qobject_cast<QAbstractButton*>(c)) out << Plain(b->text());
    if (auto* l = qobject_cast<QLabel*>(c)) out << Plain(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(c)) out << Plain(g->title());
    if (auto* m = qobject_cast<QMenu*>(c)) out << Plain(m->title());
    if (auto* t = qobject_cast<QTabWidget*>(c))
      for (int i = 0; i < t->count(); ++i) out << Plain(t->tabText(i));
    if (auto* x = qobject_cast<QComboBox*>(c))
      for (int i = 0; i < x->count(); ++i) out << Plain(x->itemText(i));
  }
  for (QAction* a : window->findChildren<QAction*>()) out << Plain(a->text());
  return out;
}

// Each topic: the windows its page describes besides the main window, and a click on
// each of its help controls.
struct Topic {
  int32_t topic;
  std::function<QList<QWidget*>(DataPlotter*)> windows;
  std::function<void(DataPlotter*)> help;
};

template <class T>
QWidget* W() {
  return Forms::Get<T>();
}

DisplayControlForm* Options(DataPlotter* w, int32_t mode) {
  DisplayControlForm* f = Forms::Get<DisplayControlForm>();
  f->ReadAndShowDisplayParms(*w, mode);
  return f;
}

const std::vector<Topic>& Topics() {
  using D = DataPlotter*;
  static const std::vector<Topic> t = {
      {HelpTopic::AudioForm, [](D) { return QList{W<AudioForm>()}; },
       [](D) { Forms::Get<AudioForm>()->Help->click(); }},
      {HelpTopic::Form1, [](D) { return QList{W<Form1>()}; }, [](D) { Forms::Get<Form1>()->Help->click(); }},
      {HelpTopic::Numerical, [](D) { return QList{W<Numerical>()}; },
       [](D) { Forms::Get<Numerical>()->Command2->click(); }},
      {HelpTopic::DistForm, [](D) { return QList{W<DistForm>()}; },
       [](D) { Forms::Get<DistForm>()->Help->click(); }},
      {HelpTopic::DataPlotterMain,
       [](D w) {
         return QList<QWidget*>{W<AudioForm>(), W<SoundCardSelectorForm>(), Options(w, 4), W<UserSelect>(),
                                W<XoverForm>(), W<FitLimitsForm>()};
       },
       [](D w) { w->MainHelp->trigger(); }},
      {HelpTopic::LevelSet, [](D) { return QList{W<LevelSet>()}; },
       [](D) { Forms::Get<LevelSet>()->Help->click(); }},
      {HelpTopic::SoundCardSelector, [](D) { return QList{W<SoundCardSelectorForm>(), W<AudioForm>()}; },
       [](D) { Forms::Get<SoundCardSelectorForm>()->Command2->click(); }},
      {HelpTopic::PsycForm, [](D w) { return QList<QWidget*>{W<PsycForm>(), Options(w, 4)}; },
       [](D) { Forms::Get<PsycForm>()->Command3->click(); }},
      {HelpTopic::DisplayControlFormView3, [](D w) { return QList<QWidget*>{Options(w, 3)}; },
       [](D w) { Options(w, 3)->Help->click(); }},
      {HelpTopic::DisplayControlForm, [](D w) { return QList<QWidget*>{Options(w, 4)}; },
       [](D w) { Options(w, 4)->Help->click(); }},
      {HelpTopic::MathFormCurveSwap, [](D) { return QList{W<MathForm>()}; },
       [](D) { Forms::Get<MathForm>()->CurveSwapHelp->click(); }},
      {HelpTopic::MathFormResample, [](D) { return QList{W<MathForm>()}; },
       [](D) { Forms::Get<MathForm>()->ResampleHelp->click(); }},
      {HelpTopic::MathFormDifferences, [](D) { return QList{W<MathForm>()}; },
       [](D) { Forms::Get<MathForm>()->DifferencesHelp->click(); }},
      {HelpTopic::MathFormCompress, [](D) { return QList{W<MathForm>()}; },
       [](D) { Forms::Get<MathForm>()->CompressHelp->click(); }},
      {HelpTopic::DataIntegrityForm, [](D) { return QList{W<DataIntegrityForm>()}; },
       [](D) { Forms::Get<DataIntegrityForm>()->Help->click(); }},
      {HelpTopic::MicCalForm, [](D) { return QList{W<MicCalForm>()}; },
       [](D) { Forms::Get<MicCalForm>()->Help->click(); }},
      {HelpTopic::Import, [](D) { return QList{W<Import>()}; }, [](D) { Forms::Get<Import>()->Help->click(); }},
      {HelpTopic::RTAEQ, [](D) { return QList{W<RTAEQ>()}; }, [](D) { Forms::Get<RTAEQ>()->Command4->click(); }},
      {HelpTopic::RTAImp, [](D) { return QList{W<RTAImp>()}; }, [](D) { Forms::Get<RTAImp>()->HelpBut->click(); }},
      {HelpTopic::SPLLevelForm, [](D) { return QList{W<SPLLevelForm>()}; },
       [](D) { Forms::Get<SPLLevelForm>()->Command2->click(); }},
      {HelpTopic::TestCD, [](D) { return QList{W<CreateTestCD>(), W<CDTest>()}; },
       [](D) {
         Forms::Get<CreateTestCD>()->Help->click();
         Forms::Get<CDTest>()->HelpBut->click();
       }},
      {HelpTopic::XoverForm, [](D) { return QList{W<XoverForm>()}; },
       [](D) { Forms::Get<XoverForm>()->Command3->click(); }},
      {HelpTopic::Printing, [](D) { return QList<QWidget*>{}; }, [](D w) { w->PrintingHelp->trigger(); }},
      {HelpTopic::FitLimits, [](D) { return QList{W<FitLimitsForm>()}; },
       [](D) { Forms::Get<FitLimitsForm>()->Help->click(); }},
  };
  return t;
}

class HelpPagesTest : public MainWindowTest {
 protected:
  // The main window at a rate every window accepts (the distortion window refuses others).
  DataPlotter* Open() {
    DataPlotter* w = Start();
    EQConfig.SampleRate = 48000;
    return w;
  }
};

TEST_F(HelpPagesTest, EveryTopicHasAPageAndEveryLinkAndPictureResolves) {
  const QString contents = ReadPage(kHelpContentsPage);
  ASSERT_FALSE(contents.isEmpty());
  QSet<QString> pages;
  for (int32_t topic : HelpTopic::All) {
    const QString page = QString::fromStdString(HelpPage(topic));
    ASSERT_FALSE(ReadPage(page).isEmpty()) << topic << " " << page.toStdString();
    pages << QUrl(page).fileName();
  }
  QSet<QString> fromContents;
  const QRegularExpression ref(R"re((href|src)="([^"#]*)(#[^"]*)?")re");
  for (const QString& file : QDir(":/help").entryList({"*.html"})) {
    const QString html = ReadPage("qrc:/help/" + file);
    for (const auto& m : ref.globalMatch(html)) {
      const QString target = m.captured(2);
      if (target.isEmpty()) continue;
      EXPECT_TRUE(QFile::exists(":/help/" + target)) << file.toStdString() << " -> " << target.toStdString();
      if (file == "index.html") fromContents << target;
    }
  }
  for (const QString& p : pages) EXPECT_TRUE(fromContents.contains(p)) << "contents lacks " << p.toStdString();
}

TEST_F(HelpPagesTest, EachHelpControlOpensItsTopicsPageAndClosingClosesIt) {
  DataPlotter* w = Open();
  EXPECT_TRUE(w->MainHelp->isEnabled());
  EXPECT_TRUE(w->PrintingHelp->isEnabled());
  for (const Topic& t : Topics()) {
    t.help(w);
    EXPECT_EQ(HelpWindowPage(), HelpPage(t.topic)) << t.topic;
    EXPECT_EQ(GetHelpLog().topics.back(), t.topic);
  }
  CloseHelp();
  EXPECT_EQ(HelpWindowPage(), "");

  // A help file installed beside the program is opened in its place.
  QFile file(QString::fromStdString(GetHelpLog().helpFile + ".html"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  w->MainHelp->trigger();
  file.remove();
  EXPECT_EQ(HelpWindowPage(), "");
  EXPECT_EQ(GetHelpLog().topics.back(), HelpTopic::DataPlotterMain);
}

TEST_F(HelpPagesTest, EveryBoldCaptionIsACaptionOfItsWindow) {
  DataPlotter* w = Open();
  const QRegularExpression bold("<b>(.*?)</b>", QRegularExpression::DotMatchesEverythingOption);
  for (const Topic& t : Topics()) {
    QSet<QString> captions = Captions(w);  // every page may name the menus that open its window
    for (QWidget* window : t.windows(w)) captions += Captions(window);
    const std::string page = HelpPage(t.topic);
    const QString html = ReadPage(QString::fromStdString(page));
    int named = 0;
    for (const auto& m : bold.globalMatch(html)) {
      QString text = m.captured(1);
      text.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
      ++named;
      EXPECT_TRUE(captions.contains(Plain(text))) << page << ": no control reads \"" << text.toStdString() << "\"";
    }
    EXPECT_GT(named, 0) << page << " names no control";
  }
}

}  // namespace
}  // namespace zentor::test
