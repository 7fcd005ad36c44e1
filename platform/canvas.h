#pragma once
// Painting: one Canvas over a cairo image surface, with the few primitives the window draws
// (fills, frames, boxes, lines, text in a font and colour). Every call is also kept in a
// record, so tests can check what was drawn without looking at pixels.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace ui {

struct Color {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Color&) const = default;
};
constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return Color{r, g, b}; }

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Primitive {
  enum class Kind { Fill, Frame, Box, Line, Text };
  Kind kind = Kind::Fill;
  Rect rect;                  // Fill, Frame, Box
  std::vector<Point> points;  // Line (a polyline)
  Color color;                // fill colour, pen colour or text colour
  Color interior;             // Box only
  int penWidth = 1;           // Frame, Box, Line
  std::string text;           // Text, at points[0]
  Font font;                  // Text
};

// Makes fontconfig, and with it cairo and a toolkit's text, take a font of fitting widths for
// a face the layout was made for when the system lacks it. Once per process; text does it
// itself, a toolkit calls it before it starts.
void useFontStandIns();
// Text fills cairo's and fontconfig's font caches, which live until the process ends; a drawing
// program calls this before its first text so that they are handed back at exit and leak
// checkers see a clean process.
void releaseFontCachesAtExit();

class Canvas {
 public:
  // A blank white surface of width x height pixels (at least 1 x 1).
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }

  // Logical units from here on: logicalWidth x logicalHeight stretched over the surface.
  void setMapping(double logicalWidth, double logicalHeight);
  // Moves the origin (device pixels); used to paint a child at its place in the parent.
  void setOrigin(int x, int y);

  void fillRect(Rect rect, Color color);
  void frameRect(Rect rect, Color color, int penWidth = 1);
  // A box in the pen's colour filled with the interior colour (GDI's Rectangle).
  void box(Rect rect, Color pen, Color interior, int penWidth = 1);
  void polyline(const std::vector<Point>& points, Color color, int penWidth);
  // Text with its top-left corner at (x, y).
  void text(int x, int y, std::string_view utf8, const Font& font, Color color);
  // How far the text advances, in logical units, rounded up.
  int textWidth(std::string_view utf8, const Font& font) const;
  // Copies another canvas of any size onto this one at device (0, 0), pixels and record alike:
  // the last step of painting off-screen first.
  void drawCanvas(const Canvas& source);

  const std::vector<Primitive>& record() const { return record_; }
  void clearRecord() { record_.clear(); }
  Color pixel(int x, int y) const;  // device pixel; white outside the surface
  bool writePng(const std::filesystem::path& file) const;

 private:
  struct Surface;
  std::unique_ptr<Surface> surface_;
  int width_;
  int height_;
  std::vector<Primitive> record_;
};

}  // namespace ui
