#pragma once

#include <string>
#include <utility>
#include <vector>

// What a drop or the clipboard carries, as plain values each window fills
// from its toolkit's own formats on the UI thread (a file list, URL formats,
// text, picture data) for PictureSource to read.
struct DropData {
  // Local files as the system's file list gives them, UTF-8.
  std::vector<std::string> files;
  // URLs in the order carried, ASCII and percent-encoded ("file:///tmp/a%20b.png",
  // "https://host/p.png").
  std::vector<std::string> urls;
  // The plain text, UTF-8; empty when none.
  std::string text;
  // Picture files' contents with their MIME type ("image/png", "image/jpeg",
  // "image/gif", "image/webp", "image/bmp"), as the source program offered
  // them; a window whose toolkit holds only a decoded image adds it encoded
  // losslessly as "image/png", and a device-independent bitmap comes as a
  // whole BMP file.
  std::vector<std::pair<std::string, std::string>> pictures;
};
