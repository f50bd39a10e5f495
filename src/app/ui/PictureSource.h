#pragma once

#include <string>

class QMimeData;

// Where a dropped or pasted picture is: a local file, an http(s) link, or
// picture data carried in the drag or the clipboard itself. Made on the UI
// thread from the mime data, then handed to the search as plain values.
struct PictureSource {
  enum class Kind {
    kNone,          // nothing a picture could come from (no text, no data)
    kFile,          // path: a local file (a path or a file URL)
    kLink,          // url: an http or https address
    kData,          // bytes: a picture file's content
    kNotAPicture,   // text that names no picture
  };

  // Reads, in this order: the first URL if it is a local file; picture data
  // in one of the image formats a drag carries (its bytes as given,
  // otherwise the image re-encoded losslessly as PNG); the first URL if it
  // is an http(s) link; and the text, taken as a file URL, a link or an
  // absolute path.
  static PictureSource From(const QMimeData* data);

  Kind kind = Kind::kNone;
  std::string path;   // file-system bytes
  std::string url;    // ASCII, percent-encoded as the URL carried it
  std::string bytes;
};
