#pragma once

#include <string>

#include "text/UserText.h"

namespace norvo {

// What a Create run tells the user besides the lookups' texts (web/LookupTexts.h); patterns:
// see text/UserText.h.

inline constexpr char kLoadFailedText[] = NORVO_TEXT("httpc.dll loadの実行に失敗しました。");
inline constexpr char kNoInternetText[] = NORVO_TEXT("インターネットに接続できませんでした。");
// %1 the picture's address, %2 the typed name.
inline constexpr char kDownloadFailedText[] =
    NORVO_TEXT("%1\r\n%2の画像のダウンロードに失敗しました。");
// %1 the file name of the picture.
inline constexpr char kUnreadableText[] = NORVO_TEXT("%1の画像を読み込めませんでした。");
inline constexpr char kSavedText[] = NORVO_TEXT("保存しました。");
inline constexpr char kNotSavedText[] = NORVO_TEXT("結果を保存せずに終了しました。");
inline constexpr char kWriteFailedText[] = NORVO_TEXT("画像の保存に失敗しました。");

// The natural blend's notes in the save step. %1 the landmark model's path.
// clang-format off
inline constexpr char kLandmarkModelMissingText[] = NORVO_TEXT(
    "顔の特徴点モデル「%1」が見つかりませんでした。自然な合成はできないため、従来の合成を使います。");
inline constexpr char kLandmarkModelUnreadableText[] = NORVO_TEXT(
    "顔の特徴点モデル「%1」を読み込めませんでした。自然な合成はできないため、従来の合成を使います。");
// clang-format on
// %1 the faces without landmarks, %2 all faces.
inline constexpr char kClassicFacesText[] =
    NORVO_TEXT("%2個の顔のうち%1個は特徴点が見つからなかったため、従来の方法で合成しました。");
inline constexpr char kNaturalUnavailableText[] =
    NORVO_TEXT("自然な合成は使えません。従来の合成を使います。");
inline constexpr char kNaturalOutOfMemoryText[] =
    NORVO_TEXT("メモリが足りないため、自然な合成を作れませんでした。");
// %1 the value found in the settings.
inline constexpr char kUnknownBlendText[] =
    NORVO_TEXT("the blend '%1' is neither classic nor natural; using classic");

// A choice the searches cannot meet: %1 the typed name, %2 the number asked for, %3 how many
// there are.
inline constexpr char kNoSuchPictureText[] =
    NORVO_TEXT("%1の画像%2はありません。1から%3の番号を選んでください。");
// %1 the face number asked for, %2 how many faces the body picture has.
inline constexpr char kNoSuchFaceText[] =
    NORVO_TEXT("本体の画像に顔%1はありません。1から%2の番号を選んでください。");
// %1 the typed name, %2 the person id asked for, %3 the ids there are.
inline constexpr char kNoSuchPersonText[] =
    NORVO_TEXT("%1に人物「%2」は見つかりませんでした。選べるのは %3 です。");

// The save step's choices: the last body face replaced cannot be switched off; the pictures
// could not be blended for want of memory.
inline constexpr char kLastFaceText[] = NORVO_TEXT("少なくとも1つの顔は置き換えます。");
inline constexpr char kChoiceOutOfMemoryText[] =
    NORVO_TEXT("メモリが足りないため、選んだ画像で合成できませんでした。");

// The candidate list, each line beginning with its side: one line per person the name may
// stand for (%1 the id, %2 who) and one per picture (%1 its number, %2 its file, %3 the faces
// in it, %4 who is in it).
inline constexpr char kBodyPersonLineText[] = NORVO_TEXT("本体 人物 %1: %2");
inline constexpr char kFacePersonLineText[] = NORVO_TEXT("顔 人物 %1: %2");
inline constexpr char kBodyPictureLineText[] = NORVO_TEXT("本体 %1: %2 — 顔%3個 — %4");
inline constexpr char kFacePictureLineText[] = NORVO_TEXT("顔 %1: %2 — 顔%3個 — %4");
// Who: %1 the name (with its id: %2), then %1 that, %2 the description.
inline constexpr char kPersonText[] = NORVO_TEXT("%1 (%2)");
inline constexpr char kNameDescribedText[] = NORVO_TEXT("%1: %2");
inline constexpr char kUnknownPersonText[] = NORVO_TEXT("不明");
// The picture the run would take is marked in the list (%1 the line).
inline constexpr char kChosenCandidateText[] = NORVO_TEXT("%1 *");

std::string DownloadFailedText(const std::string& address, const std::string& name);
std::string UnreadableText(const std::string& fileName);

}  // namespace norvo
