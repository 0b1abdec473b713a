#include "support/audio_fixture.h"

#include <algorithm>
#include <cstdlib>

namespace zentor::test {

namespace {

FakePortAudio g_fake;

const PaDeviceInfo* Info(PaDeviceIndex i) {
  return i >= 0 && i < static_cast<PaDeviceIndex>(g_fake.devices.size()) ? &g_fake.devices[static_cast<std::size_t>(i)]
                                                                         : nullptr;
}
PaError Nop(PaStream*) { return paNoError; }

const PortAudioApi kFakeApi{
    [] {
      ++g_fake.initCalls;
      return g_fake.initResult;
    },
    [] { return PaError{paNoError}; },
    [] { return static_cast<PaDeviceIndex>(g_fake.devices.size()); },
    Info,
    [](PaHostApiTypeId id) { return id == paALSA ? PaHostApiIndex{0} : PaHostApiIndex{paHostApiNotFound}; },
    [] { return g_fake.defaultIn; },
    [] { return g_fake.defaultOut; },
    [](const PaStreamParameters* in, const PaStreamParameters* out, double rate) -> PaError {
      const PaStreamParameters* p = in ? in : out;
      if (!p || !Info(p->device) || p->channelCount != 2 || p->sampleFormat != paInt16) return paInvalidDevice;
      const bool ok = std::find(g_fake.rates.begin(), g_fake.rates.end(), static_cast<int32_t>(rate)) != g_fake.rates.end();
      return ok ? paFormatIsSupported : paInvalidSampleRate;
    },
    [](PaStream**, const PaStreamParameters*, const PaStreamParameters*, double, unsigned long, PaStreamFlags,
       PaStreamCallback*, void*) { return PaError{paDeviceUnavailable}; },
    [](PaStream*, PaStreamFinishedCallback*) { return PaError{paNoError}; },
    Nop,
    Nop,
    Nop,
    [](PaStream*) -> const PaStreamInfo* { return nullptr; },
    [](PaError) { return "fake PortAudio error"; },
    [](PaStream*) { return PaError{1}; }};

}  // namespace

void FakePortAudio::Add(const std::string& name, int in, int out, PaHostApiIndex hostApi) {
  names.push_back(name);
  PaDeviceInfo info{};
  info.structVersion = 2;
  info.hostApi = hostApi;
  info.maxInputChannels = in;
  info.maxOutputChannels = out;
  info.defaultHighInputLatency = info.defaultHighOutputLatency = 0.1;
  info.defaultSampleRate = 48000;
  devices.push_back(info);
  // Re-point every name: the vector of names may have moved.
  for (std::size_t i = 0; i < devices.size(); ++i) devices[i].name = names[i].c_str();
}

FakePortAudio& FakePortAudio::Current() { return g_fake; }

std::vector<int32_t> WaveReceiver::Messages() const {
  std::vector<int32_t> m;
  for (const Got& g : got) m.push_back(g.message);
  return m;
}

bool WaveReceiver::event(QEvent* e) {
  if (e->type() != WaveEvent::EventType()) return QObject::event(e);
  auto* w = static_cast<WaveEvent*>(e);
  got.push_back({w->message(), w->job()});
  return true;
}

void AudioTest::SetUp() {
  ZentorTest::SetUp();
  ResetAudio();
  CloseIdleWaveStream();
  g_fake = FakePortAudio{};
  UsePortAudioApi(&kFakeApi);
  // No JACK server of the machine's joins the list; the JACK tests name their own.
  setenv("JACK_DEFAULT_SERVER", "zentor-test-none", 1);
  ForgetSoundDevices();
  SimulatedCardHooks = {};
  UseCard(Quiet());
}

void AudioTest::TearDown() {
  ResetAudio();
  CloseIdleWaveStream();
  QCoreApplication::sendPostedEvents();
  SimulatedSoundCard::Instance().ResetSettings();
  SimulatedCardHooks = {};
  ForgetSoundDevices();
  UsePortAudioApi(&kFakeApi);
  ZentorTest::TearDown();
}

SimulatedCardSettings AudioTest::Quiet() {
  SimulatedCardSettings s;
  s.clock = SimulatedCardSettings::Clock::Manual;
  s.blockSize = 1000;
  s.room = {1.0};
  s.micNoise = s.refNoise = 0.0;
  s.referenceGain = 1.0;
  return s;
}

void AudioTest::Pump() {
  DrainWaveCompletions();
  QCoreApplication::sendPostedEvents();
}

void AudioTest::Run(int64_t frames) {
  const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
  for (int64_t done = 0; done < frames; done += block) {
    SimulatedSoundCard::Instance().Advance(block);
    Pump();
  }
}

}  // namespace zentor::test
