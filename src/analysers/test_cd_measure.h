// "Test CD Recording": measures a loudspeaker from the test CD played on any
// player. The window never plays: each Rec press records one block through the
// sound card; when it arrives the block is checked for signal, turned into an
// impulse response and added to the result set.
#pragma once

#include <QDialog>
#include <QPalette>
#include <QString>
#include <cstdint>

#include "analysers/test_cd_extract.h"
#include "core/records.h"
#include "measurement/wave_clients.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zentor {

// True when no result is loaded or the first result was sampled at `rate`.
bool LoadedRateMatches(int32_t rate);

class CDTest : public QDialog, public CdTestWaveClient {
 public:
  explicit CDTest(QWidget* parent = nullptr);
  ~CDTest() override;

  void Form_Load();
  // Refuses (Cancel set) while a recording or its processing runs.
  // Refuses (Cancel set) while a recording is being made or processed.
  void Form_QueryUnload(int16_t& Cancel);
  void Form_Unload(int16_t& Cancel);

  void RecBut_Click() { StartTestCDRecording(); }
  void CalibrateBut_Click();
  void DeleteResults_Click();
  void HelpBut_Click();

  void StartTestCDRecording();
  void ReRec() override;
  void ProcessTestCDRecording();
  void StoreTestCDResult();
  bool ShowTestCDChannel(int32_t code);

  bool RecordingOn = false;
  int32_t RecordRate = 0;
  float PeakLevel = 0;
  float SignalToNoise = 0;  // tenths of a dB
  MeasurementHeader ResultHeader;
  TestCDWork Work;

  QPushButton *RecBut, *CalibrateBut, *DeleteResults, *HelpBut;
  QLineEdit *ChannelText, *PeakText, *SNText;
  QProgressBar* ProgressBar1;

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void Step();
  void SetChannelBackground(int r, int g, int b);
  // The card refused, lost the stream or never filled the block: frees it, puts
  // the channel field back and says so once; the window may record or close.
  void AbandonRecording(bool lost = false);

  QString channelBefore_;
  QPalette channelPaletteBefore_;

  bool unloaded_ = false;
};

}  // namespace zentor
