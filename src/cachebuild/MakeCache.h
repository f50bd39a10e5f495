#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class InternetSession;

// Builds the record of one image id of the site: fetches (or reuses) the
// image's page into "php/<id>", parses title, poster, image address, adult
// flag and vote counts from it, fetches (or reuses) the image into "image/",
// and (in a subclass) computes its colour signature text.
// Made on the run's stack for one id; one thread at a time. Files are named
// below ProgramDirectory(). Failures are logged and returned as false; the
// fields parsed before a failure stay set. Every transfer watches the run's
// stop flag, so that a stop does not wait for a slow or silent server.
class MakeCache {
 public:
  // Largest page and image accepted: a hostile or broken site cannot fill
  // the disk through one id. Bodies past the cap are discarded whole.
  static constexpr std::size_t kMaxPageBytes = 8u << 20;
  static constexpr std::size_t kMaxImageBytes = 64u << 20;
  // A body of at most this many bytes at the first page address makes the
  // page be fetched again from the second one.
  static constexpr std::size_t kShortPageBytes = 4096;

  // `session` and `running` (may be null: never stopped) must outlive this
  // object. Once another thread stores false in `running`, the transfer in
  // progress ends at once and fails as kStopped.
  MakeCache(const InternetSession& session, std::string id, bool needSignature,
            const std::atomic<bool>* running = nullptr);
  virtual ~MakeCache() = default;
  MakeCache(const MakeCache&) = delete;
  MakeCache& operator=(const MakeCache&) = delete;

  // Fetches the page unless "php/<id>" exists, then parses it (ParsePage).
  // True when the page was there and parsed up to both vote counts. A body
  // that breaks off or passes kMaxPageBytes is not kept and gives false.
  bool DownloadPHP();

  // Parses a page as the server sent it (EUC-JP, lines not yet joined) into
  // the fields. True when everything up to the second vote count was found;
  // a marker whose text would lie past the end of the page counts as absent
  // and gives false.
  bool ParsePage(std::string_view eucJpPage);

  // Fetches `imageUrl` into ImageFilePath() unless that file exists. True
  // when the file is present afterwards. The directory "image" must exist.
  bool DownloadImage();

  // Sets `cache` to the signature text of the image at ImageFilePath()
  // (empty when it cannot be computed, which is logged). Returns true.
  virtual bool ComputeSignature() = 0;

  // The local page file, "php/<id>" below the program directory.
  std::string PageFilePath() const;
  // The local image file for `imageUrl`, below "image/"; see LocalImageName.
  std::string ImageFilePath() const;

  // Removes the temporary files that runs killed while downloading left in
  // "php" and "image" below the program directory (see
  // RemoveStaleTemporaryFilesIn). Returns how many were removed.
  static int RemoveStaleDownloads(long minimumAge = 3600);

  // The local file name for an image address: the part after its last '/',
  // with a short hash of the whole address put before the extension so that
  // two addresses ending in the same name keep apart. Empty when the address
  // names no usable file ("", ".", ".." or a name with a zero byte).
  static std::string LocalImageName(const std::string& imageUrl);

  // What made the last DownloadPHP or DownloadImage return false.
  enum class Failure {
    kNone,
    kFetch,      // the server could not be reached, refused, broke off or sent too much
    kLocalFile,  // the file could not be saved below the program directory
    kParse,      // the page lacks a part up to the second vote count
    kStopped,    // the stop flag ended the transfer; nothing was kept
  };

  const InternetSession& session;
  const std::atomic<bool>* const running;
  const std::string id;
  Failure failure = Failure::kNone;
  std::string title;
  std::string name;
  std::string imagePath;
  const bool needSignature;
  bool adult = false;
  std::int32_t good = 0;
  std::int32_t bad = 0;
  std::string imageUrl;
  std::string cache;
};
