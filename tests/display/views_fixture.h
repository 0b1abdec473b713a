// The main graph's views driven through a recording host (no main window), with
// the start-up frames, colours, work arrays and analysis settings, and loaders for
// synthetic result sets.
#pragma once

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/picture.h"
#include "support/silent_set.h"
#include "curve_fixture.h"
#include "recording_host.h"
#include "support/fixture.h"

namespace zentor::test {

class ViewsTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    AllocateWorkArrays(kWorkArrayPoints);
    SetDefaultGraphFrames();
    SetDefaultPlotColours();
    DisplayConfig.FFTSelected = kTrue;
    DisplayConfig.Graphshown = kImpulseView;
    CoOrdLockLimits = CoOrdLockLimitsRecord{-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
    RubberBandState.BoxErased = kTrue;
    SetDefaultMeasurementHeader(EQConfig);
    EQConfig.PeriodExponent = 17;
  }
  void TearDown() override {
    FreeWorkArrays();
    ZentorTest::TearDown();
  }

  void LoadSet(int32_t n, int32_t fs, int32_t exponent, float impulseGate = 20.0f) {
    LoadSilentSet(n, fs, exponent, impulseGate);
  }
  std::vector<RecordingSurface::Call> CurvesIn(ColourRef colour) const { return test::CurvesIn(rec, colour); }
  bool HasText(const std::string& text) const { return test::HasText(rec, text); }
  std::vector<std::string> Messages() const { return dialogs.MessageTexts(); }
  std::string LastMessage() const { return dialogs.MessageTexts().empty() ? "" : dialogs.MessageTexts().back(); }

  // The host draws on a picture of the given size from now on.
  PictureBox& DrawOnPicture(int width, int height) {
    picture.resize(width, height);
    host.picture = &picture;
    return picture;
  }
  // The picture as drawn, saved for a look (and kept in ZENTOR_KEEP_PNG_DIR when set).
  const QImage& KeptPicture(const char* name) {
    const QImage& img = picture.Image();
    EXPECT_FALSE(img.isNull());
    EXPECT_TRUE(img.save(QString::fromStdString(TempPath(name))));
    if (const char* dir = std::getenv("ZENTOR_KEEP_PNG_DIR")) img.save(QString(dir) + "/" + name);
    return img;
  }
  // Pixels of `colour` in every `stride`th row and column.
  static int PixelsOf(const QImage& img, ColourRef colour, int stride = 2) {
    const QColor want(RedOf(colour), GreenOf(colour), BlueOf(colour));
    int n = 0;
    for (int y = 0; y < img.height(); y += stride)
      for (int x = 0; x < img.width(); x += stride) n += img.pixelColor(x, y) == want;
    return n;
  }

  RecordingHost host;
  RecordingSurface& rec = host.rec;
  PictureBox picture;
};

}  // namespace zentor::test
