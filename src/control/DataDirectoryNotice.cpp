#include "control/DataDirectoryNotice.h"

#include "infra/Environment.h"
#include "infra/TextEncoding.h"

namespace {

std::string WithoutSlash(std::string directory) {
  if (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

}  // namespace

DataDirectoryNotice DataDirectoryNotice::Current() {
  return DataDirectoryNotice(UnwritableProgramDirectory(), ProgramDirectory());
}

DataDirectoryNotice::DataDirectoryNotice(std::string programDirectory, std::string dataDirectory)
    : programDirectory_(WithoutSlash(std::move(programDirectory))),
      dataDirectory_(WithoutSlash(std::move(dataDirectory))) {}

std::string DataDirectoryNotice::English() const {
  if (Empty()) return {};
  return "the program's directory " + programDirectory_ + " cannot be written, so the files are kept in " +
         dataDirectory_ + " and the cache.db beside the program is not used; to use it, give --dir " +
         programDirectory_ + " or copy it into " + dataDirectory_;
}

std::string DataDirectoryNotice::LogText() const {
  static const SjisText kCannotWrite{u8"プログラムのフォルダ "};
  static const SjisText kKeptIn{u8" に書き込めないため、ファイルは "};
  static const SjisText kNotUsed{u8" に置きます（プログラムの横の cache.db は使われません）。"
                                 u8"それを使うには --dir "};
  static const SjisText kOrCopy{u8" を付けて起動するか、cache.db を "};
  static const SjisText kCopy{u8" にコピーしてください"};
  if (Empty()) return {};
  const std::string program = PathForLog(programDirectory_);
  const std::string data = PathForLog(dataDirectory_);
  return kCannotWrite + program + kKeptIn + data + kNotUsed + program + kOrCopy + data + kCopy;
}

std::string DataDirectoryNotice::StatusText() const {
  static const SjisText kInUse{u8" を使用中（プログラムのフォルダに書き込めないため）"};
  static const SjisText kHow{u8"横の cache.db はそこへコピーするか --dir で指定してください"};
  if (Empty()) return {};
  return PathForLog(dataDirectory_) + kInUse + "\n" + kHow;
}
