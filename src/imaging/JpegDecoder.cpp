#include "imaging/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "imaging/DecodedImageSink.h"

#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg reports errors through longjmp. Every call that can fail runs in
// GuardedCall below, a plain function whose frame holds nothing with a
// destructor, so the jump never skips a C++ object's clean-up.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

// A progressive file may hold any number of scans, each a pass over the
// whole picture; real files have a dozen or so. Hostile ones with thousands
// would keep the decoder busy for minutes.
constexpr int kMaxScans = 256;

extern "C" void OnJpegProgress(j_common_ptr info) {
  if (!info->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
    ErrorManager* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::snprintf(manager->message, sizeof manager->message, "too many scans");
    std::longjmp(manager->jump, 1);
  }
}

extern "C" void OnJpegError(j_common_ptr info) {
  ErrorManager* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

extern "C" void OnJpegMessage(j_common_ptr info, int level) {
  // Warnings only; a premature end of data means the picture is incomplete.
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
    reinterpret_cast<ErrorManager*>(info->err)->truncated = true;
  }
}

// Owns the decompressor; destroys it however decoding ends.
class Decompressor {
 public:
  Decompressor() {
    info_.err = jpeg_std_error(&errors_.base);
    errors_.base.error_exit = OnJpegError;
    errors_.base.emit_message = OnJpegMessage;
    errors_.message[0] = '\0';
    errors_.truncated = false;
  }
  ~Decompressor() {
    if (created_) jpeg_destroy_decompress(&info_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct* Info() { return &info_; }
  jpeg_progress_mgr* Progress() { return &progress_; }
  ErrorManager* Errors() { return &errors_; }
  void MarkCreated() { created_ = true; }

 private:
  jpeg_decompress_struct info_{};
  ErrorManager errors_{};
  jpeg_progress_mgr progress_{};
  bool created_ = false;
};

// Feeds the decompressor from an ImageSource in blocks. A source that ends
// early gets the usual fake end-of-image marker and a warning, which marks
// the picture truncated.
constexpr size_t kInputBlock = 64 * 1024;

struct SourceManager {
  jpeg_source_mgr base;
  ImageSource* source;
  JOCTET* buffer;
};

extern "C" void InitSource(j_decompress_ptr) {}

extern "C" boolean FillInput(j_decompress_ptr info) {
  SourceManager* manager = reinterpret_cast<SourceManager*>(info->src);
  size_t count = manager->source->Read(manager->buffer, kInputBlock);
  if (count == 0) {
    WARNMS(info, JWRN_JPEG_EOF);
    manager->buffer[0] = 0xFF;
    manager->buffer[1] = JPEG_EOI;
    count = 2;
  }
  manager->base.next_input_byte = manager->buffer;
  manager->base.bytes_in_buffer = count;
  return TRUE;
}

extern "C" void SkipInput(j_decompress_ptr info, long count) {
  SourceManager* manager = reinterpret_cast<SourceManager*>(info->src);
  while (count > static_cast<long>(manager->base.bytes_in_buffer)) {
    count -= static_cast<long>(manager->base.bytes_in_buffer);
    FillInput(info);
  }
  manager->base.next_input_byte += count;
  manager->base.bytes_in_buffer -= static_cast<size_t>(count);
}

extern "C" void TermSource(j_decompress_ptr) {}

struct ReadState {
  jpeg_decompress_struct* info;
  SourceManager* source;
  RowSink* sink;
  bool cmyk;
};

using Step = void (*)(ReadState*);

bool GuardedCall(ErrorManager* errors, Step step, ReadState* state) {
  if (setjmp(errors->jump) != 0) return false;
  step(state);
  return true;
}

void CreateStep(ReadState* s) { jpeg_create_decompress(s->info); }

void HeaderStep(ReadState* s) {
  // The library's own pool holds the input buffer; it goes with the decompressor.
  s->source->buffer = static_cast<JOCTET*>(
      (*s->info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(s->info), JPOOL_PERMANENT, kInputBlock));
  s->source->base.init_source = InitSource;
  s->source->base.fill_input_buffer = FillInput;
  s->source->base.skip_input_data = SkipInput;
  s->source->base.resync_to_restart = jpeg_resync_to_restart;
  s->source->base.term_source = TermSource;
  s->source->base.bytes_in_buffer = 0;
  s->source->base.next_input_byte = nullptr;
  s->info->src = &s->source->base;
  jpeg_read_header(s->info, TRUE);
}

void StartStep(ReadState* s) { jpeg_start_decompress(s->info); }

// Adobe writes CMYK inverted, which is what libjpeg hands back: each colour
// is then simply its ink value times the key value.
void CmykToRgb(JSAMPROW p, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, p += 4) {
    const unsigned k = p[3];
    p[0] = static_cast<JSAMPLE>((p[0] * k + 127) / 255);
    p[1] = static_cast<JSAMPLE>((p[1] * k + 127) / 255);
    p[2] = static_cast<JSAMPLE>((p[2] * k + 127) / 255);
    p[3] = 255;
  }
}

void RowsStep(ReadState* s) {
  while (s->info->output_scanline < s->info->output_height) {
    JSAMPROW row = static_cast<JSAMPROW>(s->sink->NextRow());
    // Our source never suspends; no row means the library gave up, and
    // jpeg_finish_decompress below reports the missing rows.
    if (jpeg_read_scanlines(s->info, &row, 1) != 1) break;
    if (s->cmyk) CmykToRgb(row, s->info->output_width);
    s->sink->CommitRow();
  }
  jpeg_finish_decompress(s->info);
}

bool Fail(ImageError* error, const std::string& reason) {
  return ImageError::Fail(error, ImageErrorKind::kDamaged, reason);
}

}  // namespace

