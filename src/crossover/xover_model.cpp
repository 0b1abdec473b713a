#include "crossover/xover_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "core/results_store.h"
#include "crossover/xover_chain.h"
#include "display/curve_workers.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/kept_messages.h"
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
  // One chain per way the view uses in each group, run on the curve workers and filed
  // here in the order a run one after another takes; a failed chain ends the run
  // there. The messages the filed chains raised are shown afterwards in that order,
  // so the store and the messages are the same whatever the number of workers.
  const bool sum = view == XoverView::Sum;
  const int32_t used = sum ? ways : 1;
  const int32_t first = sum ? 0 : static_cast<int32_t>(view);
  struct Group {
    int32_t P = 0, E = 0, L = 0;
  };
  std::vector<Group> group(static_cast<size_t>(groups));
  for (int32_t g = 0; g < groups; ++g) {
    Group& gr = group[size_t(g)];
    for (int32_t j = 0; j < ways; ++j) {
      gr.P = std::max(gr.P, m.SavedHeaders[size_t(ways * g + j)].PeriodExponent);
      gr.E = std::max(gr.E, m.SavedHeaders[size_t(ways * g + j)].PreExcitationExponent);
    }
    gr.L = 1 << std::clamp(gr.P, 0, kMaxSamplesExponent);
  }
  struct Chain {
    std::unique_ptr<float[]> out;
    std::vector<KeptMessage> messages;
    bool ok = false;
  };
  std::vector<Chain> chains(static_cast<size_t>(groups * used));
  const auto compute = [&](int32_t job, const WorkerScratch& scratch) {
    const int32_t g = job / used, setIndex = first + job % used, c = ways * g + setIndex;
    const int32_t L = group[size_t(g)].L;
    const int32_t rate = m.SavedHeaders[size_t(c)].SampleRate;
    Chain& chain = chains[size_t(job)];
    const KeepMessages keep(chain.messages);
    chain.out.reset(new float[size_t(L)]);
    // The impulse being processed, filtered in place into its way's buffer.
    const std::span<float> XoverWork(chain.out.get(), size_t(L));
    std::copy_n(m.Saved(c), L, XoverWork.begin());
    const int32_t T = std::min(L, static_cast<int32_t>(std::nearbyint(0.05 * rate / 2)));
    TaperEndOfImpulseC(XoverWork, T, L);
    TaperStartOfImpulseC(XoverWork, T);
    FilterBlock block{}, section{};
    XoverChainContext ctx{scratch.A, &block, &section, rate};
    if (!ApplyXoverSet(sets[size_t(setIndex)], setIndex, XoverWork, L, ctx)) return;
    TaperEndOfImpulseC(XoverWork, T, L);
    TaperStartOfImpulseC(XoverWork, T);
    chain.ok = true;
  };
  bool ok = true;
  int32_t filed = 0;
  const auto file = [&](int32_t job, bool faulted) {
    const int32_t g = job / used, way = job % used;
    const Group& gr = group[size_t(g)];
    const std::span<float> out = Curve(g);
    if (way == 0) std::fill(out.begin() + gr.L, out.end(), 0.0f);
    filed = job + 1;
    if (faulted || !chains[size_t(job)].ok) {
      ok = false;
      return false;
    }
    if (way + 1 < used) return true;
    // The group's way buffers, one slot per way the view uses.
    const std::span<Chain> XoverWayBuffers = std::span(chains).subspan(size_t(g * used), size_t(used));
    const float* s0 = XoverWayBuffers[0].out.get();
    if (!sum) {
      std::copy_n(s0, gr.L, out.begin());
    } else {
      const float* s1 = XoverWayBuffers[1].out.get();
      const float* s2 = ways == 3 ? XoverWayBuffers[2].out.get() : nullptr;
      for (int32_t i = 0; i < gr.L; ++i)
        out[size_t(i)] = ways == 2 ? (s0[i] + s1[i]) * 0.5f : (s0[i] + s1[i] + s2[i]) * 0.3333f;
    }
    for (Chain& done : XoverWayBuffers) done.out.reset();
    CopyMeasurementHeader(m.SavedHeaders[size_t(ways * g)], ResultsDataSetInfo[size_t(g)]);
    ResultsDataSetInfo[size_t(g)].PeriodExponent = gr.P;
    ResultsDataSetInfo[size_t(g)].PreExcitationExponent = gr.E;
    ResultsDataSetInfo[0].NumInSet = g + 1;
    return true;
  };
  ComputeAndFileInOrder(groups * used, compute, file);
  for (int32_t job = 0; job < filed; ++job) ShowKeptMessages(chains[size_t(job)].messages);
  if (!ok) {
    plotter.DisplayResults(0);
    return false;
  }
  for (int32_t k = groups; k < m.N0; ++k) std::fill(Curve(k).begin(), Curve(k).end(), 0.0f);
  plotter.DisplayResults(0);
  return true;
}

}  // namespace zentor
