#include "infra/TransferPace.h"

#include <algorithm>

#include "infra/TextEncoding.h"

TransferPace::TransferPace(const InternetSession::Options& options)
    : options_(options), lastArrival_(std::chrono::steady_clock::now()) {}

void TransferPace::NoteArrival() { lastArrival_ = std::chrono::steady_clock::now(); }

void TransferPace::Count(std::uint64_t bytes) {
  windowBytes_ += bytes;
  NoteArrival();
}

void TransferPace::AddWaited(std::chrono::steady_clock::duration waited) { waited_ += waited; }

std::optional<TransferPace::Verdict> TransferPace::TooSlow() {
  if (options_.speedWindowBytes == 0 || waited_ - windowStart_ < options_.speedWindow) return std::nullopt;
  if (windowBytes_ >= options_.speedWindowBytes) {
    windowStart_ = waited_;
    windowBytes_ = 0;
    return std::nullopt;
  }
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(waited_ - windowStart_).count();
  static const SjisText kTooSlow{u8"InternetFile::Transfer::Step() : 転送が遅すぎるため中断しました "};
  static const SjisText kBytes{u8"バイト/"};
  static const SjisText kMilliseconds{u8"ミリ秒"};
  return Verdict{{FetchFailure::Kind::kTooSlow, 0,
                  std::to_string(windowBytes_) + " bytes in " + std::to_string(ms) + " ms, fewer than " +
                      std::to_string(options_.speedWindowBytes)},
                 kTooSlow + std::to_string(windowBytes_) + kBytes + std::to_string(ms) + kMilliseconds};
}

std::optional<TransferPace::Verdict> TransferPace::Stalled() const {
  const std::chrono::milliseconds silent = Silent();
  if (silent < options_.stallTimeout) return std::nullopt;
  static const SjisText kStalled{u8"InternetFile::Transfer::Step() : データが届かないため中断しました "};
  static const SjisText kMilliseconds{u8"ミリ秒"};
  return Verdict{{FetchFailure::Kind::kStalled, 0, "nothing arrived for " + std::to_string(silent.count()) + " ms"},
                 kStalled + std::to_string(silent.count()) + kMilliseconds};
}

std::chrono::milliseconds TransferPace::NextWait(std::chrono::milliseconds slice) const {
  return std::clamp(options_.stallTimeout - Silent(), std::chrono::milliseconds{0}, slice);
}

std::chrono::milliseconds TransferPace::Silent() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lastArrival_);
}
