// The measurement window over the simulated card at the defaults the run tests
// start from: 48 kHz, period 2^17, the sweep, automatic range.
#pragma once

#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "platform/forms.h"
#include "support/audio_fixture.h"

namespace zentor::test {

class MeasurementWindowTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    main = Forms::Get<DataPlotter>();
    main->Form_Load();
    WaveDeviceId = Sim();
    EQConfig.SampleRate = 48000;
    EQConfig.PeriodExponent = 17;
    EQConfig.MeasConfig = 87;
    EQConfig.AutoRange = kTrue;
  }
  void TearDown() override {
    Forms::Unload<AudioForm>();
    AudioTest::TearDown();
  }
  // The window with the settings its controls hold taken into the run.
  AudioForm* Form() {
    AudioForm* f = Forms::Get<AudioForm>();
    f->RefreshRunSettings();
    return f;
  }

  DataPlotter* main = nullptr;
};

}  // namespace zentor::test
