// Writes the picture seeds of the image fuzz targets: small files of every
// variant each decoder reads, so that a run starts deep inside the decoder.
//   make_seeds <corpus directory>   (fills <dir>/fuzz_image_<format>/)
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"

namespace {

DecodedImage Picture(int width, int height, bool alpha) {
  DecodedImage image;
  image.Allocate(width, height, false);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.Row8(y);
    for (int x = 0; x < width; ++x) {
      row[x * 4 + 0] = static_cast<std::uint8_t>(x * 40);
      row[x * 4 + 1] = static_cast<std::uint8_t>(y * 50);
      row[x * 4 + 2] = static_cast<std::uint8_t>((x + y) * 20);
      row[x * 4 + 3] = alpha ? static_cast<std::uint8_t>(255 - x * 30) : 255;
    }
  }
  return image;
}

// Few colours, for palette forms.
DecodedImage Stripes(int width, int height) {
  DecodedImage image;
  image.Allocate(width, height, false);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t level = (x + y) % 2 == 0 ? 0 : 255;
      std::uint8_t* pixel = image.Row8(y) + x * 4;
      pixel[0] = level;
      pixel[1] = static_cast<std::uint8_t>(255 - level);
      pixel[2] = level;
      pixel[3] = 255;
    }
  }
  return image;
}

void Put(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A BMP with an info header of `headerSize` (12 core, 40 info, 108 V4),
// `bits` per pixel, a palette of `colours` greys, optional bit fields.
std::string Bmp(int width, int height, int bits, int headerSize, bool topDown, bool bitFields) {
  const int colours = bits <= 8 ? 1 << bits : 0;
  const int paletteEntry = headerSize == 12 ? 3 : 4;
  const int masks = bitFields && headerSize == 40 ? 12 : 0;
  const int stride = ((width * bits + 31) / 32) * 4;
  const int offset = 14 + headerSize + masks + colours * paletteEntry;
  std::string out = "BM";
  Put(out, static_cast<std::uint32_t>(offset + stride * height), 4);
  Put(out, 0, 4);
  Put(out, static_cast<std::uint32_t>(offset), 4);
  Put(out, static_cast<std::uint32_t>(headerSize), 4);
  if (headerSize == 12) {
    Put(out, static_cast<std::uint32_t>(width), 2);
    Put(out, static_cast<std::uint32_t>(height), 2);
    Put(out, 1, 2);
    Put(out, static_cast<std::uint32_t>(bits), 2);
  } else {
    Put(out, static_cast<std::uint32_t>(width), 4);
    Put(out, static_cast<std::uint32_t>(topDown ? -height : height), 4);
    Put(out, 1, 2);
    Put(out, static_cast<std::uint32_t>(bits), 2);
    Put(out, bitFields ? 3 : 0, 4);
    Put(out, static_cast<std::uint32_t>(stride * height), 4);
    Put(out, 2835, 4);
    Put(out, 2835, 4);
    Put(out, static_cast<std::uint32_t>(colours), 4);
    Put(out, 0, 4);
    const bool sixteen = bits == 16;
    if (bitFields || headerSize > 40) {
      Put(out, sixteen ? 0xf800 : 0x00ff0000, 4);
      Put(out, sixteen ? 0x07e0 : 0x0000ff00, 4);
      Put(out, sixteen ? 0x001f : 0x000000ff, 4);
    }
    if (headerSize > 40) {
      Put(out, sixteen ? 0 : 0xff000000, 4);
      out.append(static_cast<std::size_t>(headerSize - 56), '\0');
    }
  }
  for (int i = 0; i < colours; ++i) {
    const auto grey = static_cast<std::uint32_t>(i * 255 / (colours - 1));
    Put(out, grey | grey << 8 | grey << 16, paletteEntry);
  }
  for (int y = 0; y < height; ++y) {
    std::string row;
    for (int x = 0; x < stride; ++x) row.push_back(static_cast<char>((x * 37 + y * 11) & 0xff));
    out += row;
  }
  return out;
}

bool Write(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <corpus directory>\n");
    return 2;
  }
  const std::string root = std::string(argv[1]) + "/";
  bool ok = true;
  auto save = [&](const std::string& format, const std::string& name, const std::string& bytes, bool made) {
    const std::string directory = root + "fuzz_image_" + format;
    ::mkdir(directory.c_str(), 0777);
    ok = made && Write(directory + "/" + name, bytes) && ok;
  };
  const DecodedImage rgb = Picture(7, 5, false);
  const DecodedImage rgba = Picture(7, 5, true);
  const DecodedImage stripes = Stripes(6, 4);
  std::string bytes;

  save("bmp", "rgb24", bytes, ImageWriter::EncodeBmp(rgb, &bytes));
  save("bmp", "rgba32", bytes, ImageWriter::EncodeBmp(rgba, &bytes, true));
  for (const int bits : {1, 4, 8}) {
    save("bmp", "palette" + std::to_string(bits), Bmp(5, 3, bits, 40, false, false), true);
    save("bmp", "core" + std::to_string(bits), Bmp(5, 3, bits, 12, false, false), true);
  }
  save("bmp", "fields16", Bmp(5, 3, 16, 40, false, true), true);
  save("bmp", "fields32-topdown", Bmp(5, 3, 32, 40, true, true), true);
  save("bmp", "v4-32", Bmp(4, 2, 32, 108, false, false), true);
  save("bmp", "plain16", Bmp(5, 3, 16, 40, true, false), true);

  save("jpeg", "colour", bytes, ImageWriter::EncodeJpeg(rgb, &bytes));
  ImageWriter::JpegOptions grey;
  grey.grey = true;
  grey.quality = 50;
  save("jpeg", "grey", bytes, ImageWriter::EncodeJpeg(rgb, &bytes, grey));

  using Colour = ImageWriter::PngColour;
  const struct {
    const char* name;
    Colour colour;
    int depth;
    bool interlaced;
    const DecodedImage& image;
  } pngs[] = {{"rgb8", Colour::kRgb, 8, false, rgb},           {"rgba16", Colour::kRgba, 16, false, rgba},
              {"grey2", Colour::kGrey, 2, false, stripes},     {"greyalpha", Colour::kGreyAlpha, 8, true, rgba},
              {"palette4", Colour::kPalette, 4, false, stripes}, {"rgb-interlaced", Colour::kRgb, 8, true, rgb}};
  for (const auto& png : pngs) {
    ImageWriter::PngOptions options;
    options.colour = png.colour;
    options.bitDepth = png.depth;
    options.interlaced = png.interlaced;
    save("png", png.name, bytes, ImageWriter::EncodePng(png.image, &bytes, options));
  }

  save("gif", "plain", bytes, ImageWriter::EncodeGif(stripes, &bytes));
  ImageWriter::GifOptions gif;
  gif.interlaced = true;
  gif.transparentIndex = 0;
  save("gif", "interlaced-transparent", bytes, ImageWriter::EncodeGif(rgb, &bytes, gif));

  save("webp", "lossless", bytes, ImageWriter::EncodeWebp(rgba, &bytes));
  save("webp", "lossy", bytes, ImageWriter::EncodeWebp(rgb, &bytes, 60.0f));
  return ok ? 0 : 1;
}
