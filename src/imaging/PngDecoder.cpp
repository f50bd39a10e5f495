#include "imaging/PngDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

#include "imaging/DecodedImageSink.h"

namespace {

// Filled by the library's callbacks; plain data only, since libpng leaves
// through longjmp.
struct ReadContext {
  ImageSource* source;
  char message[256];
};

extern "C" void OnPngError(png_structp png, png_const_charp message) {
  ReadContext* context = static_cast<ReadContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof context->message, "%s", message ? message : "error");
  png_longjmp(png, 1);
}

extern "C" void OnPngWarning(png_structp, png_const_charp) {}

extern "C" void OnPngRead(png_structp png, png_bytep target, size_t length) {
  ReadContext* context = static_cast<ReadContext*>(png_get_io_ptr(png));
  if (context->source->Read(target, length) != length) png_error(png, "file ends before the picture does");
}

// Owns the read and info structures.
class PngReader {
 public:
  explicit PngReader(ReadContext* context) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, context, OnPngError, OnPngWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReader() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  bool Ok() const { return png_ && info_; }
  png_structp Png() { return png_; }
  png_infop Info() { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct Steps {
  png_structp png;
  png_infop info;
  ReadContext* context;
  RowSink* sink;
  png_bytepp rows;  // interlaced pictures: every row of the picture
  png_uint_32 height;
};

using Step = void (*)(Steps*);

// The only frame libpng jumps to; it holds nothing with a destructor.
bool GuardedCall(Step step, Steps* steps) {
  if (setjmp(png_jmpbuf(steps->png)) != 0) return false;
  step(steps);
  return true;
}

void ReadInfoStep(Steps* s) {
  png_set_read_fn(s->png, s->context, OnPngRead);
  png_set_user_limits(s->png, 1000000, 1000000);
  png_read_info(s->png, s->info);
}

void SetTransformsStep(Steps* s) {
  const int colourType = png_get_color_type(s->png, s->info);
  const int bitDepth = png_get_bit_depth(s->png, s->info);
  png_set_expand(s->png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(s->png);
  }
  const bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(s->png, s->info, PNG_INFO_tRNS);
  if (!hasAlpha) png_set_filler(s->png, bitDepth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
  if (bitDepth == 16) png_set_swap(s->png);  // to the machine's byte order
  png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
}

// Rows in picture order, each handed on as soon as it is read.
void ReadRowsStep(Steps* s) {
  for (png_uint_32 y = 0; y < s->height; ++y) {
    png_read_row(s->png, static_cast<png_bytep>(s->sink->NextRow()), nullptr);
    s->sink->CommitRow();
  }
  png_read_end(s->png, nullptr);
}

// Interlaced: the passes fill the whole picture, which is handed on after.
void ReadInterlacedStep(Steps* s) {
  png_read_image(s->png, s->rows);
  png_read_end(s->png, nullptr);
}

bool Fail(ImageError* error, const std::string& reason) {
  return ImageError::Fail(error, ImageErrorKind::kDamaged, reason);
}

}  // namespace

bool DecodePng(ImageSource& input, RowSink& sink, ImageError* error) {
  std::uint8_t signature[8] = {};
  if (input.Size() < 8 || !input.ReadAt(0, signature, 8) || png_sig_cmp(signature, 0, 8) != 0) {
    return Fail(error, "PNG: missing signature");
  }
  ReadContext context{&input, {}};
  PngReader reader(&context);
  if (!reader.Ok()) return Fail(error, "PNG: out of memory");
  Steps steps{reader.Png(), reader.Info(), &context, &sink, nullptr, 0};
  if (!GuardedCall(ReadInfoStep, &steps)) return Fail(error, std::string("PNG: ") + context.message);

  const png_uint_32 width = png_get_image_width(reader.Png(), reader.Info());
  const png_uint_32 height = png_get_image_height(reader.Png(), reader.Info());
  if (!DecodedImage::SizeAcceptable(width, height)) {
    return ImageError::Fail(error, ImageErrorKind::kTooLarge, "PNG: picture too large");
  }
  const bool interlaced = png_get_interlace_type(reader.Png(), reader.Info()) != PNG_INTERLACE_NONE;
  if (!GuardedCall(SetTransformsStep, &steps)) return Fail(error, std::string("PNG: ") + context.message);

  const bool sixteenBit = png_get_bit_depth(reader.Png(), reader.Info()) == 16;
  const size_t rowBytes = png_get_rowbytes(reader.Png(), reader.Info());
  if (rowBytes != static_cast<size_t>(width) * 4 * (sixteenBit ? 2 : 1)) {
    return Fail(error, "PNG: unexpected row layout");
  }
  const std::uint16_t max = sixteenBit ? 65535 : 255;
  const RowLayout layout{static_cast<int>(width), static_cast<int>(height), sixteenBit, {max, max, max, max}};
  steps.height = height;
  if (!StartRows(sink, layout, "PNG", error)) return false;
  if (!interlaced) {
    if (!GuardedCall(ReadRowsStep, &steps)) return Fail(error, std::string("PNG: ") + context.message);
    return true;
  }
  // Interlaced passes each cover the whole picture: it is held whole, at its
  // decoded depth, until the last pass.
  std::vector<std::uint8_t> picture(rowBytes * height);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = picture.data() + rowBytes * y;
  steps.rows = rows.data();
  if (!GuardedCall(ReadInterlacedStep, &steps)) return Fail(error, std::string("PNG: ") + context.message);
  for (png_uint_32 y = 0; y < height; ++y) {
    std::memcpy(sink.NextRow(), rows[y], rowBytes);
    sink.CommitRow();
  }
  return true;
}

bool DecodePng(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  return DecodeWhole(DecodePng, data, out, error);
}
