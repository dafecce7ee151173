#pragma once

#include <string>

namespace norvo {

// What a Create run tells the user besides the lookups' texts (web/LookupTexts.h); patterns:
// see saori/UserText.h.

inline constexpr char kLoadFailedText[] = "httpc.dll loadの実行に失敗しました。";
inline constexpr char kNoInternetText[] = "インターネットに接続できませんでした。";
// %1 the picture's address, %2 the typed name.
inline constexpr char kDownloadFailedText[] = "%1\r\n%2の画像のダウンロードに失敗しました。";
// %1 the file name of the picture.
inline constexpr char kUnreadableText[] = "%1の画像を読み込めませんでした。";
inline constexpr char kSavedText[] = "保存しました。";
inline constexpr char kNotSavedText[] = "結果を保存せずに終了しました。";
inline constexpr char kWriteFailedText[] = "画像の保存に失敗しました。";

std::string DownloadFailedText(const std::string& address, const std::string& name);
std::string UnreadableText(const std::string& fileName);

}  // namespace norvo
