#include "infra/InternetFetch.h"

#include "infra/InternetFile.h"

InternetFetch InternetFetch::Get(const std::string& url, const InternetSession& session, std::uint64_t limit,
                                 const std::atomic<bool>* running, const BodyReceiver::Progress& progress) {
  InternetFetch fetch;
  InternetFile remote(url, session, running);
  if (!remote.IsOk()) {
    fetch.outcome = remote.Aborted() ? Outcome::kAborted : Outcome::kNoAnswer;
    fetch.failure = remote.Failure();
    return fetch;
  }
  BodyReceiver receiver(limit);
  receiver.SetProgress(progress);
  std::string body;
  switch (receiver.Receive(remote, body)) {
    case BodyReceiver::Result::kComplete:
      fetch.outcome = Outcome::kOk;
      fetch.body = std::move(body);
      break;
    case BodyReceiver::Result::kTooLarge:
      fetch.outcome = Outcome::kTooLarge;
      fetch.failure = {FetchFailure::Kind::kTooLarge, 0, "more than " + std::to_string(limit) + " bytes"};
      break;
    case BodyReceiver::Result::kBroken:
    case BodyReceiver::Result::kWriteFailed:
      fetch.outcome = remote.Aborted() ? Outcome::kAborted : Outcome::kBroken;
      fetch.failure = remote.Failure();
      break;
  }
  return fetch;
}
