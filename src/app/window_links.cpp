#include "app/window_links.h"

#include "crossover/xover_links.h"
#include "eqdesign/filter_edit_links.h"
#include "eqdesign/filter_set_links.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "measurement/mic_calibration.h"
#include "measurement/run_main_test.h"
#include "measurement/sound_card_selector.h"
#include "tools/curve_tools_links.h"
#include "tools/large_room_links.h"
#include "tools/three_d_form.h"

namespace zentor {

void InstallWindowLinks() {
  InstallFilterSetLinks();
  InstallWaterfallLinks();
  InstallLargeRoomLinks();
  InstallCurveToolsLinks();
  InstallMicCalibrationLinks();
  InstallEqAudioLinks();
  InstallFilterEditLinks();
  InstallAudioFormLinks();
  InstallMainTestLinks();
  InstallSoundCardLinks();
  InstallXoverLinks();
}

}  // namespace zentor
