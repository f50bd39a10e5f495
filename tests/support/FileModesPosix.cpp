#include "support/FileModes.h"

#include <fcntl.h>
#include <sys/stat.h>

bool IsPrivateDirectory(const std::string& directory) {
  struct stat info {};
  return ::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 0777) == 0700;
}

bool SetModificationTime(const std::string& path, std::int64_t secondsSinceEpoch) {
  const struct timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
