#include "app/PreferencesDialog.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Application.h"

namespace coral {
namespace {

constexpr int kMidiChannels = 16;

GtkWidget* Label(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.f);
  return label;
}

GtkWidget* Group(const char* title, GtkWidget* grid) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_set_border_width(GTK_CONTAINER(grid), 8);
  gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  gtk_container_add(GTK_CONTAINER(frame), grid);
  return frame;
}

std::string ActiveText(GtkComboBox* list) {
  gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(list));
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

// The rates both devices support, in the input device's order.
std::vector<unsigned> CommonRates(const std::optional<AudioDeviceInfo>& input,
                                  const std::optional<AudioDeviceInfo>& output) {
  std::vector<unsigned> rates;
  if (!input || !output) return rates;
  for (const unsigned rate : input->sampleRates) {
    if (std::find(output->sampleRates.begin(), output->sampleRates.end(), rate) !=
        output->sampleRates.end()) {
      rates.push_back(rate);
    }
  }
  return rates;
}

} // namespace

PreferencesDialog::PreferencesDialog(StandaloneHost& host, GtkWindow* parent,
                                     std::function<void(bool ok)> onClosed)
    : host_(host), onClosed_(std::move(onClosed)) {
  dialog_ = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog_), "Preferences");
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);
  gtk_window_set_transient_for(GTK_WINDOW(dialog_), parent);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog_),
                          parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);

  driver_ = List("driver-type", OnDriver);
  inputDevice_ = List("input-device", OnDevice);
  inputLeft_ = List("input-left", OnLeftChannel);
  inputRight_ = List("input-right", OnRightChannel);
  outputDevice_ = List("output-device", OnDevice);
  outputLeft_ = List("output-left", OnLeftChannel);
  outputRight_ = List("output-right", OnRightChannel);
  bufferSize_ = List("buffer-size", OnBufferSize);
  sampleRate_ = List("sampling-rate", OnSampleRate);
  config_ = gtk_button_new_with_label("Config...");
  gtk_widget_set_name(config_, "config");
  midiInput_ = List("midi-input-device", OnMidiPort);
  midiOutput_ = List("midi-output-device", OnMidiPort);
  midiInputChannel_ = List("midi-input-channel", OnMidiChannel);
  midiOutputChannel_ = List("midi-output-channel", OnMidiChannel);

  // Left column: driver, devices and channel pairs; right column: buffer size, rate, Config.
  GtkWidget* audio = gtk_grid_new();
  GtkGrid* grid = GTK_GRID(audio);
  gtk_grid_attach(grid, Label("Driver Type"), 0, 0, 2, 1);
  gtk_grid_attach(grid, driver_, 0, 1, 2, 1);
  gtk_grid_attach(grid, Label("Input Device"), 0, 2, 2, 1);
  gtk_grid_attach(grid, inputDevice_, 0, 3, 2, 1);
  gtk_grid_attach(grid, Label("Input 1 (L)"), 0, 4, 1, 1);
  gtk_grid_attach(grid, Label("Input 2 (R)"), 1, 4, 1, 1);
  gtk_grid_attach(grid, inputLeft_, 0, 5, 1, 1);
  gtk_grid_attach(grid, inputRight_, 1, 5, 1, 1);
  gtk_grid_attach(grid, Label("Output Device"), 0, 6, 2, 1);
  gtk_grid_attach(grid, outputDevice_, 0, 7, 2, 1);
  gtk_grid_attach(grid, Label("Output 1 (L)"), 0, 8, 1, 1);
  gtk_grid_attach(grid, Label("Output 2 (R)"), 1, 8, 1, 1);
  gtk_grid_attach(grid, outputLeft_, 0, 9, 1, 1);
  gtk_grid_attach(grid, outputRight_, 1, 9, 1, 1);
  gtk_grid_attach(grid, Label("Buffer Size"), 2, 0, 1, 1);
  gtk_grid_attach(grid, bufferSize_, 2, 1, 1, 1);
  gtk_grid_attach(grid, Label("Sampling Rate"), 2, 2, 1, 1);
  gtk_grid_attach(grid, sampleRate_, 2, 3, 1, 1);
  gtk_grid_attach(grid, config_, 2, 9, 1, 1);

  GtkWidget* midi = gtk_grid_new();
  grid = GTK_GRID(midi);
  gtk_grid_attach(grid, Label("Input Device"), 0, 0, 1, 1);
  gtk_grid_attach(grid, midiInput_, 0, 1, 1, 1);
  gtk_grid_attach(grid, Label("Output Device"), 0, 2, 1, 1);
  gtk_grid_attach(grid, midiOutput_, 0, 3, 1, 1);
  gtk_grid_attach(grid, Label("Input Channel"), 1, 0, 1, 1);
  gtk_grid_attach(grid, midiInputChannel_, 1, 1, 1, 1);
  gtk_grid_attach(grid, Label("Output Channel"), 1, 2, 1, 1);
  gtk_grid_attach(grid, midiOutputChannel_, 1, 3, 1, 1);
  for (GtkWidget* list : {driver_, inputDevice_, outputDevice_, midiInput_, midiOutput_}) {
    gtk_widget_set_hexpand(list, TRUE);
  }

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
  gtk_container_set_border_width(GTK_CONTAINER(content), 8);
  gtk_box_set_spacing(GTK_BOX(content), 8);
  gtk_box_pack_start(GTK_BOX(content), Group("Audio Device Settings", audio), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(content), Group("MIDI Device Settings", midi), TRUE, TRUE, 0);
  const std::pair<const char*, int> buttons[] = {
      {"apply", GTK_RESPONSE_APPLY}, {"ok", GTK_RESPONSE_OK}, {"cancel", GTK_RESPONSE_CANCEL}};
  for (const auto& [name, response] : buttons) {
    GtkWidget* button = gtk_dialog_add_button(
        GTK_DIALOG(dialog_),
        response == GTK_RESPONSE_APPLY ? "Apply" : (response == GTK_RESPONSE_OK ? "OK" : "Cancel"),
        response);
    gtk_widget_set_name(button, name);
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog_), GTK_RESPONSE_OK);
  g_signal_connect(dialog_, "response", G_CALLBACK(OnResponse), this);

  // Opening: drivers, the device-specific lists, buffer sizes, MIDI ports and channels.
  filling_ = true;
  const DeviceSettings& current = host_.Current();
  for (const std::string& name : StandaloneHost::DriverNames()) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(driver_), name.c_str());
  }
  Select(driver_, static_cast<int>(current.driverType));
  filling_ = false;
  FillDeviceControls();
  FillBufferSizes();
  filling_ = true;
  const std::pair<GtkWidget*, const std::vector<std::string>*> ports[] = {
      {midiInput_, &host_.MidiInputNames()}, {midiOutput_, &host_.MidiOutputNames()}};
  for (const auto& [list, names] : ports) {
    for (const std::string& name : *names) {
      gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list), name.c_str());
    }
  }
  SelectText(midiInput_, current.midiInputDevice, 0);
  SelectText(midiOutput_, current.midiOutputDevice, 0);
  for (GtkWidget* list : {midiInputChannel_, midiOutputChannel_}) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list), "all");
    for (int channel = 1; channel <= kMidiChannels; ++channel) {
      gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list), std::to_string(channel).c_str());
    }
  }
  Select(midiInputChannel_, static_cast<int>(current.midiInputChannel));
  Select(midiOutputChannel_, static_cast<int>(current.midiOutputChannel));
  filling_ = false;
  host_.Backup() = current;

  gtk_widget_show_all(dialog_);
}

