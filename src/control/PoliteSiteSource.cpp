#include "control/PoliteSiteSource.h"

#include <thread>

#include "control/SitePictureCache.h"
#include "control/SitePictureFetcher.h"
#include "infra/TextEncoding.h"

PoliteSiteSource::PoliteSiteSource(const InternetSession& session, SitePictureCache* cache, std::size_t fetchLimit,
                                   const std::atomic<bool>& running)
    : session_(session), cache_(cache), fetchLimit_(fetchLimit), running_(running) {}

void PoliteSiteSource::WaitForTurn() {
  // In short naps, so that a stop is not kept waiting for the spacing.
  constexpr std::chrono::milliseconds kNap{50};
  while (asked_ && running_.load()) {
    const auto due = lastRequest_ + kRequestSpacing;
    const auto now = std::chrono::steady_clock::now();
    if (now >= due) break;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kNap, due - now));
  }
  asked_ = true;
  lastRequest_ = std::chrono::steady_clock::now();
  ++requests_;
}

Confirmation::StoredPicture PoliteSiteSource::operator()(const std::string& id) {
  static const SjisText kLimit{u8"取得数の上限に達しました"};
  static const SjisText kUnreadable{u8"サイトの画像を読めません"};
  std::lock_guard<std::mutex> lock(mutex_);
  Confirmation::StoredPicture stored;
  SitePictureFetcher::Result got;
  if (std::optional<std::string> kept = cache_ ? cache_->Find(id) : std::nullopt) {
    got = {id, true, std::move(*kept), {}};
  } else if (fetched_ >= fetchLimit_) {
    stored.message = kLimit;
    return stored;
  } else {
    ++fetched_;
    got = SitePictureFetcher::Fetch(id, session_, cache_, running_, [this] { WaitForTurn(); });
  }
  if (!got.ok) {
    stored.message = got.message;
    return stored;
  }
  std::string reason;
  stored.ok = PictureDetail::FromBytes(got.bytes, &stored.detail, &reason);
  if (!stored.ok) stored.message = kUnreadable;
  return stored;
}

std::size_t PoliteSiteSource::Fetched() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fetched_;
}

std::size_t PoliteSiteSource::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}
