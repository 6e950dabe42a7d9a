#pragma once
// The standalone application's host: owns the plug-in object, the audio device layer, one
// MIDI input and one MIDI output, and the device choice kept in "settings.ini" in the user's
// configuration folder ("CoralSieve/settings.ini"). It runs the plug-in from the audio
// callback in blocks of exactly 512 frames, forwards incoming MIDI to the plug-in's queues
// and sends the plug-in's MIDI output.
//
// Device buffers that are whole multiples of 512 frames are processed in place as
// consecutive 512-frame blocks. Any other buffer size goes through a fixed 512-frame FIFO:
// the output is then the plug-in's output delayed by a further kFifoDelayFrames frames.
// The stream opens the plug-in's main input pair (one channel on a mono device, which then
// feeds both plug-in inputs) and its output pair (one channel on a mono device, which then
// receives the average); auxiliary inputs receive silence.
//
// Where the device dictates the sample rate or the buffer size (a JACK server runs at its own
// rate and period), the host follows it, stores what it follows and says so. WatchAudio,
// called regularly, restarts a stream whose callbacks stopped, tells when the device or the
// JACK server went away and reconnects when the JACK server runs again. Diagnostics of the
// device libraries stay off the terminal where the libraries allow it.
//
// Threads: every operation runs on the user-interface thread, except AudioCallback (the
// device layer's audio thread) and MidiInputCallback (the MIDI layer's input thread). The
// audio thread allocates nothing, takes no lock and never waits. The user-interface thread
// hands a fade-out to the audio thread through two atomic flags.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "app/DeviceSettings.h"
#include "app/JackServerWatch.h"
#include "core/IPluginApp.h"

class RtAudio;
class RtMidiIn;
class RtMidiOut;

namespace coral {

// Shows the host's messages to the user: the application installs its window, and until one
// is installed the messages go to the standard error stream.
class MessageReporter {
public:
  virtual ~MessageReporter() = default;
  // A message box.
  virtual void ShowError(const std::string& text, const std::string& caption) = 0;
  // How audio is doing, as a sentence for the window to show: a `problem` lasts until the
  // next status replaces it or an empty text clears it; otherwise it is a notice of something
  // the host did on its own.
  virtual void ShowAudioStatus(const std::string& text, bool problem) = 0;
};

// What the device layer reports about one audio device; the name as DeviceName gives it.
struct AudioDeviceInfo {
  std::string name;
  unsigned inputChannels = 0;
  unsigned outputChannels = 0;
  bool isDefaultInput = false;
  bool isDefaultOutput = false;
  std::vector<unsigned> sampleRates; // Hz, in the device layer's order
};

class StandaloneHost final : private reef::IPluginApp::IMidiSender {
public:
  using PlugFactory =
      std::function<std::unique_ptr<reef::IPluginApp>(const reef::InstanceInfo& info)>;

  static constexpr unsigned kBlockFrames = 512;
  static constexpr unsigned kFifoDelayFrames = 512;
  // Buffer sizes offered to the user, as shown.
  static constexpr const char* kBufferSizeChoices[] = {"32",  "64",   "96",   "128",  "192", "256",
                                                       "512", "1024", "2048", "4096", "8192"};
  static constexpr const char* kAudioSettingsMessage = "Please check the audio settings";
  static constexpr const char* kErrorCaption = "Error";

  // Replaces the process-wide host: the previous one is destroyed first, then a new one
  // creates its plug-in object through `factory` (the product's plug-in when empty) and
  // sets every field to its initial value.
  static StandaloneHost& Create(PlugFactory factory = {});
  // The process-wide host, or nullptr.
  static StandaloneHost* Get();
  // Destroys the process-wide host (see the destructor).
  static void Destroy();

  // Teardown: MIDI input ignored, audio closed with a fade-out, both MIDI ports closed,
  // then the MIDI output, MIDI input and audio objects destroyed, the plug-in object last.
  ~StandaloneHost() override;
  StandaloneHost(const StandaloneHost&) = delete;
  StandaloneHost& operator=(const StandaloneHost&) = delete;

  // Start-up: tells the plug-in its host, reads the settings, creates and probes the audio
  // system (on a first run choosing a back end that has devices and a sample rate both
  // devices support), opens MIDI, selects the stored MIDI ports and resets and activates
  // the plug-in. False only when the settings cannot be read; the caller then restarts
  // audio.
  bool Init();

