// coral-demo-signal: writes the built-in demonstration signal used by scripts/demo, a short
// stereo 24-bit 48 kHz WAV with material every part of the equaliser reacts to: a sung
// vowel with vibrato and formants, sibilant bursts around 7 kHz (for de-essing), a kick
// drum on every beat, and mains hum at 50 Hz with two harmonics.
//
// Usage: coral-demo-signal OUTPUT.wav [SECONDS]   (SECONDS 1..60, default 8)

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/coral-render/AtomicFile.h"
#include "tools/coral-render/AudioFile.h"

namespace {

constexpr int kRate = 48000;
constexpr double kTwoPi = 6.283185307179586;

// Deterministic white noise in -1..1.
class Noise {
public:
  double Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state_ >> 11) * 0x1.0p-52 - 1.0;
  }

private:
  std::uint64_t state_ = 0x2545F4914F6CDD1Dull;
};

// Band-pass biquad (constant 0 dB peak gain) at `frequency` Hz with quality `q`.
class BandPass {
public:
  BandPass(double frequency, double q) {
    const double w = kTwoPi * frequency / kRate;
    const double alpha = std::sin(w) / (2 * q);
    const double a0 = 1 + alpha;
    b0_ = alpha / a0;
    a1_ = -2 * std::cos(w) / a0;
    a2_ = (1 - alpha) / a0;
  }
  double Run(double x) {
    const double y = b0_ * x - b0_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_, x1_ = x, y2_ = y1_, y1_ = y;
    return y;
  }

private:
  double b0_, a1_, a2_;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// Raised-cosine gate: 1 inside [start, start + length] with `fade` seconds of ramps.
double Gate(double t, double start, double length, double fade) {
  if (t < start || t > start + length) return 0.0;
  const double edge = std::min(t - start, start + length - t);
  return edge >= fade ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * edge / fade);
}

// Vowel-like harmonic spectrum: harmonics at 1/k shaped by three formant peaks.
double FormantWeight(double frequency) {
  const double formants[3][2] = {{700, 120}, {1200, 160}, {2600, 240}};
  double weight = 0.15;
  for (const auto& formant : formants) {
    const double d = (frequency - formant[0]) / formant[1];
    weight += std::exp(-0.5 * d * d);
  }
  return weight;
}

std::vector<double> Synthesize(double seconds) {
  const std::int64_t frames = static_cast<std::int64_t>(seconds * kRate);
  std::vector<double> out(static_cast<std::size_t>(frames) * 2, 0.0);
  Noise noise;
  BandPass sibilance(7000, 1.4);
  double voicePhase = 0, kickPhase = 0;
  for (std::int64_t n = 0; n < frames; ++n) {
    const double t = double(n) / kRate;

    // Sung vowel: two syllables per second, f0 140 Hz with a 5 Hz vibrato.
    const double syllableStart = std::floor(t * 2) / 2;
    const double voiceGate = Gate(t, syllableStart + 0.02, 0.32, 0.04);
    const double f0 = 140 * (1 + 0.015 * std::sin(kTwoPi * 5 * t));
    voicePhase = std::fmod(voicePhase + kTwoPi * f0 / kRate, kTwoPi);
    double voice = 0;
    for (int k = 1; k * f0 < 0.45 * kRate && k <= 60; ++k) {
      voice += FormantWeight(k * f0) / k * std::sin(k * voicePhase);
    }
    voice *= 0.12 * voiceGate;

    // A sibilant burst after every syllable.
    const double sGate = Gate(t, syllableStart + 0.34, 0.12, 0.015);
    const double s = 0.9 * sibilance.Run(noise.Next()) * sGate;

    // Kick on every beat at 120 beats per minute: pitch falls from 120 to 50 Hz.
    const double beat = std::fmod(t, 0.5);
    const double kickFrequency = 50 + 70 * std::exp(-beat / 0.03);
    kickPhase = std::fmod(kickPhase + kTwoPi * kickFrequency / kRate, kTwoPi);
    const double kick = 0.45 * std::exp(-beat / 0.15) * std::sin(kickPhase);

    const double hum = 0.008 * (std::sin(kTwoPi * 50 * t) + 0.5 * std::sin(kTwoPi * 100 * t) +
                                0.3 * std::sin(kTwoPi * 150 * t));
    const double centre = voice + kick + hum;
    out[2 * n] = centre + 0.8 * s + 0.001 * noise.Next();
    out[2 * n + 1] = centre + 0.6 * s + 0.001 * noise.Next();
  }
  double peak = 0;
  for (double x : out) peak = std::max(peak, std::abs(x));
  const double gain = peak > 0 ? std::pow(10.0, -1.0 / 20) / peak : 1.0;
  for (double& x : out) x *= gain;
  return out;
}

} // namespace

int main(int argc, char** argv) {
  using namespace coral::render;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: coral-demo-signal OUTPUT.wav [SECONDS]\n");
    return 2;
  }
  double seconds = 8;
  if (argc == 3) {
    char* end = nullptr;
    seconds = std::strtod(argv[2], &end);
    if (end == argv[2] || *end != '\0' || !(seconds >= 1 && seconds <= 60)) {
      std::fprintf(stderr, "coral-demo-signal: SECONDS must be a number from 1 to 60\n");
      return 2;
    }
  }
  const std::vector<double> samples = Synthesize(seconds);
  const AudioInfo format{SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, kRate,
                         static_cast<std::int64_t>(samples.size() / 2)};
  std::string error;
  AtomicFile file;
  SoundFileWriter writer;
  if (!file.Create(argv[1], error) || !writer.Open(file.Descriptor(), argv[1], format, error) ||
      !writer.Write(samples.data(), format.frames, error) || !writer.Close(error) ||
      !file.Commit(error)) {
    std::fprintf(stderr, "coral-demo-signal: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
