#include "support/FileSizeLimit.h"

#include <sys/resource.h>

#include <csignal>

struct FileSizeLimit::Previous {
  rlimit limit{};
};

bool FileSizeLimit::Supported() { return true; }

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) : previous_(std::make_unique<Previous>()) {
  // Past the limit the kernel would also send SIGXFSZ, which ends the process.
  std::signal(SIGXFSZ, SIG_IGN);
  getrlimit(RLIMIT_FSIZE, &previous_->limit);
  rlimit limited = previous_->limit;
  limited.rlim_cur = static_cast<rlim_t>(bytes);
  setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous_->limit); }
