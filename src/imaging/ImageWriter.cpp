#include "imaging/ImageWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <webp/encode.h>

namespace {

void PutLe16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void PutLe32(std::string& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

std::vector<std::uint8_t> Rgba8Row(const DecodedImage& image, int y) {
  std::vector<std::uint8_t> row(static_cast<size_t>(image.Width()) * 4);
  for (int x = 0; x < image.Width(); ++x) {
    const auto p = image.Rgba8(x, y);
    std::memcpy(row.data() + static_cast<size_t>(x) * 4, p.data(), 4);
  }
  return row;
}

// ---- JPEG: errors leave through longjmp to the plain frame of GuardedJpeg.
struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

extern "C" void OnJpegWriteError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

struct JpegWriteState {
  jpeg_compress_struct* info;
  const DecodedImage* image;
  const ImageWriter::JpegOptions* options;
  unsigned char** buffer;
  unsigned long* size;
  std::uint8_t* row;  // one scanline of scratch, width * 3 bytes
};

bool GuardedJpeg(JpegErrors* errors, void (*step)(JpegWriteState*), JpegWriteState* state) {
  if (setjmp(errors->jump) != 0) return false;
  step(state);
  return true;
}

void JpegCreate(JpegWriteState* s) { jpeg_create_compress(s->info); }

void JpegWrite(JpegWriteState* s) {
  jpeg_mem_dest(s->info, s->buffer, s->size);
  s->info->image_width = static_cast<JDIMENSION>(s->image->Width());
  s->info->image_height = static_cast<JDIMENSION>(s->image->Height());
  s->info->input_components = s->options->grey ? 1 : 3;
  s->info->in_color_space = s->options->grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(s->info);
  jpeg_set_quality(s->info, s->options->quality, TRUE);
  jpeg_start_compress(s->info, TRUE);
  while (s->info->next_scanline < s->info->image_height) {
    const int y = static_cast<int>(s->info->next_scanline);
    for (int x = 0; x < s->image->Width(); ++x) {
      const auto p = s->image->Rgba8(x, y);
      if (s->options->grey) {
        s->row[x] = static_cast<std::uint8_t>((p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000);
      } else {
        std::memcpy(s->row + static_cast<size_t>(x) * 3, p.data(), 3);
      }
    }
    JSAMPROW row = s->row;
    jpeg_write_scanlines(s->info, &row, 1);
  }
  jpeg_finish_compress(s->info);
}

// ---- PNG
struct PngWriteState {
  png_structp png;
  png_infop info;
  std::string* out;
  const DecodedImage* image;
  const ImageWriter::PngOptions* options;
  png_colorp palette;
  int paletteSize;
  png_bytep alphas;
  int alphaCount;
  png_bytepp rows;
};

extern "C" void OnPngWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void OnPngWriteWarning(png_structp, png_const_charp) {}
extern "C" void OnPngWriteData(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
extern "C" void OnPngFlush(png_structp) {}

bool GuardedPng(void (*step)(PngWriteState*), PngWriteState* state) {
  if (setjmp(png_jmpbuf(state->png)) != 0) return false;
  step(state);
  return true;
}

void PngWrite(PngWriteState* s) {
  using PngColour = ImageWriter::PngColour;
  int colourType = PNG_COLOR_TYPE_RGB;
  switch (s->options->colour) {
    case PngColour::kRgb: colourType = PNG_COLOR_TYPE_RGB; break;
    case PngColour::kRgba: colourType = PNG_COLOR_TYPE_RGB_ALPHA; break;
    case PngColour::kGrey: colourType = PNG_COLOR_TYPE_GRAY; break;
    case PngColour::kGreyAlpha: colourType = PNG_COLOR_TYPE_GRAY_ALPHA; break;
    case PngColour::kPalette: colourType = PNG_COLOR_TYPE_PALETTE; break;
  }
  png_set_write_fn(s->png, s->out, OnPngWriteData, OnPngFlush);
  png_set_IHDR(s->png, s->info, static_cast<png_uint_32>(s->image->Width()),
               static_cast<png_uint_32>(s->image->Height()), s->options->bitDepth, colourType,
               s->options->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(s->png, s->info, s->palette, s->paletteSize);
    if (s->alphaCount > 0) png_set_tRNS(s->png, s->info, s->alphas, s->alphaCount, nullptr);
  }
  png_write_info(s->png, s->info);
  if (s->options->bitDepth < 8) png_set_packing(s->png);
  if (s->options->bitDepth == 16) png_set_swap(s->png);
  png_write_image(s->png, s->rows);
  png_write_end(s->png, s->info);
}

class PngWriter {
 public:
  PngWriter() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngWriteError, OnPngWriteWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngWriter() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  bool Ok() const { return png_ && info_; }
  png_structp Png() { return png_; }
  png_infop Info() { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Unique colours of a picture in first-seen order, up to `limit`; false when
// there are more.
bool CollectPalette(const DecodedImage& image, size_t limit, std::vector<std::array<std::uint8_t, 4>>* colours,
                    std::vector<std::uint8_t>* indices) {
  std::map<std::uint32_t, std::uint8_t> lookup;
  indices->resize(static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()));
  size_t i = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x, ++i) {
      const auto p = image.Rgba8(x, y);
      const std::uint32_t key = static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
                                static_cast<std::uint32_t>(p[2]) << 8 | p[3];
      auto found = lookup.find(key);
      if (found == lookup.end()) {
        if (colours->size() == limit) return false;
        found = lookup.emplace(key, static_cast<std::uint8_t>(colours->size())).first;
        colours->push_back(p);
      }
      (*indices)[i] = found->second;
    }
  }
  return true;
}

// ---- GIF
extern "C" int WriteGifBytes(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
  return length;
}

struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

bool ImageWriter::EncodeBmp(const DecodedImage& image, std::string* out, bool withAlpha) {
  if (image.Empty()) return false;
  const std::uint32_t bytesPerPixel = withAlpha ? 4 : 3;
  const std::uint64_t stride = (static_cast<std::uint64_t>(image.Width()) * bytesPerPixel + 3) / 4 * 4;
  const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(image.Height());
  const std::uint32_t headerBytes = withAlpha ? 14 + 56 : 14 + 40;
  if (pixelBytes + headerBytes > 0xFFFFFFFFull) return false;
  out->clear();
  out->reserve(static_cast<size_t>(pixelBytes) + headerBytes);
  out->append("BM");
  PutLe32(*out, static_cast<std::uint32_t>(pixelBytes) + headerBytes);
  PutLe32(*out, 0);
  PutLe32(*out, headerBytes);
  PutLe32(*out, headerBytes - 14);
  PutLe32(*out, static_cast<std::uint32_t>(image.Width()));
  PutLe32(*out, static_cast<std::uint32_t>(image.Height()));  // bottom-up
  PutLe16(*out, 1);
  PutLe16(*out, bytesPerPixel * 8);
  PutLe32(*out, withAlpha ? 3 : 0);  // BI_BITFIELDS with an alpha mask, or BI_RGB
  PutLe32(*out, static_cast<std::uint32_t>(pixelBytes));
  PutLe32(*out, 2835);  // 72 dpi
  PutLe32(*out, 2835);
  PutLe32(*out, 0);
  PutLe32(*out, 0);
  if (withAlpha) {
    PutLe32(*out, 0x00FF0000);
    PutLe32(*out, 0x0000FF00);
    PutLe32(*out, 0x000000FF);
    PutLe32(*out, 0xFF000000);
  }
  std::string row(static_cast<size_t>(stride), '\0');
  for (int y = image.Height() - 1; y >= 0; --y) {
    for (int x = 0; x < image.Width(); ++x) {
      const auto p = image.Rgba8(x, y);
      char* target = row.data() + static_cast<size_t>(x) * bytesPerPixel;
      target[0] = static_cast<char>(p[2]);
      target[1] = static_cast<char>(p[1]);
      target[2] = static_cast<char>(p[0]);
      if (withAlpha) target[3] = static_cast<char>(p[3]);
    }
    out->append(row);
  }
  return true;
}

bool ImageWriter::EncodeJpeg(const DecodedImage& image, std::string* out, const JpegOptions& options) {
  if (image.Empty() || image.Width() > 65500 || image.Height() > 65500) return false;
  jpeg_compress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnJpegWriteError;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> row(static_cast<size_t>(image.Width()) * 3);
  JpegWriteState state{&info, &image, &options, &buffer, &size, row.data()};
  if (!GuardedJpeg(&errors, JpegCreate, &state)) return false;
  const bool ok = GuardedJpeg(&errors, JpegWrite, &state);
  jpeg_destroy_compress(&info);
  if (ok) out->assign(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return ok;
}

bool ImageWriter::EncodePng(const DecodedImage& image, std::string* out, const PngOptions& options) {
  if (image.Empty()) return false;
  const int depth = options.bitDepth;
  const bool lowDepthAllowed = options.colour == PngColour::kGrey || options.colour == PngColour::kPalette;
  if (!(depth == 8 || (depth == 16 && options.colour != PngColour::kPalette) ||
        (lowDepthAllowed && (depth == 1 || depth == 2 || depth == 4)))) {
    return false;
  }
  const int channels = options.colour == PngColour::kRgb        ? 3
                       : options.colour == PngColour::kRgba     ? 4
                       : options.colour == PngColour::kGreyAlpha ? 2
                                                                 : 1;
  const size_t samplesPerRow = static_cast<size_t>(image.Width()) * static_cast<size_t>(channels);
  const size_t bytesPerSample = depth == 16 ? 2 : 1;

  std::vector<std::array<std::uint8_t, 4>> colours;
  std::vector<std::uint8_t> indices;
  if (options.colour == PngColour::kPalette &&
      !CollectPalette(image, size_t{1} << std::min(depth, 8), &colours, &indices)) {
    return false;
  }
  std::vector<png_color> palette;
  std::vector<png_byte> alphas;
  for (const auto& c : colours) {
    palette.push_back({c[0], c[1], c[2]});
    alphas.push_back(c[3]);
  }
  while (!alphas.empty() && alphas.back() == 255) alphas.pop_back();

  // One byte (or 16-bit word) per sample; libpng packs low depths itself.
  std::vector<std::uint8_t> pixels(samplesPerRow * bytesPerSample * static_cast<size_t>(image.Height()));
  std::vector<png_bytep> rows(static_cast<size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* row = pixels.data() + samplesPerRow * bytesPerSample * static_cast<size_t>(y);
    rows[static_cast<size_t>(y)] = row;
    for (int x = 0; x < image.Width(); ++x) {
      std::uint16_t s[4];
      if (depth == 16) {
        for (int c = 0; c < 4; ++c) {
          const std::uint32_t max = image.ChannelMax()[static_cast<size_t>(c)];
          const std::uint32_t v = image.Sample(x, y, c);
          s[c] = static_cast<std::uint16_t>(max == 65535 ? v : (max ? (v * 65535 + max / 2) / max : 0));
        }
      } else {
        const auto p = image.Rgba8(x, y);
        for (int c = 0; c < 4; ++c) s[c] = p[static_cast<size_t>(c)];
        if (depth < 8 && options.colour == PngColour::kGrey) s[0] = static_cast<std::uint16_t>(s[0] >> (8 - depth));
      }
      std::uint16_t values[4];
      switch (options.colour) {
        case PngColour::kRgb: values[0] = s[0]; values[1] = s[1]; values[2] = s[2]; break;
        case PngColour::kRgba: values[0] = s[0]; values[1] = s[1]; values[2] = s[2]; values[3] = s[3]; break;
        case PngColour::kGrey: values[0] = s[0]; break;
        case PngColour::kGreyAlpha: values[0] = s[0]; values[1] = s[3]; break;
        case PngColour::kPalette:
          values[0] = indices[static_cast<size_t>(y) * static_cast<size_t>(image.Width()) + static_cast<size_t>(x)];
          break;
      }
      for (int c = 0; c < channels; ++c) {
        const size_t at = (static_cast<size_t>(x) * static_cast<size_t>(channels) + static_cast<size_t>(c)) * bytesPerSample;
        if (depth == 16) {
          std::memcpy(row + at, &values[c], 2);
        } else {
          row[at] = static_cast<std::uint8_t>(values[c]);
        }
      }
    }
  }

  PngWriter writer;
  if (!writer.Ok()) return false;
  out->clear();
  PngWriteState state{writer.Png(), writer.Info(), out, &image, &options, palette.data(),
                      static_cast<int>(palette.size()), alphas.data(), static_cast<int>(alphas.size()), rows.data()};
  return GuardedPng(PngWrite, &state);
}

bool ImageWriter::EncodeGif(const DecodedImage& image, std::string* out, const GifOptions& options) {
  if (image.Empty() || image.Width() > 65535 || image.Height() > 65535) return false;
  std::vector<std::array<std::uint8_t, 4>> colours;
  std::vector<std::uint8_t> indices;
  if (!CollectPalette(image, 256, &colours, &indices)) {
    // Too many colours: a fixed colour cube, nearest level per channel.
    colours.clear();
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 7; ++g)
        for (int b = 0; b < 6; ++b)
          colours.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 255 / 6 + (g * 255 % 6 >= 3)),
                             static_cast<std::uint8_t>(b * 51), 255});
    size_t i = 0;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x, ++i) {
        const auto p = image.Rgba8(x, y);
        const int r = (p[0] * 5 + 127) / 255, g = (p[1] * 6 + 127) / 255, b = (p[2] * 5 + 127) / 255;
        indices[i] = static_cast<std::uint8_t>((r * 7 + g) * 6 + b);
      }
    }
  }
  int mapSize = 2;
  while (mapSize < static_cast<int>(colours.size())) mapSize *= 2;
  std::vector<GifColorType> entries(static_cast<size_t>(mapSize), GifColorType{0, 0, 0});
  for (size_t i = 0; i < colours.size(); ++i) entries[i] = {colours[i][0], colours[i][1], colours[i][2]};
  std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(mapSize, entries.data()));
  if (!map) return false;

  out->clear();
  int error = 0;
  GifFileType* gif = EGifOpen(out, WriteGifBytes, &error);
  if (!gif) return false;
  bool ok = true;
  EGifSetGifVersion(gif, true);
  ok = ok && EGifPutScreenDesc(gif, image.Width(), image.Height(), 8, 0, map.get()) == GIF_OK;
  if (ok && options.transparentIndex >= 0) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.TransparentColor = options.transparentIndex;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, 0, 0, image.Width(), image.Height(), options.interlaced, nullptr) == GIF_OK;
  auto putRow = [&](int y) {
    GifPixelType* row = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(image.Width());
    return EGifPutLine(gif, row, image.Width()) == GIF_OK;
  };
  if (ok && options.interlaced) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4 && ok; ++pass) {
      for (int y = kStart[pass]; y < image.Height() && ok; y += kStep[pass]) ok = putRow(y);
    }
  } else {
    for (int y = 0; y < image.Height() && ok; ++y) ok = putRow(y);
  }
  const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
  return ok && closed;
}

