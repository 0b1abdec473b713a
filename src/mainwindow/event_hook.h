// Runs a function on the events one object receives, in the way a window's own
// event handler would: the handler returns true to stop the event there.
#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

namespace zentor {

class EventHook : public QObject {
 public:
  // Owned by and installed on `watched`.
  EventHook(QObject* watched, std::function<bool(QEvent*)> handler)
      : QObject(watched), handler_(std::move(handler)) {
    watched->installEventFilter(this);
  }
  bool eventFilter(QObject* o, QEvent* e) override { return o == parent() && handler_(e); }

 private:
  std::function<bool(QEvent*)> handler_;
};

}  // namespace zentor
