// The main window's part of the mouse zoom: the picture's mouse events, the
// rubber band over the picture, the fit range and the window's pointer.
#include <QCheckBox>

#include "display/mouse_zoom.h"
#include "mainwindow/data_plotter.h"

namespace zentor {

void DataPlotter::InitMouseZoom() {
  connect(Picture1, &PictureBox::MouseDown, this,
          [this](int b, int shift, float x, float y) { Picture1_MouseDown(b, shift, x, y); });
  connect(Picture1, &PictureBox::MouseMove, this,
          [this](int b, int shift, float x, float y) { Picture1_MouseMove(b, shift, x, y); });
  connect(Picture1, &PictureBox::MouseUp, this,
          [this](int b, int shift, float x, float y) { Picture1_MouseUp(b, shift, x, y); });
}

void DataPlotter::Picture1_MouseDown(int button, int shift, float x, float y) {
  zentor::Picture1_MouseDown(*this, button, shift, x, y);
}

void DataPlotter::Picture1_MouseMove(int button, int shift, float x, float y) {
  zentor::Picture1_MouseMove(*this, button, shift, x, y);
}

void DataPlotter::Picture1_MouseUp(int button, int shift, float x, float y) {
  zentor::Picture1_MouseUp(*this, button, shift, x, y);
}

void DataPlotter::SetMouseZero() { unsetCursor(); }

// The band always shows on the picture, also while a test draws the graph elsewhere.
void DataPlotter::ShowRubberBand(const DrawPoint& a, const DrawPoint& b, const Pen& pen) {
  Picture1->ShowOverlay(PictureBox::Overlay{a, b, pen});
}

void DataPlotter::HideRubberBand() { Picture1->ClearOverlay(); }

void DataPlotter::SetFitRange(double minFreq, double maxFreq) {
  modal_.MinFreq = minFreq;
  modal_.MaxFreq = maxFreq;
}

bool DataPlotter::AccumulateTicked() const { return AccCheck->isChecked(); }

}  // namespace zentor
