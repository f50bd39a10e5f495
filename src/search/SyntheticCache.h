#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes a made-up but realistic cache database for tests and benchmarks: the
// table "TintwiseCache" with the exported layout (34 untyped columns), rows in
// ascending id order with gaps, Shift-JIS titles and poster names of typical
// lengths, signatures of plausible pictures (a base colour with per-pixel
// variation, some very dark or light), and some rows that repeat an earlier
// row's signature exactly, as reposted images do. The same options always give
// the same rows.
struct SyntheticCacheOptions {
  std::size_t rows = 1000;
  std::uint64_t seed = 1;
  // Of every 1000 rows, about this many repeat an earlier signature.
  unsigned duplicatesPerThousand = 20;
};

// Creates (replacing) the database file `path`. False, with `error` set to the
// library's message, when the file cannot be written.
bool WriteSyntheticCache(const std::string& path, const SyntheticCacheOptions& options, std::string* error);
