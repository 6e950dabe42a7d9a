#pragma once
// The audio side of a plug-in: its channel configurations and connections, sample rate,
// block size and latency, and the audio operations a host calls.
//
// Threads: ProcessBlock runs on the audio thread; OnReset and OnActivate run wherever the
// host resets or activates the plug-in (the audio thread or the user-interface thread, never
// concurrently with ProcessBlock). The setters are called by the host outside ProcessBlock.

#include <cstdint>
#include <string>
#include <vector>

#include "core/IPluginConfig.h"

namespace reef {

class IPluginProcessor {
public:
  // One channel configuration: the channel count of each bus, main bus first.
  struct IOConfig {
    std::vector<int> inputBuses;
    std::vector<int> outputBuses;
    int NChans(ERoute direction) const;
    int NBuses(ERoute direction) const;
  };

  // The largest channel and bus counts over all configurations.
  struct ChannelIOTotals {
    int nInputChans = 0;
    int nOutputChans = 0;
    int nInputBuses = 0;
    int nOutputBuses = 0;
  };

  static constexpr double kDefaultSampleRate = 44100.0;
  static constexpr int kDefaultBlockSize = 1024;

  explicit IPluginProcessor(const IPluginConfig& config);
  virtual ~IPluginProcessor();
  IPluginProcessor(const IPluginProcessor&) = delete;
  IPluginProcessor& operator=(const IPluginProcessor&) = delete;

  // One host block: `inputs` and `outputs` hold one pointer per channel of MaxNChannels of
  // each direction; the plug-in reads connected inputs and writes connected outputs.
  virtual void ProcessBlock(sample** inputs, sample** outputs, int nFrames) = 0;
  // The host reset the plug-in (sample rate or block size may have changed).
  virtual void OnReset();
  // The host activated (true) or deactivated (false) the plug-in.
  virtual void OnActivate(bool active);

  double GetSampleRate() const { return sampleRate_; }
  void SetSampleRate(double sampleRate) { sampleRate_ = sampleRate; }
  int GetBlockSize() const { return blockSize_; }
  void SetBlockSize(int frames) { blockSize_ = frames; }
  // Latency in samples as reported to the host.
  int GetLatency() const { return latency_; }
  void SetLatency(int samples) { latency_ = samples; }

  // Marks channels first..first+count-1 of `direction` as connected or not; channels outside
  // the plug-in's channel count are ignored.
  void SetChannelConnections(ERoute direction, int first, int count, bool connected);
  bool IsChannelConnected(ERoute direction, int channel) const;
  int NChannelsConnected(ERoute direction) const;
  int MaxNChannels(ERoute direction) const;
  int MaxNBuses(ERoute direction) const;

  int NIOConfigs() const { return static_cast<int>(ioConfigs_.size()); }
  const IOConfig& GetIOConfig(int idx) const { return ioConfigs_[idx]; }

  // Parses a channel-I/O text such as "1-1 2-2 1.1-1": blank-separated configurations, each
  // the input side, '-' and the output side; a side is a '.'-separated list of bus channel
  // counts, main bus first; a bus of 0 channels adds no bus. Malformed configurations are
  // skipped. Answers the number of configurations parsed.
  static int ParseChannelIOStr(const char* text, std::vector<IOConfig>& configs,
                               ChannelIOTotals& totals);
  // Name of bus `busIdx` of `nBuses` in `direction`: "Input" / "Output" for a single bus,
  // "Main" and "Aux" for two input buses, else "Input %i" / "Output %i" with the bus index.
  static std::string GetBusName(ERoute direction, int busIdx, int nBuses);

private:
  std::vector<IOConfig> ioConfigs_;
  ChannelIOTotals totals_;
  std::vector<std::uint8_t> connected_[2];
  double sampleRate_ = kDefaultSampleRate;
  int blockSize_ = kDefaultBlockSize;
  int latency_ = 0;
};

} // namespace reef
