#include "support/SitePages.h"

#include "demosite/EucJpEncoding.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"

std::string MakePage(const PageFields& fields, bool padded) {
  std::string page = "<html><head><title>mofu!" + fields.title + "</title></head><body>\n";
  page += "<img src=\"" + fields.imageUrl + "\" alt=\"\">\n";
  page += "<p>投稿者情報:" + fields.name + "様</p>\n";
  page += "<a href=\"../iine.php?v=1\">いいね:<b>" + std::to_string(fields.good) + "</b></a>\n";
  page += "<a href=\"../iine.php?v=2\">だめ:<b>" + std::to_string(fields.bad) + "</b></a>\n";
  if (fields.adult) page += "<iframe src=\"/gate\"></iframe>\n";
  if (padded) page += "<!--" + std::string(4200, '.') + "-->\n";
  return Utf8ToEucJp(page + "</body></html>\n");
}

std::string SolidPng(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  DecodedImage image;
  image.Allocate(8, 8, false);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      std::uint8_t* pixel = image.Row8(y) + x * 4;
      pixel[0] = red;
      pixel[1] = green;
      pixel[2] = blue;
      pixel[3] = 255;
    }
  std::string png;
  ImageWriter::EncodePng(image, &png);
  return png;
}
