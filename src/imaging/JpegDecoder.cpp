#include "imaging/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

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

struct ReadState {
  jpeg_decompress_struct* info;
  const std::uint8_t* data;
  unsigned long size;
  std::uint8_t** rows;  // one pointer per output row
};

using Step = void (*)(ReadState*);

bool GuardedCall(ErrorManager* errors, Step step, ReadState* state) {
  if (setjmp(errors->jump) != 0) return false;
  step(state);
  return true;
}

void CreateStep(ReadState* s) { jpeg_create_decompress(s->info); }

void HeaderStep(ReadState* s) {
  jpeg_mem_src(s->info, s->data, s->size);
  jpeg_read_header(s->info, TRUE);
}

void DecodeStep(ReadState* s) {
  jpeg_start_decompress(s->info);
  while (s->info->output_scanline < s->info->output_height) {
    JSAMPROW row = s->rows[s->info->output_scanline];
    jpeg_read_scanlines(s->info, &row, 1);
  }
  jpeg_finish_decompress(s->info);
}

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

}  // namespace

bool DecodeJpeg(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) return Fail(error, "JPEG: missing signature");
  Decompressor decompressor;
  ReadState state{decompressor.Info(), data.data(), static_cast<unsigned long>(data.size()), nullptr};
  if (!GuardedCall(decompressor.Errors(), CreateStep, &state)) {
    return Fail(error, std::string("JPEG: ") + decompressor.Errors()->message);
  }
  decompressor.MarkCreated();
  if (!GuardedCall(decompressor.Errors(), HeaderStep, &state)) {
    return Fail(error, std::string("JPEG: ") + decompressor.Errors()->message);
  }
  jpeg_decompress_struct* info = decompressor.Info();
  if (!DecodedImage::SizeAcceptable(info->image_width, info->image_height)) {
    return Fail(error, "JPEG: picture too large");
  }
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  decompressor.Progress()->progress_monitor = OnJpegProgress;
  info->progress = decompressor.Progress();
  // Grey and colour pictures decode straight into our four-sample layout.
  info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;

  const int width = static_cast<int>(info->image_width);
  const int height = static_cast<int>(info->image_height);
  out->Allocate(width, height, false);
  std::vector<std::uint8_t*> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = out->Row8(y);
  state.rows = rows.data();
  if (!GuardedCall(decompressor.Errors(), DecodeStep, &state)) {
    return Fail(error, std::string("JPEG: ") + decompressor.Errors()->message);
  }
  if (decompressor.Errors()->truncated) return Fail(error, "JPEG: file ends before the picture does");
  if (info->output_width != info->image_width || info->output_height != info->image_height) {
    return Fail(error, "JPEG: unexpected output size");
  }

  if (cmyk) {
    // Adobe writes CMYK inverted, which is what libjpeg hands back: each
    // colour is then simply its ink value times the key value.
    for (int y = 0; y < height; ++y) {
      std::uint8_t* p = out->Row8(y);
      for (int x = 0; x < width; ++x, p += 4) {
        const unsigned k = p[3];
        p[0] = static_cast<std::uint8_t>((p[0] * k + 127) / 255);
        p[1] = static_cast<std::uint8_t>((p[1] * k + 127) / 255);
        p[2] = static_cast<std::uint8_t>((p[2] * k + 127) / 255);
        p[3] = 255;
      }
    }
  }
  return true;
}