bool DecodeJpeg(ImageSource& input, RowSink& sink, ImageError* error) {
  std::uint8_t magic[2] = {0, 0};
  if (input.Size() < 4 || !input.ReadAt(0, magic, 2) || magic[0] != 0xFF || magic[1] != 0xD8) {
    return Fail(error, "JPEG: missing signature");
  }
  Decompressor decompressor;
  SourceManager source{};
  source.source = &input;
  ReadState state{decompressor.Info(), &source, &sink, false};
  const auto libraryFailure = [&] { return Fail(error, std::string("JPEG: ") + decompressor.Errors()->message); };
  if (!GuardedCall(decompressor.Errors(), CreateStep, &state)) return libraryFailure();
  decompressor.MarkCreated();
  if (!GuardedCall(decompressor.Errors(), HeaderStep, &state)) return libraryFailure();
  jpeg_decompress_struct* info = decompressor.Info();
  if (!DecodedImage::SizeAcceptable(info->image_width, info->image_height)) {
    return ImageError::Fail(error, ImageErrorKind::kTooLarge, "JPEG: picture too large");
  }
  state.cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  decompressor.Progress()->progress_monitor = OnJpegProgress;
  info->progress = decompressor.Progress();
  // Grey and colour pictures decode straight into our four-sample layout.
  info->out_color_space = state.cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  if (!GuardedCall(decompressor.Errors(), StartStep, &state)) return libraryFailure();
  if (info->output_width != info->image_width || info->output_height != info->image_height ||
      info->output_components != 4) {
    return Fail(error, "JPEG: unexpected output size");
  }
  const RowLayout layout{static_cast<int>(info->image_width), static_cast<int>(info->image_height), false,
                         {255, 255, 255, 255}};
  if (!StartRows(sink, layout, "JPEG", error)) return false;
  if (!GuardedCall(decompressor.Errors(), RowsStep, &state)) return libraryFailure();
  if (decompressor.Errors()->truncated) return Fail(error, "JPEG: file ends before the picture does");
  return true;
}

bool DecodeJpeg(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  return DecodeWhole(DecodeJpeg, data, out, error);
}
