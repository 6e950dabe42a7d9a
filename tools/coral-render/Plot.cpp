#include "tools/coral-render/Plot.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdio>
#include <fontconfig/fontconfig.h>
#include <memory>

#include "engine/ResponseCurves.h"

namespace coral::render {
namespace {

struct Colour {
  double r, g, b, a;
};

constexpr Colour Rgb(int r, int g, int b, int a = 255) {
  return {r / 255.0, g / 255.0, b / 255.0, a / 255.0};
}

// The editor's palette and graph colours.
constexpr Colour kBackground = Rgb(17, 26, 31);
constexpr Colour kText = Rgb(240, 236, 226);
constexpr Colour kTextDim = Rgb(151, 163, 169);
constexpr Colour kLine = Rgb(54, 67, 73);
constexpr Colour kMinorLine = Rgb(54, 67, 73, 110);
constexpr Colour kZeroLine = Rgb(90, 106, 109);
constexpr Colour kCopper = Rgb(215, 165, 109);
constexpr Colour kBlue = Rgb(96, 156, 255);
constexpr Colour kInputSpectrum = Rgb(178, 184, 190, 150); // neutral grey
constexpr Colour kOutputSpectrum = Rgb(96, 156, 255, 190); // blue
constexpr Colour kStaticEq = Rgb(215, 165, 109);           // copper, wide
constexpr Colour kCurrentEq = Rgb(240, 236, 226);          // white, narrow, on top
constexpr double kStaticEqWidth = 4.0, kCurrentEqWidth = 1.5;

constexpr double kMinFrequency = 20.0;
constexpr double kSpectrumFloor = -96.0;

// Plot area in image pixels.
constexpr double kLeft = 84, kTop = 92, kRight = kPlotWidth - 84, kBottom = kPlotHeight - 72;

enum class Align { Left, Centre, Right };

struct Axes {
  double fmax;  // Hz, right edge
  double range; // dB, half-height of the EQ axis

  double X(double frequency) const {
    const double t = std::log(std::max(frequency, kMinFrequency) / kMinFrequency) /
                     std::log(fmax / kMinFrequency);
    return kLeft + (kRight - kLeft) * std::clamp(t, 0.0, 1.0);
  }
  // Inverse of X.
  double Frequency(double x) const {
    return kMinFrequency * std::pow(fmax / kMinFrequency, (x - kLeft) / (kRight - kLeft));
  }
  // Beyond the axis a curve runs on off the plot (the plot area clips it) rather than along
  // its edge, so a deep notch reads as deeper than the axis.
  double GainY(double db) const {
    const double mid = 0.5 * (kTop + kBottom);
    return mid - 0.5 * (kBottom - kTop) * std::clamp(db / range, -4.0, 4.0);
  }
  double SpectrumY(double dbfs) const {
    const double t = std::clamp((dbfs - kSpectrumFloor) / -kSpectrumFloor, 0.0, 1.0);
    return kBottom - (kBottom - kTop) * t;
  }
};

void SetColour(cairo_t* cr, const Colour& c) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void Line(cairo_t* cr, double x0, double y0, double x1, double y1, const Colour& c, double width) {
  SetColour(cr, c);
  cairo_set_line_width(cr, width);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_stroke(cr);
}

// Text with its vertical centre at y.
void Text(cairo_t* cr, const std::string& text, double x, double y, Align align, double size,
          const Colour& c) {
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  double left = x - extents.x_bearing;
  if (align == Align::Centre) left = x - extents.x_bearing - extents.width / 2;
  if (align == Align::Right) left = x - extents.x_bearing - extents.width;
  SetColour(cr, c);
  cairo_move_to(cr, left, y - extents.y_bearing - extents.height / 2);
  cairo_show_text(cr, text.c_str());
}

// Text rotated a quarter turn anticlockwise, centred on (x, y).
void VerticalText(cairo_t* cr, const std::string& text, double x, double y, double size,
                  const Colour& c) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, -M_PI / 2);
  Text(cr, text, 0, 0, Align::Centre, size, c);
  cairo_restore(cr);
}

std::string FrequencyLabel(double f) {
  char text[16];
  if (f >= 1000) {
    std::snprintf(text, sizeof text, "%gk", f / 1000);
  } else {
    std::snprintf(text, sizeof text, "%g", f);
  }
  return text;
}

