// "Add Control": adds bands that simulate an outside equaliser to the applied
// filter set, all at 0 dB, ready to be shaped in the filter editor: a row of
// graphic bands by start, spacing and width, the 30 ISO third-octave bands, or
// one parametric band at a time.
#pragma once

#include <QDialog>
#include <cstdint>

#include "core/filter_record.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

// The 0 dB record of one simulated band centred on f Hz; w is its width in
// octaves (the analysis resolution and the span of its fit range) and gate the
// band's gate value in ms. Q1, Q2, kind and code are left for the caller.
FilterRecord SimulatedBand(double f, double w, float gate);

// Gate value (ms) of a band `w` octaves wide centred on x, at least 3 ms. x is
// in the unit the caller's path uses (rad/s on the graphic row, Hz elsewhere).
double BandGateValue(double w, double x);

class Form1 : public QDialog {
 public:
  explicit Form1(QWidget* parent = nullptr);

  // Reads the parametric emulation and the sample rate. False, after the
  // message, when no results are loaded: the caller then unloads the window.
  bool Form_Load();
  void LoadGraphic_Click();
  void Help_Click();

  QRadioButton *Graphic, *ISOGraphic, *Parametric;
  QGroupBox *GraphicFrame, *ParametricFrame;
  QLineEdit *StartFreqText, *FreqSpacingText, *BandWidthText, *NumBandsText;
  QLineEdit *ParametricFrequencyText, *ParametricQText;
  QLabel* BWOrQ;
  QPushButton *LoadGraphic, *Help;

 private:
  void AddGraphicRow();
  void AddISOBands();
  void AddParametricBand();
  // Appends a record to AppliedFilters; the caller has checked the room.
  static void Append(const FilterRecord& r);
  static void AppendGraphicBand(FilterRecord r, float q, int32_t code);

  int32_t parametricCode_ = 0;
  int32_t fs_ = 0;  // Hz
};

// Loads the window, shows it modally unless it refused, and unloads it.
void ShowBandSimulator();

// The new-filter command: the band simulator with results loaded, else the refusal.
void NewFilter_Click();

}  // namespace zentor
