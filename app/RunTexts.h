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

// The natural blend's notes in the save step. %1 the landmark model's path.
inline constexpr char kLandmarkModelMissingText[] =
    "顔の特徴点モデル「%1」が見つかりませんでした。自然な合成はできないため、従来の合成を使います。";
inline constexpr char kLandmarkModelUnreadableText[] =
    "顔の特徴点モデル「%1」を読み込めませんでした。自然な合成はできないため、従来の合成を使います。";
// %1 the faces without landmarks, %2 all faces.
inline constexpr char kClassicFacesText[] =
    "%2個の顔のうち%1個は特徴点が見つからなかったため、従来の方法で合成しました。";
inline constexpr char kNaturalUnavailableText[] = "自然な合成は使えません。従来の合成を使います。";
inline constexpr char kNaturalOutOfMemoryText[] = "メモリが足りないため、自然な合成を作れませんでした。";
// %1 the value found in the settings.
inline constexpr char kUnknownBlendText[] = "the blend '%1' is neither classic nor natural; using classic";

std::string DownloadFailedText(const std::string& address, const std::string& name);
std::string UnreadableText(const std::string& fileName);

}  // namespace norvo
