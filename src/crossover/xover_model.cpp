#include "crossover/xover_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "core/results_store.h"
#include "crossover/xover_chain.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

std::span<float> Curve(int32_t k) { return ImpulseSet[size_t(k)]; }

// The windows that show the store their own way would show stale data.
void CloseDependentWindows() {
  if (ExtDisplayHooks.UnloadThreeDForm) ExtDisplayHooks.UnloadThreeDForm();
  if (ExtDisplayHooks.UnloadDataIntegrityForm) ExtDisplayHooks.UnloadDataIntegrityForm();
}

}  // namespace

void XoverModel::TakeBackup() {
  N0 = std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
  SavedHeaders = ResultsDataSetInfo;
  SavedImpulses.assign(size_t(N0) * kMaxSamples, 0.0f);
  for (int32_t k = 0; k < N0; ++k)
    std::memcpy(SavedImpulses.data() + size_t(k) * kMaxSamples, ImpulseSet[size_t(k)].data(),
                sizeof(float) * kMaxSamples);
}

void XoverModel::RestoreBackup() const {
  if (N0 < 1) return;
  CloseDependentWindows();
  for (int32_t k = 0; k < N0; ++k) {
    ResultsDataSetInfo[size_t(k)] = SavedHeaders[size_t(k)];
    std::memcpy(ImpulseSet[size_t(k)].data(), Saved(k), sizeof(float) * kMaxSamples);
  }
  ResultsDataSetInfo[0].NumInSet = N0;
}

bool CheckXoverFrequencies(const XoverSetArray& sets, int32_t ways, XoverView view, int32_t rate) {
  const double top = std::min(15000.0, 0.45 * rate);
  const auto bad = [&](int32_t on, double f) { return on == 1 && !(f >= 15.0 && f <= top); };
  for (int32_t j = 0; j < ways; ++j) {
    if (view != XoverView::Sum && static_cast<int32_t>(view) != j) continue;
    const XoverSetRecord& s = sets[size_t(j)];
    if (bad(s.HPOn, s.HPCorner) || bad(s.HP2On, s.HP2Corner) || bad(s.LPOn, s.LPCorner) ||
        bad(s.LP2On, s.LP2Corner) || bad(s.Shelf1On, s.Shelf1Freq) || bad(s.Shelf2On, s.Shelf2Freq)) {
      MsgBox("Error 8730: Crossover frequencies must lie between 15 Hz and 0.45 times the sample rate");
      return false;
    }
  }
  return true;
}

bool RunXoverModel(XoverModel& m, const XoverSetArray& sets, XoverView view, DataPlotter& plotter) {
  if (view == XoverView::None) return false;
  const int32_t ways = sets[0].Ways == 3 ? 3 : 2;
  if (view == XoverView::Set3 && ways < 3) return false;
  // The lowest rate among the curves this run filters: a set view takes one way of
  // each whole group, the sum every way; curves after the last group are not used.
  std::optional<int32_t> minRate;
  for (int32_t k = 0; k < (m.N0 / ways) * ways; ++k) {
    if (view != XoverView::Sum && k % ways != static_cast<int32_t>(view)) continue;
    const int32_t r = m.SavedHeaders[size_t(k)].SampleRate;
    if (!minRate || r < *minRate) minRate = r;
  }
  if (minRate && !CheckXoverFrequencies(sets, ways, view, *minRate)) return false;
  CloseDependentWindows();
  plotter.ClearMeasurementBuffersQuickly();
  const WaitCursor busy;
  const int32_t groups = m.N0 / ways;
  if (groups < 1) {
    MsgBox("User Error: Not Enough Measurements To Run This Filter");
    return false;
  }
  const std::span<float> work(m.XoverWork);
  for (int32_t g = 0; g < groups; ++g) {
    const int32_t base = ways * g;
    int32_t P = 0, E = 0;
    for (int32_t j = 0; j < ways; ++j) {
      P = std::max(P, m.SavedHeaders[size_t(base + j)].PeriodExponent);
      E = std::max(E, m.SavedHeaders[size_t(base + j)].PreExcitationExponent);
    }
    const int32_t L = 1 << std::clamp(P, 0, kMaxSamplesExponent);
    const auto runWay = [&](int32_t setIndex, int32_t slot) {
      const int32_t c = base + setIndex;
      const int32_t rate = m.SavedHeaders[size_t(c)].SampleRate;
      std::copy_n(m.Saved(c), L, work.begin());
      const int32_t T = std::min(L, static_cast<int32_t>(std::nearbyint(0.05 * rate / 2)));
      TaperEndOfImpulseC(work, T, L);
      TaperStartOfImpulseC(work, T);
      XoverChainContext ctx{m.XoverScratch, &m.Block, &m.Section, rate};
      if (!ApplyXoverSet(sets[size_t(setIndex)], setIndex, work, L, ctx)) return false;
      TaperEndOfImpulseC(work, T, L);
      TaperStartOfImpulseC(work, T);
      CopySingle(work, std::span(m.XoverWayBuffers).subspan(size_t(slot) * kMaxSamples), L);
      return true;
    };
    const std::span<float> out = Curve(g);
    std::fill(out.begin() + L, out.end(), 0.0f);
    bool ok = true;
    if (view == XoverView::Sum) {
      for (int32_t j = 0; j < ways && ok; ++j) ok = runWay(j, j);
      if (ok) {
        const float* s0 = m.XoverWayBuffers.data();
        const float* s1 = s0 + kMaxSamples;
        const float* s2 = s1 + kMaxSamples;
        for (int32_t i = 0; i < L; ++i)
          out[size_t(i)] = ways == 2 ? (s0[i] + s1[i]) * 0.5f : (s0[i] + s1[i] + s2[i]) * 0.3333f;
      }
    } else {
      const int32_t k = static_cast<int32_t>(view);
      ok = runWay(k, k);
      if (ok) std::copy_n(m.XoverWayBuffers.begin() + ptrdiff_t(k) * kMaxSamples, L, out.begin());
    }
    if (!ok) {
      plotter.DisplayResults(0);
      return false;
    }
    CopyMeasurementHeader(m.SavedHeaders[size_t(base)], ResultsDataSetInfo[size_t(g)]);
    ResultsDataSetInfo[size_t(g)].PeriodExponent = P;
    ResultsDataSetInfo[size_t(g)].PreExcitationExponent = E;
    ResultsDataSetInfo[0].NumInSet = g + 1;
  }
  for (int32_t k = groups; k < m.N0; ++k) std::fill(Curve(k).begin(), Curve(k).end(), 0.0f);
  plotter.DisplayResults(0);
  return true;
}

}  // namespace zentor
