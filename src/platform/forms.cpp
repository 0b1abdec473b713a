#include "platform/forms.h"

#include <QApplication>
#include <QGuiApplication>

namespace zentor {

std::unordered_map<std::type_index, QPointer<QWidget>>& Forms::Map() {
  static std::unordered_map<std::type_index, QPointer<QWidget>> m;
  return m;
}

void Forms::DeleteAll() {
  auto m = std::move(Map());
  Map().clear();
  for (auto& [k, w] : m)
    if (!w.isNull()) delete w.data();
}

namespace {
int g_depth = 0;
}

WaitCursor::WaitCursor() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
  ++g_depth;
  if (active_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
  --g_depth;
  if (active_) QGuiApplication::restoreOverrideCursor();
}

int WaitCursor::Depth() { return g_depth; }

}  // namespace zentor
