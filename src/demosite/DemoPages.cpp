#include "demosite/DemoPages.h"

#include "demosite/EucJpEncoding.h"

namespace {

const char kStyle[] = R"(<style>
body { margin: 0; font-family: "IPAGothic", "Noto Sans CJK JP", sans-serif; background: #f4f1ec; color: #333; }
header { background: #e86a8a; color: #fff; padding: 12px 24px; }
header h1 { margin: 0; font-size: 28px; letter-spacing: 2px; }
header h1 a { color: #fff; text-decoration: none; }
header p { margin: 4px 0 0; font-size: 13px; opacity: 0.9; }
main { max-width: 880px; margin: 24px auto; padding: 0 16px; }
.work { background: #fff; border-radius: 8px; padding: 24px; box-shadow: 0 1px 4px rgba(0, 0, 0, 0.15); }
.work .picture { display: block; margin: 0 auto 16px; max-width: 100%; image-rendering: auto; border: 1px solid #ddd; }
.work h2 { margin: 8px 0; font-size: 22px; }
.poster { color: #666; margin: 4px 0 12px; }
.votes a { display: inline-block; margin-right: 12px; padding: 4px 12px; border-radius: 16px; text-decoration: none; }
.votes a.good { background: #fde3ea; color: #c0395b; }
.votes a.bad { background: #e4e8ef; color: #4a5870; }
.gate { width: 100%; height: 48px; border: 1px dashed #c0395b; margin-top: 12px; }
.recent { margin-top: 24px; }
.recent h3 { font-size: 16px; border-left: 4px solid #e86a8a; padding-left: 8px; }
.recent ul, .grid { list-style: none; padding: 0; display: flex; flex-wrap: wrap; gap: 12px; }
.recent li, .grid li { width: 132px; font-size: 12px; text-align: center; }
.recent li img, .grid li img { width: 120px; height: 90px; object-fit: cover; border-radius: 4px; }
.about { margin-top: 20px; font-size: 14px; line-height: 1.6; }
.about dl { display: grid; grid-template-columns: 7em 1fr; gap: 2px 8px; color: #555; }
.about dd { margin: 0; }
.comments li { margin-bottom: 4px; }
.note { background: #fff8d8; border: 1px solid #eddc8c; padding: 12px; border-radius: 6px; font-size: 13px; }
footer { text-align: center; font-size: 12px; color: #999; padding: 24px; }
</style>)";

const char kHeader[] =
    "<header><h1><a href=\"/\">mofu!</a></h1><p>画像投稿サイト mofu! のデモ</p></header>\n";

const char kGuide[] =
    "<section class=\"about\"><h3>このサイトについて</h3>\n<p>mofu! は画像投稿サイトのデモです。"
    "作品ページには題名、投稿者、画像、いいね・いまいちの数が載っています。"
    "Tintwise はこのページを読んで画像の特徴をキャッシュにまとめ、手元の画像がすでに投稿されているかを調べます。"
    "番号が抜けている作品は削除された作品として扱われ、ページは見つかりません。</p></section>\n";

const char kFooter[] =
    "<footer>mofu! デモサイト &mdash; ここにある画像はすべてプログラムが描いたものです。"
    "ページは EUC-JP で送られます。</footer>\n";

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"EUC-JP\">\n<title>mofu!" + title +
         "</title>\n" + kStyle + "\n</head>\n<body>\n";
}

std::string PagePath(int id) { return "/mofuimg/pimg.php?imgid=" + std::to_string(id); }

std::string Thumbnail(const DemoEntry& entry, const std::string& host) {
  return "<li><a href=\"" + PagePath(entry.id) + "\"><img src=\"http://" + host + entry.ImagePath() +
         "\" alt=\"\"><br>" + std::to_string(entry.id) + " " + entry.title + "</a></li>\n";
}

// The sixteen entries after `entry`, wrapping round.
std::string Recent(const DemoCatalog& catalog, const DemoEntry& entry, const std::string& host) {
  const auto& entries = catalog.Entries();
  size_t index = 0;
  while (index < entries.size() && entries[index].id != entry.id) ++index;
  std::string list = "<section class=\"recent\"><h3>ほかの作品</h3><ul>\n";
  for (size_t i = 1; i <= 16 && i < entries.size(); ++i) list += Thumbnail(entries[(index + i) % entries.size()], host);
  return list + "</ul></section>\n";
}

const char* const kComments[] = {"色がきれいですね。", "壁紙にしました!", "この構図、好きです。",
                                 "どこで撮ったんですか?", "ほっこりしました。", "続きが見たいです。"};

// A description, the file's details and three comments: the body of a real
// page, which also keeps every full page well past 4,096 bytes.
std::string About(const DemoEntry& entry) {
  const int id = entry.id;
  std::string text = "<section class=\"about\"><h3>作品について</h3>\n<p>" + entry.poster +
                     "さんの作品です。コンピューターが色と形を選んで描いた一枚で、グラデーションや図形、"
                     "しま模様、チェック、雲のようなノイズを組み合わせています。同じ番号の作品はいつも同じ絵になります。</p>\n";
  text += "<dl><dt>ファイル名</dt><dd>" + entry.fileName + "</dd><dt>形式</dt><dd>" + entry.contentType +
          "</dd><dt>大きさ</dt><dd>" + std::to_string(entry.bytes.size()) + " バイト</dd><dt>投稿日</dt><dd>2008年" +
          std::to_string(1 + id % 12) + "月" + std::to_string(1 + id % 28) + "日</dd></dl>\n";
  text += "<h3>コメント</h3><ol class=\"comments\">\n";
  for (int i = 0; i < 3; ++i) text += "<li>" + std::string(kComments[(id + i * 2) % 6]) + "</li>\n";
  return text + "</ol></section>\n";
}

}  // namespace

std::string RenderImagePage(const DemoCatalog& catalog, const DemoEntry& entry, const std::string& host) {
  const std::string id = std::to_string(entry.id);
  std::string page = Head(entry.title) + kHeader + "<main>\n<div class=\"work\">\n";
  page += "<img src=\"http://" + host + entry.ImagePath() + "\" class=\"picture\" alt=\"" + entry.title + "\">\n";
  page += "<h2>" + entry.title + "</h2>\n";
  page += "<p class=\"poster\">作品番号 " + id + " / 投稿者情報:" + entry.poster + "様</p>\n";
  page += "<p class=\"votes\"><a class=\"good\" href=\"../iine.php?imgid=" + id +
          "&amp;vote=good\">いいね:<b>" + std::to_string(entry.good) + "</b></a>"
          "<a class=\"bad\" href=\"../iine.php?imgid=" + id + "&amp;vote=bad\">いまいち:<b>" +
          std::to_string(entry.bad) + "</b></a></p>\n";
  page += About(entry);
  if (entry.adult)
    page += "<iframe class=\"gate\" src=\"/mofuimg/adult.html\" title=\"年齢確認\"></iframe>\n";
  page += "</div>\n" + Recent(catalog, entry, host) + kGuide + "</main>\n" + kFooter + "</body>\n</html>\n";
  return Utf8ToEucJp(page);
}

std::string RenderStubPage(const DemoEntry& entry) {
  const std::string second = "/mofuimg/spimg.php?imgid=" + std::to_string(entry.id);
  return Utf8ToEucJp("<!DOCTYPE html>\n<html lang=\"ja\">\n<head><meta charset=\"EUC-JP\"><title>mofu!移動しました"
                     "</title></head>\n<body style=\"font-family: sans-serif; margin: 40px\">\n"
                     "<p>この作品のページは <a href=\"" + second + "\">" + second +
                     "</a> に移動しました。</p>\n</body>\n</html>\n");
}

std::string RenderMissingPage(const std::string& id) {
  return Utf8ToEucJp(Head("作品が見つかりません") + kHeader + "<main><div class=\"work\"><h2>作品番号 " + id +
                     " は見つかりません</h2><p>削除されたか、まだ投稿されていません。</p></div></main>\n" + kFooter +
                     "</body>\n</html>\n");
}

std::string RenderIndexPage(const DemoCatalog& catalog, const std::string& host) {
  std::string page = Head("デモサイト") + kHeader + "<main>\n";
  page += "<p class=\"note\">このサイトの画像を Tintwise の窓に落とすと、キャッシュから同じ画像が"
          "差分 0000 で見つかります。画像をまとめて保存するには "
          "<code>tintwise-demosite --export-images &lt;フォルダ&gt;</code> を実行してください。"
          "キャッシュは <a href=\"/mofu/cache.db\">/mofu/cache.db</a> にあります。</p>\n";
  page += "<ul class=\"grid\">\n";
  for (const DemoEntry& entry : catalog.Entries()) page += Thumbnail(entry, host);
  page += "</ul>\n</main>\n" + std::string(kFooter) + "</body>\n</html>\n";
  return Utf8ToEucJp(page);
}

std::string RenderAdultNotice() {
  return Utf8ToEucJp("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"EUC-JP\"><title>mofu!年齢確認</title>"
                     "</head><body style=\"margin: 8px; font: 13px sans-serif; color: #c0395b\">"
                     "この作品には年齢確認が必要です (デモ)。</body></html>\n");
}
