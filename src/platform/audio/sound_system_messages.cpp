#include "platform/audio/sound_system_messages.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <jack/jack.h>

#include <initializer_list>

namespace zentor {

namespace {

void FromAlsa(const char*, int, const char*, int, const char*, ...) {}
void FromJack(const char*) {}

}  // namespace

void QuietSoundSystemMessages() {
  static const bool installed = [] {
    snd_lib_error_set_handler(&FromAlsa);
    jack_set_error_function(&FromJack);
    jack_set_info_function(&FromJack);
    return true;
  }();
  (void)installed;
}

void QuietSoundSystemMessagesOf(void* library) {
  using AlsaSet = int (*)(snd_lib_error_handler_t);
  using JackSet = void (*)(void (*)(const char*));
  if (auto set = reinterpret_cast<AlsaSet>(dlsym(library, "snd_lib_error_set_handler"))) set(&FromAlsa);
  for (const char* name : {"jack_set_error_function", "jack_set_info_function"})
    if (auto set = reinterpret_cast<JackSet>(dlsym(library, name))) set(&FromJack);
}

}  // namespace zentor
