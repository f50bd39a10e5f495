#pragma once

#include <span>

#include "control/PictureDetail.h"

// How alike a query picture and a stored picture are at the fine level:
// the correlation of their pixels (brightness and contrast of the whole
// picture do not count, nor the light or dark places such a change clipped
// to white or black), the best over a small family of frames: the query
// showing a part of the stored picture (a crop of up to about 12 % of a
// side, anywhere) or the stored picture inside a border (up to about 25 %
// of a side), the scale of each side on its own, turned by up to a few
// degrees. Pixels of the query that fall outside the stored picture (a
// border, the corners of a turned picture) are left out; a frame that keeps
// less than kMinOverlap of the query counts for nothing. Under the frame
// found, the 3 % of places that disagree most (a watermark, a caption) are
// left out too.
//
// 1 is the same picture; a look-alike drawing of the same style stays well
// below, since 32 x 32 places have to agree, not nine averages.
class DetailLikeness {
 public:
  static constexpr int kGrid = 32;          // the query's samples per side
  static constexpr double kMinOverlap = 0.6;
  // Of a flat picture (on either side): nothing to compare.
  static constexpr double kCannotTell = -2;
  // Of a picture flat all over against one with clear detail in its middle
  // (either way round): not one picture, whatever a frame would show.
  static constexpr double kUnlike = 0;

  // In -1..1, or kCannotTell. `query` already turned back to the stored picture's orientation. With
  // `grayOnly` the luminance is compared (a gray query against a coloured
  // picture); else the three channels together.
  static double Of(const PictureDetail& query, const PictureDetail& stored, bool grayOnly);
  // The best over several ways of seeing the query (turned or mirrored
  // copies of it), searched together so that the frames are refined only
  // for the ones that promise most.
  static double Of(std::span<const PictureDetail> queries, const PictureDetail& stored, bool grayOnly);
};
