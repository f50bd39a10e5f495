#pragma once

#include "control/PictureDetail.h"

// How alike a query picture and a stored picture are at the fine level:
// the correlation of their pixels (brightness and contrast of the whole
// picture do not count), the best over a small family of frames: the query
// showing a part of the stored picture (a crop of up to about 12 % of a
// side, anywhere) or the stored picture inside a border (up to about 25 %
// of a side), the scale of each side on its own. Pixels of the query that
// fall outside the stored picture (a border) are left out; a frame that
// keeps less than kMinOverlap of the query counts for nothing.
//
// 1 is the same picture; a look-alike drawing of the same style stays well
// below, since 32 x 32 places have to agree, not nine averages.
class DetailLikeness {
 public:
  static constexpr int kGrid = 32;          // the query's samples per side
  static constexpr double kMinOverlap = 0.6;
  // Of a flat picture (on either side): nothing to compare.
  static constexpr double kCannotTell = -2;

  // In -1..1, or kCannotTell. `query` already turned back to the stored picture's orientation. With
  // `grayOnly` the channels' sum is compared (a gray query against a
  // coloured picture); else the three channels together.
  static double Of(const PictureDetail& query, const PictureDetail& stored, bool grayOnly);
};
