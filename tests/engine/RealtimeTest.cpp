// Nothing on the audio path allocates: every band on, dynamics, listen, structural
// crossfades, kernel designs in progress and kernel swaps, at every common sample rate.

#include <gtest/gtest.h>

#include <vector>

#include "engine/EqEngine.h"
#include "tests/engine/EngineHarness.h"
#include "tests/support/AllocationTrap.h"

namespace coral {
namespace {

TEST(Realtime, ProcessNeverAllocates) {
  for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
    ParamSnapshot p = test::Defaults();
    for (int b = 0; b < kNumBands; ++b) {
      test::SetBand(p, b, kEnabled, 1);
      test::SetBand(p, b, kType, float(b % 8));
      test::SetBand(p, b, kFrequency, float(40 * (b + 1) * (b + 1)));
      test::SetBand(p, b, kGain, float(b % 2 ? 6 : -6));
      test::SetBand(p, b, kDynamic, 1);
      test::SetBand(p, b, kChannel, float(b % 5));
      test::SetBand(p, b, kThreshold, -40);
    }
    test::SetBand(p, 3, kListen, 1);
    test::SetBand(p, 5, kDetector, 1);
    p[kPhase] = 1;
    EqEngine engine;
    test::Prepare(engine, p, rate);

    test::Stereo in(512), sc(512), out(512);
    in.l = test::Noise(512, 3);
    in.r = test::Noise(512, 4);
    sc.l = sc.r = test::Noise(512, 5);
    test::ResetTrappedCalls();
    for (int block = 0; block < 160; ++block) {
      if (block % 20 == 10) { // Type, Channel and Gain changes: crossfades and new kernel designs
        for (int b = 0; b < kNumBands; ++b) {
          test::SetBand(p, b, kType, float((b + block) % 8));
          test::SetBand(p, b, kChannel, float((b + block) % 5));
          test::SetBand(p, b, kGain, float((block % 7) - 3));
        }
        p[kPhase] = float(block / 20 % 2);
      }
      const float* ins[2] = {in.l.data(), in.r.data()};
      float* outs[2] = {out.l.data(), out.r.data()};
      const float* scs[2] = {sc.l.data(), sc.r.data()};
      {
        test::RealtimeScope scope;
        engine.SetParams(p);
        engine.Process(ins, outs, 512 - block % 3, scs, block % 2 == 0);
        DisplaySnapshot snap;
        engine.GetDisplaySnapshot(snap);
        (void)engine.GetReadout();
      }
    }
    EXPECT_EQ(test::TrappedCalls(), 0u) << "at " << rate << " Hz";
  }
}

TEST(Realtime, TrapCountsAllocations) {
  test::ResetTrappedCalls();
  {
    test::RealtimeScope scope;
    auto* v = new std::vector<int>(std::size_t(test::TrappedCalls() + 5));
    volatile int sink = (*v)[2];
    (void)sink;
    delete v;
  }
  EXPECT_GE(test::TrappedCalls(), 2u);
}

} // namespace
} // namespace coral
