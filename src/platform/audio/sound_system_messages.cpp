#include "platform/audio/sound_system_messages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

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

}  // namespace zentor
