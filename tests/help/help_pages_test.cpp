// The built-in help: every topic has its page and the pages hold together, each
// window's help control opens its topic's page, every caption a page names in bold,
// italics or quotes is a visible caption of the window it describes, so a renamed
// control cannot leave its help behind, and the help stays usable beside a modal dialog.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
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
#include "display/color_form.h"
#include "display/display_options.h"
#include "display/view_state.h"
#include "display/psyc_form.h"
#include "eqdesign/fit_limits_form.h"
#include "eqdesign/band_simulator.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/level_set.h"
#include "eqdesign/numerical_options.h"
#include "eqdesign/user_select.h"
#include "mainwindow/filter_exchange.h"
#include "mainwindow/window_fixtures.h"
#include "measurement/audio_form.h"
#include "measurement/mic_calibration.h"
#include "measurement/sound_card_selector.h"
#include "platform/help.h"
#include "platform/kept_messages.h"
#include "tools/data_integrity_form.h"
#include "tools/math_form.h"
#include "tools/three_d_form.h"
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

// The captions a user can see in the window as it stands.
QSet<QString> Captions(QWidget* window) {
  QSet<QString> out{Plain(window->windowTitle())};
  for (QWidget* c : window->findChildren<QWidget*>()) {
    if (auto* m = qobject_cast<QMenu*>(c); m && m->menuAction()->isVisible()) out << Plain(m->title());
    if (!c->isVisibleTo(window)) continue;
    if (auto* e = qobject_cast<QLineEdit*>(c)) out << Plain(e->placeholderText()) << Plain(e->text());
    if (auto* b = qobject_cast<QAbstractButton*>(c)) out << Plain(b->text());
    if (auto* l = qobject_cast<QLabel*>(c)) out << Plain(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(c)) out << Plain(g->title());
    if (auto* t = qobject_cast<QTabWidget*>(c))
      for (int i = 0; i < t->count(); ++i) out << Plain(t->tabText(i));
    if (auto* x = qobject_cast<QComboBox*>(c))
      for (int i = 0; i < x->count(); ++i) out << Plain(x->itemText(i));
  }
  for (QAction* a : window->findChildren<QAction*>())
    if (a->isVisible()) out << Plain(a->text());
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

// A topic whose page describes window T alone, its help control T::*button.
template <class T, class B>
Topic One(int32_t topic, B* T::*button) {
  return {topic, [](DataPlotter*) { return QList{W<T>()}; }, [button](DataPlotter*) { (Forms::Get<T>()->*button)->click(); }};
}

const std::vector<Topic>& Topics() {
  using D = DataPlotter*;
  namespace H = HelpTopic;
  static const std::vector<Topic> t = {
      One(H::AudioForm, &AudioForm::Help),
      One(H::Form1, &Form1::Help),
      One(H::Numerical, &Numerical::Command2),
      One(H::DistForm, &DistForm::Help),
      {H::DataPlotterMain,
       [](D w) {
         return QList<QWidget*>{W<AudioForm>(), W<SoundCardSelectorForm>(), Options(w, 4), W<UserSelect>(),
                                W<XoverForm>(), W<FitLimitsForm>()};
       },
       [](D w) { w->MainHelp->trigger(); }},
      One(H::LevelSet, &LevelSet::Help),
      {H::SoundCardSelector, [](D) { return QList{W<SoundCardSelectorForm>(), W<AudioForm>()}; },
       [](D) { Forms::Get<SoundCardSelectorForm>()->Command2->click(); }},
      {H::PsycForm, [](D w) { return QList<QWidget*>{W<PsycForm>(), Options(w, 4)}; },
       [](D) { Forms::Get<PsycForm>()->Command3->click(); }},
      {H::DisplayControlFormView3, [](D w) { return QList<QWidget*>{Options(w, 3)}; },
       [](D w) { Options(w, 3)->Help->click(); }},
      {H::DisplayControlForm, [](D w) { return QList<QWidget*>{Options(w, 4)}; },
       [](D w) { Options(w, 4)->Help->click(); }},
      One(H::MathFormCurveSwap, &MathForm::CurveSwapHelp),
      One(H::MathFormResample, &MathForm::ResampleHelp),
      One(H::MathFormDifferences, &MathForm::DifferencesHelp),
      One(H::MathFormCompress, &MathForm::CompressHelp),
      One(H::DataIntegrityForm, &DataIntegrityForm::Help),
      One(H::MicCalForm, &MicCalForm::Help),
      One(H::Import, &Import::Help),
      One(H::RTAEQ, &RTAEQ::Command4),
      One(H::RTAImp, &RTAImp::HelpBut),
      One(H::SPLLevelForm, &SPLLevelForm::Command2),
      {H::TestCD, [](D) { return QList{W<CreateTestCD>(), W<CDTest>()}; },
       [](D) {
         Forms::Get<CreateTestCD>()->Help->click();
         Forms::Get<CDTest>()->HelpBut->click();
       }},
      One(H::XoverForm, &XoverForm::Command3),
      {H::Printing, [](D) { return QList<QWidget*>{}; }, [](D w) { w->PrintingHelp->trigger(); }},
      One(H::EQOpt, &EQOpt::Help),
      One(H::UserSelect, &UserSelect::Help),
      One(H::FilterExchange, &FilterExportDialog::Help),
      One(H::FitLimits, &FitLimitsForm::Help),
  };
  return t;
}

// The help window as the user has it open.
QWidget* HelpWindow() {
  for (QWidget* w : QApplication::allWidgets())
    if (w->objectName() == "HelpWindow") return w;
  return nullptr;
}

// Each page with its window in each of the states it describes (each state set up
// in turn, its captions read before the next), beyond the topic's own windows.
struct Page {
  QString file;
  std::vector<std::function<QList<QWidget*>(DataPlotter*)>> states;
};

// The filter editor for a filter of `kind` under parametric equaliser `code`.
QList<QWidget*> Editor(DataPlotter* w, int32_t kind, int32_t code) {
  w->SetParametricEmulation(code);
  DisplayConfig.Graphshown = kBodeView;
  FilterRecord& f = AppliedFilters[0];
  f = FilterRecord{};
  f.Kind = kind, f.Freq1 = 6.2831853f * 100, f.Q1 = 8, f.Q2 = 2;
  AppliedFilters[0].Count = 1;
  std::vector<KeptMessage> redraw;  // no curves loaded to redraw: only the window matters here
  const KeepMessages quiet(redraw);
  Forms::Get<LevelSet>()->InitializeLevelSet(0);
  return {W<LevelSet>()};
}

// New Filter for a fitted peak (q1 > 0) or dip, fitted on one curve.
QList<QWidget*> NewFilter(float q1) {
  ModesListContents[0] = FilterRecord{};
  ModesListContents[0].Freq1 = 6.2831853f * 50, ModesListContents[0].Q1 = q1, ModesListContents[0].Q2 = 2;
  Forms::Get<UserSelect>()->InitializeUserSelect(0);
  return {W<UserSelect>()};
}

// The sound card window with its cards listed.
QWidget* Cards() {
  Forms::Get<SoundCardSelectorForm>()->SetUpSoundCardSelection();
  return W<SoundCardSelectorForm>();
}

// The measuring windows with the microphone on one input.
QList<QWidget*> Mic(int32_t channel) {
  SetMicChannel(channel);
  Forms::Get<AudioForm>()->SetMicOnOffDisplay();
  return {W<AudioForm>(), Cards(), W<ColorForm>()};
}

// The large-room window with its parameters table shown.
QWidget* LargeRoomWithParameters() {
  DataIntegrityForm* f = Forms::Get<DataIntegrityForm>();
  f->ParametersBut->setChecked(true);
  f->Form_Resize();
  return f;
}

const std::vector<Page>& Pages() {
  using D = DataPlotter*;
  auto editor = [](int32_t kind, int32_t code) { return [=](D w) { return Editor(w, kind, code); }; };
  static const std::vector<Page> p = {
      {"index.html", {[](D w) { w->MainHelp->trigger(); return QList{HelpWindow()}; }}},
      {"first_measurement.html", {[](D) { return Mic(kMicOnLeftInput); }, [](D) { return Mic(kMicOnRightInput); }}},
      {"glossary.html", {editor(2, 1)}},
      {"troubleshooting.html", {[](D) { return QList{W<AudioForm>(), W<Form1>()}; }}},
      {"files.html", {[](D) { return QList{W<XoverForm>()}; }}},
      {"waterfall.html", {[](D w) { return QList<QWidget*>{W<ThreeDForm>(), Options(w, 4)}; }}},
      {"filter_editor.html", {editor(2, 1), editor(2, 2), editor(2, 5), editor(3, 2), editor(4, 2)}},
      {"new_filter.html", {[](D) { return NewFilter(4); }, [](D) { return NewFilter(-4); }}},
      {"main_window.html",
       {[](D) { return NewFilter(-4); },
        [](D w) {
          w->EnableDataPlotterPlayRec(kTrue);  // as while a measurement window is open
          return QList{Cards(), NewFilter(4)[0]};
        }}},
      {"sound_card.html", {[](D) { return QList{Cards()}; }}},
      {"mic_calibration_text.html", {[](D) { return QList{W<MicCalForm>()}; }}},
      {"room_parameters.html", {[](D) { return QList{LargeRoomWithParameters()}; }}},
      {"spl_weighting.html", {[](D) { return QList{W<SPLLevelForm>()}; }}},
      {"wav_formats.html", {[](D) { return QList{W<Import>()}; }}},
      {"curve_text_export.html", {[](D w) { return QList<QWidget*>{w}; }}},
      {"png_svg_export.html", {[](D w) { return QList<QWidget*>{w}; }}},
  };
  return p;
}

using HelpPagesTest = MainWindowTest;

TEST_F(HelpPagesTest, PagesLinksHelpControlsCaptionsAndHelpBesideAModalDialog) {
  for (int32_t topic : HelpTopic::All)
    EXPECT_EQ(std::count_if(Topics().begin(), Topics().end(), [&](const Topic& t) { return t.topic == topic; }), 1)
        << "no help control checked for topic " << topic;
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

  DataPlotter* w = Start();
  EQConfig.SampleRate = 48000;  // a rate every window accepts (the distortion window refuses others)
  EXPECT_TRUE(w->MainHelp->isEnabled());
  EXPECT_TRUE(w->PrintingHelp->isEnabled());
  for (const Topic& t : Topics()) {
    t.help(w);
    EXPECT_EQ(HelpWindowPage(), HelpPage(t.topic)) << t.topic;
    EXPECT_EQ(GetHelpLog().topics.back(), t.topic);
  }
  CloseHelp();
  EXPECT_EQ(HelpWindowPage(), "");
  EXPECT_TRUE(GetHelpLog().initialised && GetHelpLog().closed);
  EXPECT_NE(GetHelpLog().helpFile.find("ZentorHelp"), std::string::npos);

  // A help file installed beside the program is opened in its place.
  QFile file(QString::fromStdString(GetHelpLog().helpFile + ".html"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  w->MainHelp->trigger();
  file.remove();
  EXPECT_EQ(HelpWindowPage(), "");
  EXPECT_EQ(GetHelpLog().topics.back(), HelpTopic::DataPlotterMain);

  // Bold and italic names and quoted texts are captions; messages stand in <tt>.
  const auto dotAll = QRegularExpression::DotMatchesEverythingOption;
  const QRegularExpression named("<(b|i)>(.*?)</\\1>", dotAll), quoted("\"([^\"]+)\""), tag("<[^>]*>"),
      tt("<tt>.*?</tt>", dotAll);
  for (const QString& file : QDir(":/help").entryList({"*.html"})) {
    QSet<QString> captions;
    bool described = false;
    for (const Topic& t : Topics()) {
      if (QUrl(QString::fromStdString(HelpPage(t.topic))).fileName() != file) continue;
      described = true;
      for (QWidget* window : t.windows(w)) captions += Captions(window);
    }
    for (const Page& p : Pages()) {
      if (p.file != file) continue;
      described = true;
      for (const auto& state : p.states)
        for (QWidget* window : state(w)) captions += Captions(window);
    }
    EXPECT_TRUE(described) << file.toStdString() << " describes no window";
    captions += Captions(w);  // every page may name the menus that open its window
    // Bold and italics in the page; quotes in its text, outside the tags.
    const QString page = ReadPage("qrc:/help/" + file).remove(tt);
    QStringList names;
    for (const auto& m : named.globalMatch(page)) names << m.captured(2);
    for (const auto& m : quoted.globalMatch(QString(page).remove(tag))) names << m.captured(1);
    int count = 0;
    for (QString text : names) {
      if (text.contains('<')) continue;  // a link inside: its page names it
      text.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">");
      ++count;
      EXPECT_TRUE(captions.contains(Plain(text))) << file.toStdString() << ": no visible control reads \""
                                                  << text.toStdString() << "\"";
    }
    EXPECT_GT(count, 0) << file.toStdString() << " names no control";
  }

  // The help of a modal dialog is a window of that dialog, so the dialog does not block it,
  // and it stays open on its own when the dialog closes.
  w->show();
  EQOpt* dialog = Forms::Get<EQOpt>();
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->show();
  ASSERT_EQ(QApplication::activeModalWidget(), dialog);
  dialog->Help->click();
  QWidget* help = HelpWindow();
  ASSERT_NE(help, nullptr);
  help->show();
  auto click = [](QWidget* window, const QString& caption) {
    for (auto* b : window->findChildren<QToolButton*>())
      if (b->text() == caption) QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, b->mapTo(window, b->rect().center()));
  };
  click(help, "Contents");  // through the window system, where a blocked window drops it
  EXPECT_EQ(HelpWindowPage(), kHelpContentsPage);
  click(help, "Back");
  EXPECT_EQ(HelpWindowPage(), HelpPage(HelpTopic::EQOpt));
  // The main window behind the dialog stays blocked: the check itself can see blocking.
  const int views = static_cast<int>(w->FreqBut->isChecked());
  QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, w->FreqBut->mapTo(w, w->FreqBut->rect().center()));
  EXPECT_EQ(static_cast<int>(w->FreqBut->isChecked()), views);

  dialog->hide();
  EXPECT_EQ(help->parentWidget(), nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(HelpWindowPage(), HelpPage(HelpTopic::EQOpt));
}

}  // namespace
}  // namespace zentor::test
