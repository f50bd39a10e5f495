#include "control/PictureQueue.h"

#include <optional>

#include "control/CheckDisplay.h"
#include "infra/Platform.h"
#include "infra/TextEncoding.h"

void PictureQueue::Fill(std::vector<FoundPicture> pictures) {
  std::vector<Entry> entries;
  entries.reserve(pictures.size());
  for (FoundPicture& picture : pictures) entries.push_back({std::move(picture), State::kWaiting, {}, {}});
  std::lock_guard<std::mutex> lock(mutex_);
  entries_ = std::move(entries);
}

std::size_t PictureQueue::FillFrom(const std::vector<std::string>& paths) {
  std::vector<FoundPicture> pictures = FoundPicture::Find(paths, paths);
  const std::size_t count = pictures.size();
  Fill(std::move(pictures));
  return count;
}

bool PictureQueue::Queues(const std::vector<std::string>& paths) {
  if (paths.size() != 1) return paths.size() > 1;
  const std::optional<platform::FileFacts> facts = platform::LookAt(paths.front(), true);
  return facts && facts->kind == platform::FileKind::kDirectory;
}

std::size_t PictureQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

PictureQueue::Entry PictureQueue::At(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.at(index);
}

PictureQueue::Mark PictureQueue::MarkAt(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return MarkOf(entries_.at(index));
}

std::string PictureQueue::LabelAt(std::size_t index) const { return LabelOf(At(index)); }

void PictureQueue::SetState(std::size_t index, State state, const Changed& changed) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[index].state = state;
  }
  if (changed) changed(index);
}

std::size_t PictureQueue::Run(const CacheTable* table, const std::atomic<bool>& running, const Changed& changed,
                              std::size_t hitCount, SiteConfirmer* confirmer) {
  std::size_t checked = 0;
  for (std::size_t i = 0; i < Size(); ++i) {
    FoundPicture picture;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (entries_[i].state != State::kWaiting) continue;
      picture = entries_[i].picture;
    }
    if (!table || !running.load()) {
      SetState(i, State::kNotChecked, changed);
      continue;
    }
    SetState(i, State::kChecking, changed);
    PictureCheck check = picture.Check(*table, hitCount);
    // An Abort during the check leaves nothing to confirm: the rest is not checked.
    const bool confirm = confirmer != nullptr && running.load() && SiteConfirmer::Needed(check);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      entries_[i].check = check;
      entries_[i].state = confirm ? State::kConfirming : State::kChecked;
    }
    ++checked;
    if (changed) changed(i);
    if (!confirm) continue;
    SiteConfirmer::Outcome outcome = confirmer->Confirm(picture.path, check, *table);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      entries_[i].confirmation = std::move(outcome);
      entries_[i].state = State::kChecked;
    }
    if (changed) changed(i);
  }
  return checked;
}

PictureQueue::Mark PictureQueue::MarkOf(const Entry& entry) {
  switch (entry.state) {
    case State::kWaiting:
      return Mark::kWaiting;
    case State::kChecking:
      return Mark::kChecking;
    case State::kNotChecked:
      return Mark::kNotChecked;
    case State::kConfirming:
      return Mark::kConfirming;
    case State::kChecked:
      break;
  }
  if (!entry.check.read) return Mark::kError;
  switch (SiteConfirmer::Decision(entry.check, entry.confirmation).outcome) {
    case Verdict::Outcome::kPosted:
      return Mark::kPosted;
    case Verdict::Outcome::kSimilar:
      return Mark::kSimilar;
    case Verdict::Outcome::kNew:
      break;
  }
  return Mark::kNew;
}

std::string PictureQueue::LabelOf(const Entry& entry) {
  const Mark mark = MarkOf(entry);
  if (entry.state != State::kChecked || mark == Mark::kError) return Label(mark);
  return CheckDisplay::ConfirmedLabel(entry.check, entry.confirmation);
}

const std::string& PictureQueue::Label(Mark mark) {
  static const SjisText kError{u8"エラー"}, kWaiting{u8"待機中"}, kChecking{u8"検索中"}, kConfirming{u8"確認中"},
      kNotChecked{u8"未チェック"};
  switch (mark) {
    case Mark::kPosted:
      return Verdict::Label(Verdict::Outcome::kPosted);
    case Mark::kSimilar:
      return Verdict::Label(Verdict::Outcome::kSimilar);
    case Mark::kNew:
      return Verdict::Label(Verdict::Outcome::kNew);
    case Mark::kError:
      return kError;
    case Mark::kWaiting:
      return kWaiting;
    case Mark::kChecking:
      return kChecking;
    case Mark::kConfirming:
      return kConfirming;
    case Mark::kNotChecked:
      break;
  }
  return kNotChecked;
}

std::uint32_t PictureQueue::Colour(Mark mark) {
  switch (mark) {
    case Mark::kPosted:
      return 0xD03030;
    case Mark::kSimilar:
      return 0xE0A000;
    case Mark::kNew:
      return 0x30A040;
    case Mark::kError:
      return 0x8040A0;
    case Mark::kChecking:
      return 0x3070D0;
    case Mark::kConfirming:
      return 0x2090A0;
    case Mark::kWaiting:
      return 0xB0B0B0;
    case Mark::kNotChecked:
      break;
  }
  return 0x707070;
}
