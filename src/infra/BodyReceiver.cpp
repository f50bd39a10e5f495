#include "infra/BodyReceiver.h"

#include <string_view>

#include "infra/AtomicFile.h"
#include "infra/InternetFile.h"

BodyReceiver::Result BodyReceiver::Receive(InternetFile& remote, AtomicFile& local) {
  char buffer[InternetFile::kBlockSize];
  while (const size_t got = remote.Read(buffer)) {
    bytes_ += got;
    if (bytes_ > limit_) return Result::kTooLarge;
    if (!local.Write(std::string_view(buffer, got))) return Result::kWriteFailed;
  }
  return remote.Failed() ? Result::kBroken : Result::kComplete;
}
