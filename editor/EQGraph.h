#pragma once
// The editor's central control: one plot of the analyzer's input and output spectra (dBFS),
// the engine's applied static and current wet-EQ curves, the static target curve and one
// node per enabled band slot; and the surface on which band frequency, gain, Q and dynamic
// Range are edited with the mouse, the wheel and keys. Every edit is a parameter write
// through SetParamFromUI; drags hold host change gestures from mouse down to mouse up.
//
// Each frame the control copies the engine's display data (a copy of atomics that never
// blocks the audio thread) and refreshes its target curve; it asks to be redrawn only when
// something it draws changed (display data, parameter values, target, selection).
//
// Threads: user-interface thread only.

#include <memory>
#include <optional>
#include <vector>

#include "editor/GraphAxes.h"
#include "editor/TargetCurves.h"
#include "editor/ViewState.h"
#include "engine/EqEngine.h"
#include "ui/IControl.h"

namespace coral {

class CoralSieve;

class EQGraph : public reef::ui::IControl {
public:
  struct Point {
    double x;
    double y;
  };

  // `bounds` is the graph panel; the plot inside it has fixed canvas coordinates.
  EQGraph(const reef::ui::IRect& bounds, CoralSieve& plug, std::shared_ptr<ViewState> view);

  void Draw(reef::ui::ICanvas& g) override;
  // Copies the engine's display data, refreshes the target (not forced) and marks the
  // control dirty when anything it draws changed.
  bool IsDirty() override;

  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const reef::ui::IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const reef::ui::IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const reef::ui::IMouseMod& mod) override;
  void OnMouseWheel(float x, float y, const reef::ui::IMouseMod& mod, float delta) override;
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  void OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) override;
  void OnTouchCancelled(float x, float y, const reef::ui::IMouseMod& mod) override;

  // The axes for the current display data and Graph Range.
  GraphAxes Axes() const;
  // Where band `band`'s node is drawn: its Frequency, and its gain as Scale shows it.
  Point NodePosition(int band) const;
  // The enabled band whose node lies closest to (x, y) within 16 pixels (the lower slot on a
  // tie), or -1.
  int NodeAt(double x, double y) const;
  // The centre of the selected band's range handle, when it is shown (an enabled dynamic
  // band of a type with gain).
  std::optional<Point> RangeHandle() const;
  const TargetCurve& Target() const { return target_; }
  // The parameters whose host change gesture the graph holds open, in the order begun.
  const std::vector<int>& OpenGestures() const { return gestureParams_; }

private:
  struct Drag {
    bool active = false; // `dragging`
    bool range = false;  // the drag moves Range rather than the node
    int band = 0;
    double startX = 0.0;
    double startY = 0.0;
    double startFrequency = 0.0;
    double startGain = 0.0;
    double startRange = 0.0;
  };

  double Value(int paramIdx) const;
  double BandValue(int band, int field) const;
  double ScaleFactor() const; // Scale / 100
  // -1 for a band whose dynamics cut, +1 for one that boosts.
  double DynamicsSign(int band) const;
  bool HitsRangeHandle(double x, double y) const;
  void BeginGesture(int paramIdx);
  // Ends every open host gesture in the order begun and ends the drag.
  void EndGestures();
  void RefreshTarget(const ParamSnapshot& values, bool forced);
  void MarkAllDirty();

  void DrawGrid(reef::ui::ICanvas& g, const GraphAxes& axes) const;
  void DrawSpectrum(reef::ui::ICanvas& g, const CurvePoints& spectrum,
                    const reef::ui::IColor& color) const;
  void DrawBandCurve(reef::ui::ICanvas& g, const GraphAxes& axes, int band);
  void DrawRangeHandle(reef::ui::ICanvas& g, int band, const Point& handle) const;
  void DrawNodes(reef::ui::ICanvas& g, const GraphAxes& axes) const;
  void DrawReadout(reef::ui::ICanvas& g, const GraphAxes& axes, int band) const;

  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
  DisplaySnapshot snapshot_;
  TargetCurve target_;
  BandCurve bandCurve_;
  Drag drag_;
  std::vector<int> gestureParams_; // indices whose host gesture is open, in order begun
  // What the last poll saw, to tell whether a redraw is needed.
  ParamSnapshot polledValues_{};
  int polledBand_ = -1;
};

} // namespace coral
