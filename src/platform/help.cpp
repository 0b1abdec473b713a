#include "platform/help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "base/shared_state.h"

// The pages are compiled into the static library; nothing else references them,
// so the linker would drop them unless they are registered by name. The macro
// may not stand inside a namespace.
static void RegisterHelpPages() { Q_INIT_RESOURCE(help); }

namespace zentor {

namespace {

struct TopicPage {
  int32_t topic;
  const char* page;
};
constexpr TopicPage kPages[] = {
    {HelpTopic::AudioForm, "measurement.html"},
    {HelpTopic::Form1, "band_simulator.html"},
    {HelpTopic::Numerical, "numerical_options.html"},
    {HelpTopic::DistForm, "distortion.html"},
    {HelpTopic::DataPlotterMain, "main_window.html"},
    {HelpTopic::LevelSet, "filter_editor.html"},
    {HelpTopic::SoundCardSelector, "sound_card.html"},
    {HelpTopic::PsycForm, "psychoacoustic_options.html"},
    {HelpTopic::DisplayControlFormView3, "display_options_3d.html"},
    {HelpTopic::DisplayControlForm, "display_options.html"},
    {HelpTopic::MathFormCurveSwap, "curve_swap.html"},
    {HelpTopic::MathFormResample, "resample.html"},
    {HelpTopic::MathFormDifferences, "differences.html"},
    {HelpTopic::MathFormCompress, "compress.html"},
    {HelpTopic::DataIntegrityForm, "large_room.html"},
    {HelpTopic::MicCalForm, "mic_calibration.html"},
    {HelpTopic::Import, "wav_import.html"},
    {HelpTopic::RTAEQ, "rta_equaliser.html"},
    {HelpTopic::RTAImp, "rta_impulse.html"},
    {HelpTopic::SPLLevelForm, "spl_meter.html"},
    {HelpTopic::TestCD, "test_cd.html"},
    {HelpTopic::XoverForm, "crossover.html"},
    {HelpTopic::Printing, "printing.html"},
    {HelpTopic::FilterExchange, "filter_exchange.html"},
    {HelpTopic::EQOpt, "equaliser_choice.html"},
    {HelpTopic::UserSelect, "new_filter.html"},
    {HelpTopic::FitLimits, "fit_limits.html"},
};

HelpLog g_log;

// The help window: the pages with Back, Forward, Contents and Find above them.
class HelpWindow : public QWidget {
 public:
  HelpWindow() {
    setObjectName("HelpWindow");
    setWindowTitle("Zentor Help");
    setAttribute(Qt::WA_QuitOnClose, false);  // an open help page never keeps the program running
    browser = new QTextBrowser(this);
    browser->setObjectName("HelpPages");
    auto* back = Tool("Back", "Alt+Left");
    auto* forward = Tool("Forward", "Alt+Right");
    auto* contents = Tool("Contents", "");
    find = new QLineEdit(this);
    find->setObjectName("HelpFind");
    find->setPlaceholderText("Find");
    find->setClearButtonEnabled(true);
    auto* next = Tool("Find Next", "F3");
    notFound = new QLabel(this);
    auto* bar = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{back, forward, contents, find, next, notFound}) bar->addWidget(w);
    bar->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(bar);
    all->addWidget(browser);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(back, &QToolButton::clicked, browser, &QTextBrowser::backward);
    connect(forward, &QToolButton::clicked, browser, &QTextBrowser::forward);
    connect(contents, &QToolButton::clicked, this, [this] { browser->setSource(QUrl(kHelpContentsPage)); });
    connect(find, &QLineEdit::returnPressed, this, [this] { FindNext(); });
    connect(find, &QLineEdit::textEdited, this, [this] { notFound->clear(); });
    connect(next, &QToolButton::clicked, this, [this] { FindNext(); });
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
      find->setFocus();
      find->selectAll();
    });
    connect(browser, &QTextBrowser::sourceChanged, this, [this] { notFound->clear(); });
  }

  // The next place the find text stands, from the top again after the last.
  void FindNext() {
    notFound->clear();
    if (find->text().isEmpty()) return;
    if (browser->find(find->text())) return;
    QTextCursor top = browser->textCursor();
    top.movePosition(QTextCursor::Start);
    browser->setTextCursor(top);
    if (!browser->find(find->text())) notFound->setText("Not found");
  }

  // While a modal dialog runs, the help stays usable only as a window of that dialog;
  // when the dialog goes, the help stays open on its own.
  void FollowModalDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == this) modal = nullptr;
    if (parentWidget() == modal) return;
    if (parentWidget()) parentWidget()->removeEventFilter(this);
    Reparent(modal);
    if (modal) modal->installEventFilter(this);
  }

  QTextBrowser* browser;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == parentWidget() && e->type() == QEvent::Hide) {
      watched->removeEventFilter(this);
      Reparent(nullptr);
    }
    return false;
  }

 private:
  QToolButton* Tool(const char* caption, const char* key) {
    auto* b = new QToolButton(this);
    b->setText(caption);
    if (*key) b->setShortcut(QKeySequence(key));
    return b;
  }

  void Reparent(QWidget* parent) {
    const bool shown = isVisible();
    const QRect place = geometry();
    setParent(parent, Qt::Window);
    setGeometry(place);
    if (shown) show();
  }

  QLineEdit* find;
  QLabel* notFound;
};

QPointer<HelpWindow> g_window;

void DeleteHelpWindow() {
  delete g_window.data();
  g_window.clear();
}

SharedStateRegistrar g_reset([] {
  g_log = HelpLog{};
  DeleteHelpWindow();
});

// The help file beside the program, in whichever form it was installed.
QString FindHelpFile(const std::string& base) {
  for (const char* ext : {"", ".html", ".htm", ".pdf", ".HLP"}) {
    QString p = QString::fromStdString(base) + ext;
    if (QFileInfo(p).isFile()) return p;
  }
  return {};
}

bool Headless() { return QGuiApplication::platformName() == "offscreen"; }

void OpenHelpWindow(const QString& page) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;  // no widgets to show it in
  RegisterHelpPages();
  if (!g_window) {
    g_window = new HelpWindow;
    g_window->resize(860, 760);  // the main window's picture is 800 pixels wide
  }
  g_window->FollowModalDialog();
  g_window->browser->setSource(QUrl(page));
  if (Headless()) return;
  g_window->show();
  g_window->raise();
  g_window->activateWindow();
}

}  // namespace

std::string HelpPage(int32_t topic) {
  for (const TopicPage& p : kPages) {
    if (p.topic == topic) return std::string("qrc:/help/") + p.page;
  }
  return {};
}

void InitHelp(QWidget*) {
  QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
  if (!dir.endsWith('/')) dir += '/';
  g_log.initialised = true;
  g_log.closed = false;
  g_log.helpFile = (dir + "ZentorHelp").toStdString();
}

void ShowHelpTopic(int32_t topic) {
  g_log.topics.push_back(topic);
  const QString file = FindHelpFile(g_log.helpFile);
  if (file.isEmpty()) {
    const std::string page = HelpPage(topic);
    OpenHelpWindow(QString::fromStdString(page.empty() ? std::string(kHelpContentsPage) : page));
    return;
  }
  if (Headless()) return;
  QUrl url = QUrl::fromLocalFile(file);
  url.setFragment(QString::number(topic));
  QDesktopServices::openUrl(url);
}

void CloseHelp() {
  g_log.closed = true;
  DeleteHelpWindow();
}

std::string HelpWindowPage() { return g_window ? g_window->browser->source().toString().toStdString() : std::string(); }

const HelpLog& GetHelpLog() { return g_log; }

}  // namespace zentor
