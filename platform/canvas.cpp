#include "platform/canvas.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>

namespace ui {

struct Canvas::Surface {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  double scaleX = 1.0;  // logical units to pixels
  double scaleY = 1.0;
  int originX = 0;
  int originY = 0;

  void applyMatrix() const {
    cairo_identity_matrix(cr);
    cairo_translate(cr, originX, originY);
    cairo_scale(cr, scaleX, scaleY);
  }
};

namespace {

void lf_source(cairo_t* cr, Color c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

// The layout's places were measured for Segoe UI, which a Linux desktop seldom has, and
// fontconfig's default sans is wide enough to run labels into the controls beside them.
// Carlito, a humanist face a little narrower, stands in; an installed Segoe UI still wins.
constexpr const char* kFontStandIns =
    "<?xml version=\"1.0\"?>\n<fontconfig><alias binding=\"same\"><family>Segoe UI</family>"
    "<accept><family>Carlito</family></accept></alias></fontconfig>";

void lf_selectFont(cairo_t* cr, const Font& font) {
  useFontStandIns();
  cairo_select_font_face(cr, font.face.empty() ? "sans-serif" : font.face.c_str(), CAIRO_FONT_SLANT_NORMAL,
                         font.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font.height == 0 ? 16 : std::abs(font.height));
}

}  // namespace

void releaseFontCachesAtExit() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit([] {
      cairo_debug_reset_static_data();
      FcFini();
    });
  });
}

void useFontStandIns() {
  static std::once_flag once;
  std::call_once(once, [] {
    FcConfig* config = FcConfigGetCurrent();
    if (!config || !FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kFontStandIns), FcFalse))
      std::fprintf(stderr, "The stand-in for Segoe UI could not be set; text may not fit its place\n");
  });
}

Canvas::Canvas(int width, int height)
    : surface_(std::make_unique<Surface>()), width_(std::max(width, 1)), height_(std::max(height, 1)) {
  surface_->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
  surface_->cr = cairo_create(surface_->surface);
  cairo_set_source_rgb(surface_->cr, 1, 1, 1);
  cairo_paint(surface_->cr);
}

Canvas::~Canvas() {
  cairo_destroy(surface_->cr);
  cairo_surface_destroy(surface_->surface);
}

void Canvas::setMapping(double logicalWidth, double logicalHeight) {
  if (logicalWidth <= 0 || logicalHeight <= 0) return;
  surface_->scaleX = width_ / logicalWidth;
  surface_->scaleY = height_ / logicalHeight;
  surface_->applyMatrix();
}

void Canvas::setOrigin(int x, int y) {
  surface_->originX = x;
  surface_->originY = y;
  surface_->applyMatrix();
}

void Canvas::fillRect(Rect rect, Color color) {
  record_.push_back(Primitive{Primitive::Kind::Fill, rect, {}, color});
  cairo_t* cr = surface_->cr;
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  lf_source(cr, color);
  cairo_fill(cr);
}

void Canvas::frameRect(Rect rect, Color color, int penWidth) {
  Primitive p{Primitive::Kind::Frame, rect, {}, color};
  p.penWidth = penWidth;
  record_.push_back(std::move(p));
  // The pen runs inside the rectangle, as GDI draws a frame.
  const double half = penWidth / 2.0;
  cairo_t* cr = surface_->cr;
  cairo_rectangle(cr, rect.x + half, rect.y + half, rect.width - penWidth, rect.height - penWidth);
  cairo_set_line_width(cr, penWidth);
  lf_source(cr, color);
  cairo_stroke(cr);
}

void Canvas::box(Rect rect, Color pen, Color interior, int penWidth) {
  Primitive p{Primitive::Kind::Box, rect, {}, pen, interior};
  p.penWidth = penWidth;
  record_.push_back(std::move(p));
  cairo_t* cr = surface_->cr;
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  lf_source(cr, interior);
  cairo_fill(cr);
  const double half = penWidth / 2.0;
  cairo_rectangle(cr, rect.x + half, rect.y + half, rect.width - penWidth, rect.height - penWidth);
  cairo_set_line_width(cr, penWidth);
  lf_source(cr, pen);
  cairo_stroke(cr);
}

void Canvas::polyline(const std::vector<Point>& points, Color color, int penWidth) {
  Primitive p{Primitive::Kind::Line, {}, points, color};
  p.penWidth = penWidth;
  record_.push_back(std::move(p));
  if (points.size() < 2) return;
  cairo_t* cr = surface_->cr;
  cairo_move_to(cr, points[0].x, points[0].y);
  for (std::size_t i = 1; i < points.size(); ++i) cairo_line_to(cr, points[i].x, points[i].y);
  cairo_set_line_width(cr, penWidth);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  lf_source(cr, color);
  cairo_stroke(cr);
}

void Canvas::text(int x, int y, std::string_view utf8, const Font& font, Color color) {
  Primitive p{Primitive::Kind::Text, {}, {Point{x, y}}, color};
  p.text = std::string(utf8);
  p.font = font;
  record_.push_back(p);
  releaseFontCachesAtExit();
  cairo_t* cr = surface_->cr;
  lf_selectFont(cr, font);
  cairo_font_extents_t extents;
  cairo_font_extents(cr, &extents);
  cairo_move_to(cr, x, y + extents.ascent);
  lf_source(cr, color);
  cairo_show_text(cr, p.text.c_str());
}

int Canvas::textWidth(std::string_view utf8, const Font& font) const {
  releaseFontCachesAtExit();
  cairo_t* cr = surface_->cr;
  lf_selectFont(cr, font);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, std::string(utf8).c_str(), &extents);
  return static_cast<int>(std::ceil(extents.x_advance));
}

void Canvas::drawCanvas(const Canvas& source) {
  if (&source == this) return;
  record_.insert(record_.end(), source.record_.begin(), source.record_.end());
  cairo_surface_flush(source.surface_->surface);
  cairo_t* cr = surface_->cr;
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, source.surface_->surface, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
}

Color Canvas::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return rgb(255, 255, 255);
  cairo_surface_flush(surface_->surface);
  const unsigned char* data = cairo_image_surface_get_data(surface_->surface);
  const int stride = cairo_image_surface_get_stride(surface_->surface);
  std::uint32_t value = *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
  return rgb(static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value));
}

bool Canvas::writePng(const std::filesystem::path& file) const {
  cairo_surface_flush(surface_->surface);
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  if (cairo_surface_write_to_png(surface_->surface, temporary.c_str()) != CAIRO_STATUS_SUCCESS) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  return !error;
}

}  // namespace ui
