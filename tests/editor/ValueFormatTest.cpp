// The editor's value texts: what each unit prints, what typed text reads as, and that every
// printed text reads back as its value.

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "editor/ValueFormat.h"
#include "engine/ParamTable.h"

namespace coral {
namespace {

constexpr int kFreq = BandParamIndex(0, kFrequency);
constexpr int kBandGain = BandParamIndex(3, kGain);
constexpr int kQual = BandParamIndex(0, kQ);
constexpr int kThresh = BandParamIndex(11, kThreshold);
constexpr int kRat = BandParamIndex(2, kRatio);
constexpr int kAtt = BandParamIndex(0, kAttack);

std::string Format(int paramIdx, double value) {
  char text[32];
  FormatValue(paramIdx, value, text, sizeof text);
  return text;
}

TEST(ValueFormat, PrintsEachUnitAndReadsItBack) {
  const struct {
    int param;
    double value;
    const char* text;
    double readBack; // the value the printed text reads as
  } cases[] = {
      {kFreq, 2500.0, "2.50 kHz", 2500.0},   {kFreq, 999.6, "1000 Hz", 1000.0},
      {kFreq, 1000.0, "1.00 kHz", 1000.0},   {kFreq, 20.0, "20 Hz", 20.0},
      {kAtt, 0.5, "0.50 ms", 0.5},           {kAtt, 4.472, "4.5 ms", 4.5},
      {kAtt, 9.99, "10.0 ms", 10.0},         {kAtt, 20.0, "20 ms", 20.0},
      {kThresh, -18.0, "-18.0 dBFS", -18.0}, {kBandGain, -3.04, "-3.0 dB", -3.0},
      {kInput, 24.0, "24.0 dB", 24.0},       {kMix, 50.0, "50 %", 50.0},
      {kScale, 199.6, "200 %", 200.0},       {kRat, 4.0, "4.00:1", 4.0},
      {kQual, 0.7071, "0.71", 0.71},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Format(c.param, c.value), c.text) << c.param << " " << c.value;
    double read = 0.0;
    EXPECT_TRUE(ParseValue(c.param, c.text, read)) << c.text;
    EXPECT_DOUBLE_EQ(read, c.readBack) << c.text;
  }
  char small[5];
  FormatValue(kFreq, 2500.0, small, sizeof small); // cut, still terminated
  EXPECT_EQ(std::string(small), "2.50");
}

TEST(ValueFormat, ReadsTypedTextWithTheParametersUnits) {
  const double kRejected = NAN;
  const struct {
    int param;
    const char* text;
    double value; // NaN: rejected
  } cases[] = {
      {kFreq, "2.5k", 2500},
      {kFreq, "2.5kHz", 2500},
      {kFreq, "2500 hz", 2500},
      {kFreq, "2.5 k Hz", 2500},
      {kFreq, " \n\t2500", 2500},
      {kFreq, "+2.5K", 2500},
      {kFreq, "30000", 30000},
      {kFreq, "5 ms", kRejected},
      {kFreq, "k", kRejected},
      {kFreq, "", kRejected},
      {kFreq, "1e306 k", kRejected},
      {kFreq, "2.5 kk", kRejected},
      {kAtt, "0.02 s", 20},
      {kAtt, "0.2S", 200},
      {kAtt, "12 ms", 12},
      {kAtt, "12", 12},
      {kAtt, "12 Hz", kRejected},
      {kThresh, "-18 dbfs", -18},
      {kThresh, "-18dB", -18},
      {kBandGain, "-3 dB", -3},
      {kBandGain, "1e400", kRejected},
      {kBandGain, "inf", kRejected},
      {kBandGain, "-inf dB", kRejected},
      {kBandGain, "nan", kRejected},
      {kBandGain, "1e-400", 0},
      {kRat, "4x", 4},
      {kRat, "4:1", 4},
      {kRat, "4 : 1", 4},
      {kRat, "4", 4},
      {kRat, "4 dB", kRejected},
      {kMix, "50%", 50},
      {kMix, "50 dB", kRejected},
      {kQual, "1.5", 1.5},
      {kQual, "1.5q", kRejected},
      {kQual, "1.5 x", kRejected},
  };
  for (const auto& c : cases) {
    double value = -12345.0;
    const bool accepted = ParseValue(c.param, c.text, value);
    EXPECT_EQ(accepted, !std::isnan(c.value)) << '"' << c.text << '"';
    EXPECT_EQ(value, accepted ? c.value : -12345.0) << '"' << c.text << '"';
  }
}

} // namespace
} // namespace coral