PreferencesDialog::~PreferencesDialog() {
  if (!dialog_) return;
  g_signal_handlers_disconnect_by_data(dialog_, this);
  gtk_widget_destroy(dialog_);
}

GtkWidget* PreferencesDialog::List(const char* name, void (*onChanged)(GtkComboBox*, gpointer)) {
  GtkWidget* list = gtk_combo_box_text_new();
  gtk_widget_set_name(list, name);
  g_signal_connect(list, "changed", G_CALLBACK(onChanged), this);
  return list;
}

void PreferencesDialog::Select(GtkWidget* list, int index) {
  const bool filling = std::exchange(filling_, true);
  gtk_combo_box_set_active(GTK_COMBO_BOX(list), index);
  filling_ = filling;
}

void PreferencesDialog::SelectText(GtkWidget* list, const std::string& text, int fallback) {
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(list));
  const int count = gtk_tree_model_iter_n_children(model, nullptr);
  int found = fallback < count ? fallback : -1;
  for (int i = 0; i < count; ++i) {
    GtkTreeIter iter;
    gchar* entry = nullptr;
    gtk_tree_model_iter_nth_child(model, &iter, nullptr, i);
    gtk_tree_model_get(model, &iter, 0, &entry, -1);
    const bool match = entry && text == entry;
    g_free(entry);
    if (match) {
      found = i;
      break;
    }
  }
  Select(list, found);
}

