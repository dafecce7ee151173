#pragma once

#include <string>

#include "text/UserText.h"

namespace norvo {

// What the web lookups of a run tell the user (patterns: see text/UserText.h).

// SaoriRequest failed, by its result 1 to 4.
inline constexpr char kRequestFailedText[] = NORVO_TEXT("httpc.dll requestの実行に失敗しました。");
inline constexpr char kRequestAnswerBadText[] =
    NORVO_TEXT("httpc.dll requestの応答文字列が異常です。");
inline constexpr char kRequestNotEndedText[] =
    NORVO_TEXT("httpc.dll requestが正常終了しませんでした。");
// A message that comes from the image search: %1 the message.
inline constexpr char kSearchMessageText[] = NORVO_TEXT("%1(google画像検索)");
inline constexpr char kEncodeFailedText[] = NORVO_TEXT("検索文字列のURLエンコードに失敗しました。");
// No candidate picture could be looked at (%1 the typed name) ...
inline constexpr char kNoDetectionText[] = NORVO_TEXT("%1の顔認識ができませんでした。(0)");
// ... or none of them shows a face.
inline constexpr char kNoFaceText[] = NORVO_TEXT("%1の顔認識ができませんでした。(1)");

// The text for a failed SaoriRequest result 1 to 4 ("" for any other result).
const char* SaoriRequestFailureText(int result);
// `text` (one of the program's texts, shown translated) as a message of the image search.
std::string SearchMessageText(const std::string& text);
std::string NoDetectionText(const std::string& name);
std::string NoFaceText(const std::string& name);

}  // namespace norvo
