#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/ImageCache.h"
#include "imaging/ReductionSink.h"

// A frame of plain white round a picture, as a poster puts one round a
// drawing on white, found in the picture's pixels; and the picture's
// signature as it would be without it. The 3 x 3 signature alone cannot
// undo such a frame: a drawing's cells are not uniform, so the frame's share
// cannot be taken out of them, while the pixels show where the picture
// inside begins.
//
// The frame is as wide as the narrowest white margin of the four sides, in
// the picture's own pixels (a frame is as many pixels on every side); a
// drawing that had margins of its own keeps some of them, so the picture is
// also taken with three quarters of that width off.
class WhiteFrame {
 public:
  // A pixel at least this light in every channel (transparent parts on
  // white) is frame: a compressed copy's white wavers by a few levels.
  static constexpr int kWhite = 243;
  // A margin narrower than this share of the picture's shorter side is no
  // frame: the plain comparison already meets a few pixels more or less.
  static constexpr double kNarrowest = 0.03;
  // The picture inside keeps at least this share of each side; a picture
  // mostly white (a small figure on a page) says too little once unframed.
  static constexpr double kLeast = 0.4;
  // The widths tried, as shares of the frame found: all of it, and three
  // quarters (half finds no more framed drawings).
  static constexpr double kWidths[] = {1.0, 0.75};

  // The white margin of each side, in the picture's own pixels.
  struct Margins {
    double top = 0, bottom = 0, left = 0, right = 0;
    double Narrowest() const;
  };

  // Pixels 0xAARRGGBB, top row first, of a picture brought down from
  // sourceWidth x sourceHeight (or not: the same size) to width x height.
  static Margins Find(const std::uint32_t* argb, int width, int height, int sourceWidth, int sourceHeight);
  // The signatures (the 3 x 3 cells' mean colours) of the picture without
  // its frame, one for each of kWidths; none when it has no frame.
  static std::vector<ImageCache::Colours> Unframed(const std::uint32_t* argb, int width, int height, int sourceWidth,
                                                   int sourceHeight);
  // The pixels inside the frame (all of it taken off), with their size and
  // the shape (width / height) of that part of the picture itself; empty
  // when the picture has no frame (as Unframed's first width).
  static std::vector<std::uint32_t> Inside(const std::uint32_t* argb, int width, int height, int sourceWidth,
                                           int sourceHeight, int* insideWidth, int* insideHeight, double* aspect);
  // The same for the picture file at `path`, decoded at most kDecodeSide
  // pixels a side; none when it cannot be read.
  static std::vector<ImageCache::Colours> FromFile(const std::string& path);

  static constexpr int kDecodeSide = 256;

  // Takes a picture's rows while its signature is read (the RowSink given
  // to ImageCacheDirectX::LoadImage or SignatureOfFile), brought down to at
  // most kDecodeSide a side, so that the picture is decoded once for both.
  class Reader {
   public:
    Reader();
    RowSink& Rows() { return sink_; }
    // After a decode that succeeded: Unframed of what arrived.
    std::vector<ImageCache::Colours> Unframed();

   private:
    int sourceWidth_ = 0, sourceHeight_ = 0;
    ReductionSink sink_;
  };
};
