#pragma once

#include <cstdint>
#include <string>

#include "support/FileSizeLimit.h"

// What a test page shows; texts are UTF-8 and become EUC-JP in the page.
struct PageFields {
  std::string title = "テスト画像";
  std::string name = "たろう";
  std::string imageUrl;
  int good = 3;
  int bad = 1;
  bool adult = false;
};

// A page in the site's form ("<title>" with a five-byte prefix, "情報:" name
// "様", the image as the first "<img ", two "../ii" vote links, "iframe" when
// adult), padded past 4,096 bytes unless `padded` is false. EUC-JP bytes.
std::string MakePage(const PageFields& fields, bool padded = true);

// A small PNG of one colour.
std::string SolidPng(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
