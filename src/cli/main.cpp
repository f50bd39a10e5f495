#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "Usage: tintwise-cli [--version] [--help] <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  search <image>   list the 20 cached entries closest to the image\n"
    "  update           replace cache.db with the prebuilt copy from the cache server\n"
    "  generate         rebuild the cache over the id range of cache_setting.ini\n"
    "\n"
    "Files (cache.db, cache.ini, cache_setting.ini, log.txt) live beside the program.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--version") {
    std::printf("tintwise-cli %s\n", TINTWISE_VERSION);
    return 0;
  }
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fprintf(stderr, "tintwise-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return 2;
}
