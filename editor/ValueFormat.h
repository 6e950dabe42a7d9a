#pragma once
// How the editor prints and reads physical parameter values: every knob's value box, its typed
// entry and any other control that shows a value. The unit comes from the parameter table,
// with two editor overrides: band Ratio reads and prints as ":1", and band Threshold prints as
// "dBFS" (and reads as "dB").
//
// Threads: any (pure functions of the parameter table); the editor calls them on the
// user-interface thread.

namespace coral {

// Writes the display text of plain `value` of parameter `paramIdx` into `text` (`size`
// bytes, always terminated): "2.50 kHz", "440 Hz", "0.50 ms", "4.5 ms", "120 ms", "-18.0 dBFS",
// "50 %", "4.00:1", or "%.2f" for a parameter without a unit.
void FormatValue(int paramIdx, double value, char* text, int size);

// Reads typed `text` as a plain value of parameter `paramIdx` into `value`: a leading decimal
// number (white space before it allowed, exponent allowed; read the same in every locale)
// followed by a unit suffix of the parameter, compared without white space and case ("2.5 k",
// "2500hz", "0.02 s", "-18 dBFS", "4x", "50%"). False, with `value` untouched, for no number,
// a number or scaled result that is not finite, or a suffix that is not the parameter's.
// Out-of-range values are accepted as they are; the caller clamps.
bool ParseValue(int paramIdx, const char* text, double& value);

} // namespace coral
