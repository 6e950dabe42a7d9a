#pragma once
// The key to the graph's curves above it (input and output spectra, static and current wet
// EQ, target) and a line naming the response model the graph shows, which follows Phase and
// whether any band runs dynamics. Takes no input; polls the response model every frame.
//
// Threads: user-interface thread only.

#include "ui/IControl.h"

namespace coral {

class CoralSieve;

enum class ResponseModel : int {
  kMinimumPhase = 0,    // Phase at Minimum Phase
  kLinearPhase = 1,     // Linear Phase FIR, no band with active dynamics
  kFirWithDynamics = 2, // Linear Phase FIR and at least one enabled dynamic gain band
};

// The response model of the plug-in's current settings.
ResponseModel CurrentResponseModel(const CoralSieve& plug);

class Legend : public reef::ui::IControl {
public:
  Legend(const reef::ui::IRect& bounds, const CoralSieve& plug);

  void Draw(reef::ui::ICanvas& g) override;
  // Dirty when the response model differs from the one last drawn.
  bool IsDirty() override;

private:
  const CoralSieve& plug_;
  ResponseModel shownModel_ = ResponseModel::kMinimumPhase;
};

} // namespace coral
