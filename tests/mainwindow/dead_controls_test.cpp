// Every control of the main window that is enabled must do something when used:
// show a dialog, change the program's state, redraw the graph, or open its help page. A control whose
// action is not built yet has to be greyed out instead.
#include <QDialog>
#include <cstring>
#include <map>
#include <type_traits>

#include "app/window_links.h"
#include "platform/dialogs.h"
#include "window_fixtures.h"

namespace zentor::test {
namespace {

// Declines everything: Cancel where offered, else No, else OK; no file, no colour.
class Declining final : public DialogService {
 public:
  int asked = 0;
  MsgAnswer Message(const std::string&, MsgButtons b, MsgIcon, const std::string&) override {
    ++asked;
    if (b == MsgButtons::OKCancel || b == MsgButtons::YesNoCancel) return MsgAnswer::Cancel;
    return b == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::OK;
  }
  std::optional<std::string> Input(const std::string&, const std::string&, const std::string&) override {
    return ++asked, std::nullopt;
  }
  std::optional<std::string> OpenFile(const FileDialogRequest&) override { return ++asked, std::nullopt; }
  std::optional<std::string> SaveFile(const FileDialogRequest&) override { return ++asked, std::nullopt; }
  std::optional<ColourRef> PickColour(ColourRef) override { return ++asked, std::nullopt; }
  int ShowModal(QDialog*) override { return ++asked, int(QDialog::Rejected); }
};

// A printer that takes nothing, so no page leaves the machine.
class NoPrinter final : public PrinterService {
 public:
  bool HasDefaultPrinter() override { return false; }
  bool PrintOnDefaultPrinter(const QImage&) override { return false; }
};

template <class T>
void AddBytes(QByteArray& out, const T& v) {
  static_assert(std::is_trivially_copyable_v<T>);
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// What a user could see or what the program keeps, apart from the graph itself.
QByteArray Snapshot(DataPlotter* w) {
  QByteArray s;
  for (QWidget* c : w->findChildren<QWidget*>()) {
    s += c->objectName().toUtf8() + (c->isEnabled() ? "E" : "-") + (c->isVisibleTo(w) ? "V" : "-");
    if (auto* b = qobject_cast<QAbstractButton*>(c)) s += (b->isChecked() ? "C" : "-") + b->text().toUtf8();
    if (auto* e = qobject_cast<QLineEdit*>(c)) s += e->text().toUtf8();
    if (auto* l = qobject_cast<QListWidget*>(c)) {
      for (int i = 0; i < l->count(); ++i) s += l->item(i)->text().toUtf8();
    }
    if (auto* r = qobject_cast<QSlider*>(c)) s += QByteArray::number(r->value());
    if (auto* p = qobject_cast<QProgressBar*>(c)) s += QByteArray::number(p->value());
  }
  for (QAction* a : w->findChildren<QAction*>())
    s += a->objectName().toUtf8() + (a->isChecked() ? "C" : "-") + (a->isEnabled() ? "E" : "-");
  for (QWidget* t : QApplication::topLevelWidgets()) {
    if (t->isVisible()) s += "top:" + QByteArray(t->metaObject()->className());
  }
  AddBytes(s, DisplayConfig);
  AddBytes(s, ImpulseDisplayConfig);
  for (const GraphFrame* f : {&TimeGraphFrame, &FreqGraphFrame, &FitGraphFrame}) {
    for (int32_t v : {int32_t(f->LogX), f->XStart, f->XFinish, f->YLow, f->YHigh}) AddBytes(s, v);
  }
  AddBytes(s, ResultsDataSetInfo[0].NumInSet);
  AddBytes(s, w->ResultsTakenButNotSaved);
  return s;
}

// Menu entries that run a command: not separators, not the entries that open a submenu.
void Entries(QMenu* menu, QList<QAction*>& out) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    if (a->menu()) Entries(a->menu(), out);
    else out << a;
  }
}

}  // namespace