  // Reads "settings.ini" into the current settings, creating the folder when it is missing
  // and keeping the defaults when the file is missing; then rewrites the file. False when
  // the user's configuration folder gives no usable path (empty, or 2048 bytes or longer).
  bool ReadSettings();
  // Writes the current settings (through a temporary file and a rename); false when the
  // path is unknown or the file cannot be written.
  bool WriteSettings();

  // Closes any stream, destroys the audio device object and, unless audio is switched off,
  // creates one for the back end current().driverType names (0 when out of range).
  void CreateAudioSystem();
  // Lists the devices with input channels and those with output channels, in the device
  // layer's order, and records the default devices the layer marks.
  void ProbeAudioDevices();
  // The device's name with everything up to and including the first ':' removed; empty for
  // an unknown id.
  std::string DeviceName(unsigned id);
  // The first device whose DeviceName equals `name` byte for byte.
  std::optional<unsigned> FindAudioDevice(std::string_view name);
  std::optional<AudioDeviceInfo> GetDeviceInfo(unsigned id);
  // The audio back ends, by display name; current().driverType indexes this list.
  static std::vector<std::string> DriverNames();

  // Resolves the stored device names (a name that matches no device, or a device without
  // channels on its side, falls back to that side's default device, whose name is then
  // stored and saved) and (re)opens the stream. Without a device on either side the
  // message "Please check the audio settings" is shown and audio stays closed. A JACK
  // server's rate replaces the stored one, and the buffer size the device settles on
  // replaces the stored one, each saved and told as a notice; a stream that does not start
  // is told as a problem. True at once when audio is switched off.
  bool RestartAudio();
  // Supervises the stream the last RestartAudio asked for; the application calls it every
  // kWatchIntervalMs. A stream whose callbacks stopped for kStallTime is restarted; one whose
  // JACK server changed its period is replaced at the new period once the server has released
  // its client (told as a problem after kReleaseTime). A stream that stopped is told as a problem;
  // with JACK the host reconnects as soon as a server runs again, with other back ends it tries
  // again every kRetryInterval. Nothing while no stream is wanted (before RestartAudio, after
  // CreateAudioSystem).
  void WatchAudio();
  static constexpr int kWatchIntervalMs = 250;
  static constexpr std::chrono::milliseconds kStallTime{1000};
  static constexpr std::chrono::milliseconds kRetryInterval{2000};
  static constexpr std::chrono::milliseconds kReleaseTime{10000};
  // Closes any stream, resets the plug-in at `sampleRate`, opens and starts a stream of
  // 64-bit non-interleaved samples. False (no message, no stream left open) when the device
  // layer refuses; on success the current settings become the active ones.
  bool OpenAudioStream(unsigned inputId, unsigned outputId, unsigned sampleRate,
                       unsigned bufferFrames);
  // Stops a running stream after one faded-out callback, then closes it. Gives up waiting
  // for the fade-out when the stream stops on its own or no callback arrives for
  // kStallPolls × 10 ms.
  void CloseAudio();

  // Creates the MIDI input and output (the ALSA sequencer, else JACK MIDI); false when one
  // of them cannot be created on either. True at once when MIDI is switched off.
  bool OpenMidi();
  // Lists "off" and then every port name, for each direction; only when both MIDI objects
  // exist.
  void ProbeMidiPorts();
  // 0 for "off", p + 1 for the port at index p whose name matches byte for byte, else -1.
  int FindMidiPort(reef::ERoute direction, std::string_view name) const;
  // Opens the named port of that direction after closing the open one ("off" only closes).
  // A name that matches no port becomes "off" and is saved, unless MIDI is unavailable
  // (switched off, or neither the sequencer nor a JACK server): then the name is kept for
  // when its port exists. False without the MIDI object of that direction or when the port
  // cannot be opened.
  bool SelectMidiPort(reef::ERoute direction, std::string name);

  // The device layer's audio callback (`userData` is the host). Fades in the first callback
  // of a stream and fades out the last one before CloseAudio stops it, then outputs
  // silence. Always answers 0.
  static int AudioCallback(void* outputBuffer, void* inputBuffer, unsigned nFrames,
                           double streamTime, unsigned status, void* userData);
  // The MIDI layer's input callback (`userData` is the host): 1 to 3 bytes become a short
  // message, 4 to 512 bytes a system-exclusive record, both queued for the plug-in at
  // offset 0; empty and longer messages are dropped, as are all while tearing down.
  static void MidiInputCallback(double timeStamp, std::vector<unsigned char>* message,
                                void* userData);

