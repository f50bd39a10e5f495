#pragma once

#include <cstdint>
#include <string>

#include "imaging/DecodedImage.h"

// Encoders for the formats the decoders read, writing into a byte string.
// Used by tests, the benchmarks and the demo
// site to make pictures. Each returns false (with *out unspecified) when the
// picture cannot be written in the asked form; 16-bit pictures are written
// as 8 bits except by EncodePng with bitDepth 16. Any thread may call them.
class ImageWriter {
 public:
  // 24-bit bottom-up BI_RGB, or 32-bit with alpha when `withAlpha`.
  static bool EncodeBmp(const DecodedImage& image, std::string* out, bool withAlpha = false);

  struct JpegOptions {
    int quality = 90;
    bool grey = false;  // one channel, from red/green/blue luminance
  };
  static bool EncodeJpeg(const DecodedImage& image, std::string* out, const JpegOptions& options);
  static bool EncodeJpeg(const DecodedImage& image, std::string* out) { return EncodeJpeg(image, out, JpegOptions{}); }

  enum class PngColour { kRgb, kRgba, kGrey, kGreyAlpha, kPalette };
  struct PngOptions {
    PngColour colour = PngColour::kRgb;
    // 8 or 16; 1, 2 or 4 for grey and palette pictures as well.
    int bitDepth = 8;
    bool interlaced = false;
  };
  // Grey forms take the red channel. A palette picture needs at most 256
  // colours (and at most 2^bitDepth); its alpha goes into a tRNS chunk.
  static bool EncodePng(const DecodedImage& image, std::string* out, const PngOptions& options);
  static bool EncodePng(const DecodedImage& image, std::string* out) { return EncodePng(image, out, PngOptions{}); }

  struct GifOptions {
    bool interlaced = false;
    int transparentIndex = -1;  // palette index marked transparent, or -1
  };
  // Pictures of up to 256 colours keep them exactly; others are mapped to a
  // fixed 6 x 7 x 6 colour cube.
  static bool EncodeGif(const DecodedImage& image, std::string* out, const GifOptions& options);
  static bool EncodeGif(const DecodedImage& image, std::string* out) { return EncodeGif(image, out, GifOptions{}); }

  // Lossless when `quality` is negative, lossy with that quality (0..100) otherwise.
  static bool EncodeWebp(const DecodedImage& image, std::string* out, float quality = -1.0f);
};

// Writes `bytes` to `path`, creating or replacing it. Returns false on any failure.
bool WriteBytesToFile(const std::string& path, const std::string& bytes);
