#include "control/FoundPicture.h"

#include <algorithm>
#include <optional>
#include <tuple>

#include "infra/NativeFile.h"
#include "infra/Platform.h"

namespace {

// What a file in a folder is, by its first bytes.
enum class Head { kPicture, kOther, kUnreadable };

// Opened without waiting and only when still a regular file, so that a
// FIFO or device put in its place is passed over, not waited on.
Head ReadHead(const std::string& path) {
  NativeFile file = NativeFile::OpenForReading(path, NativeFile::Links::kFollow);
  if (!file.IsOpen()) {
    const std::optional<platform::FileFacts> facts = platform::LookAt(path, true);
    return facts && facts->kind != platform::FileKind::kRegular ? Head::kOther : Head::kUnreadable;
  }
  char bytes[12] = {};
  const long long got = file.Read(bytes, sizeof bytes);
  if (got < 0) return Head::kUnreadable;
  return FoundPicture::LooksLikePicture(std::string(bytes, static_cast<std::size_t>(got))) ? Head::kPicture
                                                                                          : Head::kOther;
}

// A file or folder found in a given folder.
struct Found {
  std::string path;
  std::string relative;  // below the given folder; empty for that folder itself
  std::string walkError;
};

// The pictures in `folder` and its sub-folders, and what could not be
// looked at. A file that cannot be opened may be a picture, so it is kept
// to give its own reason when read.
std::vector<Found> Walk(const std::string& folder) {
  std::vector<Found> found;
  for (platform::WalkEntry& entry : platform::WalkDirectory(folder)) {
    switch (entry.problem) {
      case platform::WalkEntry::Problem::kCannotList:
        found.push_back({std::move(entry.path), std::move(entry.relative), "cannot read the folder: " + entry.why});
        break;
      case platform::WalkEntry::Problem::kCannotLookAt:
        found.push_back({std::move(entry.path), std::move(entry.relative), "cannot look at the entry: " + entry.why});
        break;
      case platform::WalkEntry::Problem::kNone:
        if (entry.kind == platform::FileKind::kRegular && ReadHead(entry.path) != Head::kOther)
          found.push_back({std::move(entry.path), std::move(entry.relative), ""});
        break;
    }
  }
  return found;
}

void Collect(const std::string& given, const std::string& operand, std::vector<FoundPicture>* pictures) {
  const std::optional<platform::FileFacts> facts = platform::LookAt(operand, true);
  if (!facts || facts->kind != platform::FileKind::kDirectory) {
    pictures->push_back({operand, given, ""});
    return;
  }
  std::vector<Found> found = Walk(operand);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return std::tie(a.path, a.walkError) < std::tie(b.path, b.walkError);
  });
  for (Found& entry : found) {
    const std::string shown = entry.relative.empty() ? given : platform::JoinPath(given, entry.relative);
    pictures->push_back({std::move(entry.path), shown, std::move(entry.walkError)});
  }
}

}  // namespace

std::vector<FoundPicture> FoundPicture::Find(const std::vector<std::string>& given,
                                             const std::vector<std::string>& operands,
                                             const std::vector<std::string>& operandErrors) {
  std::vector<FoundPicture> pictures;
  for (std::size_t i = 0; i < operands.size(); ++i) {
    const std::string& shown = i < given.size() ? given[i] : operands[i];
    if (i < operandErrors.size() && !operandErrors[i].empty()) {
      pictures.push_back({operands[i], shown, operandErrors[i]});
      continue;
    }
    Collect(shown, operands[i], &pictures);
  }
  return pictures;
}

bool FoundPicture::LooksLikePicture(const std::string& head) {
  const auto starts = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
  return starts("\xFF\xD8\xFF") || starts("\x89PNG\r\n\x1A\n") || starts("GIF87a") || starts("GIF89a") ||
         starts("BM") || (starts("RIFF") && head.size() >= 12 && head.compare(8, 4, "WEBP") == 0);
}

PictureCheck FoundPicture::Check(const CacheTable& table, std::size_t hitCount,
                                 const ReductionSink::IdleProbe& spareCores) const {
  if (walkError.empty()) return CheckPicture(table, path, hitCount, spareCores);
  PictureCheck failed;
  failed.reason = walkError;
  return failed;
}