void PreferencesDialog::FillChannelPair(GtkWidget* left, GtkWidget* right, unsigned channels,
                                        unsigned leftChannel, unsigned rightChannel) {
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(left));
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(right));
  for (unsigned channel = 1; channel <= channels; ++channel) {
    const std::string text = std::to_string(channel);
    if (channel < channels) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(left), text.c_str());
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(right), text.c_str());
  }
  Select(left, static_cast<int>(leftChannel) - 1);
  Select(right, static_cast<int>(rightChannel) - 1);
}

void PreferencesDialog::FillDeviceControls() {
  const bool filling = std::exchange(filling_, true);
  const DeviceSettings& current = host_.Current();
  gtk_widget_set_sensitive(inputDevice_, TRUE);
  gtk_widget_set_sensitive(config_, FALSE);

  // Each device is asked once; the back end may open a client for every question.
  const auto fill = [&](GtkWidget* list, const std::vector<unsigned>& ids,
                        const std::string& stored) -> std::optional<AudioDeviceInfo> {
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(list));
    std::vector<std::optional<AudioDeviceInfo>> infos;
    for (const unsigned id : ids) {
      infos.push_back(host_.GetDeviceInfo(id));
      gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list),
                                     infos.back() ? infos.back()->name.c_str() : "");
    }
    SelectText(list, stored, 0);
    const int active = gtk_combo_box_get_active(GTK_COMBO_BOX(list));
    return active >= 0 ? infos[static_cast<std::size_t>(active)] : std::nullopt;
  };
  const std::optional<AudioDeviceInfo> input =
      fill(inputDevice_, host_.InputDeviceIds(), current.audioInputDevice);
  const std::optional<AudioDeviceInfo> output =
      fill(outputDevice_, host_.OutputDeviceIds(), current.audioOutputDevice);

  FillChannelPair(inputLeft_, inputRight_, input ? input->inputChannels : 0,
                  current.inputChannelLeft, current.inputChannelRight);
  FillChannelPair(outputLeft_, outputRight_, output ? output->outputChannels : 0,
                  current.outputChannelLeft, current.outputChannelRight);

  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(sampleRate_));
  for (const unsigned rate : CommonRates(input, output)) {
    const std::string text = std::to_string(rate);
    gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(sampleRate_), text.c_str(), text.c_str());
  }
  SelectText(sampleRate_, std::to_string(current.sampleRate), -1);
  filling_ = filling;
}

void PreferencesDialog::FillBufferSizes() {
  const bool filling = std::exchange(filling_, true);
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(bufferSize_));
  for (const char* choice : StandaloneHost::kBufferSizeChoices) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(bufferSize_), choice);
  }
  SelectText(bufferSize_, std::to_string(static_cast<int>(host_.Current().bufferSize)), -1);
  filling_ = filling;
}

void PreferencesDialog::OnDriver(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  const int index = gtk_combo_box_get_active(list);
  if (self->filling_ || index < 0) return;
  DeviceSettings& current = self->host_.Current();
  if (static_cast<std::uint32_t>(index) == current.driverType) return;
  Guarded([&] {
    current.driverType = static_cast<std::uint32_t>(index);
    self->host_.CreateAudioSystem();
    self->host_.ProbeAudioDevices();
    const std::vector<unsigned>& inputs = self->host_.InputDeviceIds();
    const std::vector<unsigned>& outputs = self->host_.OutputDeviceIds();
    if (!inputs.empty()) current.audioInputDevice = self->host_.DeviceName(inputs.front());
    if (!outputs.empty()) current.audioOutputDevice = self->host_.DeviceName(outputs.front());
    current.outputChannelLeft = 1;
    current.outputChannelRight = 2;
    self->FillDeviceControls();
    self->FillBufferSizes();
  });
}

