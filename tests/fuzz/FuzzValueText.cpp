// libFuzzer target: parameter value texts. The first byte picks a parameter; the rest is the
// text. IParam::ParseValueText and the renderer's --set value parser either reject the text
// or give a finite value inside the parameter's range.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/CoralSieve.h"
#include "engine/ParamTable.h"
#include "tools/coral-render/Options.h"

namespace {

coral::CoralSieve& Plug() {
  static std::unique_ptr<coral::CoralSieve> plug = coral::MakePlugin({});
  return *plug;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int index = data[0] % coral::kNumParams;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  reef::IParam& param = *Plug().GetParam(index);
  const double lo = param.GetMin(), hi = param.GetMax();

  const double parsed = param.ParseValueText(text.c_str());
  Check(std::isfinite(parsed) && parsed >= lo && parsed <= hi);

  std::string error;
  const std::optional<double> value = coral::render::ParseParamValue(index, text, error);
  if (!value) {
    Check(!error.empty());
    return 0;
  }
  Check(std::isfinite(*value));
  param.SetValue(*value);
  Check(param.Value() >= lo && param.Value() <= hi);
  return 0;
}
