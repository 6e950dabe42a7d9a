// Parameter objects: shapes, clamping, display precision, text parsing, and the 216
// parameters as the plug-in sets them up.

#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"

using iplug::IParam;

namespace {

constexpr int Band(int slot, int field) {
  return 12 + 17 * (slot - 1) + field;
}

TEST(IParam, ShapesClampingAndPrecision) {
  IParam exp;
  exp.SetupDouble("Frequency", 1000.0, 20.0, 22000.0, 1.0, "Hz", 0, "", iplug::ShapeExp());
  EXPECT_NEAR(exp.FromNormalized(0.0), 20.0, 1e-9);
  EXPECT_NEAR(exp.FromNormalized(0.25), 115.1803, 1e-4); // 20 * 1100^(1/4)
  EXPECT_NEAR(exp.NormalizeValue(663.3250), 0.5, 1e-6);  // sqrt(20 * 22000)
  EXPECT_EQ(exp.NormalizeValue(1e6), 1.0);
  IParam zeroMin; // a minimum of 0 maps from 1e-8: the middle is 1e-4
  zeroMin.SetupDouble("Level", 1.0, 0.0, 1.0, 0.01, "", 0, "", iplug::ShapeExp());
  EXPECT_NEAR(zeroMin.FromNormalized(0.5), 1e-4, 1e-12);

  IParam stepped;
  stepped.SetupDouble("Steps", 0.0, -10.0, 10.0, 1.0, "", IParam::kFlagStepped);
  EXPECT_EQ(stepped.ClampValue(2.5), 3.0);
  EXPECT_EQ(stepped.ClampValue(-2.5), -3.0);
  EXPECT_EQ(stepped.ClampValue(2.49), 2.0);
  EXPECT_EQ(stepped.ClampValue(10.6), 10.0);
  stepped.SetFromNormalized(-0.3);
  EXPECT_EQ(stepped.Value(), -10.0);
  IParam free; // not stepped: fractions are kept, NaN becomes the default
  free.SetupDouble("Free", 4.0, 0.0, 10.0, 1.0);
  EXPECT_EQ(free.ClampValue(3.25), 3.25);
  EXPECT_EQ(free.ClampValue(std::nan("")), 4.0);
  IParam narrow; // the maximum is at least minimum + step
  narrow.SetupDouble("Narrow", 5.0, 5.0, 5.0, 1.0);
  EXPECT_EQ(narrow.GetMax(), 6.0);

  for (auto [step, decimals] : {std::pair{1.0, 0}, {0.5, 1}, {0.01, 2}, {0.001, 3}, {1e-7, 6}}) {
    IParam p;
    p.SetupDouble("P", 0.0, 0.0, 1000.0, step);
    EXPECT_EQ(p.GetDisplayPrecision(), decimals) << step;
  }
}

TEST(IParam, TextsAndParsing) {
  IParam p;
  p.SetupDouble("A name that is much longer than thirty-one bytes", -3.5, -24.0, 24.0, 0.01, "dB",
                IParam::kFlagNegateDisplay);
  EXPECT_STREQ(p.GetName(), "A name that is much longer than"); // 31 bytes and the zero
  EXPECT_EQ(p.GetDisplay(), "-3.50");
  EXPECT_EQ(p.ParseValueText("-6 dB"), 6.0); // negated display
  EXPECT_EQ(p.ParseValueText("30"), -24.0);

  IParam b;
  b.SetupBool("Switch", true, "", 0, "", "no", "yes");
  EXPECT_EQ(b.Type(), IParam::kTypeBool); // the first set-up call decides the type
  EXPECT_EQ(b.Value(), 1.0);
  EXPECT_STREQ(b.DisplayTextFor(0.0), "no");
  EXPECT_STREQ(b.DisplayTextFor(0.5), "");
  EXPECT_EQ(b.ParseValueText("yes"), 1.0);
  EXPECT_EQ(b.ParseValueText("1"), 0.0);
}

class PlugParamTest : public ::testing::Test {
protected:
  CoralSieve plug{iplug::InstanceInfo{}};
  IParam& P(int index) { return *plug.GetParam(index); }
  double AtNormalized(int index, double n) {
    P(index).SetFromNormalized(n);
    return P(index).Value();
  }
};

TEST_F(PlugParamTest, NormalizedValuesAndClamping) {
  // Geometric means of the exponential ranges, worked out by hand.
  EXPECT_NEAR(AtNormalized(Band(1, coral::kFrequency), 0.5), 663.3250, 1e-3);
  EXPECT_NEAR(AtNormalized(Band(2, coral::kQ), 0.5), 2.12132, 1e-5); // sqrt(0.15 * 30)
  EXPECT_NEAR(AtNormalized(Band(3, coral::kAttack), 0.5), 4.47214, 1e-5);
  EXPECT_NEAR(AtNormalized(Band(4, coral::kRelease), 0.5), 122.4745, 1e-4);
  EXPECT_NEAR(AtNormalized(Band(5, coral::kRatio), 0.5), 4.47214, 1e-5);
  EXPECT_EQ(AtNormalized(Band(6, coral::kThreshold), 0.5), -45.0); // linear
  EXPECT_EQ(AtNormalized(Band(1, coral::kSlope), 0.5), 2.0);       // 1.5 away from zero

  const std::tuple<int, double, double> writes[] = {{coral::kAnalyzerSpeed, 1.6, 2.0},
                                                    {coral::kGraphRange, 2.6, 2.0},
                                                    {Band(1, coral::kType), 9.0, 7.0},
                                                    {Band(1, coral::kGain), 30.0, 24.0},
                                                    {Band(1, coral::kFrequency), 1000.4, 1000.4},
                                                    {Band(1, coral::kGain), 1.234, 1.234}};
  for (auto [index, written, stored] : writes) {
    P(index).SetValue(written);
    EXPECT_EQ(P(index).Value(), stored) << index;
  }
}

TEST_F(PlugParamTest, ParsingValueTexts) {
  IParam& type = P(Band(1, coral::kType));
  EXPECT_EQ(type.ParseValueText("Notch"), 5.0);
  EXPECT_EQ(type.ParseValueText("notch"), 0.0); // byte comparison
  EXPECT_EQ(type.ParseValueText("5"), 0.0);
  IParam& gain = P(Band(1, coral::kGain));
  EXPECT_EQ(gain.ParseValueText("12.5 dB"), 12.5);
  EXPECT_EQ(gain.ParseValueText("  +4dB"), 4.0);
  EXPECT_EQ(gain.ParseValueText("loud"), 0.0);
  EXPECT_EQ(P(coral::kPhase).ParseValueText("Linear Phase FIR"), 1.0);
  EXPECT_EQ(P(Band(1, coral::kFrequency)).ParseValueText("1.5e3 Hz"), 1500.0);
}

TEST_F(PlugParamTest, SetUpFromTheTable) {
  EXPECT_EQ(plug.NParams(), 216);
  EXPECT_EQ(plug.GetParam(216), nullptr);
  EXPECT_STREQ(P(12).GetName(), "Band 1 Enabled");
  EXPECT_EQ(coral::GetParamSpec(12).key, "b01-enabled");
  EXPECT_STREQ(P(215).GetName(), "Band 12 Listen");
  EXPECT_EQ(coral::GetParamSpec(215).key, "b12-listen");
  EXPECT_STREQ(P(Band(1, coral::kAttack)).GetLabel(), "ms");
  // Type codes: bool 1, enum 3, double 4.
  EXPECT_EQ(P(coral::kBypass).Type(), 1);
  EXPECT_EQ(P(Band(12, coral::kChannel)).Type(), 3);
  EXPECT_EQ(P(coral::kInput).Type(), 4);
  // Table values held as the double conversion of single precision.
  EXPECT_EQ(P(Band(1, coral::kQ)).Value(), 0.707099974155426);
  EXPECT_EQ(P(Band(1, coral::kQ)).GetMin(), 0.15000000596046448);
  EXPECT_EQ(P(Band(1, coral::kAttack)).GetMin(), 0.10000000149011612);
  EXPECT_STREQ(P(coral::kAnalyzer).GetDisplay().c_str(), "on");
  // Shape and step per field.
  EXPECT_EQ(P(Band(1, coral::kRelease)).GetDisplayType(), iplug::Shape::kDisplayLog);
  EXPECT_EQ(P(Band(1, coral::kKnee)).GetDisplayType(), iplug::Shape::kDisplayLinear);
  EXPECT_EQ(P(Band(1, coral::kFrequency)).GetDisplayPrecision(), 0);
  EXPECT_EQ(P(Band(1, coral::kAttack)).GetDisplayPrecision(), 3);
  EXPECT_EQ(P(Band(1, coral::kRelease)).GetDisplayPrecision(), 2);
  // Bool and enum parameters are stepped: globals 0, 6, 7, 8, 9, 11 and band fields 0, 1, 5,
  // 6, 13 to 16.
  const std::set<int> globals = {0, 6, 7, 8, 9, 11}, fields = {0, 1, 5, 6, 13, 14, 15, 16};
  for (int i = 0; i < 216; ++i) {
    const bool discrete = i < 12 ? globals.count(i) : fields.count((i - 12) % 17);
    EXPECT_EQ(P(i).GetStepped(), discrete) << i;
    EXPECT_EQ(coral::IsDiscreteParam(i), discrete) << i;
  }
  EXPECT_FALSE(coral::IsDiscreteParam(-1));
  EXPECT_FALSE(coral::IsDiscreteParam(216));
}

} // namespace
