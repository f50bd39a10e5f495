#include "imaging/DecodedImageSink.h"

#include "imaging/ImageSource.h"

bool DecodedImageSink::Begin(const RowLayout& layout) {
  if (static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height) > maxPixels_) return false;
  image_->Allocate(layout.width, layout.height, layout.sixteenBit);
  image_->SetChannelMax(layout.channelMax);
  row_ = 0;
  return true;
}

void* DecodedImageSink::NextRow() {
  if (image_->SixteenBit()) return image_->Row16(row_);
  return image_->Row8(row_);
}

bool DecodeWhole(StreamingDecoder decode, std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  MemoryImageSource source(data);
  DecodedImageSink sink(out);
  ImageError failure;
  if (decode(source, sink, &failure)) return true;
  if (error) *error = failure.detail;
  return false;
}
