#pragma once

#include <string>

#include "imaging/ImageCache.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/ReductionSink.h"
#include "imaging/Resampler.h"

// The colour signature of a picture, decoded and reduced row by row (a
// second thread reduces while the first decodes): the picture is never held
// whole and nothing is written anywhere. On failure returns false with the
// kind and reason in *error (may be null) and leaves *colours as it was;
// logs nothing. Any thread may call these, any number at once.

// Of the picture file at `path` (an absolute path, or relative to the
// current directory). `thread` and `idleCores` as for ReductionSink: callers
// that keep every core busy with pictures of their own pass kNever, or a
// probe that says when they no longer do. `alsoTo`, when given, gets the
// decoded rows too (the picture is decoded once for both).
bool SignatureOfFile(const std::string& path, ImageCache::Colours* colours, ImageError* error,
                     ReductionSink::Thread thread = ReductionSink::Thread::kWhenIdle,
                     ReductionSink::IdleProbe idleCores = {}, RowSink* alsoTo = nullptr);

// Of a picture held by `input`; the result is the same on any thread.
bool SignatureOfSource(ImageSource& input, ImageCache::Colours* colours, ImageError* error,
                       ResampleKernel kernel = ResampleKernel::kSimd,
                       ReductionSink::Thread thread = ReductionSink::Thread::kWhenIdle,
                       ReductionSink::IdleProbe idleCores = {}, RowSink* alsoTo = nullptr);
