#include "editor/HelpTexts.h"

#include <array>

#include "editor/Deployment.h"
#include "editor/ViewState.h"
#include "engine/ParamTable.h"

namespace coral {

namespace {

constexpr std::array<std::string_view, kNumGlobalParams> kGlobalHelp = {
    "Minimum Phase uses biquads. Linear Phase FIR uses a real symmetric static kernel; active "
    "per-band dynamics add minimum-phase correction, so dynamic operation is mixed phase. Both "
    "modes have fixed latency.",
    "Trim the processed input and internal detectors. The aligned dry reference remains untrimmed.",
    "Trim normal mixed output. No hidden peak limiter or loudness normalization is applied.",
    "Blend aligned dry and processed sound. Mix 0 is exact delayed dry with neutral Output, Delta "
    "off and all band Listen switches off.",
    "Scale static and dynamic band gains from 0 to 200%. Graph responses follow Scale; physical "
    "gain controls retain their stored values.",
    "Link stereo band detector levels. Individual band Channel controls determine which component "
    "is processed.",
    "Return exact delayed, untrimmed dry while keeping the engine warm. Fixed latency remains in "
    "both phase modes.",
    "Monitor aligned dry minus wet. Active band Listen takes priority. Bypass overrides both "
    "monitor modes.",
    "Show actual windowed input and output FFT spectra. These are dBFS spectra, separate from the "
    "EQ transfer curves in dB. No idle waveform is synthesized.",
    "Choose the smoothing speed of the actual spectral analyzer, not the EQ or compression timing.",
    "Trim the band detector signal for both Internal and External sources, including Listen. "
    "Missing auxiliary input falls back visibly to Internal; connected silence stays External.",
    "Choose the EQ transfer display range: +/-12, 24 or 36 dB. The separate spectrum axis remains "
    "-96 to 0 dBFS.",
};

constexpr std::array<std::string_view, kBandFields> kBandHelp = {
    "Enable or bypass this stable band slot. Disabled slots keep their automation IDs and "
    "settings; deletion never renumbers other bands.",
    "Choose Bell, Low Shelf, High Shelf, High Pass, Low Pass, Notch, Band Pass or Tilt. Dynamics "
    "apply to Bell, shelves and Tilt only.",
    "Set frequency from 20 Hz to 22 kHz. Enter Hz or kHz. Graph nodes use a logarithmic frequency "
    "axis; frequencies above the current graph limit remain editable here.",
    "Set static gain from -24 to +24 dB. Active for Bell, shelves and Tilt. Global Scale affects "
    "the actual response and node position.",
    "Set filter Q from 0.15 to 30. Higher values concentrate the response. Wheel over a node to "
    "adjust Q; Shift is finer.",
    "Select 12, 24, 36 or 48 dB/oct high-pass or low-pass order. Other filter types do not use "
    "Slope.",
    "Enable real band-local dynamics for Bell, shelves or Tilt. In FIR mode the dynamic correction "
    "is minimum phase, so the combined response is mixed phase.",
    "Set the band detector threshold in dBFS. Lower it to involve more of that frequency region.",
    "Set the band compression ratio above threshold. This changes this band's gain, not a "
    "broadband compressor.",
    "Set the soft-knee width around the band threshold in dB.",
    "Set band gain response attack in milliseconds. Enter ms or s; Shift-drag is finer.",
    "Set band gain recovery in milliseconds. Enter ms or s.",
    "Bound the dynamic cut or boost in dB. Drag the selected band's square range handle for the "
    "same stable parameter.",
    "Select Downward Cut or Upward Boost. The signed live band readout reports actual dynamic "
    "gain, negative for cut and positive for boost.",
    "Use the internal pre-EQ programme or a genuine external auxiliary detector for this band. "
    "Missing external connection falls back; connected silence does not.",
    "Apply this band to Stereo, Left, Right, Mid or Side. The graph transfer is left-output row "
    "energy for uncorrelated equal-power stereo, not a coherent sum.",
    "Listen to the actual frequency-limited detector region, aligned to the output. External audio "
    "is audible only through explicit Listen. Bypass overrides Listen.",
};

} // namespace

const HelpPair kInitialHelp = {
    "SCULPT THE SPECTRUM",
    "Drag nodes for frequency and gain; wheel adjusts Q. Double-click an empty graph area to add a "
    "stable slot. Select Dynamics for per-band response and Range; Shift is finer."};
const HelpPair kShapeTabHelp = {
    "BAND / SHAPE",
    "Frequency, Gain and Q shape the selected slot. Slope applies only to high-pass and low-pass "
    "filters; dynamics timing is active only for enabled gain filters."};
const HelpPair kDynamicsTabHelp = {
    "BAND / DYNAMICS",
    "Enable Dynamics for Bell, shelves or Tilt, then set Threshold, Ratio and Range. The graph "
    "square adjusts Range; live signed band gain is actual engine data."};
const HelpPair kGlobalTabHelp = {
    "GLOBAL / SIGNAL AND SCALE",
    "Input, Output, Mix, Scale, stereo detector linking and auxiliary trim are global processing "
    "controls. Phase and analyzer display preferences are above the graph."};
const HelpPair kSelectedBandHelp = {
    "SELECTED BAND / STABLE SLOT",
    "Select Shape or Dynamics below. Each numbered slot keeps the same host parameter IDs after "
    "enabling, deleting or changing filter type."};
const HelpPair kAddedBandHelp = {
    "ADDED STABLE BAND SLOT",
    "This reused slot keeps its original host IDs. Drag the node, wheel Q, or edit physical values "
    "below. Existing enabled bands are not renumbered."};
const HelpPair kNoFreeSlotHelp = {
    "TWELVE SLOTS IN USE", "Disable or delete a band to reuse its stable slot. No extra host IDs "
                           "are created and existing automation never moves to another slot."};
const HelpPair kBandDeletedHelp = {
    "BAND DISABLED / IDS PRESERVED",
    "Deletion disables the selected slot and its Listen switch. Other band parameters and all "
    "automation IDs remain in place; Enable restores this slot's stored settings."};

const HelpPair kInvalidValueHelp = {
    "VALID PHYSICAL VALUES", "Enter a finite number with its displayed unit. Frequency accepts "
                             "Hz/kHz; timing accepts ms/s. Invalid input leaves the value "
                             "unchanged."};
const HelpPair kABSwitchHelp = {
    "A/B COMPARISON",
    "Switch complete216-parameter settings, including all12 bands and global display "
    "preferences. COPY clones the current slot into the other slot."};
const HelpPair kCopyHelp = {
    "COPY CURRENT SETTINGS",
    "Copy all12 bands and global preferences into the other A/B slot, then compare a change."};
const HelpPair kAddBandHelp = {
    "ADD BAND", "Add the next disabled stable slot at1kHz/0dB. Double-click an empty graph area "
                "to place a new Bell at that frequency and gain. Maximum12 slots."};
const HelpPair kDeleteBandHelp = {"DELETE / DISABLE SLOT",
                                  "Disable the selected slot and its Listen switch. No band or "
                                  "host automation ID is renumbered."};
const HelpPair kRecipeMenuHelp = {
    "32 FACTORY RECIPES",
    "Choose detailed neutral, vocal, de-ess, instrument, mix, FIR, dehum and creative starting "
    "points. Custom means current controls differ from the selected recipe."};

const std::string_view kBandSlotTooltip = "Select this stable band. Live signed dB is actual "
                                          "dynamic gain. Enable/Delete affects this slot without "
                                          "renumbering others.";
const std::string_view kRecipeMenuTooltip =
    "32 complete factory recipes. Edits display Custom; all12 stable slots are saved.";
const std::string_view kBrandTooltip = "Open KESTRILAB plugins and support.";

const std::string& BrandHelpText() {
  static const std::string text = std::string("Independent audio tools. Open ") + kMakerWebDomain +
                                  " for plugins, downloads and support.";
  return text;
}

const std::string& SupportHelpText() {
  static const std::string text = std::string("Contact ") + kSupportEmail +
                                  " with your Windows version, DAW and a description of the issue.";
  return text;
}

std::string_view ParamHelpText(int paramIdx) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return {};
  if (paramIdx < kNumGlobalParams) return kGlobalHelp[paramIdx];
  return kBandHelp[(paramIdx - kNumGlobalParams) % kBandFields];
}

const HelpPair& TabHelp(int tab) {
  static const std::array<const HelpPair*, 3> kTabs = {&kShapeTabHelp, &kDynamicsTabHelp,
                                                       &kGlobalTabHelp};
  return *kTabs[tab == kDynamicsTab ? 1 : tab == kGlobalTab ? 2 : 0];
}

} // namespace coral
