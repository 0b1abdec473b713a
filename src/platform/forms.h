// Window registry: windows are reached like global forms. Get<T>() creates the
// window on first use; Unload<T>() runs its unload handler and deletes it.
// A window may define `void Form_Unload(int16_t& Cancel)` (setting Cancel keeps it
// loaded) or `void Form_Unload()`.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <typeindex>
#include <unordered_map>

#include "platform/dialogs.h"

namespace zentor {

class Forms {
 public:
  template <class T>
  static T* Get() {
    auto& slot = Map()[std::type_index(typeid(T))];
    if (!slot) {
      T* w = new T();
      slot = w;
    }
    return static_cast<T*>(slot.data());
  }

  template <class T>
  static bool IsLoaded() {
    auto it = Map().find(std::type_index(typeid(T)));
    return it != Map().end() && !it->second.isNull();
  }

  // Registers a window created elsewhere (the main window made by main()).
  template <class T>
  static void Adopt(T* w) {
    Map()[std::type_index(typeid(T))] = w;
  }

  // True when the window is gone afterwards (also when it was never loaded).
  template <class T>
  static bool Unload() {
    auto it = Map().find(std::type_index(typeid(T)));
    if (it == Map().end() || it->second.isNull()) return true;
    T* w = static_cast<T*>(it->second.data());
    if constexpr (requires(T& t, int16_t& c) { t.Form_Unload(c); }) {
      int16_t cancel = 0;
      w->Form_Unload(cancel);
      if (cancel != 0) return false;
    } else if constexpr (requires(T& t) { t.Form_Unload(); }) {
      w->Form_Unload();
    }
    Map().erase(std::type_index(typeid(T)));
    delete w;
    return true;
  }

  // Deletes every registered window without asking (test teardown).
  static void DeleteAll();

 private:
  static std::unordered_map<std::type_index, QPointer<QWidget>>& Map();
};

// Shows the wait cursor for its lifetime, so every exit path restores the pointer.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  // Depth of nested guards (tests check that all were released).
  static int Depth();

 private:
  bool active_;
};

// A control created with the name by which the windows' code and the tests find it.
template <class W>
W* NamedControl(QWidget* parent, const char* name, const char* text) {
  auto* w = new W(QString::fromUtf8(text), parent);
  w->setObjectName(name);
  return w;
}

// A modal window that starts afresh at each opening and is gone after it; one that
// refuses to close stays loaded.
template <class T>
void ShowModalAfresh() {
  Forms::Unload<T>();
  ShowModal(Forms::Get<T>());
  Forms::Unload<T>();
}

}  // namespace zentor
