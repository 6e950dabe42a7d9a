// libFuzzer target: the state chunk reader. A rejected chunk changes nothing; an accepted
// chunk re-serializes to exactly its bytes and the plug-in then processes a block with
// finite output.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/CoralSieve.h"
#include "core/IByteChunk.h"

namespace {

coral::CoralSieve& Plug() {
  static std::unique_ptr<coral::CoralSieve> plug = [] {
    auto p = coral::MakePlugin({});
    p->SetSampleRate(48000);
    p->SetChannelConnections(reef::kInput, 0, 2, true);
    p->SetChannelConnections(reef::kOutput, 0, 2, true);
    p->OnReset();
    return p;
  }();
  return *plug;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  coral::CoralSieve& plug = Plug();
  reef::IByteChunk before;
  plug.SerializeState(before);

  reef::IByteChunk chunk;
  chunk.PutBytes(data, int(size));
  const int start = size > 1748 ? int(size - 1748) : 0;
  const int end = plug.UnserializeState(chunk, start);
  reef::IByteChunk after;
  plug.SerializeState(after);
  if (end < 0) {
    Check(after.Size() == before.Size() &&
          std::memcmp(after.GetData(), before.GetData(), std::size_t(after.Size())) == 0);
    return 0;
  }
  Check(end == start + 1748);
  Check(std::memcmp(after.GetData(), data + start, 1748) == 0);

  double in[2][64] = {}, out[2][64] = {};
  for (int i = 0; i < 64; ++i) in[0][i] = in[1][i] = std::sin(0.3 * i);
  reef::sample* ins[2] = {in[0], in[1]};
  reef::sample* outs[2] = {out[0], out[1]};
  plug.ProcessBlock(ins, outs, 64);
  for (auto& channel : out)
    for (double v : channel) Check(std::isfinite(v));
  return 0;
}
