#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "control/FoundPicture.h"
#include "control/PictureCheck.h"
#include "control/SiteConfirmer.h"

class CacheTable;

// Several pictures a user gave a window at once (a drop, a paste, Open with
// several files, or a folder), checked one after another, each with its
// result kept so that showing it again searches nothing. No toolkit: every
// window of the program queues with it. The entries are found and checked
// on an operation's thread while the window reads them from its own: every
// member may be called from any thread.
class PictureQueue {
 public:
  enum class State {
    kWaiting,     // not yet checked
    kChecking,    // being checked
    kConfirming,  // check holds the result, being confirmed by the site's pictures
    kChecked,     // check holds the result (a picture that could not be read included)
    kNotChecked,  // the queue was stopped before its turn
  };

  // What a window shows of an entry: its verdict as far as it is known.
  enum class Mark { kWaiting, kChecking, kConfirming, kPosted, kSimilar, kNew, kError, kNotChecked };

  struct Entry {
    FoundPicture picture;
    State state = State::kWaiting;
    PictureCheck check;  // when kConfirming or kChecked
    // How its confirmation ended (kNone when none was made); its verdict
    // is then SiteConfirmer::Decision(check, confirmation).
    SiteConfirmer::Outcome confirmation;
  };

  // Called on the running thread after an entry's state has changed.
  using Changed = std::function<void(std::size_t index)>;

  // Replaces the entries with `pictures`, every one waiting.
  void Fill(std::vector<FoundPicture> pictures);
  // Finds the pictures among the files and folders at `paths` (as the
  // command line's check does, each path shown as given) and fills the queue
  // with them. Returns how many there are.
  std::size_t FillFrom(const std::vector<std::string>& paths);

  // Whether a window queues what the user gave it rather than searching it
  // alone: several files, or a folder.
  static bool Queues(const std::vector<std::string>& paths);

  std::size_t Size() const;
  // A copy of entry `index` (REQUIRES: index < Size()).
  Entry At(std::size_t index) const;
  Mark MarkAt(std::size_t index) const;
  // LabelOf entry `index` (REQUIRES: index < Size()).
  std::string LabelAt(std::size_t index) const;

  // Checks every waiting entry in order against `table` on the calling
  // thread, keeping `hitCount` rows of each. Before each entry `running` is
  // looked at: once cleared, the entries left are marked not checked. With
  // no table every entry is left not checked. With a `confirmer`, each
  // verdict it finds worth it is then confirmed (kConfirming) before the
  // next entry is checked, so that answers come as they are had; an Abort
  // during it leaves that entry with its search's verdict, marked stopped.
  // Returns how many were checked.
  std::size_t Run(const CacheTable* table, const std::atomic<bool>& running, const Changed& changed,
                  std::size_t hitCount = SimilaritySearch::kHitCount, SiteConfirmer* confirmer = nullptr);

  // The entry's verdict as it stands (confirmed or lowered by the site's
  // picture included).
  static Mark MarkOf(const Entry& entry);
  // The entry's text in its strip: a checked entry's verdict with its
  // confirmation's state (CheckDisplay::ConfirmedLabel), else Label(MarkOf).
  static std::string LabelOf(const Entry& entry);
  // The mark's text in the window's words, Shift-JIS: a verdict's as the
  // status line says it ("投稿済み", "似た画像あり", "見つかりませんでした"),
  // "エラー", "待機中", "検索中", "確認中", "未チェック".
  static const std::string& Label(Mark mark);
  // The mark's colour, 0xRRGGBB: red posted, amber similar, green new,
  // purple error, blue checking, teal confirming, greys for waiting and not
  // checked.
  static std::uint32_t Colour(Mark mark);

 private:
  void SetState(std::size_t index, State state, const Changed& changed);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // guarded by mutex_
};
