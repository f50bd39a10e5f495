#pragma once

#include <string>

#include "imaging/ImageCache.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/Resampler.h"

// The colour signature of a picture, decoded and reduced row by row (a
// second thread reduces while the first decodes): the picture is never held
// whole and nothing is written anywhere. On failure returns false with the
// kind and reason in *error (may be null) and leaves *colours as it was;
// logs nothing. Any thread may call these, any number at once.

// Of the picture file at `path` (an absolute path, or relative to the
// current directory). `threaded` as for SignatureOfSource: callers that
// already keep every core busy with pictures of their own pass false.
bool SignatureOfFile(const std::string& path, ImageCache::Colours* colours, ImageError* error,
                     bool threaded = true);

// Of a picture held by `input`; `threaded` false keeps the reduction on the
// calling thread (the result is the same).
bool SignatureOfSource(ImageSource& input, ImageCache::Colours* colours, ImageError* error,
                       ResampleKernel kernel = ResampleKernel::kSimd, bool threaded = true);
