#include "app/shared/WindowTexts.h"

const SjisText WindowTexts::kTitle{u8"(ν・▽)νティントワイズ Ver 0.07"};
const SjisText WindowTexts::kOpenCaption{u8"開く"};
const SjisText WindowTexts::kExitCaption{u8"終了"};
const SjisText WindowTexts::kSecretCaption{u8"秘密のボタン"};
const SjisText WindowTexts::kAbortCaption{u8"中止"};
const SjisText WindowTexts::kUpdateCaption{u8"ｷｬｯｼｭ更新"};
const SjisText WindowTexts::kIdle{u8"待機中"};
const SjisText WindowTexts::kNoCache{u8"キャッシュがありません\nｷｬｯｼｭ更新で取得してください"};
const SjisText WindowTexts::kHelp{
    u8"既出チェックを行いたい画像ファイルをドラッグ＆ドロップしてください。"
    u8"色合いの近い画像ほど上のほうに表示されます。"
    u8"リストをダブルクリックすると、該当のページへ飛びます。"
    u8"画像検索はキャッシュを使用して行うため、mofu!サーバーには負荷を殆どかけません。"};
const SjisText WindowTexts::kSiteCaption{u8"サイトの画像"};
const SjisText WindowTexts::kQuerySwatchCaption{u8"検索画像の色"};
const SjisText WindowTexts::kPasteCaption{u8"貼り付け"};
const SjisText WindowTexts::kSiteLoading{u8"読み込み中..."};
const SjisText WindowTexts::kSiteUndecodable{u8"画像を読み込めませんでした"};
const SjisText WindowTexts::kOpenPageCaption{u8"ページを開く"};
const SjisText WindowTexts::kCopyAddressCaption{u8"アドレスをコピー"};
const SjisText WindowTexts::kCopyIdCaption{u8"IDをコピー"};
const SjisText WindowTexts::kPictureFilter{u8"画像ファイル"};
const SjisText WindowTexts::kAllFilter{u8"すべてのファイル"};
