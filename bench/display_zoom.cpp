// The mouse zoom on the main window's 1600 x 1000 picture holding 32 Bode curves
// of 2000 points: one move of the band with its repaint, and a whole cycle (press,
// 50 moves, release with its redraw from the filed curves).
#include <benchmark/benchmark.h>

#include "base/text_number.h"
#include "qt_bench_main.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QRadioButton>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/records.h"
#include "display/dispatcher.h"
#include "display/fit_to_data.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"

namespace zentor {
namespace {

void FileBodeCurves() {
  BodeCurves[0].NumCurves = 32;
  for (size_t k = 0; k < 32; ++k) {
    CurveRecord& c = BodeCurves[k];
    c.NumCurves = 32;
    c.CurveIndex = static_cast<int32_t>(k);
    c.NumPoints = 2000;
    c.Label = Str(static_cast<int32_t>(k + 1));
    for (size_t i = 0; i < 2000; ++i) {
      const double f = 10 * std::pow(2500.0, double(i) / 1999);
      c.XValues[i] = static_cast<float>(f);
      c.YValues[i] = static_cast<float>(15 * std::sin(std::log(f) * (1 + 0.1 * double(k))) - double(k));
    }
  }
}

void WholeRange() {
  GraphFrame& f = FreqGraphFrame;
  f.LogX = kTrue;
  f.XStart = 16;
  f.XFinish = 20000;
  f.YLow = -50;
  f.YHigh = 20;
}

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = StartedWindow<DataPlotter>();
    ResultsDataSetInfo[0].NumInSet = 32;
    FileBodeCurves();
    ViewBuilders.ShowFFTResponseSet = [](GraphHost& host, int32_t) {
      UpdateGraph(BodeCurves, FreqGraphFrame, host.MainGraph(), "Bode");
      return true;
    };
    DisplayConfig.Graphshown = kBodeView;
    p->FreqBut->setChecked(true);
    p->resize(1700, 1300);
    p->Picture1->setFixedSize(1600, 1000);
    QCoreApplication::processEvents();
    WholeRange();
    p->DisplayResults(kRedrawFiledCurves);
    QCoreApplication::processEvents();
    std::printf("picture %d x %d\n", p->Picture1->width(), p->Picture1->height());
    return p;
  }();
  return *w;
}

void Send(QWidget* pic, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPointF at) {
  QMouseEvent e(type, at, pic->mapToGlobal(at), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(pic, &e);
  QCoreApplication::processEvents();  // the repaint of what the event changed
}

void BM_BandMoveWithRepaint(benchmark::State& state) {
  DataPlotter& w = Window();
  QWidget* pic = w.Picture1;
  Send(pic, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPointF(300, 200));
  int i = 0;
  for (auto _ : state) {
    ++i;
    Send(pic, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPointF(600 + (i % 400), 500 + (i % 300)));
  }
  Send(pic, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPointF(300, 200));  // a leftward drag
}
BENCHMARK(BM_BandMoveWithRepaint)->Unit(benchmark::kMicrosecond);

void BM_ZoomCycle(benchmark::State& state) {
  DataPlotter& w = Window();
  QWidget* pic = w.Picture1;
  for (auto _ : state) {
    WholeRange();
    Send(pic, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPointF(300, 200));
    for (int i = 1; i <= 50; ++i)
      Send(pic, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPointF(300 + 20 * i, 200 + 12 * i));
    Send(pic, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPointF(1300, 800));
  }
}
BENCHMARK(BM_ZoomCycle)->Unit(benchmark::kMillisecond);

// The release's share: one redraw of the filed curves with its repaint.
void BM_RedrawFromCache(benchmark::State& state) {
  DataPlotter& w = Window();
  WholeRange();
  for (auto _ : state) {
    w.DisplayResults(kRedrawFiledCurves);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_RedrawFromCache)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(argc, argv);
}
