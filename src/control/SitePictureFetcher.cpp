#include "control/SitePictureFetcher.h"

#include "cachebuild/MakeCache.h"
#include "control/PictureBytes.h"
#include "control/SitePictureCache.h"
#include "infra/InternetFetch.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"

namespace {

// The generation run's page parser, without its signature step.
class PageReader : public MakeCache {
 public:
  PageReader(const InternetSession& session, const std::string& id) : MakeCache(session, id, false) {}
  bool ComputeSignature() override { return true; }
};

SitePictureFetcher::Result Failure(const std::string& id, const SjisText& message) {
  return {id, false, {}, message.str()};
}

}  // namespace

SitePictureFetcher::SitePictureFetcher(const InternetSession& session, SitePictureCache* cache, Deliver deliver)
    : session_(session), cache_(cache), deliver_(std::move(deliver)), worker_([this] { Work(); }) {}

SitePictureFetcher::~SitePictureFetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    running_.store(false);
  }
  wake_.notify_all();
  worker_.join();
}

void SitePictureFetcher::Request(const std::string& id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_ = id;
    ++generation_;
    running_.store(false);
  }
  wake_.notify_all();
}

void SitePictureFetcher::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.reset();
  ++generation_;
  running_.store(false);
}

void SitePictureFetcher::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
    if (stopping_) return;
    const std::string id = *waiting_;
    waiting_.reset();
    const unsigned long generation = generation_;
    running_.store(true);
    lock.unlock();
    Result result = Fetch(id, session_, cache_, running_);
    lock.lock();
    // A newer request (or a cancel) makes this result stale.
    if (generation != generation_ || stopping_) continue;
    lock.unlock();
    deliver_(std::move(result));
    lock.lock();
  }
}

SitePictureFetcher::Result SitePictureFetcher::Fetch(const std::string& id, const InternetSession& session,
                                                     SitePictureCache* cache, const std::atomic<bool>& running,
                                                     const std::function<void()>& beforeRequest) {
  static const SjisText kPageFailed{u8"ページを取得できませんでした"};
  static const SjisText kNoAddress{u8"画像のアドレスがありません"};
  static const SjisText kImageFailed{u8"画像を取得できませんでした"};
  static const SjisText kTooLarge{u8"画像が大きすぎます"};
  static const SjisText kNotAPicture{u8"画像ではありません"};
  static const SjisText kStopped{u8"中止しました"};
  if (cache) {
    if (std::optional<std::string> kept = cache->Find(id)) return {id, true, std::move(*kept), {}};
  }

  InternetFetch page;
  for (const std::string& url : {PageUrl(id), SecondPageUrl(id)}) {
    if (beforeRequest) beforeRequest();
    page = InternetFetch::Get(url, session, MakeCache::kMaxPageBytes, &running);
    if (page.outcome != InternetFetch::Outcome::kOk || page.body.size() > MakeCache::kShortPageBytes) break;
  }
  if (page.outcome == InternetFetch::Outcome::kAborted) return Failure(id, kStopped);
  if (page.outcome != InternetFetch::Outcome::kOk) return Failure(id, kPageFailed);
  PageReader reader(session, id);
  reader.ParsePage(page.body);
  if (reader.imageUrl.empty()) return Failure(id, kNoAddress);

  if (beforeRequest) beforeRequest();
  InternetFetch image = InternetFetch::Get(reader.imageUrl, session, MakeCache::kMaxImageBytes, &running);
  switch (image.outcome) {
    case InternetFetch::Outcome::kOk:
      break;
    case InternetFetch::Outcome::kAborted:
      return Failure(id, kStopped);
    case InternetFetch::Outcome::kTooLarge:
      return Failure(id, kTooLarge);
    case InternetFetch::Outcome::kNoAnswer:
    case InternetFetch::Outcome::kBroken:
      return Failure(id, kImageFailed);
  }
  if (PictureExtension(image.body).empty()) return Failure(id, kNotAPicture);
  if (cache) cache->Store(id, image.body);
  return {id, true, std::move(image.body), {}};
}
