#pragma once

#include <cstdint>
#include <string>

// True when only this user may enter `directory`: mode 0700 on Linux. On
// Windows a folder in the user's profile already is (its ACL is the
// profile's), so there it need only be a folder.
bool IsPrivateDirectory(const std::string& directory);

// Sets `path`'s modification time to `secondsSinceEpoch`.
bool SetModificationTime(const std::string& path, std::int64_t secondsSinceEpoch);
