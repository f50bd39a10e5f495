#include "control/CheckDisplay.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "control/ControlView.h"
#include "infra/NumberToString.h"
#include "infra/TextEncoding.h"
#include "search/CacheTable.h"

namespace {

constexpr int kDifferenceWidth = 4;

std::string DifferenceText(std::int64_t difference) {
  // Differences beyond the 32-bit range (only tables holding absurd values
  // have them) show as the largest 32-bit number.
  return NumberToString(
      static_cast<std::int32_t>(std::min<std::int64_t>(difference, std::numeric_limits<std::int32_t>::max())),
      kDifferenceWidth);
}

}  // namespace

namespace {
const std::string& DoneText() {
  static const SjisText kDone{u8"検索終了"};
  return kDone.str();
}

// What follows the search's verdict when its confirmation ended early.
const std::string& NotConfirmedNote(SiteConfirmer::End end) {
  static const SjisText kStopped{u8"（確認を中止しました）"}, kNoQuery{u8"（照合用に画像を読めず未確認）"};
  static const std::string kNothing;
  switch (end) {
    case SiteConfirmer::End::kStopped:
      return kStopped.str();
    case SiteConfirmer::End::kNoQuery:
      return kNoQuery.str();
    case SiteConfirmer::End::kNone:
    case SiteConfirmer::End::kDone:
      break;
  }
  return kNothing;
}

// Whether the confirmation's verdict names an entry the search's did not.
bool PickedAnotherEntry(const PictureCheck& check, const SiteConfirmer::Outcome& confirmed) {
  const Verdict::Decision& after = confirmed.result.decision;
  return confirmed.end == SiteConfirmer::End::kDone && after.hasEntry &&
         (!check.decision.hasEntry || after.entry.row != check.decision.entry.row);
}
}  // namespace

void CheckDisplay::Show(ControlView& view, const CacheTable* table, const PictureCheck& check) {
  if (!check.read) {
    // Nothing is listed: an all-zero query would rank the darkest entries
    // as if they had been found.
    view.SetStatusText(UnreadableText(check));
    return;
  }
  if (table) {
    for (const SearchHit& hit : check.match.hits) {
      view.AddRow({std::string(table->Title(hit.row)), std::string(table->Name(hit.row)),
                   std::string(table->Id(hit.row)), DifferenceText(hit.difference)});
    }
  }
  view.SetStatusText(DoneText());
  if (table) {
    view.ShowVerdict(VerdictStatus(*table, check.decision, Verdict::Label(check.decision.outcome)),
                     MarkedRow(*table, check.decision));
  }
}

std::string CheckDisplay::VerdictLine(const CacheTable& table, const Verdict::Decision& verdict,
                                      const std::string& label) {
  static const SjisText kId{u8"　ID "}, kDifference{u8"　差 "}, kSpace{u8"　"}, kClosest{u8"　最も近いもの:"};
  std::string line = label;
  if (verdict.hasEntry) {
    if (verdict.outcome == Verdict::Outcome::kNew) line += kClosest.str();
    line += kId.str() + std::string(table.Id(verdict.entry.row)) + kDifference.str() +
            std::to_string(verdict.entry.difference) + kSpace.str() + ComparisonLabel(verdict.comparison);
  }
  return line;
}

std::string CheckDisplay::VerdictStatus(const CacheTable& table, const Verdict::Decision& verdict,
                                        const std::string& label) {
  return DoneText() + "\n" + VerdictLine(table, verdict, label);
}

std::vector<std::string> CheckDisplay::MarkedRow(const CacheTable& table, const Verdict::Decision& verdict) {
  if (!verdict.hasEntry || verdict.comparison == Comparison::kSame) return {};
  return {std::string(table.Title(verdict.entry.row)), std::string(table.Name(verdict.entry.row)),
          std::string(table.Id(verdict.entry.row)),
          DifferenceText(verdict.entry.difference) + " " + ComparisonLabel(verdict.comparison)};
}

std::vector<std::size_t> CheckDisplay::Rows(const PictureCheck& check, const SiteConfirmer::Outcome& confirmed) {
  std::vector<std::size_t> rows;
  for (const SearchHit& hit : check.match.hits) rows.push_back(hit.row);
  if (check.read && check.decision.hasEntry) rows.push_back(check.decision.entry.row);
  if (check.read && PickedAnotherEntry(check, confirmed)) rows.push_back(confirmed.result.decision.entry.row);
  return rows;
}

std::string CheckDisplay::ConfirmingStatus(const CacheTable& table, const PictureCheck& check) {
  static const SjisText kConfirming{u8"サイトの画像で確認中…"};
  return kConfirming + "\n" + VerdictLine(table, check.decision, Verdict::Label(check.decision.outcome));
}

void CheckDisplay::ShowConfirmation(ControlView& view, const CacheTable& table, const PictureCheck& check,
                                    const SiteConfirmer::Outcome& confirmed) {
  switch (confirmed.end) {
    case SiteConfirmer::End::kNone:
      return;
    case SiteConfirmer::End::kDone:
      // A row already marked first stays; only an entry the confirmation
      // picked among the other candidates is added.
      view.ShowVerdict(VerdictStatus(table, confirmed.result.decision, Confirmation::Label(confirmed.result)),
                       PickedAnotherEntry(check, confirmed) ? MarkedRow(table, confirmed.result.decision)
                                                            : std::vector<std::string>{});
      return;
    case SiteConfirmer::End::kNoQuery:
    case SiteConfirmer::End::kStopped:
      break;
  }
  view.SetStatusText(VerdictStatus(table, check.decision, Verdict::Label(check.decision.outcome)) +
                     NotConfirmedNote(confirmed.end));
}

std::string CheckDisplay::ConfirmedLabel(const PictureCheck& check, const SiteConfirmer::Outcome& confirmed) {
  if (confirmed.end == SiteConfirmer::End::kDone) return Confirmation::Label(confirmed.result);
  return Verdict::Label(check.decision.outcome) + NotConfirmedNote(confirmed.end);
}

std::string CheckDisplay::UnreadableText(const PictureCheck& check) {
  static const SjisText kUnreadable{u8"画像を読み込めませんでした"};
  // A picture never opened (a folder that could not be listed) has only
  // the walk's own English reason.
  return kUnreadable + "\n" + (check.errorKind ? ImageErrorStatusText(*check.errorKind) : check.reason);
}
