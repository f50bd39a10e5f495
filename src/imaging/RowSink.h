#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The shape of the rows a decoder hands out: width x height pixels of red,
// green, blue and alpha samples in 8 or 16 bits, with each channel's
// maximum (see DecodedImage).
struct RowLayout {
  int width = 0;
  int height = 0;
  bool sixteenBit = false;
  std::array<std::uint16_t, 4> channelMax{255, 255, 255, 255};

  std::size_t RowBytes() const {
    return static_cast<std::size_t>(width) * 4 * (sixteenBit ? 2 : 1);
  }
};

// Where a decoder puts the picture, one row at a time from the top: it calls
// Begin once, then for each row writes RowBytes() bytes into NextRow() and
// calls CommitRow(). A decoder that fails part way simply stops; the owner of
// the sink knows from the decoder's result. Called on the decoding thread.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // False refuses the picture: the decoder stops with a kTooLarge error.
  virtual bool Begin(const RowLayout& layout) = 0;
  // The buffer for the next row; valid until CommitRow.
  virtual void* NextRow() = 0;
  virtual void CommitRow() = 0;
};

// What every decoder does once it knows the picture's size: refuses a
// picture above DecodedImage::kMaxPixelCount ("<format>: picture too large")
// before anything is allocated for it, then calls sink.Begin.
bool StartRows(RowSink& sink, const RowLayout& layout, const char* format, struct ImageError* error);