  // Sets up the callback state for a stream whose device opened `deviceInputs` input and
  // `deviceOutputs` output channels with buffers of `bufferFrames` frames at `sampleRate`:
  // clears the counters and fade flags, resets the plug-in and sizes the pointer lists and
  // the FIFO. OpenAudioStream does this around opening the device; a caller that drives
  // AudioCallback itself calls it directly. Allocates.
  void PrepareStream(unsigned deviceInputs, unsigned deviceOutputs, unsigned bufferFrames,
                     double sampleRate);
  // Asks the audio callback to fade out; the callback then reports IsFadeOutDone.
  void BeginFadeOut() { exiting_.store(true); }
  bool IsFadeOutDone() const { return audioDone_.load(); }

  // Number of 10 ms polls without a callback after which CloseAudio stops waiting.
  static constexpr int kStallPolls = 200;

  reef::IPluginApp& Plug() { return *plug_; }
  // The settings being edited and used; a copy taken when the Preferences dialog opens; the
  // settings of the last stream that started.
  DeviceSettings& Current() { return current_; }
  DeviceSettings& Backup() { return backup_; }
  const DeviceSettings& Active() const { return active_; }

  // Audio and MIDI are never opened (command-line switch).
  void SetNoIO(bool noIO) { noIO_ = noIO; }
  bool NoIO() const { return noIO_; }
  // A screenshot path from the command line; a non-empty one also keeps audio and MIDI shut.
  void SetScreenshotPath(std::string path) { screenshotPath_ = std::move(path); }
  const std::string& ScreenshotPath() const { return screenshotPath_; }
  // Where the messages for the user go; nullptr restores the standard error stream.
  void SetReporter(MessageReporter* reporter);

  const std::string& SettingsPath() const { return settingsPath_; }
  const std::vector<unsigned>& InputDeviceIds() const { return inputDeviceIds_; }
  const std::vector<unsigned>& OutputDeviceIds() const { return outputDeviceIds_; }
  std::optional<unsigned> DefaultInputDevice() const { return defaultInputDevice_; }
  std::optional<unsigned> DefaultOutputDevice() const { return defaultOutputDevice_; }
  const std::vector<std::string>& MidiInputNames() const { return midiInputNames_; }
  const std::vector<std::string>& MidiOutputNames() const { return midiOutputNames_; }

  bool HasAudioSystem() const { return dac_ != nullptr; }
  bool HasMidiInput() const { return midiIn_ != nullptr; }
  bool HasMidiOutput() const { return midiOut_ != nullptr; }
  bool IsStreamRunning() const;
  // The buffer size the device layer settled on for the last stream.
  unsigned BufferFrames() const { return bufferFrames_; }
  double SampleRate() const { return sampleRate_; }
  // Frames handed to the plug-in since the stream opened (counts whole 512-frame blocks).
  std::uint32_t SamplesElapsed() const { return samplesElapsed_.load(); }
  // Callbacks served since the host was created.
  std::uint32_t CallbacksServed() const { return callbacksServed_.load(); }

private:
  explicit StandaloneHost(const PlugFactory& factory);

  bool SendMidiBytes(const std::uint8_t* data, int size) override;

  // The audio back end is JACK.
  bool UsesJack() const;
  // RestartAudio's work; the message box only when `interactive`.
  bool StartAudio(bool interactive);
  // Probes the devices again (ids change as JACK clients come and go) and starts the stream
  // without a message box.
  bool Reconnect();
  // Stops and closes a stream whose callbacks no longer come, without waiting for a fade-out.
  void AbandonStream();
  // The watch's part for a JACK server whose period no longer matches the stream's: true while
  // it handles the stream (waiting for it to close, or replacing it), false otherwise.
  bool ReplaceAfterPeriodChange(std::chrono::steady_clock::time_point now);
  // Whether the thread that ran the stream's first callback still exists.
  bool CallbackThreadRuns() const;
  // The JACK server's rate, when it differs from the stored one and `outputId` is a JACK
  // device (whose only rate is the server's).
  std::optional<unsigned> ServerRate(unsigned outputId);
  void ReportAudio(const std::string& text, bool problem);
  MessageReporter& Reporter();

  // OpenAudioStream's steps before the device opens and after it settled the buffer size.
  void ResetForStream(double sampleRate, unsigned bufferFrames);
  void SizeCallbackBuffers(unsigned deviceInputs, unsigned deviceOutputs);
  // The audio thread's work for one callback.
  void RunCallback(double* out, double* in, unsigned nFrames) noexcept;
  void RunBlocksInPlace(double* out, double* in, unsigned nFrames) noexcept;
  void RunThroughFifo(double* out, double* in, unsigned nFrames) noexcept;
  void RunBlock() noexcept;

