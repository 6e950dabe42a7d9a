// The audio callback and the MIDI input callback under the allocation trap, with the
// product's plug-in, for buffer sizes in place and through the FIFO, across the fade-in, the
// running stream, the fade-out and the silence after it.

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/StandaloneHost.h"
#include "tests/support/AllocationTrap.h"

namespace coral {
namespace {

TEST(RealtimeCallbackTest, CallbacksAllocateNothing) {
  StandaloneHost& host = StandaloneHost::Create();
  std::vector<unsigned char> note = {0x90, 64, 100};
  std::vector<unsigned char> sysEx(300, 0x22);
  sysEx.front() = 0xF0;
  sysEx.back() = 0xF7;

  for (const unsigned frames : {64u, 96u, 256u, 512u, 1024u}) {
    host.PrepareStream(2, 2, frames, 48000.0);
    std::vector<double> in(2 * frames, 0.25);
    std::vector<double> out(2 * frames, 0.0);
    const unsigned callbacks = 3 * 1024 / frames + 2;

    test::ResetTrappedCalls();
    {
      test::RealtimeScope scope;
      for (unsigned k = 0; k < callbacks; ++k) {
        if (k == 1) {
          StandaloneHost::MidiInputCallback(0.0, &note, &host);
          StandaloneHost::MidiInputCallback(0.0, &sysEx, &host);
        }
        if (k + 2 == callbacks) host.BeginFadeOut();
        StandaloneHost::AudioCallback(out.data(), in.data(), frames, 0.0, 0, &host);
      }
    }
    EXPECT_EQ(test::TrappedCalls(), 0u) << "buffer " << frames;
    EXPECT_TRUE(host.IsFadeOutDone());
    EXPECT_GT(host.SamplesElapsed(), 0u);
  }
  StandaloneHost::Destroy();
}

} // namespace
} // namespace coral
