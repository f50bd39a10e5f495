#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "control/PictureCheck.h"
#include "control/SiteConfirmer.h"

class CacheTable;
class ControlView;

// Shows one picture's check on a view as the window's search does, so that
// a check made earlier (a queued picture's) shows exactly as a fresh one.
class CheckDisplay {
 public:
  // Appends the check's rows (title, poster, id, difference) to the view,
  // then "検索終了" and the verdict's line (the verdict's entry as a marked
  // row when another comparison found it). A picture that could not be read
  // lists nothing: the status says so and why. With no table, only
  // "検索終了". The view's rows are not cleared first.
  static void Show(ControlView& view, const CacheTable* table, const PictureCheck& check);

  // The table rows Show lists: the plain rows, then the verdict's entry,
  // then the entry a confirmation picked among the other candidates.
  static std::vector<std::size_t> Rows(const PictureCheck& check, const SiteConfirmer::Outcome& confirmed = {});

  // While the check's verdict is being confirmed: "サイトの画像で確認中…"
  // above its verdict line.
  static std::string ConfirmingStatus(const CacheTable& table, const PictureCheck& check);
  // Shows how the check's confirmation ended, after Show: the verdict line
  // with the confirmation's state (and the entry it picked among the other
  // candidates as a marked row), or the search's verdict line saying it was
  // not confirmed (stopped, picture not readable). Nothing for kNone.
  static void ShowConfirmation(ControlView& view, const CacheTable& table, const PictureCheck& check,
                               const SiteConfirmer::Outcome& confirmed);
  // The verdict's label as it stands after the confirmation, with its state:
  // "投稿済み（確認済み）", "見つかりませんでした（サイトの画像と異なる）",
  // "投稿済み（確認を中止しました）", ...; the plain label for kNone.
  static std::string ConfirmedLabel(const PictureCheck& check, const SiteConfirmer::Outcome& confirmed);

  // The verdict's line below "検索終了", headed by `label` (the verdict's
  // label, or that label with a confirmation's state): id, difference and
  // how it matched.
  static std::string VerdictLine(const CacheTable& table, const Verdict::Decision& verdict, const std::string& label);
  // The status text after a search: "検索終了" and, below it, VerdictLine.
  static std::string VerdictStatus(const CacheTable& table, const Verdict::Decision& verdict, const std::string& label);
  // The verdict's entry as a row to show first (difference marked with how
  // it matched) when another comparison than the plain difference found it;
  // empty otherwise.
  static std::vector<std::string> MarkedRow(const CacheTable& table, const Verdict::Decision& verdict);

  // "画像を読み込めませんでした" and why, on a second line (Shift-JIS).
  static std::string UnreadableText(const PictureCheck& check);
};
