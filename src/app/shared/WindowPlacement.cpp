#include "app/shared/WindowPlacement.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "infra/Log.h"
#include "infra/SettingFile.h"

namespace {

const std::string kSection = "window";

// A whole decimal number in [low, high], or nothing.
std::optional<int> Number(const std::string& text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

WindowPlacement WindowPlacement::Load(const std::string& path) {
  WindowPlacement placement;
  SettingFile file;
  errno = 0;
  if (!file.Load(path)) {
    // The first start has no file; anything else is worth a line.
    if (errno != ENOENT) WriteLog("WindowPlacement::Load() : cannot read " + path);
    return placement;
  }
  const auto get = [&file](const char* key) -> const std::string& { return file.Get(kSection, key); };
  const std::optional<int> left = Number(get("left"), -kMaxPixels, kMaxPixels);
  const std::optional<int> top = Number(get("top"), -kMaxPixels, kMaxPixels);
  const std::optional<int> width = Number(get("width"), 1, kMaxPixels);
  const std::optional<int> height = Number(get("height"), 1, kMaxPixels);
  if (left && top && width && height) placement.frame = PixelRect{*left, *top, *width, *height};
  placement.maximized = get("maximized") == "1";
  const std::string& columns = get("columns");
  for (std::size_t start = 0; !columns.empty() && start <= columns.size();) {
    const std::size_t comma = std::min(columns.find(',', start), columns.size());
    const std::optional<int> column = Number(columns.substr(start, comma - start), 1, kMaxPixels);
    if (!column) {
      // Widths that do not all read would go to the wrong columns.
      placement.columns.clear();
      break;
    }
    placement.columns.push_back(*column);
    start = comma + 1;
  }
  return placement;
}

bool WindowPlacement::Save(const std::string& path) const {
  SettingFile file;
  if (frame) {
    file.Set(kSection, "left", std::to_string(frame->left));
    file.Set(kSection, "top", std::to_string(frame->top));
    file.Set(kSection, "width", std::to_string(frame->width));
    file.Set(kSection, "height", std::to_string(frame->height));
  }
  file.Set(kSection, "maximized", maximized ? "1" : "0");
  std::string widths;
  for (const int column : columns) widths += (widths.empty() ? "" : ",") + std::to_string(column);
  file.Set(kSection, "columns", widths);
  file.UpdateSections();
  if (!file.SaveAs(path)) {
    WriteLog("WindowPlacement::Save() : cannot write " + path);
    return false;
  }
  return true;
}

bool WindowPlacement::IsOnScreen(const PixelRect& frame, const std::vector<PixelRect>& screens) {
  const PixelRect strip{frame.left, frame.top, frame.width, std::min(frame.height, kGripHeight)};
  for (const PixelRect& screen : screens) {
    const int width = std::min(strip.Right(), screen.Right()) - std::max(strip.left, screen.left);
    const int height = std::min(strip.Bottom(), screen.Bottom()) - std::max(strip.top, screen.top);
    if (width >= std::min(kGripWidth, strip.width) && height >= strip.height && strip.height > 0) return true;
  }
  return false;
}