void DrawGrid(cairo_t* cr, const Axes& axes) {
  // Frequency: every 1-2-...-9 step of each decade, labelled at 20, 50, 100, 200, 500, ...
  for (double decade = 10; decade <= 10000; decade *= 10) {
    for (int step = 1; step <= 9; ++step) {
      const double f = decade * step;
      if (f < kMinFrequency || f > axes.fmax + 0.1) continue;
      const bool major = step == 1 || step == 2 || step == 5;
      const double x = axes.X(f);
      Line(cr, x, kTop, x, kBottom, major ? kLine : kMinorLine, 1.0);
      if (major) Text(cr, FrequencyLabel(f), x, kBottom + 14, Align::Centre, 12, kTextDim);
    }
  }

  // Gain and spectrum share eight divisions: R/4 dB and 12 dBFS per division.
  for (int i = 0; i <= 8; ++i) {
    const double gain = axes.range * (i - 4) / 4.0;
    const double y = axes.GainY(gain);
    Line(cr, kLeft, y, kRight, y, i == 4 ? kZeroLine : kLine, 1.0);
    char text[16];
    std::snprintf(text, sizeof text, i == 4 ? "%.0f" : "%+.0f", gain);
    Text(cr, text, kLeft - 8, y, Align::Right, 12, kCopper);
    std::snprintf(text, sizeof text, "%.0f", kSpectrumFloor + 12.0 * i);
    Text(cr, text, kRight + 8, y, Align::Left, 12, kBlue);
  }
  cairo_set_line_width(cr, 1.0);
  SetColour(cr, kLine);
  cairo_rectangle(cr, kLeft, kTop, kRight - kLeft, kBottom - kTop);
  cairo_stroke(cr);

  VerticalText(cr, "EQ gain (dB)", 30, 0.5 * (kTop + kBottom), 13, kCopper);
  VerticalText(cr, "Spectrum (dBFS)", kPlotWidth - 30, 0.5 * (kTop + kBottom), 13, kBlue);
  Text(cr, "Frequency (Hz)", 0.5 * (kLeft + kRight), kBottom + 40, Align::Centre, 13, kTextDim);
}

// A spectrum as a filled region with its outline; skipped when it holds no analysis (all
// exactly 0) or nothing above the axis floor.
void DrawSpectrum(cairo_t* cr, const Axes& axes, const PublishedData& data,
                  const std::array<float, kDisplayPoints>& values, const Colour& colour) {
  const bool empty = std::all_of(values.begin(), values.end(), [](float v) { return v == 0.f; });
  const bool visible =
      std::any_of(values.begin(), values.end(), [](float v) { return v > kSpectrumFloor; });
  if (empty || !visible) return;

  cairo_new_path(cr);
  cairo_move_to(cr, axes.X(data.frequencies[0]), kBottom);
  for (int i = 0; i < kDisplayPoints; ++i) {
    cairo_line_to(cr, axes.X(data.frequencies[i]), axes.SpectrumY(values[i]));
  }
  cairo_line_to(cr, axes.X(data.frequencies[kDisplayPoints - 1]), kBottom);
  cairo_close_path(cr);
  Colour fill = colour;
  fill.a *= 0.35;
  SetColour(cr, fill);
  cairo_fill(cr);

  cairo_new_path(cr);
  for (int i = 0; i < kDisplayPoints; ++i) {
    cairo_line_to(cr, axes.X(data.frequencies[i]), axes.SpectrumY(values[i]));
  }
  SetColour(cr, colour);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
}

struct CurvePoint {
  double frequency; // Hz
  double db;
};

void DrawCurve(cairo_t* cr, const Axes& axes, const std::vector<CurvePoint>& curve,
               const Colour& colour, double width) {
  cairo_new_path(cr);
  for (const CurvePoint& point : curve) {
    cairo_line_to(cr, axes.X(point.frequency), axes.GainY(point.db));
  }
  SetColour(cr, colour);
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);
}

// The static EQ of the rendered settings from the band designs (the target curve, left
// output) at every pixel column and at each enabled band's own frequency, so that a narrow
// notch or peak shows its true depth; the 256-point display grid steps over such features.
std::vector<CurvePoint> StaticEqCurve(const Axes& axes, const PublishedData& data,
                                      double sampleRate) {
  std::vector<double> frequencies;
  for (double x = kLeft; x <= kRight; x += 1.0) frequencies.push_back(axes.Frequency(x));
  for (int band = 0; band < kNumBands; ++band) {
    const double frequency = data.values[BandParamIndex(band, kFrequency)];
    const bool enabled = data.values[BandParamIndex(band, kEnabled)] > 0.5f;
    if (enabled && frequency > kMinFrequency && frequency < axes.fmax) {
      frequencies.push_back(frequency);
    }
  }
  std::sort(frequencies.begin(), frequencies.end());
  std::vector<CurvePoint> curve;
  for (double frequency : frequencies) {
    const double db = TargetCurvePoint(frequency, data.values, sampleRate, 0);
    curve.push_back({frequency, std::isfinite(db) ? db : 0.0});
  }
  return curve;
}

