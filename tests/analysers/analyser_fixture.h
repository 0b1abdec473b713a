// What the analysers' windows share in their tests: a started main window on the
// simulated card (its Form_Load puts the microphone on the right input), the texts
// of fields and files, a sine's amplitude by correlation, and window pictures kept
// where ZENTOR_SHOT_DIR names a folder.
#pragma once

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "measurement/eq_audio_module.h"
#include "platform/forms.h"
#include "support/audio_fixture.h"

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
  DataPlotter* main = nullptr;
};

}  // namespace zentor::test
