// The continuous play/record cycle both real-time analysers run: one long buffer
// of whole sequence periods played again and again, record blocks queued one
// after another, and a block analysed only when the play position lies safely
// inside the buffer (away from the restart and its fades).
#pragma once

#include <QDialog>
#include <QObject>
#include <cstdint>
#include <vector>

#include "measurement/wave_clients.h"
#include "platform/dialogs.h"

class QLabel;
class QPushButton;

namespace zentor {

class RtaCycle : public RtaWaveClient {
 public:
  static constexpr int32_t kPlayLength = 524288;
  static constexpr int32_t kFadeLength = 100;
  static constexpr int16_t kSequenceAmplitude = 10000;

  bool CheckPlayPointerLocation() override;
  void RePlay() override;
  void ReRec() override;

  // Fills the play buffers with 524288 / N periods and sizes the record buffers;
  // the block length in whole milliseconds for the period text.
  int32_t BuildRtaPlayBuffer(int32_t sampleRate);
  // Prepares and starts playback and the first record block. A refusal of the
  // sound card is reported; the analyser stays stopped.
  bool StartStreaming(int32_t sampleRate);
  // Returns the main graph to normal drawing and stops; a queued block still arrives.
  void StopRta();
  // The card refused, lost the stream or never filled a block: frees it, stops and
  // says so once; a new start may follow.
  void AbandonRun(bool lost = false);

  bool RtaStopped = true;
  bool StopRecording = false;
  bool StopPlaying = false;
  int32_t MLSOrder = 12;
  int32_t BlockSize = 4096;
  std::vector<int16_t> RtaPlayBuffer1, RtaPlayBuffer2;
  std::vector<int16_t> MLSPeriod;
  int32_t TimePointer = 0;
  bool FlashOn = true;
  // Record blocks analysed and dropped (too near a restart) since the window opened.
  int64_t AnalysedBlocks = 0, DroppedBlocks = 0;

 protected:
  explicit RtaCycle(QObject* window) : window_(window) {}
  ~RtaCycle() = default;

 private:
  QObject* window_;
  int32_t rate_ = 0;  // the rate of the running cycle
};

// What both analyser windows share besides the cycle: the activity indicator
// (Picture1 and FlashLabel) and the refusal to close while running.
class RtaWindow : public QDialog, public RtaCycle {
 public:
  // Shows colour on the indicator for a moment while flashing is on.
  void Flash(ColourRef colour);
  void Picture1_Click();
  // Refused while running; otherwise the wave procedure goes and the mixer
  // settings are offered for saving.
  void Form_Unload(int16_t& Cancel);
  void reject() override;

  QPushButton* Picture1;
  QLabel* FlashLabel;
  int32_t FlashCount = 0;  // flashes shown (for tests)

 protected:
  RtaWindow(const char* name, const char* caption, void (*unhook)());
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  // The start is refused while running; makes the indicator the flash target.
  void ClaimIndicator();

 private:
  bool RefuseWhileRunning();
  void (*unhook_)();
};

// Milliseconds of one block of 2^order samples, cut to a whole number.
int32_t BlockMilliseconds(int32_t order, int32_t sampleRate);

}  // namespace zentor
