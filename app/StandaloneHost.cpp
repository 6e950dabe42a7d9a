#include "app/StandaloneHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include <alsa/asoundlib.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <rtaudio/RtAudio.h>
#include <rtmidi/RtMidi.h>

#include "app/SettingsFile.h"
#include "core/CoralSieve.h"

namespace coral {
namespace {

using reef::ERoute;

constexpr std::size_t kMaxSettingsPathBytes = 2048; // including the terminator
constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;
constexpr unsigned kMainInputChannels = 2;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

std::unique_ptr<StandaloneHost>& HostSlot() {
  static std::unique_ptr<StandaloneHost> host;
  return host;
}

class StderrReporter final : public MessageReporter {
public:
  void ShowError(const std::string& text, const std::string& caption) override {
    std::cerr << caption << ": " << text << "\n";
  }
  void ShowAudioStatus(const std::string& text, bool) override {
    if (!text.empty()) std::cerr << "Audio: " << text << "\n";
  }
};

StderrReporter gStderrReporter;

// The last error the device layer reported, for the messages to the user.
std::mutex gAudioErrorLock;
std::string gAudioError;

// The device layer's error callback; it may run on any of the layer's threads, the audio
// thread among them, which must never wait: a report that finds the slot busy is dropped.
void AudioErrorCallback(RtAudioError::Type, const std::string& text) {
  std::unique_lock lock(gAudioErrorLock, std::try_to_lock);
  if (!lock) return;
  gAudioError = text;
  std::cerr << "coral-sieve: audio: " << text << "\n";
}

std::string TakeAudioError() {
  std::lock_guard lock(gAudioErrorLock);
  return std::exchange(gAudioError, std::string());
}

// The ALSA and JACK libraries print their diagnostics to the terminal unless told otherwise.
void IgnoreAlsaDiagnostic(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJackDiagnostic(const char*) {}

// Whether the machine has an ALSA sequencer to make MIDI ports on. Asking the MIDI library
// without one makes it print its failure.
bool SequencerPresent() {
  return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

std::string StripPrefix(const std::string& name) {
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The MIDI object of one direction on back end `api`; nullptr when it cannot be created.
template <typename Port>
std::unique_ptr<Port> CreateMidiPort(RtMidi::Api api, const char* clientName) {
  try {
    auto port = std::make_unique<Port>(api, clientName);
    if (port->getCurrentApi() == api) return port;
  } catch (const RtMidiError&) {
  }
  return nullptr;
}

template <typename Port>
void ListMidiPorts(Port& port, std::vector<std::string>& names) {
  names.assign(1, "off");
  try {
    const unsigned count = port.getPortCount();
    for (unsigned p = 0; p < count; ++p) names.push_back(port.getPortName(p));
  } catch (const RtMidiError&) {
  }
}

// Scales `channels` non-interleaved channels of `frames` frames in place: frame i by
// (frames - 1 - i) / frames when fading out, by i / frames when fading in.
void Fade(double* buffer, unsigned channels, unsigned frames, bool fadeOut) noexcept {
  if (!buffer) return;
  const double n = frames;
  for (unsigned c = 0; c < channels; ++c) {
    double* channel = buffer + std::size_t(c) * frames;
    for (unsigned i = 0; i < frames; ++i) {
      channel[i] *= fadeOut ? (n - 1.0 - i) / n : i / n;
    }
  }
}

} // namespace

// ---- Lifetime ----

StandaloneHost& StandaloneHost::Create(PlugFactory factory) {
  HostSlot().reset();
  HostSlot().reset(new StandaloneHost(factory));
  return *HostSlot();
}

StandaloneHost* StandaloneHost::Get() {
  return HostSlot().get();
}

void StandaloneHost::Destroy() {
  HostSlot().reset();
}

StandaloneHost::StandaloneHost(const PlugFactory& factory) {
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    snd_lib_error_set_handler(&IgnoreAlsaDiagnostic);
    jack_set_error_function(&IgnoreJackDiagnostic);
    jack_set_info_function(&IgnoreJackDiagnostic);
  });
  const reef::InstanceInfo info;
  plug_ = factory ? factory(info) : std::unique_ptr<reef::IPluginApp>(MakePlugin(info));
  plug_->SetMidiSender(this);
}

StandaloneHost::~StandaloneHost() {
  ignoreMidi_.store(true);
  audioWanted_ = false;
  CloseAudio();
  if (midiIn_) midiIn_->closePort();
  if (midiOut_) midiOut_->closePort();
  plug_->SetMidiSender(nullptr);
  inputPointers_.clear();
  outputPointers_.clear();
  inputDeviceIds_.clear();
  outputDeviceIds_.clear();
  midiInputNames_.clear();
  midiOutputNames_.clear();
  midiOut_.reset();
  midiIn_.reset();
  jackWatch_.Close();
  dac_.reset();
  plug_.reset();
}

void StandaloneHost::SetReporter(MessageReporter* reporter) {
  reporter_ = reporter;
}

// ---- Start-up and settings ----

bool StandaloneHost::Init() {
  plug_->SetHost("standalone", plug_->GetPluginVersion(false));
  if (!ReadSettings()) return false;
  CreateAudioSystem();
  ProbeAudioDevices();
  if (firstRun_) ChooseFirstRunDevices();
  OpenMidi();
  ProbeMidiPorts();
  SelectMidiPort(reef::kInput, current_.midiInputDevice);
  SelectMidiPort(reef::kOutput, current_.midiOutputDevice);
  plug_->OnParamReset(reef::kReset);
  plug_->OnActivate(true);
  return true;
}

bool StandaloneHost::ReadSettings() {
  const char* base = g_get_user_config_dir();
  if (!base || !*base) return false;
  const std::string folder = std::string(base) + "/CoralSieve/";
  const std::string file = folder + "settings.ini";
  if (file.size() >= kMaxSettingsPathBytes) return false;

  settingsPath_ = folder;
  struct stat info {};
  firstRun_ = true;
  if (stat(folder.c_str(), &info) != 0) {
    g_mkdir_with_parents(folder.c_str(), 0700);
  } else if (std::ifstream in{file, std::ios::binary}) {
    std::string text(kMaxSettingsFileBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    current_ = ParseSettings(text);
    firstRun_ = false;
  }
  settingsPath_ = file;
  WriteSettings();
  return true;
}

bool StandaloneHost::WriteSettings() {
  if (settingsPath_.empty()) return false;
  const std::string text = FormatSettings(current_);
  const std::string temporary = settingsPath_ + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), settingsPath_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

void StandaloneHost::ChooseFirstRunDevices() {
  const auto noDevices = [this] { return inputDeviceIds_.empty() && outputDeviceIds_.empty(); };
  const DeviceSettings before = current_;
  if (dac_ && noDevices()) {
    const std::size_t drivers = DriverNames().size();
    for (std::uint32_t driver = 1; driver < drivers && noDevices(); ++driver) {
      current_.driverType = driver;
      CreateAudioSystem();
      ProbeAudioDevices();
    }
    if (noDevices() && current_.driverType != 0) {
      current_.driverType = 0;
      CreateAudioSystem();
      ProbeAudioDevices();
    }
  }

  bool renamed = false;
  const std::optional<unsigned> inputId = ResolveDevice(reef::kInput, renamed);
  const std::optional<unsigned> outputId = ResolveDevice(reef::kOutput, renamed);
  const std::optional<AudioDeviceInfo> input = inputId ? GetDeviceInfo(*inputId) : std::nullopt;
  const std::optional<AudioDeviceInfo> output = outputId ? GetDeviceInfo(*outputId) : std::nullopt;
  if (input && output) {
    std::vector<unsigned> common;
    for (unsigned rate : input->sampleRates) {
      if (std::find(output->sampleRates.begin(), output->sampleRates.end(), rate) !=
          output->sampleRates.end()) {
        common.push_back(rate);
      }
    }
    const unsigned wanted = current_.sampleRate;
    if (!common.empty() && std::find(common.begin(), common.end(), wanted) == common.end()) {
      const auto distance = [wanted](unsigned rate) {
        return rate > wanted ? rate - wanted : wanted - rate;
      };
      current_.sampleRate =
          *std::min_element(common.begin(), common.end(),
                            [&](unsigned a, unsigned b) { return distance(a) < distance(b); });
    }
  }
  if (!current_.SameAs(before)) WriteSettings();
}

// ---- Audio devices ----

std::vector<std::string> StandaloneHost::DriverNames() {
  std::vector<RtAudio::Api> apis;
  RtAudio::getCompiledApi(apis);
  std::vector<std::string> names;
  for (RtAudio::Api api : apis) names.push_back(RtAudio::getApiDisplayName(api));
  return names;
}

void StandaloneHost::CreateAudioSystem() {
  CloseAudio();
  audioWanted_ = streamStarted_ = false;
  dac_.reset();
  defaultInputDevice_.reset();
  defaultOutputDevice_.reset();
  if (noIO_ || !screenshotPath_.empty()) return;

  std::vector<RtAudio::Api> apis;
  RtAudio::getCompiledApi(apis);
  if (current_.driverType >= apis.size()) current_.driverType = 0;
  if (apis.empty()) return;
  try {
    dac_ = std::make_unique<RtAudio>(apis[current_.driverType]);
    dac_->showWarnings(false);
  } catch (const RtAudioError&) {
    dac_.reset();
  }
}

bool StandaloneHost::UsesJack() const {
  return dac_ && dac_->getCurrentApi() == RtAudio::UNIX_JACK;
}

unsigned StandaloneHost::DeviceCount() {
  ReplaceStaleJackClients(false);
  if (!dac_) return 0;
  try {
    return dac_->getDeviceCount();
  } catch (const RtAudioError&) {
    return 0;
  }
}

void StandaloneHost::ProbeAudioDevices() {
  inputDeviceIds_.clear();
  outputDeviceIds_.clear();
  const unsigned count = DeviceCount();
  for (unsigned id = 0; id < count; ++id) {
    const std::optional<AudioDeviceInfo> info = GetDeviceInfo(id);
    if (!info) continue;
    if (info->inputChannels > 0) inputDeviceIds_.push_back(id);
    if (info->outputChannels > 0) outputDeviceIds_.push_back(id);
    if (info->isDefaultInput) defaultInputDevice_ = id;
    if (info->isDefaultOutput) defaultOutputDevice_ = id;
  }
}

std::optional<AudioDeviceInfo> StandaloneHost::GetDeviceInfo(unsigned id) {
  // An id past the end is refused before asking for details: the device layer treats a bad
  // id as an error that would also abort a running stream.
  if (id >= DeviceCount()) return std::nullopt;
  try {
    const RtAudio::DeviceInfo info = dac_->getDeviceInfo(id);
    if (!info.probed) return std::nullopt;
    return AudioDeviceInfo{StripPrefix(info.name), info.inputChannels,   info.outputChannels,
                           info.isDefaultInput,    info.isDefaultOutput, info.sampleRates};
  } catch (const RtAudioError&) {
    return std::nullopt;
  }
}

std::string StandaloneHost::DeviceName(unsigned id) {
  const std::optional<AudioDeviceInfo> info = GetDeviceInfo(id);
  return info ? info->name : std::string();
}

std::optional<unsigned> StandaloneHost::FindAudioDevice(std::string_view name) {
  const unsigned count = DeviceCount();
  for (unsigned id = 0; id < count; ++id) {
    const std::optional<AudioDeviceInfo> info = GetDeviceInfo(id);
    if (info && info->name == name) return id;
  }
  return std::nullopt;
}

unsigned StandaloneHost::ChannelCount(unsigned id, ERoute side) {
  const std::optional<AudioDeviceInfo> info = GetDeviceInfo(id);
  if (!info) return 0;
  return side == reef::kInput ? info->inputChannels : info->outputChannels;
}

std::optional<unsigned> StandaloneHost::ResolveDevice(ERoute side, bool& renamed) {
  std::string& name = side == reef::kInput ? current_.audioInputDevice : current_.audioOutputDevice;
  const std::optional<unsigned> named = FindAudioDevice(name);
  if (named && ChannelCount(*named, side) > 0) return named;

  const std::optional<unsigned> fallback =
      side == reef::kInput ? defaultInputDevice_ : defaultOutputDevice_;
  if (!fallback || ChannelCount(*fallback, side) == 0) return std::nullopt;
  const std::vector<unsigned>& ids = side == reef::kInput ? inputDeviceIds_ : outputDeviceIds_;
  if (!ids.empty()) {
    name = DeviceName(*fallback);
    renamed = true;
  }
  return fallback;
}

// ---- Stream ----

bool StandaloneHost::RestartAudio() {
  return StartAudio(true);
}

bool StandaloneHost::StartAudio(bool interactive) {
  if (noIO_ || !screenshotPath_.empty()) return true;
  audioWanted_ = true;
  if (interactive) nextRetry_.reset();
  streamStarted_ = false;
  ReplaceStaleJackClients(true);
  bool renamed = false;
  const std::optional<unsigned> inputId = ResolveDevice(reef::kInput, renamed);
  const std::optional<unsigned> outputId = ResolveDevice(reef::kOutput, renamed);
  if (renamed) WriteSettings();
  if (!inputId || !outputId) {
    if (interactive) Reporter().ShowError(kAudioSettingsMessage, kErrorCaption);
    CloseAudio();
    ReportAudio(UsesJack() && !jackWatch_.IsOpen()
                    ? "The JACK server is not running: CORAL SIEVE connects to it as soon as "
                      "it starts."
                    : "No audio device was found: choose the devices in File > Preferences.",
                true);
    return false;
  }

  std::string notice;
  const std::string dictating = UsesJack() ? "The JACK server" : "The audio device";
  if (const std::optional<unsigned> rate = ServerRate(*outputId)) {
    notice = "The JACK server runs at " + std::to_string(*rate) +
             " Hz, so CORAL SIEVE does too (the settings asked for " +
             std::to_string(current_.sampleRate) + " Hz).";
    current_.sampleRate = *rate;
    WriteSettings();
  }
  TakeAudioError();
  if (!OpenAudioStream(*inputId, *outputId, current_.sampleRate, current_.bufferSize)) {
    const std::string reason = TakeAudioError();
    ReportAudio("The audio stream could not start" + (reason.empty() ? "" : " (" + reason + ")") +
                    ": choose other devices, another sampling rate or buffer size in File > "
                    "Preferences.",
                true);
    return false;
  }
  streamStarted_ = true;
  nextRetry_.reset();
  watchedServed_ = callbacksServed_.load();
  lastProgress_ = Clock::now();
  if (bufferFrames_ != current_.bufferSize) {
    notice += std::string(notice.empty() ? "" : " ") + dictating + " sets the buffer size to " +
              std::to_string(bufferFrames_) +
              " frames, so CORAL SIEVE uses it (the settings asked for " +
              std::to_string(current_.bufferSize) + ").";
    current_.bufferSize = bufferFrames_;
    active_ = current_;
    WriteSettings();
  }
  if (!notice.empty() || !audioStatus_.empty()) ReportAudio(notice, false);
  return true;
}

std::optional<unsigned> StandaloneHost::ServerRate(unsigned outputId) {
  if (!UsesJack()) return std::nullopt;
  const std::optional<AudioDeviceInfo> info = GetDeviceInfo(outputId);
  if (!info || info->sampleRates.size() != 1 || info->sampleRates[0] == current_.sampleRate) {
    return std::nullopt;
  }
  return info->sampleRates[0];
}

void StandaloneHost::WatchAudio() {
  if (!audioWanted_ || noIO_ || !screenshotPath_.empty() || !dac_) return;
  const Clock::time_point now = Clock::now();
  if (ReplaceAfterPeriodChange(now)) return;
  if (IsStreamRunning()) {
    const std::uint32_t served = callbacksServed_.load();
    if (served != watchedServed_) lastProgress_ = now;
    watchedServed_ = served;
    // A stream whose JACK server went away is closed by the device layer itself.
    if (UsesJack() && jackWatch_.IsLost()) return;
    if (now - lastProgress_ < kStallTime) return;
    // A device that failed: its callbacks stopped.
    AbandonStream();
    if (!Reconnect()) nextRetry_ = now + kRetryInterval;
    return;
  }

  // No stream runs although one should.
  ReplaceStaleJackClients(false);
  if (UsesJack() && !jackWatch_.IsOpen()) {
    if (streamStarted_) {
      streamStarted_ = false;
      ReportAudio("The JACK server has stopped: CORAL SIEVE reconnects as soon as it runs again.",
                  true);
    }
    // A server (again): connect to it.
    if (jackWatch_.Open() && !Reconnect()) nextRetry_ = Clock::now() + kRetryInterval;
    return;
  }
  if (streamStarted_) {
    streamStarted_ = false;
    const std::string reason = TakeAudioError();
    ReportAudio("The audio device stopped" + (reason.empty() ? "" : " (" + reason + ")") +
                    ": CORAL SIEVE tries again every few seconds.",
                true);
    nextRetry_ = Clock::now() + kRetryInterval;
    return;
  }
  // A stream that never started waits for the user's next choice.
  if (!nextRetry_ || Clock::now() < *nextRetry_) return;
  nextRetry_.reset();
  if (!Reconnect()) nextRetry_ = Clock::now() + kRetryInterval;
}

bool StandaloneHost::CallbackThreadRuns() const {
  const pid_t thread = callbackThread_.load(std::memory_order_relaxed);
  return thread != 0 && access(("/proc/self/task/" + std::to_string(thread)).c_str(), F_OK) == 0;
}

bool StandaloneHost::ReplaceAfterPeriodChange(Clock::time_point now) {
  const unsigned period =
      UsesJack() && jackWatch_.IsOpen() && !jackWatch_.IsLost() ? jackWatch_.Period() : 0;
  if (period == 0 || period == bufferFrames_ || !streamStarted_) {
    periodSeen_.reset();
    return false;
  }
  if (!periodSeen_) periodSeen_ = now;
  // The server stops this client after a period change: the client's process thread asks the
  // server to deactivate it and then ends. Closing the stream while that request runs would
  // race it inside the JACK library (both wait on one server connection, for good), so the
  // stream is replaced only once that thread has ended. A server that never answers it is
  // told as a problem.
  if (CallbackThreadRuns()) {
    if (now - *periodSeen_ >= kReleaseTime && audioStatus_.empty()) {
      ReportAudio("The JACK server changed its period but does not release CORAL SIEVE's "
                  "client: restart the JACK server.",
                  true);
    }
    return true;
  }
  if (nextRetry_ && now < *nextRetry_) return true;
  const unsigned before = bufferFrames_;
  AbandonStream();
  nextRetry_.reset();
  if (Reconnect()) {
    periodSeen_.reset();
    ReportAudio("The JACK server changed its period from " + std::to_string(before) + " to " +
                    std::to_string(period) + " frames; the stream restarted with it.",
                false);
  } else {
    nextRetry_ = now + kRetryInterval;
  }
  return true;
}

bool StandaloneHost::Reconnect() {
  ProbeAudioDevices();
  return StartAudio(false);
}

void StandaloneHost::ReportAudio(const std::string& text, bool problem) {
  audioStatus_ = problem ? text : std::string();
  Reporter().ShowAudioStatus(text, problem);
}

MessageReporter& StandaloneHost::Reporter() {
  return reporter_ ? *reporter_ : static_cast<MessageReporter&>(gStderrReporter);
}

bool StandaloneHost::OpenAudioStream(unsigned inputId, unsigned outputId, unsigned sampleRate,
                                     unsigned bufferFrames) {
  if (!dac_) return false;
  CloseAudio();

  const unsigned plugInputs = static_cast<unsigned>(plug_->MaxNChannels(reef::kInput));
  const unsigned plugOutputs = static_cast<unsigned>(plug_->MaxNChannels(reef::kOutput));
  const unsigned inputs =
      plugInputs > 0
          ? std::min({kMainInputChannels, plugInputs, ChannelCount(inputId, reef::kInput)})
          : 0;
  const unsigned outputs = std::min(plugOutputs, ChannelCount(outputId, reef::kOutput));
  if (outputs == 0 || (plugInputs > 0 && inputs == 0)) return false;

  ResetForStream(sampleRate, bufferFrames);

  RtAudio::StreamParameters outputParams;
  outputParams.deviceId = outputId;
  outputParams.nChannels = outputs;
  outputParams.firstChannel = 0;
  RtAudio::StreamParameters inputParams;
  inputParams.deviceId = inputId;
  inputParams.nChannels = inputs;
  inputParams.firstChannel = 0;
  RtAudio::StreamOptions options;
  options.flags = RTAUDIO_NONINTERLEAVED;
  options.numberOfBuffers = 0;
  options.streamName = "";
  options.priority = 0;
  try {
    dac_->openStream(&outputParams, inputs > 0 ? &inputParams : nullptr, RTAUDIO_FLOAT64,
                     sampleRate, &bufferFrames_, &StandaloneHost::AudioCallback, this, &options,
                     &AudioErrorCallback);
  } catch (const RtAudioError& error) {
    AudioErrorCallback(error.getType(), error.getMessage());
    return false;
  }

  SizeCallbackBuffers(inputs, outputs);

  try {
    dac_->startStream();
  } catch (const RtAudioError& error) {
    AudioErrorCallback(error.getType(), error.getMessage());
  }
  if (!dac_->isStreamRunning()) {
    try {
      dac_->closeStream();
    } catch (const RtAudioError&) {
    }
    return false;
  }
  active_ = current_;
  return true;
}

void StandaloneHost::CloseAudio() {
  if (!dac_ || !dac_->isStreamOpen()) return;
  if (dac_->isStreamRunning()) {
    BeginFadeOut();
    std::uint32_t lastServed = callbacksServed_.load();
    int stalledPolls = 0;
    while (!audioDone_.load() && dac_->isStreamRunning() && stalledPolls < kStallPolls) {
      std::this_thread::sleep_for(kPollInterval);
      const std::uint32_t served = callbacksServed_.load();
      stalledPolls = served == lastServed ? stalledPolls + 1 : 0;
      lastServed = served;
    }
  }
  AbandonStream();
}

bool StandaloneHost::IsStreamRunning() const {
  return dac_ && dac_->isStreamRunning();
}

void StandaloneHost::AbandonStream() {
  if (!dac_) return;
  try {
    if (dac_->isStreamRunning()) dac_->abortStream();
  } catch (const RtAudioError&) {
  }
  try {
    if (dac_->isStreamOpen()) dac_->closeStream();
  } catch (const RtAudioError&) {
  }
}

void StandaloneHost::PrepareStream(unsigned deviceInputs, unsigned deviceOutputs,
                                   unsigned bufferFrames, double sampleRate) {
  ResetForStream(sampleRate, bufferFrames);
  SizeCallbackBuffers(deviceInputs, deviceOutputs);
}

void StandaloneHost::ResetForStream(double sampleRate, unsigned bufferFrames) {
  bufferFrames_ = bufferFrames;
  sampleRate_ = sampleRate;
  blockPosition_ = 0;
  samplesElapsed_.store(0);
  callbackCount_.store(0);
  callbackThread_.store(0);
  exiting_.store(false);
  audioDone_.store(false);
  plug_->SetBlockSize(static_cast<int>(kBlockFrames));
  plug_->SetSampleRate(sampleRate);
  plug_->OnReset();
}

void StandaloneHost::SizeCallbackBuffers(unsigned deviceInputs, unsigned deviceOutputs) {
  const unsigned plugInputs = static_cast<unsigned>(plug_->MaxNChannels(reef::kInput));
  const unsigned plugOutputs = static_cast<unsigned>(plug_->MaxNChannels(reef::kOutput));
  mainInputs_ = std::min(kMainInputChannels, plugInputs);
  streamInputs_ = std::min(deviceInputs, mainInputs_);
  streamOutputs_ = std::min(deviceOutputs, plugOutputs);
  useFifo_ = bufferFrames_ == 0 || bufferFrames_ % kBlockFrames != 0;

  silence_.assign(kBlockFrames, 0.0);
  fifoIn_.assign(useFifo_ ? std::size_t(streamInputs_) * kBlockFrames : 0, 0.0);
  fifoOut_.assign(useFifo_ ? std::size_t(streamOutputs_) * kBlockFrames : 0, 0.0);
  inputPointers_.assign(plugInputs, nullptr);
  outputPointers_.assign(plugOutputs, nullptr);
  for (unsigned c = mainInputs_; c < plugInputs; ++c) inputPointers_[c] = silence_.data();
  if (useFifo_) {
    for (unsigned c = 0; c < streamInputs_; ++c) {
      inputPointers_[c] = fifoIn_.data() + std::size_t(c) * kBlockFrames;
    }
    for (unsigned c = 0; c < streamOutputs_; ++c) {
      outputPointers_[c] = fifoOut_.data() + std::size_t(c) * kBlockFrames;
    }
  }
}

int StandaloneHost::AudioCallback(void* outputBuffer, void* inputBuffer, unsigned nFrames, double,
                                  unsigned, void* userData) {
  static_cast<StandaloneHost*>(userData)->RunCallback(static_cast<double*>(outputBuffer),
                                                      static_cast<double*>(inputBuffer), nFrames);
  return 0;
}

void StandaloneHost::RunCallback(double* out, double* in, unsigned nFrames) noexcept {
  callbacksServed_.fetch_add(1, std::memory_order_relaxed);
  if (callbackCount_.load(std::memory_order_relaxed) == 0) {
    callbackThread_.store(gettid(), std::memory_order_relaxed);
  }
  const bool exiting = exiting_.load(std::memory_order_acquire);
  const bool fade = callbackCount_.load(std::memory_order_relaxed) == 0 || exiting;

  if (audioDone_.load(std::memory_order_acquire)) {
    if (out) std::fill_n(out, std::size_t(streamOutputs_) * nFrames, 0.0);
  } else {
    if (fade) Fade(in, streamInputs_, nFrames, exiting);
    if (useFifo_) {
      RunThroughFifo(out, in, nFrames);
    } else {
      RunBlocksInPlace(out, in, nFrames);
    }
    if (fade) Fade(out, streamOutputs_, nFrames, exiting);
    if (exiting) audioDone_.store(true, std::memory_order_release);
  }
  callbackCount_.store(1, std::memory_order_relaxed);
}

void StandaloneHost::RunBlocksInPlace(double* out, double* in, unsigned nFrames) noexcept {
  if (!out) return;
  if (nFrames % kBlockFrames != 0) {
    // The device left the size it was opened with; nothing can be processed in place.
    std::fill_n(out, std::size_t(streamOutputs_) * nFrames, 0.0);
    return;
  }
  for (unsigned start = 0; start < nFrames; start += kBlockFrames) {
    for (unsigned c = 0; c < streamInputs_; ++c) {
      inputPointers_[c] = in ? in + std::size_t(c) * nFrames + start : nullptr;
    }
    for (unsigned c = 0; c < streamOutputs_; ++c) {
      outputPointers_[c] = out + std::size_t(c) * nFrames + start;
    }
    RunBlock();
  }
}

void StandaloneHost::RunThroughFifo(double* out, double* in, unsigned nFrames) noexcept {
  unsigned done = 0;
  while (done < nFrames) {
    const unsigned position = blockPosition_;
    const unsigned count = std::min(nFrames - done, kBlockFrames - position);
    for (unsigned c = 0; c < streamInputs_; ++c) {
      double* slot = fifoIn_.data() + std::size_t(c) * kBlockFrames + position;
      if (in) {
        std::copy_n(in + std::size_t(c) * nFrames + done, count, slot);
      } else {
        std::fill_n(slot, count, 0.0);
      }
    }
    if (out) {
      for (unsigned c = 0; c < streamOutputs_; ++c) {
        std::copy_n(fifoOut_.data() + std::size_t(c) * kBlockFrames + position, count,
                    out + std::size_t(c) * nFrames + done);
      }
    }
    done += count;
    blockPosition_ = position + count;
    if (blockPosition_ == kBlockFrames) {
      blockPosition_ = 0;
      RunBlock();
    }
  }
}

void StandaloneHost::RunBlock() noexcept {
  plug_->ProcessFromHost(inputPointers_.data(), outputPointers_.data(),
                         static_cast<int>(kBlockFrames));
  samplesElapsed_.fetch_add(kBlockFrames, std::memory_order_relaxed);
}

// ---- MIDI ----

bool StandaloneHost::OpenMidi() {
  if (noIO_ || !screenshotPath_.empty()) return true;
  midiWanted_ = true;
  CreateMidiObjects();
  return midiIn_ && midiOut_;
}

void StandaloneHost::CreateMidiObjects() {
  const auto create = [this](auto& port, const char* clientName) {
    using Port = typename std::remove_reference_t<decltype(port)>::element_type;
    if (port) return;
    if (SequencerPresent()) port = CreateMidiPort<Port>(RtMidi::LINUX_ALSA, clientName);
    if (!port && (jackWatch_.IsOpen() || jackWatch_.Open())) {
      port = CreateMidiPort<Port>(RtMidi::UNIX_JACK, clientName);
    }
  };
  const bool hadInput = midiIn_ != nullptr;
  create(midiIn_, "RtMidi Input Client");
  if (midiIn_ && !hadInput) {
    // System-exclusive messages are wanted; timing clock and active sensing are not.
    midiIn_->ignoreTypes(false, true, true);
    midiIn_->setCallback(&StandaloneHost::MidiInputCallback, this);
  }
  create(midiOut_, "RtMidi Output Client");
}

bool StandaloneHost::MidiUsesJack() const {
  return (midiIn_ && midiIn_->getCurrentApi() == RtMidi::UNIX_JACK) ||
         (midiOut_ && midiOut_->getCurrentApi() == RtMidi::UNIX_JACK);
}

bool StandaloneHost::MidiReachable() const {
  return !MidiUsesJack() || !jackWatch_.IsLost();
}

void StandaloneHost::ReplaceStaleJackClients(bool reconnect) {
  if (jackWatch_.IsOpen() && jackWatch_.IsLost()) {
    // The server went away: every client of it is closed before this process opens a
    // client of another server. The device layer closes a JACK stream itself when its
    // server shuts down; it gets the time to finish before the stream is closed here.
    if (UsesJack()) {
      // Streams stay open only while they run, so an open one is being closed there.
      for (int poll = 0; poll < kStallPolls && dac_->isStreamOpen(); ++poll) {
        std::this_thread::sleep_for(kPollInterval);
      }
      AbandonStream();
    }
    if (MidiUsesJack()) {
      midiIn_.reset();
      midiOut_.reset();
      midiInputNames_.clear();
      midiOutputNames_.clear();
    }
    jackWatch_.Close();
  }
  const bool midiMissing = midiWanted_ && (!midiIn_ || !midiOut_) && !SequencerPresent();
  if (!reconnect || jackWatch_.IsOpen() || !(UsesJack() || midiMissing) || !jackWatch_.Open()) {
    return;
  }
  // A JACK server runs (again): MIDI that waited for it is made, and the stored ports open.
  if (!midiMissing) return;
  CreateMidiObjects();
  ProbeMidiPortsNow();
  for (const reef::ERoute direction : {reef::kInput, reef::kOutput}) {
    const std::string& name =
        direction == reef::kInput ? current_.midiInputDevice : current_.midiOutputDevice;
    const int port = FindMidiPort(direction, name);
    if (port > 0) OpenPort(direction, port);
  }
}

void StandaloneHost::ProbeMidiPortsNow() {
  if (!midiIn_ || !midiOut_) {
    midiInputNames_.clear();
    midiOutputNames_.clear();
    return;
  }
  if (MidiReachable()) {
    ListMidiPorts(*midiIn_, midiInputNames_);
    ListMidiPorts(*midiOut_, midiOutputNames_);
  } else {
    // Asking JACK MIDI objects without a server for ports makes them try to connect again.
    midiInputNames_.assign(1, "off");
    midiOutputNames_.assign(1, "off");
  }
}

void StandaloneHost::ProbeMidiPorts() {
  ReplaceStaleJackClients(true);
  ProbeMidiPortsNow();
}

int StandaloneHost::FindMidiPort(reef::ERoute direction, std::string_view name) const {
  if (name == "off") return 0;
  const std::vector<std::string>& names =
      direction == reef::kInput ? midiInputNames_ : midiOutputNames_;
  for (std::size_t p = 1; p < names.size(); ++p) {
    if (names[p] == name) return static_cast<int>(p);
  }
  return -1;
}

bool StandaloneHost::SelectMidiPort(reef::ERoute direction, std::string name) {
  ReplaceStaleJackClients(true);
  int port = FindMidiPort(direction, name);
  if (port == -1) {
    // Without MIDI (switched off, no sequencer and no JACK server) the stored name is kept
    // for when its port exists again.
    const bool available =
        (direction == reef::kInput ? HasMidiInput() : HasMidiOutput()) && MidiReachable();
    if (!available) return false;
    (direction == reef::kInput ? current_.midiInputDevice : current_.midiOutputDevice) = "off";
    WriteSettings();
    port = 0;
  }
  return OpenPort(direction, port);
}

bool StandaloneHost::OpenPort(reef::ERoute direction, int port) {
  if (port > 0 && !MidiReachable()) return false;
  try {
    if (direction == reef::kInput) {
      if (!midiIn_) return false;
      midiIn_->closePort();
      if (port > 0) midiIn_->openPort(static_cast<unsigned>(port - 1), "RtMidi Input");
    } else {
      if (!midiOut_) return false;
      midiOut_->closePort();
      if (port > 0) midiOut_->openPort(static_cast<unsigned>(port - 1), "RtMidi Output");
    }
  } catch (const RtMidiError&) {
    return false;
  }
  return true;
}

void StandaloneHost::MidiInputCallback(double, std::vector<unsigned char>* message,
                                       void* userData) {
  auto& host = *static_cast<StandaloneHost*>(userData);
  if (!message || message->empty() || host.ignoreMidi_.load()) return;
  const std::size_t size = message->size();
  const unsigned char* bytes = message->data();
  if (size < 4) {
    reef::IMidiMsg msg;
    msg.offset = 0;
    msg.status = bytes[0];
    msg.data1 = size > 1 ? bytes[1] : 0;
    msg.data2 = size > 2 ? bytes[2] : 0;
    host.plug_->EnqueueMidiFromHost(msg);
  } else if (host.sysExScratch_.Assign(0, bytes, size)) {
    host.plug_->EnqueueSysExFromHost(host.sysExScratch_);
  }
}

bool StandaloneHost::SendMidiBytes(const std::uint8_t* data, int size) {
  if (!midiOut_ || size < 1) return false;
  try {
    midiOut_->sendMessage(data, static_cast<std::size_t>(size));
  } catch (const RtMidiError&) {
    return false;
  }
  return true;
}

} // namespace coral
