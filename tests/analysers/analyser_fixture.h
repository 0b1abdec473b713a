// What the analysers' windows share in their tests: a started main window on the
// simulated card (microphone on the right input), sines measured by correlation,
// pictures kept where ZENTOR_SHOT_DIR names a folder, and peaking filters applied
// with their analogue response worked out from the section's formula.
#pragma once

#include <QAction>
#include <QDir>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "analysers/rta_display.h"
#include "analysers/rta_links.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "measurement/eq_audio_module.h"
#include "platform/forms.h"
#include "platform/picture.h"
#include "support/audio_fixture.h"
#include "support/filter_record.h"

namespace zentor::test {

inline std::string Text(const QLineEdit* e) { return e->text().toStdString(); }
inline double Number(const QLineEdit* e) { return std::atof(Text(e).c_str()); }

inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Amplitude of the sine of frequency f in x over its steady middle, by correlation.
inline double SineAmplitude(const std::vector<int16_t>& x, double f, int32_t rate) {
  double s = 0, c = 0;
  const std::size_t from = 2000, to = x.size() - 2000;
  for (std::size_t i = from; i < to; ++i) {
    const double ph = 2 * std::numbers::pi * f * static_cast<double>(i) / rate;
    s += x[i] * std::sin(ph);
    c += x[i] * std::cos(ph);
  }
  return 2 * std::hypot(s, c) / static_cast<double>(to - from);
}

inline void Shoot(const QImage& picture, const char* name) {
  if (const char* dir = std::getenv("ZENTOR_SHOT_DIR")) picture.save(QString(dir) + "/" + name + ".png");
}
inline void Shoot(QWidget* widget, const char* name) { Shoot(widget->grab().toImage(), name); }
inline void Shoot(QWidget* window, const QImage& graph, const std::string& name) {
  Shoot(window, (name + "_window").c_str());
  Shoot(graph, (name + "_graph").c_str());
}

class AnalyserTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    main = Forms::Get<DataPlotter>();
    main->Form_Load();
    EQConfig.SampleRate = 48000;
    WaveDeviceId = Sim();
  }
  // Opens window W from the main window's command as its modal dialog, lets drive
  // work it and close it (returning from drive), and checks it has gone.
  template <class W>
  void FromMenu(QAction* command, const std::function<void(W*)>& drive) {
    ASSERT_TRUE(command->isEnabled());
    dialogs.ExpectModal([&](QDialog* d) {
      auto* window = dynamic_cast<W*>(d);
      EXPECT_NE(window, nullptr);
      if (window) drive(window);
      return 0;
    });
    command->trigger();
    EXPECT_FALSE(Forms::IsLoaded<W>());
  }
  DataPlotter* main = nullptr;
};

inline FilterRecord PeakFilter(float f, float levelDb, float q) { return MakeFilter(2, f, levelDb, q, 1); }

inline void ApplyFilters(const std::vector<FilterRecord>& filters) {
  for (size_t i = 0; i < filters.size(); ++i) AppliedFilters[i] = filters[i];
  AppliedFilters[0].Count = static_cast<int32_t>(filters.size());
}

// The impulse response of the filters as the program's chain runs them at rate.
inline std::vector<float> ChainImpulse(std::vector<FilterRecord> set, int32_t order, int32_t rate) {
  std::vector<float> h(size_t{1} << order, 0.0f), scratch(h.size(), 0.0f);
  h[0] = 1.0f;
  set[0].Count = static_cast<int32_t>(set.size());
  FilterBlock block;
  RunFilterChainOnSignal(h, scratch, order, rate, block, set);
  return h;
}

// |H| of the analogue sections at f Hz: (s^2 + s w/Qz + w^2) / (s^2 + s w/Qp + w^2).
inline std::complex<double> AnalogueResponse(const std::vector<FilterRecord>& filters, double f) {
  std::complex<double> h = 1.0;
  const std::complex<double> s(0, 2 * std::numbers::pi * f);
  for (const FilterRecord& r : filters) {
    const double w = r.Freq1, qa = std::fabs(r.Q1), qb = std::fabs(r.Q2);
    const double qz = r.Q1 > 0 ? qa : qb, qp = r.Q1 > 0 ? qb : qa;
    h *= (s * s + s * w / qz + w * w) / (s * s + s * w / qp + w * w);
  }
  return h;
}

class RtaTest : public AnalyserTest {
 protected:
  void SetUp() override {
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(tempDir.path());
    AnalyserTest::SetUp();
    w = main;
    w->MainGraphOverride = &rec;
    InstallRtaLinks();
    w->RefreshLinkedControls();
  }
  void TearDown() override {
    if (w) w->MainGraphOverride = nullptr;
    AudioTest::TearDown();
    QDir::setCurrent(oldDir_);
  }

  DataPlotter* w = nullptr;
  RecordingSurface rec;

 private:
  QString oldDir_;
};

}  // namespace zentor::test
