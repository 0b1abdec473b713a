// The main window started once per test: as it is, or with its view builders and
// links recording their calls instead of drawing and opening windows.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "base/binary_io.h"
#include "base/shared_state.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "file_fixture.h"
#include "main_window_fixture.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/imaging.h"
#include "support/builder_recorder.h"
#include "support/curve_sets.h"
#include "support/recording_links.h"
#include "views_fixture.h"

namespace zentor::test {

class StartedWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
  }
  DataPlotter* w = nullptr;
};

class RecordedWindowTest : public MainWindowTest {
 public:
  void SetUp() override {
    MainWindowTest::SetUp();
    rb.Install();
    w = Start();
    links.Install();
    w->RefreshLinkedControls();
    startup = rb.Take();
  }
  // n results whose view caches are filled, with no draw recorded yet.
  void Load(int32_t n) {
    LoadCachedSet(n);
    rb.calls.clear();
  }

  DataPlotter* w = nullptr;
  BuilderRecorder rb;
  RecordingLinks links;
  std::vector<BuilderCall> startup;  // the draws of the start-up
};

}  // namespace zentor::test
