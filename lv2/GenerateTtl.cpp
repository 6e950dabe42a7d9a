// coral-lv2-ttl BUNDLE_DIR: writes the Turtle files of the LV2 bundle (manifest.ttl,
// coral-sieve.ttl, presets.ttl) from the plug-in object's description, the parameter table,
// the port layout and the factory presets. Run at build time, so the ports and presets a host
// reads always match the code. Exits with 1 and one line on standard error when a parameter has
// a unit label this generator cannot name or a file cannot be written.

#include <charconv>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "core/CoralSieve.h"
#include "core/Recipes.h"
#include "lv2/Lv2Layout.h"

namespace coral::lv2 {
namespace {

constexpr std::string_view kPrefixes = R"(@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .
@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix units: <http://lv2plug.in/ns/extensions/units#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .
@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .

)";

constexpr std::string_view kPluginFile = "coral-sieve.ttl";
constexpr std::string_view kPresetsFile = "presets.ttl";

std::string Uri(std::string_view uri) {
  std::string text(1, '<');
  text += uri;
  text += '>';
  return text;
}

// A resource of the plug-in's own: a port group, its project.
std::string LocalUri(std::string_view name) {
  return Uri(std::string(kPluginUri) + "#" + std::string(name));
}

// A Turtle string literal.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// The shortest decimal text that reads back as exactly `value` in single precision.
std::string Number(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The units-extension term of a unit label; empty for a parameter without unit.
std::optional<std::string_view> UnitTerm(std::string_view label) {
  if (label.empty()) return "";
  if (label == "dB") return "units:db";
  if (label == "Hz") return "units:hz";
  if (label == "%") return "units:pc";
  if (label == "ms") return "units:ms";
  return std::nullopt;
}

std::string BandGroupSymbol(int band) {
  char symbol[8];
  std::snprintf(symbol, sizeof symbol, "b%02d", band + 1);
  return symbol;
}

std::string Base64(const std::uint8_t* data, int size) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (int i = 0; i < size; i += 3) {
    const int count = std::min(3, size - i);
    std::uint32_t bits = std::uint32_t(data[i]) << 16;
    if (count > 1) bits |= std::uint32_t(data[i + 1]) << 8;
    if (count > 2) bits |= data[i + 2];
    for (int k = 0; k < 4; ++k) {
      text += k <= count ? kDigits[(bits >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return text;
}

// "De-ess Firm" → "de-ess-firm".
std::string Slug(std::string_view name) {
  std::string slug;
  for (char c : name) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (c >= 'A' && c <= 'Z') {
      slug += char(c - 'A' + 'a');
    } else if (alnum) {
      slug += c;
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  return slug;
}

std::string PresetUri(const CoralSieve& plug, int preset) {
  return Uri(std::string(kPluginUri) + ":preset:" + Slug(plug.GetPresetName(preset)));
}

bool ControlPort(std::ostringstream& out, int paramIdx, std::string& error) {
  const ParamInfo& info = GetParamInfo(paramIdx);
  const std::optional<std::string_view> unit = UnitTerm(info.label);
  if (!unit) {
    error =
        "no LV2 unit for the label \"" + std::string(info.label) + "\" of " + std::string(info.key);
    return false;
  }
  const std::string group = paramIdx < kNumGlobalParams
                                ? "global"
                                : BandGroupSymbol((paramIdx - kNumGlobalParams) / kBandFields);
  out << "[\n    a lv2:InputPort , lv2:ControlPort ;\n"
      << "    lv2:index " << paramIdx << " ;\n"
      << "    lv2:symbol " << Quoted(ControlPortSymbol(paramIdx)) << " ;\n"
      << "    lv2:name " << Quoted(info.name) << " ;\n"
      << "    pg:group " << LocalUri(group) << " ;\n"
      << "    lv2:default " << Number(info.defaultValue) << " ;\n"
      << "    lv2:minimum " << Number(info.minimum) << " ;\n"
      << "    lv2:maximum " << Number(info.maximum);
  if (!unit->empty()) out << " ;\n    units:unit " << *unit;
  switch (info.kind) {
  case ParamKind::Bool:
    out << " ;\n    lv2:portProperty lv2:integer , lv2:toggled";
    break;
  case ParamKind::Enum:
    out << " ;\n    lv2:portProperty lv2:integer , lv2:enumeration";
    for (int t = 0; t < info.displayTextCount; ++t) {
      out << (t == 0 ? " ;\n    lv2:scalePoint " : " , ") << "[ rdfs:label "
          << Quoted(info.displayTexts[t]) << " ; rdf:value " << t << " ]";
    }
    break;
  case ParamKind::Double:
    if (info.exponential) out << " ;\n    lv2:portProperty pprops:logarithmic";
    break;
  }
  out << "\n]";
  return true;
}

void AudioPort(std::ostringstream& out, const AudioPortInfo& port) {
  const bool output = port.role == AudioRole::MainOutput;
  const char* group = port.role == AudioRole::MainInput    ? "main_in"
                      : port.role == AudioRole::MainOutput ? "main_out"
                                                           : "sidechain_in";
  out << "[\n    a lv2:AudioPort , " << (output ? "lv2:OutputPort" : "lv2:InputPort") << " ;\n"
      << "    lv2:index " << port.port << " ;\n"
      << "    lv2:symbol " << Quoted(port.symbol) << " ;\n"
      << "    lv2:name " << Quoted(port.name) << " ;\n"
      << "    pg:group " << LocalUri(group) << " ;\n"
      << "    lv2:designation " << (port.right ? "pg:right" : "pg:left");
  if (port.role == AudioRole::Sidechain) {
    out << " ;\n    lv2:portProperty lv2:isSideChain , lv2:connectionOptional";
  }
  out << "\n]";
}

bool PluginTtl(const CoralSieve& plug, std::ostringstream& out, std::string& error) {
  const int version = plug.GetPluginVersion(false);
  out << kPrefixes;
  out << LocalUri("main_in") << "\n    a pg:InputGroup , pg:StereoGroup ;\n"
      << "    lv2:symbol \"main_in\" ;\n    lv2:name \"Main\" .\n\n"
      << LocalUri("sidechain_in") << "\n    a pg:InputGroup , pg:StereoGroup ;\n"
      << "    lv2:symbol \"sidechain_in\" ;\n    lv2:name \"Sidechain\" ;\n"
      << "    pg:sideChainOf " << LocalUri("main_in") << " .\n\n"
      << LocalUri("main_out") << "\n    a pg:OutputGroup , pg:StereoGroup ;\n"
      << "    lv2:symbol \"main_out\" ;\n    lv2:name \"Output\" .\n\n"
      << LocalUri("global") << "\n    a pg:Group ;\n"
      << "    lv2:symbol \"global\" ;\n    lv2:name \"Global\" .\n\n";
  for (int band = 0; band < kNumBands; ++band) {
    out << LocalUri(BandGroupSymbol(band)) << "\n    a pg:Group ;\n"
        << "    lv2:symbol " << Quoted(BandGroupSymbol(band)) << " ;\n"
        << "    lv2:name \"Band " << band + 1 << "\" .\n\n";
  }

  out << LocalUri("project") << "\n    a doap:Project ;\n"
      << "    doap:name " << Quoted(plug.GetProductName()) << " ;\n"
      << "    doap:maintainer [ foaf:name " << Quoted(plug.GetMfrName()) << " ] .\n\n"
      << Uri(kStateKeyUri) << "\n    a rdf:Property ;\n"
      << "    rdfs:label \"state chunk\" ;\n"
      << "    rdfs:comment \"Both A/B settings, the selected recipe and the A/B flag.\" ;\n"
      << "    rdfs:range atom:Chunk .\n\n";

  out << Uri(kPluginUri) << "\n    a lv2:Plugin , lv2:ParaEQPlugin ;\n"
      << "    doap:name " << Quoted(plug.GetPluginName()) << " ;\n"
      << "    lv2:project " << LocalUri("project") << " ;\n"
      << "    lv2:minorVersion " << ((version >> 8) & 0xFF) << " ;\n"
      << "    lv2:microVersion " << (version & 0xFF) << " ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , urid:map ;\n"
      << "    lv2:extensionData state:interface ;\n"
      << "    pg:mainInput " << LocalUri("main_in") << " ;\n"
      << "    pg:mainOutput " << LocalUri("main_out") << " ;\n"
      << "    lv2:port ";
  for (int i = 0; i < kNumParams; ++i) {
    if (!ControlPort(out, i, error)) return false;
    out << " , ";
  }
  for (const AudioPortInfo& port : kAudioPorts) {
    AudioPort(out, port);
    out << " , ";
  }
  out << "[\n    a lv2:OutputPort , lv2:ControlPort ;\n"
      << "    lv2:index " << kPortLatency << " ;\n"
      << "    lv2:symbol " << Quoted(kLatencySymbol) << " ;\n"
      << "    lv2:name \"Latency\" ;\n"
      << "    lv2:designation lv2:latency ;\n"
      << "    lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
      << "    lv2:minimum 0 ;\n    lv2:maximum " << kFixedLatency << " ;\n"
      << "    units:unit units:frame\n] .\n";
  return true;
}

void ManifestTtl(const CoralSieve& plug, std::ostringstream& out) {
  out << kPrefixes;
  out << Uri(kPluginUri) << "\n    a lv2:Plugin ;\n"
      << "    lv2:binary " << Uri(kBinaryName) << " ;\n"
      << "    rdfs:seeAlso " << Uri(kPluginFile) << " .\n";
  for (int r = 0; r < plug.NPresets(); ++r) {
    out << "\n"
        << PresetUri(plug, r) << "\n    a pset:Preset ;\n"
        << "    lv2:appliesTo " << Uri(kPluginUri) << " ;\n"
        << "    rdfs:label " << Quoted(plug.GetPresetName(r)) << " ;\n"
        << "    rdfs:seeAlso " << Uri(kPresetsFile) << " .\n";
  }
}

// Each preset carries the recipe's values on the control ports, for hosts that apply only
// those, and the factory preset's state chunk, which also selects the recipe and fills the
// stored A/B slot.
void PresetsTtl(const CoralSieve& plug, std::ostringstream& out) {
  out << kPrefixes;
  for (int r = 0; r < plug.NPresets(); ++r) {
    const ParamSnapshot& values = GetRecipes()[r].values;
    const reef::IByteChunk& chunk = *plug.GetPresetChunk(r);
    out << PresetUri(plug, r) << "\n    a pset:Preset ;\n"
        << "    lv2:appliesTo " << Uri(kPluginUri) << " ;\n"
        << "    rdfs:label " << Quoted(plug.GetPresetName(r)) << " ;\n"
        << "    lv2:port ";
    for (int i = 0; i < kNumParams; ++i) {
      out << (i == 0 ? "" : " ,\n        ") << "[ lv2:symbol " << Quoted(ControlPortSymbol(i))
          << " ; pset:value " << Number(values[i]) << " ]";
    }
    out << " ;\n    state:state [ " << Uri(kStateKeyUri) << " "
        << Quoted(Base64(chunk.GetData(), chunk.Size())) << "^^xsd:base64Binary ] .\n\n";
  }
}

bool WriteFile(const std::string& dir, std::string_view name, const std::ostringstream& text,
               std::string& error) {
  const std::string path = dir + "/" + std::string(name);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text.str();
  file.close();
  if (!file) error = "cannot write " + path;
  return static_cast<bool>(file);
}

int Run(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: coral-lv2-ttl BUNDLE_DIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  const std::unique_ptr<CoralSieve> plug = MakePlugin(reef::InstanceInfo{});
  std::ostringstream manifest, plugin, presets;
  std::string error;
  ManifestTtl(*plug, manifest);
  PresetsTtl(*plug, presets);
  const bool written =
      PluginTtl(*plug, plugin, error) && WriteFile(dir, "manifest.ttl", manifest, error) &&
      WriteFile(dir, kPluginFile, plugin, error) && WriteFile(dir, kPresetsFile, presets, error);
  if (!written) std::fprintf(stderr, "coral-lv2-ttl: %s\n", error.c_str());
  return written ? 0 : 1;
}

} // namespace
} // namespace coral::lv2

int main(int argc, char** argv) {
  return coral::lv2::Run(argc, argv);
}
