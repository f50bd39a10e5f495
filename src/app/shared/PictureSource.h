#pragma once

#include <string>

#include "app/shared/DropData.h"

// Where a dropped or pasted picture is: a local file, an http(s) link, or
// picture data carried in the drag or the clipboard itself. Made on the UI
// thread, then handed to the search as plain values.
struct PictureSource {
  enum class Kind {
    kNone,          // nothing a picture could come from (no text, no data)
    kFile,          // path: a local file (a path or a file URL)
    kLink,          // url: an http or https address
    kData,          // bytes: a picture file's content
    kNotAPicture,   // text that names no picture
  };

  // Reads, in this order: the first file, or the first URL if it is a file
  // URL; picture data, the first of the formats in the order PNG, JPEG, GIF,
  // WebP, BMP; the first URL if it is an http(s) link; and the text's first
  // line, taken as a file URL, a link or an absolute path. Only the first
  // file or link counts.
  static PictureSource From(const DropData& data);

  // The local path a "file:" URL names (percent-decoded; a host other than
  // "localhost" as "//host/path", a drive letter without the slash before
  // it); empty when `url` is no file URL or names a NUL byte.
  static std::string FileUrlPath(const std::string& url);
  // `url` as sent: without its fragment, with spaces, control and non-ASCII
  // bytes and stray '%' percent-encoded; empty when it is no http(s) URL
  // with a host.
  static std::string WebUrl(const std::string& url);

  Kind kind = Kind::kNone;
  std::string path;   // UTF-8
  std::string url;    // ASCII, percent-encoded
  std::string bytes;
};
