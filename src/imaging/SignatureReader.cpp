#include "imaging/SignatureReader.h"

#include "imaging/FileImageSource.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ReductionSink.h"
#include "imaging/TeeRowSink.h"

bool SignatureOfSource(ImageSource& input, ImageCache::Colours* colours, ImageError* error, ResampleKernel kernel,
                       ReductionSink::Thread thread, ReductionSink::IdleProbe idleCores, RowSink* alsoTo) {
  ReductionSink sink([](const RowLayout&) { return std::pair{3, 3}; }, kernel, thread, std::move(idleCores));
  if (alsoTo != nullptr) {
    TeeRowSink tee(sink, *alsoTo);
    if (!DecodeImageRows(input, tee, error)) return false;
  } else if (!DecodeImageRows(input, sink, error)) {
    return false;
  }
  const std::vector<std::uint32_t> pixels = sink.Finish();
  if (pixels.size() != 9) return ImageError::Fail(error, ImageErrorKind::kDamaged, "the picture's rows did not all arrive");
  const auto signature = SignatureOfPixels(pixels);
  for (size_t i = 0; i < signature.size(); ++i) (*colours)[i] = signature[i];
  return true;
}

bool SignatureOfFile(const std::string& path, ImageCache::Colours* colours, ImageError* error,
                     ReductionSink::Thread thread, ReductionSink::IdleProbe idleCores, RowSink* alsoTo) {
  FileImageSource file;
  if (!file.Open(path, error)) return false;
  return SignatureOfSource(file, colours, error, ResampleKernel::kSimd, thread, std::move(idleCores), alsoTo);
}
