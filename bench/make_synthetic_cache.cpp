// Writes a synthetic cache database: make_synthetic_cache PATH ROWS [SEED]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "search/SyntheticCache.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s PATH ROWS [SEED]\n", argv[0]);
    return 2;
  }
  SyntheticCacheOptions options;
  options.rows = std::strtoull(argv[2], nullptr, 10);
  if (argc == 4) options.seed = std::strtoull(argv[3], nullptr, 10);
  std::string error;
  if (!WriteSyntheticCache(argv[1], options, &error)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
