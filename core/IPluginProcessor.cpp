#include "core/IPluginProcessor.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace reef {
namespace {

// Parses one side of a configuration ("2", "1.2"); false when malformed.
bool ParseSide(std::string_view side, std::vector<int>& buses) {
  buses.clear();
  while (true) {
    const std::size_t dot = side.find('.');
    const std::string_view item = side.substr(0, dot);
    int channels = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), channels);
    if (item.empty() || ec != std::errc() || end != item.data() + item.size() || channels < 0) {
      return false;
    }
    if (channels > 0) buses.push_back(channels);
    if (dot == std::string_view::npos) return true;
    side.remove_prefix(dot + 1);
  }
}

int Sum(const std::vector<int>& values) {
  int total = 0;
  for (int v : values) total += v;
  return total;
}

} // namespace

int IPluginProcessor::IOConfig::NChans(ERoute direction) const {
  return Sum(direction == kInput ? inputBuses : outputBuses);
}

int IPluginProcessor::IOConfig::NBuses(ERoute direction) const {
  return static_cast<int>((direction == kInput ? inputBuses : outputBuses).size());
}

IPluginProcessor::IPluginProcessor(const IPluginConfig& config) : latency_(config.latency) {
  ParseChannelIOStr(config.channelIOStr, ioConfigs_, totals_);
  connected_[kInput].assign(static_cast<std::size_t>(totals_.nInputChans), 0);
  connected_[kOutput].assign(static_cast<std::size_t>(totals_.nOutputChans), 0);
}

IPluginProcessor::~IPluginProcessor() = default;

void IPluginProcessor::OnReset() {}

void IPluginProcessor::OnActivate(bool) {}

void IPluginProcessor::SetChannelConnections(ERoute direction, int first, int count,
                                             bool connected) {
  std::vector<std::uint8_t>& flags = connected_[direction];
  const int begin = std::max(first, 0);
  const int end = std::min(first + count, static_cast<int>(flags.size()));
  for (int c = begin; c < end; ++c) flags[c] = connected ? 1 : 0;
}

bool IPluginProcessor::IsChannelConnected(ERoute direction, int channel) const {
  const std::vector<std::uint8_t>& flags = connected_[direction];
  return channel >= 0 && channel < static_cast<int>(flags.size()) && flags[channel] != 0;
}

int IPluginProcessor::NChannelsConnected(ERoute direction) const {
  return static_cast<int>(
      std::count(connected_[direction].begin(), connected_[direction].end(), std::uint8_t{1}));
}

int IPluginProcessor::MaxNChannels(ERoute direction) const {
  return direction == kInput ? totals_.nInputChans : totals_.nOutputChans;
}

int IPluginProcessor::MaxNBuses(ERoute direction) const {
  return direction == kInput ? totals_.nInputBuses : totals_.nOutputBuses;
}

int IPluginProcessor::ParseChannelIOStr(const char* text, std::vector<IOConfig>& configs,
                                        ChannelIOTotals& totals) {
  configs.clear();
  totals = {};
  std::string_view rest = text ? text : "";
  while (!rest.empty()) {
    const std::size_t begin = rest.find_first_not_of(" \t");
    if (begin == std::string_view::npos) break;
    rest.remove_prefix(begin);
    const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string_view token = rest.substr(0, end);
    rest.remove_prefix(end);

    const std::size_t hyphen = token.find('-');
    if (hyphen == std::string_view::npos) continue;
    IOConfig config;
    if (!ParseSide(token.substr(0, hyphen), config.inputBuses) ||
        !ParseSide(token.substr(hyphen + 1), config.outputBuses)) {
      continue;
    }
    totals.nInputChans = std::max(totals.nInputChans, config.NChans(kInput));
    totals.nOutputChans = std::max(totals.nOutputChans, config.NChans(kOutput));
    totals.nInputBuses = std::max(totals.nInputBuses, config.NBuses(kInput));
    totals.nOutputBuses = std::max(totals.nOutputBuses, config.NBuses(kOutput));
    configs.push_back(std::move(config));
  }
  return static_cast<int>(configs.size());
}

std::string IPluginProcessor::GetBusName(ERoute direction, int busIdx, int nBuses) {
  if (direction == kInput) {
    if (nBuses == 1) return "Input";
    if (nBuses == 2) return busIdx == 0 ? "Main" : "Aux";
    return "Input " + std::to_string(busIdx);
  }
  if (nBuses == 1) return "Output";
  return "Output " + std::to_string(busIdx);
}

} // namespace reef