void PreferencesDialog::OnDevice(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  if (self->filling_ || gtk_combo_box_get_active(list) < 0) return;
  DeviceSettings& current = self->host_.Current();
  if (GTK_WIDGET(list) == self->inputDevice_) {
    current.audioInputDevice = ActiveText(list);
    current.inputChannelLeft = 1;
    current.inputChannelRight = 2;
  } else {
    current.audioOutputDevice = ActiveText(list);
    current.outputChannelLeft = 1;
    current.outputChannelRight = 2;
  }
  Guarded([&] { self->FillDeviceControls(); });
}

void PreferencesDialog::OnLeftChannel(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  const int index = gtk_combo_box_get_active(list);
  if (self->filling_ || index < 0) return;
  const bool input = GTK_WIDGET(list) == self->inputLeft_;
  DeviceSettings& current = self->host_.Current();
  (input ? current.inputChannelLeft : current.outputChannelLeft) = index + 1;
  (input ? current.inputChannelRight : current.outputChannelRight) = index + 2;
  self->Select(input ? self->inputRight_ : self->outputRight_, index + 1);
}

void PreferencesDialog::OnRightChannel(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  if (self->filling_) return;
  // The right channel follows the left one: a choice made here goes back to the stored one.
  const DeviceSettings& current = self->host_.Current();
  const bool input = GTK_WIDGET(list) == self->inputRight_;
  self->Select(GTK_WIDGET(list),
               static_cast<int>(input ? current.inputChannelRight : current.outputChannelRight) -
                   1);
}

void PreferencesDialog::OnBufferSize(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  const int index = gtk_combo_box_get_active(list);
  if (self->filling_ || index < 0) return;
  self->host_.Current().bufferSize =
      static_cast<std::uint32_t>(std::stoul(StandaloneHost::kBufferSizeChoices[index]));
}

void PreferencesDialog::OnSampleRate(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  const char* rate = gtk_combo_box_get_active_id(list);
  if (self->filling_ || !rate) return;
  self->host_.Current().sampleRate = static_cast<std::uint32_t>(std::stoul(rate));
}

void PreferencesDialog::OnMidiPort(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  if (self->filling_ || gtk_combo_box_get_active(list) < 0) return;
  const bool input = GTK_WIDGET(list) == self->midiInput_;
  const std::string name = ActiveText(list);
  DeviceSettings& current = self->host_.Current();
  (input ? current.midiInputDevice : current.midiOutputDevice) = name;
  Guarded([&] { self->host_.SelectMidiPort(input ? reef::kInput : reef::kOutput, name); });
}

void PreferencesDialog::OnMidiChannel(GtkComboBox* list, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  const int index = gtk_combo_box_get_active(list);
  if (self->filling_ || index < 0) return;
  (GTK_WIDGET(list) == self->midiInputChannel_ ? self->host_.Current().midiInputChannel
                                               : self->host_.Current().midiOutputChannel) =
      static_cast<std::uint32_t>(index);
}

void PreferencesDialog::OnResponse(GtkDialog*, gint response, gpointer data) {
  auto* self = static_cast<PreferencesDialog*>(data);
  Guarded([&] { self->Respond(response); });
}

void PreferencesDialog::Respond(int response) {
  if (!dialog_) return;
  switch (response) {
  case GTK_RESPONSE_APPLY:
    host_.RestartAudio();
    return;
  case GTK_RESPONSE_OK:
    if (!host_.Current().SameAs(host_.Active())) host_.RestartAudio();
    Close(true);
    return;
  default: { // Cancel, Escape or the window's close button
    DeviceSettings& current = host_.Current();
    const DeviceSettings& backup = host_.Backup();
    if (!current.SameAudio(backup) || !current.SameMidi(backup)) {
      current = backup;
      host_.CreateAudioSystem();
      host_.ProbeAudioDevices();
      host_.RestartAudio();
    }
    Close(false);
    return;
  }
  }
}

void PreferencesDialog::Close(bool ok) {
  GtkWidget* dialog = std::exchange(dialog_, nullptr);
  g_signal_handlers_disconnect_by_data(dialog, this);
  gtk_widget_destroy(dialog);
  if (onClosed_) onClosed_(ok);
}

} // namespace coral
