// The README's list of greyed-out controls is written from the link table, so it
// names exactly what a user finds disabled. ZENTOR_WRITE_README=1 rewrites it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "app/window_links.h"
#include "main_window_fixture.h"

namespace zentor::test {

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
