// Every text the user sees, byte for byte, in one table; and how patterns take their pieces.
// Elsewhere tests name the texts; this is the one place that spells them out.

#include <gtest/gtest.h>

#include <string>

#include "app/CommandLine.h"
#include "app/EmbeddedGallery.h"
#include "app/PortraitChoice.h"
#include "app/PortraitCredits.h"
#include "app/RunTexts.h"
#include "app/ServiceSetup.h"
#include "app/TerminalTexts.h"
#include "app/gui/WindowTexts.h"
#include "imaging/LandmarkModel.h"
#include "saori/WorkFolder.h"
#include "text/UserText.h"
#include "web/LookupTexts.h"
#ifdef NORVO_HAVE_WINDOW_TEXTS
#include "app/gui/DisplayCheck.h"
#endif

namespace norvo {
namespace {

struct TextCase {
    const char* name;
    std::string text;      // what the program shows
    std::string expected;  // the bytes it must be
};

TEST(UserTextsTest, EveryTextIsExactlyWhatTheUserHasAlwaysSeen) {
    const TextCase cases[] = {
        // The windows.
        {"main title", kMainTitleText, "ノルヴォ v1"},
        {"body label", kBodyLabelText, "本体(&B):"},
        {"face label", kFaceLabelText, "顔(&F):"},
        {"swap button", kSwapButtonText, "↑↓"},
        {"create button", kCreateButtonText, "作成(&C)"},
        {"busy label", kBusyLabelText, "処理中..."},
        {"save dialog title", kSaveDialogTitleText, "画像をファイルに保存する"},
        {"save filter", kSaveFilterText, "JPEG(*.jpg)"},
        {"natural check", kNaturalCheckText, "自然に合成(&N)"},
        {"warning caption", kWarningCaptionText, "ノルヴォ"},
        {"unexpected failure", kUnexpectedFailureText, "予期しないエラーで処理を中止しました。"},
        // The run's messages.
        {"load failed", kLoadFailedText, "httpc.dll loadの実行に失敗しました。"},
        {"no internet", kNoInternetText, "インターネットに接続できませんでした。"},
        {"download failed", DownloadFailedText("http://p/a.png", "山田"),
         "http://p/a.png\r\n山田の画像のダウンロードに失敗しました。"},
        {"unreadable", UnreadableText("a.png"), "a.pngの画像を読み込めませんでした。"},
        {"saved", kSavedText, "保存しました。"},
        {"not saved", kNotSavedText, "結果を保存せずに終了しました。"},
        {"write failed", kWriteFailedText, "画像の保存に失敗しました。"},
        {"model missing", LandmarkModelProblemText(LandmarkModelStatus::Missing, "/m.dat"),
         "顔の特徴点モデル「/"
         "m.dat」が見つかりませんでした。自然な合成はできないため、従来の合成を使います。"},
        {"model unreadable", LandmarkModelProblemText(LandmarkModelStatus::Unreadable, "/m.dat"),
         "顔の特徴点モデル「/"
         "m.dat」を読み込めませんでした。自然な合成はできないため、従来の合成を使います。"},
        {"classic faces", ClassicFacesText(1, 3),
         "3個の顔のうち1個は特徴点が見つからなかったため、従来の方法で合成しました。"},
        {"natural unavailable", kNaturalUnavailableText,
         "自然な合成は使えません。従来の合成を使います。"},
        {"natural out of memory", kNaturalOutOfMemoryText,
         "メモリが足りないため、自然な合成を作れませんでした。"},
        {"credits heading", kCreditsHeading, "出典:"},
        {"credit line", CreditLineText(kBodyRoleText, "山田", "a.jpg"), "本体 (山田): a.jpg"},
        {"face role", kFaceRoleText, "顔"},
        {"label failed", kLabelFailedText, "画像にラベルを書き込めませんでした。"},
        {"request result 1", SaoriRequestFailureText(1), "httpc.dll requestの実行に失敗しました。"},
        {"request result 2", SaoriRequestFailureText(2),
         "httpc.dll requestの応答文字列が異常です。"},
        {"request result 3", SaoriRequestFailureText(3),
         "httpc.dll requestの応答文字列が異常です。"},
        {"request result 4", SaoriRequestFailureText(4),
         "httpc.dll requestが正常終了しませんでした。"},
        {"search message", SearchMessageText(kRequestNotEndedText),
         "httpc.dll requestが正常終了しませんでした。(google画像検索)"},
        {"encode failed", SearchMessageText(kEncodeFailedText),
         "検索文字列のURLエンコードに失敗しました。(google画像検索)"},
        {"no detection", NoDetectionText("山田"), "山田の顔認識ができませんでした。(0)"},
        {"no face", NoFaceText("山田"), "山田の顔認識ができませんでした。(1)"},
        // The terminal.
        {"version", ComposeText(kVersionText, {"1.0"}), "norvo 1.0"},
        {"usage error", ComposeText(kUsageErrorText, {"norvo", kNoRunAskedText}),
         "norvo: no run asked for\nTry 'norvo --help' for more information."},
        {"unexpected argument", ParseCommandLine({"x"}).error, "unexpected argument 'x'"},
        {"takes no value", ParseCommandLine({"--force=1"}).error,
         "option '--force' takes no value"},
        {"given twice", ParseCommandLine({"--body", "a", "--body", "b"}).error,
         "option '--body' given twice"},
        {"unrecognized", ParseCommandLine({"--x"}).error, "unrecognized option '--x'"},
        {"requires a value", ParseCommandLine({"--face"}).error,
         "option '--face' requires a value"},
        {"empty output", ParseCommandLine({"--body", "a", "--face", "b", "--output="}).error,
         "the output file name is empty"},
        {"run needs names", ParseCommandLine({"--force"}).error,
         "a run needs --body, --face and --output"},
        {"sources or offline",
         ParseCommandLine(
             {"--body", "a", "--face", "b", "--output", "o", "--offline", "--sources", "gallery"})
             .error,
         "give --sources or --offline, not both"},
        {"invalid blend",
         ParseCommandLine({"--body", "a", "--face", "b", "--output", "o", "--blend", "x"}).error,
         "invalid blend 'x' (classic or natural)"},
        {"invalid pick",
         ParseCommandLine({"--body", "a", "--face", "b", "--candidates", "--face-pick", "0"}).error,
         "invalid picture number '0' (a number from 1, as --candidates lists them)"},
        {"empty person",
         ParseCommandLine({"--body", "a", "--face", "b", "--output", "o", "--body-person="}).error,
         "the person id of '--body-person' is empty"},
        {"invalid faces",
         ParseCommandLine({"--body", "a", "--face", "b", "--output", "o", "--faces", "1,,3"}).error,
         "invalid face list '1,,3' (face numbers from 1 separated by commas, e.g. 1,3)"},
        {"no such picture", ComposeText(kNoSuchPictureText, {"山田", "5", "3"}),
         "山田の画像5はありません。1から3の番号を選んでください。"},
        {"no such face", ComposeText(kNoSuchFaceText, {"4", "2"}),
         "本体の画像に顔4はありません。1から2の番号を選んでください。"},
        {"no such person", ComposeText(kNoSuchPersonText, {"山田", "Q1", "Q2, Q3"}),
         "山田に人物「Q1」は見つかりませんでした。選べるのは Q2, Q3 です。"},
        {"empty preview",
         ParseCommandLine({"--body", "a", "--face", "b", "--output", "o", "--preview="}).error,
         "the preview file name is empty"},
        {"unknown blend setting", ComposeText(kUnknownBlendText, {"x"}),
         "the blend 'x' is neither classic nor natural; using classic"},
        {"bad sources", ComposeText(kBadSourcesText, {"x"}), "picture sources: x"},
        {"comparison failed", ComposeText(kComparisonFailedText, {"/p.png"}),
         "比較画像を書き出せませんでした: /p.png"},
        {"trace blend", ComposeText(kTraceBlendText, {"natural"}), "blend: natural"},
        {"output exists", ComposeText(kOutputExistsText, {"norvo", "o.jpg"}),
         "norvo: o.jpg exists; use --force to replace it"},
        {"unexpected error", ComposeText(kUnexpectedErrorText, {"norvo", "bad_alloc"}),
         "norvo: the run stopped on an unexpected error: bad_alloc"},
        {"stopped", ComposeText(kStoppedText, {"norvo"}), "norvo: stopped"},
        {"program error", ComposeText(kProgramErrorText, {"norvo", "why"}), "norvo: why"},
        {"no windows", kNoWindowsText,
         "norvo: the windows are not built in this version; see 'norvo --help'"},
        {"progress line", ComposeText(kProgressLineText, {"3", "16"}), "progress 3/16"},
        {"trace progress", ComposeText(kTraceProgressText, {"3"}), "progress 3"},
        {"trace hide", kTraceHideText, "hide progress"},
        {"trace warning", ComposeText(kTraceWarningText, {"t"}), "message warning: t"},
        {"trace plain", ComposeText(kTracePlainText, {"t"}), "message plain: t"},
        {"trace front", kTraceFrontText, "front"},
        {"trace save path", ComposeText(kTraceSavePathText, {"o.jpg"}), "save path: o.jpg"},
        {"trace enable on", kTraceEnableOnText, "enable on"},
        {"trace enable off", kTraceEnableOffText, "enable off"},
        {"not an http address", ComposeText(kNotHttpAddressText, {"ftp://s"}),
         "not an http:// or https:// address: ftp://s"},
        {"gallery failed",
         ComposeText(kGalleryStartFailedText,
                     {EmbeddedGallery::describe(EmbeddedGallery::Status::NoAddress), "/b/g"}),
         "the bundled gallery service did not report its address (/b/g)"},
        {"gallery missing", EmbeddedGallery::describe(EmbeddedGallery::Status::NoProgram),
         "the bundled gallery service (norvo-gallery) is missing"},
        {"gallery not started", EmbeddedGallery::describe(EmbeddedGallery::Status::SpawnFailed),
         "the bundled gallery service could not be started"},
        {"work folder not made", WorkFolder::describe(WorkFolder::Status::CreateFailed),
         "the private work folder could not be created"},
#ifdef NORVO_HAVE_WINDOW_TEXTS
        {"no display", NoDisplayMessage("norvo"),
         "norvo: no display to open windows on; run it headless with --body NAME --face NAME "
         "--output FILE.jpg (see --help)"},
#endif
        {"help", HelpText("norvo"),
         "Usage: norvo [OPTION]...\n"
         "Make a joke portrait: the face of one person pasted onto the picture of another.\n"
         "Without options the windows open; with --body, --face and --output the same run\n"
         "happens on the terminal.\n"
         "\n"
         "  --body NAME         person whose picture is the body\n"
         "  --face NAME         person whose face is pasted in\n"
         "  --output FILE       where to write the portrait (JPEG)\n"
         "  --force             replace FILE (and the --preview file) if it exists\n"
         "  --blend STYLE       classic (the face box over each face) or natural (eyes\n"
         "                      aligned, colours matched, seamless edge); default from\n"
         "                      $NORVO_BLEND, then blend= in norvo.conf, else classic\n"
         "  --preview FILE.png  also write the body, the face and both blends side by side\n"
         "  --candidates        instead of a portrait, list the people and the pictures the\n"
         "                      two searches find, numbered, with the faces in each\n"
         "  --body-pick N       use the N-th body picture of that list (--face-pick N: the\n"
         "                      N-th face picture) instead of the one with the largest face\n"
         "  --body-person ID    look only for this person's pictures (--face-person ID: for\n"
         "                      the face); the ids are those --candidates lists\n"
         "  --faces LIST        replace only these faces of the body picture, numbered left\n"
         "                      to right (e.g. 1,3)\n"
         "  --search-url URL    image search service (default: $NORVO_SEARCH_URL)\n"
         "  --detect-url URL    face detection service (default: $NORVO_DETECT_URL)\n"
         "  --no-label          save the portrait without the metadata that says what it\n"
         "                      is and credits its source pictures\n"
         "  --sources LIST      where the bundled service looks for pictures, in order:\n"
         "                      gallery, wikimedia, searxng=URL (default: $NORVO_SOURCES,\n"
         "                      else sources= in norvo.conf, else gallery,wikimedia)\n"
         "  --offline           the bundled gallery only: no name leaves this computer\n"
         "  --verbose           print every step of the run\n"
         "  --help              display this help and exit\n"
         "  --version           output version information and exit\n"
         "\n"
         "The natural blend reads dlib's face landmark model from\n"
         "/usr/share/dlib/shape_predictor_68_face_landmarks.dat, or the file named by\n"
         "$NORVO_LANDMARK_MODEL; without it the classic blend is used.\n"
         "\n"
         "When neither service is named, the bundled gallery service is started on a free\n"
         "local port and used for both; when only one is named, it serves both. A name the\n"
         "bundled gallery does not know is then looked up on Wikipedia and Wikimedia\n"
         "Commons (the name is sent to them), unless --offline is given.\n"
         "\n"
         "Exit status: 0 when the portrait was written (or the candidates listed), 1 when it\n"
         "was not, 2 for unusable options or a choice the searches cannot meet.\n"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(c.text, c.expected) << c.name;
    }
}

TEST(UserTextsTest, PatternsTakeTheirPiecesInAnyOrderAndOnlyOnce) {
    // A reworded pattern may put the pieces anywhere, or repeat them.
    EXPECT_EQ(ComposeText("%2 <- %1 (%2)", {"a", "b"}), "b <- a (b)");
    // A piece is never read as a pattern: a name typed as "%1" or "%2" stays as typed.
    EXPECT_EQ(ComposeText("%1の画像", {"%2%1", "x"}), "%2%1の画像");
    // A '%' that names no piece is kept, at the end too.
    EXPECT_EQ(ComposeText("100% %3 %0 %a %", {"a"}), "100% %3 %0 %a %");
    EXPECT_EQ(ComposeText("plain"), "plain");
}

}  // namespace
}  // namespace norvo
