#pragma once

#include <string>
#include <string_view>

// UTF-8 text as EUC-JP bytes, the encoding of the site's pages. A character
// EUC-JP cannot hold becomes '?'. Thread-safe.
std::string Utf8ToEucJp(std::string_view utf8);
