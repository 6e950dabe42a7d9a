#include "core/IParam.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace reef {
namespace {

// Copies `text` into a fixed text field, truncated so that the terminating zero fits.
void CopyText(char (&field)[IParam::kTextLen], std::string_view text) {
  const std::size_t n = std::min(text.size(), sizeof field - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

bool IsWholeNumber(double x) {
  return std::abs(x - std::round(x)) <= 1e-9 * std::max(1.0, x);
}

// Decimals needed to show a value that moves in whole steps of `step`.
int DisplayPrecisionForStep(double step) {
  int decimals = 0;
  double x = step;
  while (!IsWholeNumber(x) && decimals < IParam::kMaxDisplayPrecision) {
    ++decimals;
    x *= 10.0;
  }
  return decimals;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Whether the decimal number text [begin, end) (sign, digits, point, exponent) is larger than
// one in magnitude: the digits before the point (after leading zeros), or minus the zeros
// that follow the point before the first significant digit, plus the exponent, is positive.
bool MagnitudeAboveOne(const char* begin, const char* end) {
  const char* at = begin;
  if (at < end && (*at == '-' || *at == '+')) ++at;
  while (at < end && *at == '0') ++at;
  long long decimalExponent = 0;
  while (at < end && *at >= '0' && *at <= '9') ++at, ++decimalExponent;
  if (decimalExponent == 0 && at < end && *at == '.') {
    ++at;
    while (at < end && *at == '0') ++at, --decimalExponent;
  }
  while (at < end && *at != 'e' && *at != 'E') ++at;
  if (at < end) {
    ++at;
    const bool negative = at < end && *at == '-';
    if (at < end && (*at == '-' || *at == '+')) ++at;
    long long exponent = 0;
    for (; at < end && *at >= '0' && *at <= '9'; ++at) {
      exponent = std::min(exponent * 10 + (*at - '0'), 1'000'000'000LL);
    }
    decimalExponent += negative ? -exponent : exponent;
  }
  return decimalExponent > 0;
}

// The leading decimal number of `text` after optional white space and sign; 0 when there is
// none. A number too large for a double gives an infinity of its sign, one too small zero.
double ParseLeadingNumber(const char* text) {
  const char* begin = text;
  const char* end = text + std::strlen(text);
  while (begin < end && IsBlank(*begin)) ++begin;
  if (begin < end && *begin == '+') ++begin;
  double value = 0.0;
  const auto result = std::from_chars(begin, end, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    const double magnitude =
        MagnitudeAboveOne(begin, result.ptr) ? std::numeric_limits<double>::infinity() : 0.0;
    return *begin == '-' ? -magnitude : magnitude;
  }
  return result.ec == std::errc() ? value : 0.0;
}

} // namespace

std::unique_ptr<Shape> ShapeLinear::Clone() const {
  return std::make_unique<ShapeLinear>(*this);
}

void ShapeLinear::Init(const IParam&) {}

double ShapeLinear::NormalizedToValue(double normalized, const IParam& param) const {
  return param.GetMin() + normalized * (param.GetMax() - param.GetMin());
}

double ShapeLinear::ValueToNormalized(double value, const IParam& param) const {
  return (value - param.GetMin()) / (param.GetMax() - param.GetMin());
}

std::unique_ptr<Shape> ShapeExp::Clone() const {
  return std::make_unique<ShapeExp>(*this);
}

void ShapeExp::Init(const IParam& param) {
  const double m = param.GetMin() > 0.0 ? param.GetMin() : 1e-8;
  offset_ = std::log(m);
  multiplier_ = std::log(param.GetMax() / m);
}

double ShapeExp::NormalizedToValue(double normalized, const IParam&) const {
  return std::exp(offset_ + normalized * multiplier_);
}

double ShapeExp::ValueToNormalized(double value, const IParam&) const {
  return (std::log(value) - offset_) / multiplier_;
}

IParam::IParam() : shape_(std::make_unique<ShapeLinear>()) {}

void IParam::SetupDouble(std::string_view name, double defaultValue, double minimum, double maximum,
                         double step, std::string_view label, int flags, std::string_view group,
                         const Shape& shape, EParamUnit unit, DisplayFunc displayFunc) {
  if (type_ == kTypeNone) type_ = kTypeDouble;
  CopyText(name_, name);
  CopyText(label_, label);
  CopyText(group_, group);
  unit_ = unit;
  flags_ = flags;
  min_ = minimum;
  max_ = std::max(maximum, minimum + step);
  step_ = step;
  default_ = defaultValue;
  value_.exchange(ClampValue(defaultValue));
  displayPrecision_ = DisplayPrecisionForStep(step);
  shape_ = shape.Clone();
  shape_->Init(*this);
  displayFunc_ = std::move(displayFunc);
  displayTexts_.clear();
}

void IParam::SetupEnum(std::string_view name, int defaultValue,
                       std::span<const std::string_view> texts, int flags, std::string_view group) {
  if (type_ == kTypeNone) type_ = kTypeEnum;
  SetupDouble(name, defaultValue, 0.0, static_cast<double>(texts.size()) - 1.0, 1.0, "",
              flags | kFlagStepped, group, ShapeLinear());
  for (std::size_t i = 0; i < texts.size(); ++i) AddDisplayText(static_cast<double>(i), texts[i]);
}

void IParam::SetupBool(std::string_view name, bool defaultValue, std::string_view label, int flags,
                       std::string_view group, std::string_view offText, std::string_view onText) {
  if (type_ == kTypeNone) type_ = kTypeBool;
  SetupDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, flags | kFlagStepped, group,
              ShapeLinear());
  AddDisplayText(0.0, offText);
  AddDisplayText(1.0, onText);
}

double IParam::ClampValue(double value) const {
  if (std::isnan(value)) value = default_;
  if (flags_ & kFlagStepped) value = std::round(value / step_) * step_;
  return std::clamp(value, min_, max_);
}

double IParam::NormalizeValue(double value) const {
  return std::clamp(shape_->ValueToNormalized(ClampValue(value), *this), 0.0, 1.0);
}

double IParam::FromNormalized(double normalized) const {
  return ClampValue(shape_->NormalizedToValue(normalized, *this));
}

void IParam::AddDisplayText(double value, std::string_view text) {
  DisplayText entry{value, {}};
  CopyText(entry.text, text);
  displayTexts_.push_back(entry);
}

const char* IParam::DisplayTextFor(double value) const {
  for (const DisplayText& entry : displayTexts_) {
    if (entry.value == value) return entry.text;
  }
  return "";
}

const char* IParam::GetDisplayTextAtIdx(int index, double* value) const {
  if (index < 0 || index >= NDisplayTexts()) return "";
  if (value) *value = displayTexts_[index].value;
  return displayTexts_[index].text;
}

double IParam::ParseValueText(const char* text) const {
  for (const DisplayText& entry : displayTexts_) {
    if (std::strcmp(entry.text, text) == 0) return entry.value;
  }
  if (type_ == kTypeBool || type_ == kTypeEnum) return 0.0;
  double value = ParseLeadingNumber(text);
  if (flags_ & kFlagNegateDisplay) value = -value;
  return ClampValue(value);
}

std::string IParam::GetDisplay(double value) const {
  const char* displayText = DisplayTextFor(value);
  if (*displayText) return displayText;
  char text[kTextLen * 2];
  if (displayFunc_) {
    displayFunc_(value, text, sizeof text);
  } else {
    std::snprintf(text, sizeof text, "%.*f", displayPrecision_, value);
  }
  return text;
}

} // namespace reef
