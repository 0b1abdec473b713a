// The "&Graphics Export" commands: the main graph, the waterfall and the large
// room saved as JPEG, PNG or SVG files or printed; the main graph's curves as text.
#include "mainwindow/graphics_export.h"

#include <QAction>
#include <QMenu>

#include "base/shared_state.h"
#include "display/graph_export.h"
#include "mainwindow/curve_text_export.h"
#include "mainwindow/data_plotter.h"

namespace zentor {

GraphicsExportLinks GraphicsExportHooks;

namespace {

SharedStateRegistrar g_reset([] { GraphicsExportHooks = GraphicsExportLinks{}; });

PictureBox* PictureOf(const std::function<PictureBox*()>& link) { return link ? link() : nullptr; }

}  // namespace

void DataPlotter::ConnectGraphicsExport() {
  connect(ExportJPGMain, &QAction::triggered, this, [this] { ExportJPGMain_Click(); });
  connect(MainPrint, &QAction::triggered, this, [this] { MainPrint_Click(); });
  connect(ExportJPGWaterfall, &QAction::triggered, this, [this] { ExportJPGWaterfall_Click(); });
  connect(PrintWaterfall, &QAction::triggered, this, [this] { PrintWaterfall_Click(); });
  connect(ExportJPGLargeRoom, &QAction::triggered, this, [this] { ExportJPGLargeRoom_Click(); });
  connect(PrintLargeRoom, &QAction::triggered, this, [this] { PrintLargeRoom_Click(); });
  connect(ExportPNGMain, &QAction::triggered, this, [this] { ExportPNGMain_Click(); });
  connect(ExportSVGMain, &QAction::triggered, this, [this] { ExportSVGMain_Click(); });
  connect(TextExportMain, &QAction::triggered, this, [this] { TextExportMain_Click(); });
  connect(ExportPNGWaterfall, &QAction::triggered, this, [this] { ExportPNGWaterfall_Click(); });
  connect(ExportSVGWaterfall, &QAction::triggered, this, [this] { ExportSVGWaterfall_Click(); });
  connect(ExportPNGLargeRoom, &QAction::triggered, this, [this] { ExportPNGLargeRoom_Click(); });
  connect(ExportSVGLargeRoom, &QAction::triggered, this, [this] { ExportSVGLargeRoom_Click(); });
  // The links may be set after the window is built: the menu looks as it opens.
  connect(GraphicBut, &QMenu::aboutToShow, this, [this] { UpdateGraphicsExportEntries(); });
  UpdateGraphicsExportEntries();
}

void DataPlotter::UpdateGraphicsExportEntries() {
  const bool waterfall = static_cast<bool>(GraphicsExportHooks.WaterfallPicture);
  const bool largeRoom = static_cast<bool>(GraphicsExportHooks.LargeRoomPicture);
  for (QAction* a : {ExportJPGWaterfall, PrintWaterfall, ExportPNGWaterfall, ExportSVGWaterfall}) a->setEnabled(waterfall);
  for (QAction* a : {ExportJPGLargeRoom, PrintLargeRoom, ExportPNGLargeRoom, ExportSVGLargeRoom}) a->setEnabled(largeRoom);
}

void DataPlotter::ExportJPGMain_Click() { ExportPictureAsJpeg(*Picture1); }

void DataPlotter::MainPrint_Click() { PrintPicture(*Picture1); }

void DataPlotter::ExportJPGWaterfall_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.WaterfallPicture)) ExportPictureAsJpeg(*p);
}

void DataPlotter::PrintWaterfall_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.WaterfallPicture)) PrintPicture(*p);
}

void DataPlotter::ExportJPGLargeRoom_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.LargeRoomPicture)) ExportPictureAsJpeg(*p);
}

void DataPlotter::PrintLargeRoom_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.LargeRoomPicture)) PrintPicture(*p);
}

void DataPlotter::ExportPNGMain_Click() { ExportPictureAsPng(*Picture1); }

void DataPlotter::ExportSVGMain_Click() { ExportPictureAsSvg(*Picture1); }

void DataPlotter::ExportPNGWaterfall_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.WaterfallPicture)) ExportPictureAsPng(*p);
}

void DataPlotter::ExportSVGWaterfall_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.WaterfallPicture)) ExportPictureAsSvg(*p);
}

void DataPlotter::ExportPNGLargeRoom_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.LargeRoomPicture)) ExportPictureAsPng(*p);
}

void DataPlotter::ExportSVGLargeRoom_Click() {
  if (PictureBox* p = PictureOf(GraphicsExportHooks.LargeRoomPicture)) ExportPictureAsSvg(*p);
}

void DataPlotter::TextExportMain_Click() { ExportCurvesOfViewShown(); }

}  // namespace zentor
