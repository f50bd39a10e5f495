#include "infra/BodyReceiver.h"

#include "infra/AtomicFile.h"
#include "infra/InternetFile.h"

BodyReceiver::Result BodyReceiver::Receive(InternetFile& remote, AtomicFile& local) {
  return Pump(remote, [&](std::string_view block) { return local.Write(block); });
}

BodyReceiver::Result BodyReceiver::Receive(InternetFile& remote, std::string& body) {
  return Pump(remote, [&](std::string_view block) {
    body.append(block);
    return true;
  });
}

BodyReceiver::Result BodyReceiver::Pump(InternetFile& remote, const std::function<bool(std::string_view)>& sink) {
  const std::optional<std::uint64_t> total = remote.ContentLength();
  if (total && *total > limit_) return Result::kTooLarge;
  char buffer[InternetFile::kBlockSize];
  while (const size_t got = remote.Read(buffer)) {
    bytes_ += got;
    if (bytes_ > limit_) return Result::kTooLarge;
    if (!sink(std::string_view(buffer, got))) return Result::kWriteFailed;
    if (progress_) progress_(bytes_, total);
  }
  return remote.Failed() ? Result::kBroken : Result::kComplete;
}