bool ImageWriter::EncodeWebp(const DecodedImage& image, std::string* out, float quality) {
  if (image.Empty() || image.Width() > WEBP_MAX_DIMENSION || image.Height() > WEBP_MAX_DIMENSION) return false;
  std::vector<std::uint8_t> rgba;
  rgba.reserve(static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()) * 4);
  for (int y = 0; y < image.Height(); ++y) {
    const auto row = Rgba8Row(image, y);
    rgba.insert(rgba.end(), row.begin(), row.end());
  }
  WebPConfig config;
  if (!WebPConfigInit(&config)) return false;
  if (quality < 0) {
    config.lossless = 1;
    config.exact = 1;  // keep the colour under fully transparent pixels
  } else {
    config.quality = quality;
  }
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) return false;
  picture.use_argb = 1;
  picture.width = image.Width();
  picture.height = image.Height();
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  bool ok = WebPPictureImportRGBA(&picture, rgba.data(), image.Width() * 4) && WebPEncode(&config, &picture);
  if (ok) out->assign(reinterpret_cast<const char*>(writer.mem), writer.size);
  WebPPictureFree(&picture);
  WebPMemoryWriterClear(&writer);
  return ok;
}

bool WriteBytesToFile(const std::string& path, const std::string& bytes) {
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  return std::fclose(file.release()) == 0;
}
