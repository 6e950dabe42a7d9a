#pragma once
// One automatable parameter: its range, step, shape, texts and its current plain value.
//
// Threads: everything except the value is set up once on the user-interface thread while the
// plug-in object is constructed and is read-only afterwards. The value is a double written by
// atomic exchange (user-interface thread) and read by atomic load (any thread, including the
// audio thread), so no lock protects a parameter.

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reef {

class IParam;

// Maps between the normalized travel 0..1 of an editor control and a plain value.
// Virtual slots in order: destructor, Clone, Init, GetDisplayType, NormalizedToValue,
// ValueToNormalized.
class Shape {
public:
  enum EDisplayType { kDisplayLinear = 0, kDisplayLog = 1 };

  virtual ~Shape() = default;
  virtual std::unique_ptr<Shape> Clone() const = 0;
  // Called once, after the parameter's minimum and maximum are known.
  virtual void Init(const IParam& param) = 0;
  virtual EDisplayType GetDisplayType() const = 0;
  virtual double NormalizedToValue(double normalized, const IParam& param) const = 0;
  virtual double ValueToNormalized(double value, const IParam& param) const = 0;
};

// value = minimum + n * (maximum - minimum).
class ShapeLinear final : public Shape {
public:
  std::unique_ptr<Shape> Clone() const override;
  void Init(const IParam& param) override;
  EDisplayType GetDisplayType() const override { return kDisplayLinear; }
  double NormalizedToValue(double normalized, const IParam& param) const override;
  double ValueToNormalized(double value, const IParam& param) const override;
};

// value = exp(offset + n * multiplier) with offset = ln(m), multiplier = ln(maximum / m) and
// m = minimum (1e-8 when minimum <= 0): the middle of the travel is the geometric mean.
class ShapeExp final : public Shape {
public:
  std::unique_ptr<Shape> Clone() const override;
  void Init(const IParam& param) override;
  EDisplayType GetDisplayType() const override { return kDisplayLog; }
  double NormalizedToValue(double normalized, const IParam& param) const override;
  double ValueToNormalized(double value, const IParam& param) const override;

private:
  double multiplier_ = 1.0;
  double offset_ = 1.0;
};

class IParam {
public:
  enum EParamType { kTypeNone = 0, kTypeBool, kTypeInt, kTypeEnum, kTypeDouble };
  enum EParamUnit { kUnitCustom = 0 }; // the label text carries the unit
  enum EFlags {
    kFlagsNone = 0,
    kFlagStepped = 1 << 1,       // ClampValue rounds to whole steps
    kFlagNegateDisplay = 1 << 2, // parsed texts are negated
  };

  static constexpr int kTextLen = 32; // bytes of a name, label, group or display text
  static constexpr int kMaxDisplayPrecision = 6;

  // Formats a plain value for display into `text` of `size` bytes.
  using DisplayFunc = std::function<void(double value, char* text, int size)>;

  IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  void SetupDouble(std::string_view name, double defaultValue, double minimum, double maximum,
                   double step, std::string_view label = "", int flags = kFlagsNone,
                   std::string_view group = "", const Shape& shape = ShapeLinear(),
                   EParamUnit unit = kUnitCustom, DisplayFunc displayFunc = nullptr);
  void SetupEnum(std::string_view name, int defaultValue, std::span<const std::string_view> texts,
                 int flags = kFlagsNone, std::string_view group = "");
  void SetupBool(std::string_view name, bool defaultValue, std::string_view label = "",
                 int flags = kFlagsNone, std::string_view group = "",
                 std::string_view offText = "off", std::string_view onText = "on");

  // Stepped parameters: rounded to whole steps (halfway cases away from zero); then clamped to
  // [minimum, maximum]. A NaN becomes the default.
  double ClampValue(double value) const;
  // Shape value-to-normalized of the clamped value, clamped to [0, 1].
  double NormalizeValue(double value) const;
  // ClampValue of the shape's normalized-to-value.
  double FromNormalized(double normalized) const;

  // Value writers: user-interface thread, atomic exchange.
  void SetValue(double value) { value_.exchange(ClampValue(value)); }
  void SetFromNormalized(double normalized) { value_.exchange(FromNormalized(normalized)); }
  void SetNormalized(double normalized) { SetFromNormalized(normalized); }

  // Value readers: any thread.
  double Value() const { return value_.load(); }
  double GetNormalized() const { return NormalizeValue(Value()); }

  void AddDisplayText(double value, std::string_view text);
  // Text of the first display text whose value equals `value` exactly, else "".
  const char* DisplayTextFor(double value) const;
  int NDisplayTexts() const { return static_cast<int>(displayTexts_.size()); }
  // Text at position `index` of the display-text list (value stored in *value when given).
  const char* GetDisplayTextAtIdx(int index, double* value = nullptr) const;
  // An exact display text gives its value; otherwise bool and enum parameters give 0 and every
  // other parameter parses the leading decimal number (0 when none) and returns it clamped.
  double ParseValueText(const char* text) const;
  // Plain-text display of `value`: its display text, else the display function, else the
  // number with the display precision.
  std::string GetDisplay(double value) const;
  std::string GetDisplay() const { return GetDisplay(Value()); }

  EParamType Type() const { return type_; }
  EParamUnit Unit() const { return unit_; }
  double GetMin() const { return min_; }
  double GetMax() const { return max_; }
  double GetRange() const { return max_ - min_; }
  double GetStep() const { return step_; }
  double GetDefault(bool normalized = false) const {
    return normalized ? NormalizeValue(default_) : default_;
  }
  int GetDisplayPrecision() const { return displayPrecision_; }
  int GetFlags() const { return flags_; }
  bool GetStepped() const { return (flags_ & kFlagStepped) != 0; }
  const char* GetName() const { return name_; }
  const char* GetLabel() const { return label_; }
  const char* GetGroup() const { return group_; }
  const Shape& GetShape() const { return *shape_; }
  Shape::EDisplayType GetDisplayType() const { return shape_->GetDisplayType(); }

private:
  struct DisplayText {
    double value;
    char text[kTextLen];
  };

  EParamType type_ = kTypeNone;
  EParamUnit unit_ = kUnitCustom;
  std::atomic<double> value_{0.0};
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double default_ = 0.0;
  int displayPrecision_ = 0;
  int flags_ = kFlagsNone;
  char name_[kTextLen] = {};
  char label_[kTextLen] = {};
  char group_[kTextLen] = {};
  std::unique_ptr<Shape> shape_;
  DisplayFunc displayFunc_;
  std::vector<DisplayText> displayTexts_;
};

} // namespace reef
