#include "app/window_links.h"

#include "analysers/test_cd_links.h"
#include "analysers/distortion_links.h"
#include "analysers/rta_links.h"
#include "analysers/spl_links.h"
#include "crossover/xover_links.h"
#include "eqdesign/eq_list_links.h"
#include "eqdesign/eq_dialog_links.h"
#include "eqdesign/filter_edit_links.h"
#include "eqdesign/filter_set_links.h"
#include "eqdesign/fit_commands.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "measurement/levels_check.h"
#include "measurement/mic_calibration.h"
#include "measurement/run_main_test.h"
#include "measurement/sound_card_selector.h"
#include "mainwindow/single_curve_links.h"
#include "tools/curve_tools_links.h"
#include "tools/large_room_links.h"
#include "tools/three_d_form.h"

namespace zentor {

void InstallWindowLinks() {
  InstallFilterSetLinks();
  InstallFitCommandLinks();
  InstallWaterfallLinks();
  InstallLargeRoomLinks();
  InstallCurveToolsLinks();
  InstallMicCalibrationLinks();
  InstallEqAudioLinks();
  InstallFilterEditLinks();
  InstallEqListLinks();
  InstallEQDialogLinks();
  InstallAudioFormLinks();
  InstallMainTestLinks();
  InstallLevelsCheckLinks();
  InstallSoundCardLinks();
  InstallXoverLinks();
  InstallTestCDLinks();
  InstallDistortionLinks();
  InstallRtaLinks();
  InstallSplLinks();
  InstallSingleCurveViewLinks();
}

}  // namespace zentor