// The current EQ at the points of `staticEq`: the static curve plus what the live dynamic
// filters add, which the engine publishes on the display grid (current minus static wet EQ)
// and which is interpolated here over log frequency; dynamic filters are smooth bells and
// shelves, so the grid resolves them.
std::vector<CurvePoint> CurrentEqCurve(const std::vector<CurvePoint>& staticEq,
                                       const PublishedData& data) {
  const auto& grid = data.frequencies;
  const auto dynamicDb = [&](int i) {
    return double(data.display.currentWetEq[i]) - data.display.staticWetEq[i];
  };
  std::vector<CurvePoint> curve;
  for (const CurvePoint& point : staticEq) {
    const auto above = std::upper_bound(grid.begin(), grid.end(), float(point.frequency));
    const int i = std::clamp(int(above - grid.begin()), 1, kDisplayPoints - 1);
    const double t = std::clamp(std::log(point.frequency / grid[i - 1]) /
                                    std::log(double(grid[i]) / grid[i - 1]),
                                0.0, 1.0);
    curve.push_back({point.frequency, point.db + (1 - t) * dynamicDb(i - 1) + t * dynamicDb(i)});
  }
  return curve;
}

void DrawLegend(cairo_t* cr) {
  struct Entry {
    const char* text;
    Colour colour;
    double width;
    bool filled;
  };
  const Entry entries[] = {
      {"Input spectrum", kInputSpectrum, 1.0, true},
      {"Output spectrum", kOutputSpectrum, 1.0, true},
      {"Static EQ (band designs)", kStaticEq, kStaticEqWidth, false},
      {"Current EQ (with dynamics)", kCurrentEq, kCurrentEqWidth, false},
  };
  double x = kLeft;
  const double y = kTop - 18;
  cairo_set_font_size(cr, 12);
  for (const Entry& entry : entries) {
    if (entry.filled) {
      Colour fill = entry.colour;
      fill.a *= 0.35;
      SetColour(cr, fill);
      cairo_rectangle(cr, x, y - 5, 24, 10);
      cairo_fill(cr);
    }
    Line(cr, x, entry.filled ? y - 5 : y, x + 24, entry.filled ? y - 5 : y, entry.colour,
         entry.width);
    Text(cr, entry.text, x + 32, y, Align::Left, 12, kText);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, entry.text, &extents);
    x += 32 + extents.x_advance + 28;
  }
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<unsigned char>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

void DrawPlot(cairo_t* cr, const PublishedData& data, const std::string& title) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  SetColour(cr, kBackground);
  cairo_paint(cr);

  const double sampleRate =
      std::isfinite(data.display.sampleRate) && data.display.sampleRate >= 8000
          ? data.display.sampleRate
          : 48000.0;
  const Axes axes{std::min(0.49 * sampleRate, 20000.0), data.graphRange};

  Text(cr, title, kLeft, 26, Align::Left, 16, kText);
  char info[128];
  std::snprintf(info, sizeof info, "%.0f Hz   Recipe: %s", sampleRate, data.recipe.c_str());
  Text(cr, info, kRight, 26, Align::Right, 12, kTextDim);
  DrawLegend(cr);
  DrawGrid(cr, axes);

  cairo_save(cr);
  cairo_rectangle(cr, kLeft, kTop, kRight - kLeft, kBottom - kTop);
  cairo_clip(cr);
  DrawSpectrum(cr, axes, data, data.display.inputSpectrum, kInputSpectrum);
  DrawSpectrum(cr, axes, data, data.display.outputSpectrum, kOutputSpectrum);
  // The wide static curve under the narrow current one: where dynamics change the EQ both
  // are seen apart, elsewhere the current curve runs inside the static one.
  const std::vector<CurvePoint> staticEq = StaticEqCurve(axes, data, sampleRate);
  DrawCurve(cr, axes, staticEq, kStaticEq, kStaticEqWidth);
  DrawCurve(cr, axes, CurrentEqCurve(staticEq, data), kCurrentEq, kCurrentEqWidth);
  cairo_restore(cr);
}

} // namespace

std::vector<unsigned char> PlotPng(const PublishedData& data, const std::string& title,
                                   std::string& error) {
  std::vector<unsigned char> png;
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  {
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPlotWidth, kPlotHeight),
        cairo_surface_destroy);
    const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                                     cairo_destroy);
    DrawPlot(context.get(), data, title);
    status = cairo_status(context.get());
    if (status == CAIRO_STATUS_SUCCESS) {
      status = cairo_surface_write_to_png_stream(surface.get(), AppendBytes, &png);
    }
  }
  // Cairo and fontconfig keep the fonts used in process-wide caches; with no drawing left,
  // release them so that the process ends with nothing outstanding. A later plot in the same
  // process loads them again.
  cairo_debug_reset_static_data();
  FcFini();
  if (status != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot draw the plot: ") + cairo_status_to_string(status);
    return {};
  }
  return png;
}

} // namespace coral::render