TEST_F(MainViewsTest, EveryEnabledControlShowsChangesOrRedraws) {
  Declining declining;
  NoPrinter printer;
  SetDialogService(&declining);
  SetPrinterService(&printer);
  LoadSet(4, 48000, 14);
  w->DisplayResults(kRecomputeAllCurves);

  QList<QObject*> controls;
  for (QAbstractButton* b : w->centralWidget()->findChildren<QAbstractButton*>()) controls << b;
  QList<QAction*> entries;
  for (QAction* top : w->menuBar()->actions()) {
    if (top->menu()) Entries(top->menu(), entries);
  }
  for (QAction* a : entries) controls << a;

  QStringList dead;
  int used = 0;
  for (QObject* o : controls) {
    auto* b = qobject_cast<QAbstractButton*>(o);
    auto* a = qobject_cast<QAction*>(o);
    if (b && (!b->isEnabled() || !b->isVisibleTo(w))) continue;
    if (b == w->StopModal) continue;  // at rest there is nothing to stop
    if (a && (!a->isEnabled() || !a->isVisible())) continue;
    // Choosing the option already ticked (Mixer Off when it is off) rightly changes nothing.
    const bool reselect = a && a->isCheckable() && a->isChecked();
    const QByteArray before = Snapshot(w);
    const int asked = declining.asked;
    const size_t helped = GetHelpLog().topics.size();
    rec.Clear();
    if (b) b->click();
    else a->trigger();
    QApplication::processEvents();
    ++used;
    const bool acted = declining.asked != asked || !rec.calls().empty() || Snapshot(w) != before ||
                       GetHelpLog().topics.size() != helped;
    if (!acted && !(reselect && a->isChecked())) dead << o->objectName() + " \"" + (b ? b->text() : a->text()) + "\"";
  }
  SetPrinterService(nullptr);
  SetDialogService(&dialogs);
  EXPECT_GT(used, 40);
  EXPECT_TRUE(dead.isEmpty()) << "controls that do nothing:\n" << dead.join("\n").toStdString();
}

// The README's list of greyed-out controls is written from the link table, so it
// names exactly what a user finds disabled. ZENTOR_WRITE_README=1 rewrites it.
namespace {

constexpr const char* kBegin = "<!-- greyed-out controls: written from the link table -->\n";
constexpr const char* kEnd = "<!-- end of greyed-out controls -->\n";

QString Plain(QString s) { return s.remove('&').trimmed(); }

// How a user finds the control: its menu path, or the caption of its button.
QString Where(QObject* o) {
  if (auto* a = qobject_cast<QAction*>(o)) {
    QString path = Plain(a->text());
    for (auto* m = qobject_cast<QMenu*>(a->parent()); m; m = qobject_cast<QMenu*>(m->parent()))
      path = Plain(m->title()) + " > " + path;
    return path;
  }
  if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    auto* frame = qobject_cast<QGroupBox*>(b->parent());
    const QString in = frame && !frame->title().isEmpty() ? " in " + Plain(frame->title()) : QString();
    return "the \"" + Plain(b->text()) + "\" button" + in;
  }
  return o->objectName() == "ModesList" ? "picking a line of the modes list" : o->objectName();
}

std::string GreyedOutSection(DataPlotter& w) {
  std::vector<std::string> order;
  std::map<std::string, QStringList> where;
  for (const auto& c : w.LinkedControls()) {
    if (c.linked) continue;
    QObject* o = w.findChild<QAction*>(QString::fromStdString(c.control));
    if (!o) o = w.findChild<QWidget*>(QString::fromStdString(c.control));
    if (!o) continue;
    if (!where.count(c.missing)) order.push_back(c.missing);
    if (!where[c.missing].contains(Where(o))) where[c.missing] << Where(o);
  }
  std::string out = kBegin;
  out += order.empty() ? "- No control is greyed out for want of a part not yet built.\n"
                       : "- Greyed out until what they need is built:\n";
  for (const std::string& m : order) out += "  - " + m + ": " + where[m].join(", ").toStdString() + ".\n";
  return out + kEnd;
}

}  // namespace

TEST_F(MainWindowTest, ReadmeListsExactlyTheGreyedOutControls) {
  DataPlotter* w = Start();
  InstallWindowLinks();
  w->RefreshLinkedControls();
  const std::string want = GreyedOutSection(*w);

  QFile file(ZENTOR_SOURCE_DIR "/README.md");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::string readme = file.readAll().toStdString();
  file.close();
  const size_t begin = readme.find(kBegin), end = readme.find(kEnd);
  ASSERT_NE(begin, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const std::string have = readme.substr(begin, end + std::strlen(kEnd) - begin);
  if (have != want && std::getenv("ZENTOR_WRITE_README")) {
    readme.replace(begin, have.size(), want);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::fromStdString(readme));
    return;
  }
  EXPECT_EQ(have, want) << "run the test with ZENTOR_WRITE_README=1 to rewrite the README's list";
}

}  // namespace zentor::test
