// The bridge from the sound card's completion messages to the windows that stream
// audio. A window's load handler puts itself in its slot and installs its procedure
// (an event filter on the window); the procedure turns MM_WOM_DONE and MM_WIM_DATA
// into calls on the window (wave_clients.h) and returns true for them; every other
// event goes on to the window's own handling. The unload handler removes it.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "core/records.h"

namespace zentor {

extern QPointer<QWidget> AudioFormHwnd;
extern QPointer<QWidget> DistFormHwnd;
extern QPointer<QWidget> RtaEqHwnd;
extern QPointer<QWidget> RtaImpHwnd;
extern QPointer<QWidget> SplHwnd;
extern QPointer<QWidget> CdTestHwnd;

// The record buffers that GetRecInData fills: left input into A, right into B. Each
// streaming window sizes them to its block before it records.
extern std::vector<float> RecordBufferA;
extern std::vector<float> RecordBufferB;

void HookAudioFormMessages();
void UnhookAudioFormMessages();
void HookDistFormMessages();
void UnhookDistFormMessages();
void HookRTAEQMessages();
void UnhookRTAEQMessages();
void HookRTAImpMessages();
void UnhookRTAImpMessages();
void HookSPLLevelFormMessages();
void UnhookSPLLevelFormMessages();
void HookCDTestMessages();
void UnhookCDTestMessages();

// True for the WaveError that a lost stream or an overdue recording posts.
bool IsWaveError(const QEvent* event);

// The procedures: true when the event was handled, false to pass it on.
bool AudioWaveWndProc(QObject* window, QEvent* event);
bool DistWaveWndProc(QObject* window, QEvent* event);
bool RTAEQWaveWndProc(QObject* window, QEvent* event);
bool RTAImpWaveWndProc(QObject* window, QEvent* event);
bool SPLWaveWndProc(QObject* window, QEvent* event);
bool CDTestWaveWndProc(QObject* window, QEvent* event);

// Lets the simulated sound card read MicChannel when a job is armed.
void InstallEqAudioLinks();

}  // namespace zentor
