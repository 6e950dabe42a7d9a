#pragma once
// The framework's basic vocabulary: the host sample type, signal directions, the sources of a
// parameter change, the plug-in's configuration record and the host's instance information.

namespace reef {

using sample = double; // host audio buffers carry 64-bit floats

enum ERoute { kInput = 0, kOutput = 1 };

// Who changed a parameter.
enum EParamSource { kReset = 0, kHost, kPresetRecall, kUI, kDelegate, kRecompile, kUnknown };

inline constexpr const char* kParamSourceTexts[] = {"Reset",           "Host",      "Preset", "UI",
                                                    "Editor Delegate", "Recompile", "Unknown"};

// Text of a change source; "Unknown" for a code outside 0..6.
constexpr const char* ParamSourceText(int source) {
  return source >= kReset && source <= kUnknown ? kParamSourceTexts[source] : "Unknown";
}

// Kind of plug-in as told to hosts.
enum EPlugType { kEffect = 0, kInstrument = 1 };

// The plug-in's description, handed to the base classes at construction. All texts must
// outlive the plug-in object (string literals in practice).
struct IPluginConfig {
  int nParams = 0;
  int nPresets = 0;
  const char* channelIOStr = "";
  const char* pluginName = "";
  const char* productName = "";
  const char* mfrName = "";
  int vendorVersion = 0; // major << 16 | minor << 8 | patch
  int uniqueID = 0;      // four-character plug-in code
  int mfrID = 0;         // four-character maker code
  int latency = 0;       // samples
  bool plugDoesMidiIn = false;
  bool plugDoesMidiOut = false;
  bool plugDoesMPE = false;
  bool plugDoesChunks = false;
  EPlugType plugType = kEffect;
  bool plugHasUI = false;
  int plugWidth = 0;
  int plugHeight = 0;
  int plugMinWidth = 0;
  int plugMinHeight = 0;
  int plugMaxWidth = 0;
  int plugMaxHeight = 0;
  bool plugHostResize = false;
  const char* bundleID = "";
  const char* appGroupID = "";
};

// Four ASCII characters packed into an int, first character in the highest byte.
constexpr int FourCharCode(const char (&code)[5]) {
  return static_cast<int>(static_cast<unsigned>(static_cast<unsigned char>(code[0])) << 24 |
                          static_cast<unsigned>(static_cast<unsigned char>(code[1])) << 16 |
                          static_cast<unsigned>(static_cast<unsigned char>(code[2])) << 8 |
                          static_cast<unsigned>(static_cast<unsigned char>(code[3])));
}

// What the host knows about the running instance; handed to the graphics context when the
// editor is created.
struct InstanceInfo {
  void* appInstance = nullptr;
};

} // namespace reef
