#pragma once
// The Preferences dialog: a modal GtkDialog "Preferences" over the main window that edits the
// host's current device settings. Group "Audio Device Settings": Driver Type, Input Device
// with Input 1 (L) and Input 2 (R), Output Device with Output 1 (L) and Output 2 (R), Buffer
// Size, Sampling Rate and a "Config..." button (disabled); group "MIDI Device Settings":
// Input Device, Output Device, Input Channel, Output Channel; buttons Apply, OK and Cancel.
//
// Every list acts on the host at once: a new driver re-creates and re-probes the audio back
// end, a device choice resets its channel pair, a left channel takes the right one along (a
// right channel chosen on its own snaps back), a MIDI port opens at once. Apply restarts
// audio with the settings shown; OK restarts it when they differ from the running ones and
// closes; Cancel closes and, when anything changed, restores the settings from before the
// dialog and restarts audio with them (MIDI ports opened meanwhile stay open).
//
// The widgets carry names for tools that drive the dialog: "driver-type", "input-device",
// "input-left", "input-right", "output-device", "output-left", "output-right", "buffer-size",
// "sampling-rate", "config", "midi-input-device", "midi-output-device", "midi-input-channel",
// "midi-output-channel", and the buttons "apply", "ok", "cancel".
//
// Threads: user-interface thread.

#include <functional>

#include <gtk/gtk.h>

#include "app/StandaloneHost.h"

namespace coral {

class PreferencesDialog {
public:
  // Fills the dialog from host.Current() and keeps a copy of it for Cancel. `onClosed` runs
  // once the dialog has gone, with true after OK (the caller then saves the settings).
  PreferencesDialog(StandaloneHost& host, GtkWindow* parent, std::function<void(bool ok)> onClosed);
  // Takes a dialog still open away without touching the settings (the application is
  // closing).
  ~PreferencesDialog();
  PreferencesDialog(const PreferencesDialog&) = delete;
  PreferencesDialog& operator=(const PreferencesDialog&) = delete;

  bool IsOpen() const { return dialog_ != nullptr; }
  GtkWidget* Widget() const { return dialog_; }
  // Does what the button with that response does (GTK_RESPONSE_APPLY, _OK, _CANCEL).
  void Respond(int response);

private:
  GtkWidget* List(const char* name, void (*onChanged)(GtkComboBox*, gpointer));
  void FillDeviceControls();
  void FillBufferSizes();
  void FillChannelPair(GtkWidget* left, GtkWidget* right, unsigned channels, unsigned leftChannel,
                       unsigned rightChannel);
  void Select(GtkWidget* list, int index);
  void SelectText(GtkWidget* list, const std::string& text, int fallback);
  void Close(bool ok);

  static void OnDriver(GtkComboBox* list, gpointer data);
  static void OnDevice(GtkComboBox* list, gpointer data);
  static void OnLeftChannel(GtkComboBox* list, gpointer data);
  static void OnRightChannel(GtkComboBox* list, gpointer data);
  static void OnBufferSize(GtkComboBox* list, gpointer data);
  static void OnSampleRate(GtkComboBox* list, gpointer data);
  static void OnMidiPort(GtkComboBox* list, gpointer data);
  static void OnMidiChannel(GtkComboBox* list, gpointer data);
  static void OnResponse(GtkDialog* dialog, gint response, gpointer data);

  StandaloneHost& host_;
  std::function<void(bool ok)> onClosed_;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* driver_ = nullptr;
  GtkWidget* inputDevice_ = nullptr;
  GtkWidget* inputLeft_ = nullptr;
  GtkWidget* inputRight_ = nullptr;
  GtkWidget* outputDevice_ = nullptr;
  GtkWidget* outputLeft_ = nullptr;
  GtkWidget* outputRight_ = nullptr;
  GtkWidget* bufferSize_ = nullptr;
  GtkWidget* sampleRate_ = nullptr;
  GtkWidget* config_ = nullptr;
  GtkWidget* midiInput_ = nullptr;
  GtkWidget* midiOutput_ = nullptr;
  GtkWidget* midiInputChannel_ = nullptr;
  GtkWidget* midiOutputChannel_ = nullptr;
  // Lists are being filled: their change signals are the dialog's own doing.
  bool filling_ = false;
};

} // namespace coral
