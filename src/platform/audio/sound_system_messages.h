// ALSA and JACK write their own diagnostics to stderr: every probe of a card the
// ALSA configuration names but this machine lacks, every look for a JACK server
// that is not running. The program reports its own failures in its own words, so
// those lines are dropped instead of printed.
#pragma once

namespace zentor {

// Drops ALSA's and JACK's messages from now on; safe to call more than once.
void QuietSoundSystemMessages();

}  // namespace zentor
