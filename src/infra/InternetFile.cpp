#include "infra/InternetFile.h"

#include "infra/InternetTransfer.h"

InternetFile::InternetFile(const std::string& url, const InternetSession& session,
                           const std::atomic<bool>* running)
    : transfer_(InternetTransfer::Make(session, running)) {
  ok_ = transfer_->Start(url);
}

InternetFile::~InternetFile() = default;

bool InternetFile::IsOk() const { return ok_; }

size_t InternetFile::Read(char* buffer) { return ok_ ? transfer_->Read(buffer) : 0; }

bool InternetFile::Failed() const { return transfer_->Failed(); }

bool InternetFile::Aborted() const { return transfer_->Aborted(); }

const FetchFailure& InternetFile::Failure() const { return transfer_->Failure(); }

std::optional<std::uint64_t> InternetFile::ContentLength() const {
  return ok_ ? transfer_->ContentLength() : std::nullopt;
}
