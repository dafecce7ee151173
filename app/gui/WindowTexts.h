#pragma once

#include "text/UserText.h"

// The windows' own texts (UTF-8); the run's messages are in app/RunTexts.h and
// web/LookupTexts.h. No Qt here, so tests and tools can name them too.

namespace norvo {

inline constexpr char kMainTitleText[] = NORVO_TEXT("ノルヴォ v1");
inline constexpr char kBodyLabelText[] = NORVO_TEXT("本体(&B):");
inline constexpr char kFaceLabelText[] = NORVO_TEXT("顔(&F):");
inline constexpr char kSwapButtonText[] = "↑↓";
inline constexpr char kCreateButtonText[] = NORVO_TEXT("作成(&C)");
inline constexpr char kBusyLabelText[] = NORVO_TEXT("処理中...");
inline constexpr char kSaveDialogTitleText[] = NORVO_TEXT("画像をファイルに保存する");
inline constexpr char kSaveFilterText[] = NORVO_TEXT("JPEG(*.jpg)");
// The save dialog's preview: switches between the classic and the natural portrait.
inline constexpr char kNaturalCheckText[] = NORVO_TEXT("自然に合成(&N)");
// The save dialog's choices: the pictures of a side, whom a name stands for, the body's faces.
inline constexpr char kPreviousPictureText[] = NORVO_TEXT("前の画像");
inline constexpr char kNextPictureText[] = NORVO_TEXT("次の画像");
inline constexpr char kChoosePersonText[] = NORVO_TEXT("人物を選ぶ");
inline constexpr char kFaceClickHintText[] =
    NORVO_TEXT("顔をクリックすると、その顔を置き換えるかどうかを切り替えます。");
// Caption of every warning box.
inline constexpr char kWarningCaptionText[] = NORVO_TEXT("ノルヴォ");
// Shown when a run ends by an exception instead of by one of its own messages.
inline constexpr char kUnexpectedFailureText[] =
    NORVO_TEXT("予期しないエラーで処理を中止しました。");
// The one line on the terminal when there is no display (%1 the program's name).
inline constexpr char kNoDisplayText[] = NORVO_TEXT(
    "%1: no display to open windows on; run it headless with --body NAME --face NAME --output "
    "FILE.jpg (see --help)");

}  // namespace norvo
