#include "engine/FirResponseCache.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

using test::AllBandsOff;
using test::FirRunner;
using test::KernelResponse;
using test::SetBand;

constexpr double kRate = 48000;

TEST(FirResponseCache, TargetIsTheResponseOfTheDesignedKernels) {
  ParamSnapshot p = AllBandsOff();
  p[kPhase] = 1.0f;
  SetBand(p, 0, kLowShelf, 150, 5, 0.7071f, kLeft);
  SetBand(p, 4, kBell, 2000, 6, 1.5f, kMid);
  SetBand(p, 9, kHighPass, 40, 0, 0.7071f, kStereo);
  FirRunner designed(p);
  FirResponseCache cache;
  for (double f : {25.0, 150.0, 700.0, 2000.0, 5500.0, 15000.0}) {
    const double omega = 2 * std::numbers::pi * f / kRate;
    const Matrix2 m{KernelResponse(designed.fir.Kernel(0), omega),
                    KernelResponse(designed.fir.Kernel(1), omega),
                    KernelResponse(designed.fir.Kernel(2), omega),
                    KernelResponse(designed.fir.Kernel(3), omega)};
    for (int row : {0, 1}) {
      EXPECT_NEAR(cache.RowEnergyAt(f, p, kRate, row), RowEnergy(m, row), 1e-6)
          << f << " Hz, row " << row;
    }
  }
  EXPECT_EQ(cache.RebuildCount(), 1);

  // +6 dB on Mid alone: the left row is 10 log10(((H+1)/2)^2 + ((H-1)/2)^2) at the centre.
  ParamSnapshot mid = AllBandsOff();
  SetBand(mid, 0, kBell, 2000, 6, 1.5f, kMid);
  const double h = std::pow(10.0, 6.0 / 20);
  const double expected = 10 * std::log10(std::pow((h + 1) / 2, 2) + std::pow((h - 1) / 2, 2));
  EXPECT_NEAR(cache.RowEnergyAt(2000, mid, kRate, 0), expected, 0.01);
  EXPECT_NEAR(cache.RowEnergyAt(2000, mid, kRate, 1), expected, 0.01);
}

TEST(FirResponseCache, RebuildsOnlyWhenTheKeyChanges) {
  ParamSnapshot p = AllBandsOff();
  SetBand(p, 1, kBell, 1000, 6, 1);
  FirResponseCache cache;
  EXPECT_EQ(cache.RebuildCount(), 0);
  const double peak = cache.RowEnergyAt(1000, p, kRate, 0);
  EXPECT_NEAR(peak, 6.0, 0.01);
  cache.RowEnergyAt(300, p, kRate, 1);
  p[BandParamIndex(1, kAttack)] = 50;
  p[BandParamIndex(1, kThreshold)] = -40;
  p[kOutput] = 3;
  cache.RowEnergyAt(1000, p, kRate, 0);
  EXPECT_EQ(cache.RebuildCount(), 1);

  p[BandParamIndex(1, kGain)] = 3;
  EXPECT_NEAR(cache.RowEnergyAt(1000, p, kRate, 0), 3.0, 0.01);
  EXPECT_EQ(cache.RebuildCount(), 2);
  cache.RowEnergyAt(1000, p, 44100, 0);
  EXPECT_EQ(cache.RebuildCount(), 3);
  p[kScale] = 0;
  EXPECT_NEAR(cache.RowEnergyAt(1000, p, 44100, 0), 0.0, 1e-4);
  EXPECT_EQ(cache.RebuildCount(), 4);
}

TEST(FirResponseCache, NarrowLowBellIsLimitedByTheKernelLength) {
  ParamSnapshot p = AllBandsOff();
  SetBand(p, 0, kBell, 30, 12, 30);
  FirResponseCache cache;
  const double fir = cache.RowEnergyAt(30, p, kRate, 0);
  EXPECT_LT(fir, 12.0 - 3.0);
  EXPECT_GT(fir, 0.0);

  // A broad bell of the same gain is reproduced.
  SetBand(p, 0, kBell, 1000, 12, 1);
  EXPECT_NEAR(cache.RowEnergyAt(1000, p, kRate, 0), 12.0, 0.01);
}

} // namespace
} // namespace coral
