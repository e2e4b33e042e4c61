#include "sandbox/TagCloudPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "base/StringAdditions.h"
#include "sandbox/PngWriter.h"

namespace mr::sandbox {
namespace {

using Point = std::pair<double, double>;  // in the unit square, y downwards

bool insidePolygon(const std::vector<Point>& polygon, double x, double y) {
  bool inside = false;
  for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const auto [xi, yi] = polygon[i];
    const auto [xj, yj] = polygon[j];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

bool insideCircle(double x, double y, double cx, double cy, double r) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

const std::vector<Point>& starPolygon() {
  static const std::vector<Point> star = [] {
    std::vector<Point> points;
    for (int i = 0; i < 10; ++i) {
      const double radius = i % 2 == 0 ? 0.5 : 0.2;
      const double angle = -M_PI / 2 + i * M_PI / 5;
      points.emplace_back(0.5 + radius * std::cos(angle), 0.52 + radius * std::sin(angle));
    }
    return points;
  }();
  return star;
}

bool insideShape(const std::string& shape, double x, double y) {
  if (shape == "star") return insidePolygon(starPolygon(), x, y);
  if (shape == "diamond") return std::abs(x - 0.5) + std::abs(y - 0.5) <= 0.5;
  if (shape == "drop") {
    static const std::vector<Point> tip = {{0.5, 0.02}, {0.19, 0.44}, {0.81, 0.44}};
    return insideCircle(x, y, 0.5, 0.62, 0.36) || insidePolygon(tip, x, y);
  }
  if (shape == "heart") {
    const double u = (x - 0.5) * 2.6;
    const double v = (0.45 - y) * 2.6;
    const double a = u * u + v * v - 1;
    return a * a * a - u * u * v * v * v <= 0;
  }
  if (shape == "fire") {
    static const std::vector<Point> flame = {{0.5, 0.0}, {0.7, 0.3},  {0.65, 0.45}, {0.85, 0.35},
                                             {0.9, 0.7}, {0.7, 1.0},  {0.3, 1.0},   {0.1, 0.7},
                                             {0.2, 0.4}, {0.35, 0.5}, {0.3, 0.25}};
    return insidePolygon(flame, x, y);
  }
  if (shape == "thunder") {
    static const std::vector<Point> bolt = {{0.55, 0.0}, {0.2, 0.55}, {0.45, 0.55}, {0.35, 1.0},
                                            {0.8, 0.4},  {0.55, 0.4}, {0.7, 0.0}};
    return insidePolygon(bolt, x, y);
  }
  if (shape == "note") {
    static const std::vector<Point> flag = {{0.54, 0.1}, {0.85, 0.25}, {0.85, 0.38}, {0.54, 0.25}};
    const bool stem = x >= 0.46 && x <= 0.54 && y >= 0.1 && y <= 0.78;
    return insideCircle(x, y, 0.35, 0.78, 0.18) || stem || insidePolygon(flag, x, y);
  }
  if (shape == "apple") {
    static const std::vector<Point> leaf = {{0.5, 0.3}, {0.55, 0.05}, {0.7, 0.08}, {0.56, 0.3}};
    return insideCircle(x, y, 0.36, 0.6, 0.3) || insideCircle(x, y, 0.64, 0.6, 0.3) ||
           insidePolygon(leaf, x, y);
  }
  return false;
}

struct Colour {
  uint8_t r, g, b;
};

// Stable per name, and never so light that it vanishes in the outline.
Colour colourForName(const std::string& name) {
  const Bytes digest = dataFromHexString(MD5DigestString(name));
  const auto channel = [&](size_t i) { return static_cast<uint8_t>(40 + digest[i] % 160); };
  return {channel(0), channel(1), channel(2)};
}

}  // namespace

const std::vector<std::string>& TagCloudPainter::shapes() {
  static const std::vector<std::string> names = {"star", "drop",    "diamond", "heart",
                                                 "fire", "thunder", "note",    "apple"};
  return names;
}

bool TagCloudPainter::isKnownShape(const std::string& shape) {
  const auto& names = shapes();
  return std::find(names.begin(), names.end(), shape) != names.end();
}

unsigned TagCloudPainter::sideForTagCount(size_t count) {
  return 128 + 16 * static_cast<unsigned>(std::min<size_t>(count, 16));
}

std::string TagCloudPainter::paint(const std::vector<TagCloudTag>& tags, const std::string& shape) {
  if (!isKnownShape(shape)) return {};
  const unsigned side = sideForTagCount(tags.size());
  std::vector<uint8_t> pixels(size_t{side} * side * 4, 0);  // transparent outside the outline
  const auto put = [&](unsigned x, unsigned y, Colour colour) {
    if (!insideShape(shape, (x + 0.5) / side, (y + 0.5) / side)) return;
    uint8_t* pixel = &pixels[(size_t{y} * side + x) * 4];
    pixel[0] = colour.r;
    pixel[1] = colour.g;
    pixel[2] = colour.b;
    pixel[3] = 255;
  };
  for (unsigned y = 0; y < side; ++y) {
    for (unsigned x = 0; x < side; ++x)
      put(x, y, {236, 236, 236});
  }

  std::vector<TagCloudTag> ordered = tags;
  for (auto& tag : ordered) {
    if (!std::isfinite(tag.weight) || tag.weight < 0) tag.weight = 0;
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.weight > b.weight; });
  const double heaviest = ordered.empty() ? 0 : ordered.front().weight;

  // Bars are laid out in rows, left to right, as words in a cloud would be,
  // going round the tags again until the outline is full.
  const unsigned margin = side / 16;
  unsigned cursorX = margin;
  unsigned cursorY = margin;
  unsigned rowHeight = 0;
  for (size_t i = 0; !ordered.empty(); ++i) {
    const TagCloudTag& tag = ordered[i % ordered.size()];
    const double share = heaviest > 0 ? tag.weight / heaviest : 1;
    const auto height = static_cast<unsigned>(6 + 18 * share);
    const auto width = std::min<unsigned>(
        side - 2 * margin,
        std::max<unsigned>(2 * height, static_cast<unsigned>(tag.name.size() * height * 0.55)));
    if (cursorX + width > side - margin) {
      cursorX = margin;
      cursorY += rowHeight + 2;
      rowHeight = 0;
    }
    if (cursorY + height > side - margin) break;
    const Colour colour = colourForName(tag.name);
    for (unsigned y = cursorY; y < cursorY + height; ++y) {
      for (unsigned x = cursorX; x < cursorX + width; ++x)
        put(x, y, colour);
    }
    cursorX += width + 3;
    rowHeight = std::max(rowHeight, height);
  }
  return PngWriter::encodeRgba(side, side, pixels);
}

}  // namespace mr::sandbox
