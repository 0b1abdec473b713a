// The analysers over a started main window whose graph draws into a recorder, on
// the simulated card with its manual clock; peaking filters in the applied set,
// with their analogue response worked out here from the section's own formula.
#pragma once

#include <QDir>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "analyser_fixture.h"
#include "analysers/rta_display.h"
#include "analysers/rta_links.h"
#include "core/work_arrays.h"
#include "platform/picture.h"

namespace zentor::test {

// A peaking filter of level dB (boost above 0) with centre Q q at f Hz.
inline FilterRecord PeakFilter(double f, double levelDb, double q) {
  FilterRecord r;
  r.Kind = 2;
  r.EQEmulationCode = 1;
  r.Freq1 = static_cast<float>(2 * std::numbers::pi * f);
  const double a = q * std::pow(10.0, std::fabs(levelDb) / 40.0), b = q * std::pow(10.0, -std::fabs(levelDb) / 40.0);
  r.Q1 = static_cast<float>(levelDb > 0 ? -a : a);
  r.Q2 = static_cast<float>(b);
  return r;
}

inline void ApplyFilters(const std::vector<FilterRecord>& filters) {
  for (size_t i = 0; i < filters.size(); ++i) AppliedFilters[i] = filters[i];
  AppliedFilters[0].Count = static_cast<int32_t>(filters.size());
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
