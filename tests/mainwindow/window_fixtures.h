// The main window started once per test in its own temporary working folder (where
// the older settings and mixer files are looked up): as it is, with its graph drawing
// into a recorder, or with its view builders and links recording their calls.
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
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/imaging.h"
#include "support/builder_recorder.h"
#include "support/curve_sets.h"
#include "support/fixture.h"
#include "support/recording_links.h"
#include "support/silent_set.h"

namespace zentor::test {

class MainWindowTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(tempDir.path());
  }
  void TearDown() override {
    ZentorTest::TearDown();
    QDir::setCurrent(oldDir_);
  }
  DataPlotter* Start() {
    DataPlotter* w = Forms::Get<DataPlotter>();
    w->Form_Load();
    return w;
  }

 private:
  QString oldDir_;
};

// A started window whose graph draws into a recorder.
class MainViewsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    w->MainGraphOverride = &rec;
    rec.Clear();
  }
  void TearDown() override {
    if (w) w->MainGraphOverride = nullptr;
    MainWindowTest::TearDown();
  }
  void LoadSet(int32_t n, int32_t fs, int32_t exponent) { LoadSilentSet(n, fs, exponent, 20.0f); }

  DataPlotter* w = nullptr;
  RecordingSurface rec;
};

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
