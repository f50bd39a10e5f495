// The signature of one picture file, printed as `tintwise-cli signature`
// prints it, from a program that links only the picture code: the same work
// without the command-line program's start-up (its HTTP library and that
// library's own dependencies), to tell the two costs apart in
// bench/signature_bench.sh.
#include <cstdio>

#include "imaging/SignatureReader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_signature_only <picture>\n");
    return 2;
  }
  ImageCache::Colours colours{};
  ImageError error;
  if (!SignatureOfFile(argv[1], &colours, &error)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.detail.c_str());
    return 1;
  }
  for (const int value : colours) std::printf("%d,", value);
  std::printf("\t%s\n", argv[1]);
  return 0;
}