  // The device layer's device count, after closing stale JACK clients.
  unsigned DeviceCount();
  // Creates whichever MIDI object is missing: on the ALSA sequencer when the machine has
  // one, else on JACK MIDI when a JACK server runs (then the server is watched).
  void CreateMidiObjects();
  bool MidiUsesJack() const;
  // When the JACK server went away, closes every client of it (the stream, the MIDI
  // objects, the watch) before anything opens a client of another server. With
  // `reconnect`, and a server running again, watches it and remakes missing MIDI objects,
  // lists the ports and reopens the stored ports that exist; stored names are kept.
  void ReplaceStaleJackClients(bool reconnect);
  // Whether the MIDI objects can be asked for ports: not JACK clients, or JACK clients of a
  // running server.
  bool MidiReachable() const;
  void ProbeMidiPortsNow();
  bool OpenPort(reef::ERoute direction, int port);

  // First run: a back end that has devices, and a sample rate both devices support.
  void ChooseFirstRunDevices();
  // The device for one side: the stored name, else the default; none when neither has
  // channels on that side. `renamed` tells whether the stored name was replaced.
  std::optional<unsigned> ResolveDevice(reef::ERoute side, bool& renamed);
  unsigned ChannelCount(unsigned id, reef::ERoute side);

  std::unique_ptr<reef::IPluginApp> plug_;
  std::unique_ptr<RtAudio> dac_;
  std::unique_ptr<RtMidiIn> midiIn_;
  std::unique_ptr<RtMidiOut> midiOut_;
  JackServerWatch jackWatch_;
  MessageReporter* reporter_ = nullptr;

  DeviceSettings current_;
  DeviceSettings backup_;
  DeviceSettings active_;
  bool firstRun_ = false;

  double sampleRate_ = 44100.0;
  std::atomic<std::uint32_t> samplesElapsed_{0};
  std::atomic<std::uint32_t> callbackCount_{0}; // saturates at 1
  std::atomic<pid_t> callbackThread_{0}; // the stream's callback thread (Linux thread id), 0 before
  std::atomic<std::uint32_t> callbacksServed_{0};
  std::uint32_t blockPosition_ = 0; // frames modulo 512; the FIFO position
  unsigned bufferFrames_ = kBlockFrames;

  // Supervision: a stream is wanted (RestartAudio ran), one had started, the callbacks
  // served at the last watch and when that count last moved, when to retry a stream that
  // stopped (none: no retry), and the problem last told.
  using Clock = std::chrono::steady_clock;
  bool audioWanted_ = false;
  bool streamStarted_ = false;
  std::uint32_t watchedServed_ = 0;
  Clock::time_point lastProgress_;
  std::optional<Clock::time_point> nextRetry_;
  std::optional<Clock::time_point> periodSeen_; // when the JACK server's new period showed
  std::string audioStatus_;
  bool midiWanted_ = false; // OpenMidi ran with I/O on

  std::atomic<bool> ignoreMidi_{false};
  std::atomic<bool> exiting_{false};
  std::atomic<bool> audioDone_{false};
  bool noIO_ = false;

  std::optional<unsigned> defaultInputDevice_;
  std::optional<unsigned> defaultOutputDevice_;
  std::string settingsPath_;
  std::string screenshotPath_;
  std::vector<unsigned> inputDeviceIds_;
  std::vector<unsigned> outputDeviceIds_;
  std::vector<std::string> midiInputNames_;
  std::vector<std::string> midiOutputNames_;

  // Callback state, sized by PrepareStream before a stream starts.
  std::vector<reef::sample*> inputPointers_;
  std::vector<reef::sample*> outputPointers_;
  unsigned streamInputs_ = 0; // device channels the stream opened on each side
  unsigned streamOutputs_ = 0;
  unsigned mainInputs_ = 0; // plug-in inputs fed from the device; the rest get silence
  bool useFifo_ = false;
  std::vector<double> silence_;     // kBlockFrames zeros
  std::vector<double> fifoIn_;      // streamInputs_ x kBlockFrames
  std::vector<double> fifoOut_;     // streamOutputs_ x kBlockFrames
  reef::ISysExRecord sysExScratch_; // MIDI input thread
};

} // namespace coral
