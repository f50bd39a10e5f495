#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// The site's pictures already fetched, kept on disk so that selecting a row
// again does not load the site again. One file per entry id in `directory`;
// the total stays within `limit` bytes, the least recently used going first
// (a hit marks its file as used now). A picture larger than the limit is not
// kept. Every failure (a read-only home, a full disk) just means no caching.
// Only a regular file of at most `limit` bytes counts as an entry; links are
// never followed and nothing else under an entry's name is opened for long
// (a FIFO, a device): such a name is a miss and is removed (a directory is
// left alone).
// Thread-safe.
class SitePictureCache {
 public:
  static constexpr std::uint64_t kDefaultLimit = std::uint64_t{50} << 20;

  explicit SitePictureCache(std::string directory, std::uint64_t limit = kDefaultLimit);

  // "$XDG_CACHE_HOME/tintwise/site/", or "$HOME/.cache/tintwise/site/" when
  // XDG_CACHE_HOME is unset or not absolute; empty when neither is known.
  static std::string DefaultDirectory();

  // The picture kept for `id`, marked as used now; nothing when none is kept.
  std::optional<std::string> Find(const std::string& id);
  // Keeps `bytes` for `id` (replacing what was kept) and trims the cache.
  void Store(const std::string& id, const std::string& bytes);

  // The bytes of all kept pictures.
  std::uint64_t TotalBytes() const;

 private:
  std::string FileOf(const std::string& id) const;
  // Removes the least recently used pictures until the total is within the
  // limit; `stored` (just written) goes last, since times within one clock
  // tick are equal.
  void Trim(const std::string& stored);

  const std::string directory_;
  const std::uint64_t limit_;
  mutable std::mutex mutex_;
};
