#pragma once

#include "text/UserText.h"

namespace norvo {

// The terminal's own lines: the command line's and the terminal view's (patterns: see
// text/UserText.h). The run's messages are in app/RunTexts.h and web/LookupTexts.h.
// The version line, the progress lines and the --verbose trace are not translated: they read
// the same in every language, for scripts and for reports of a run.

// %1 the program's version.
inline constexpr char kVersionText[] = "norvo %1";
// %1 the program's name.
inline constexpr char kHelpText[] = NORVO_TEXT(
    "Usage: %1 [OPTION]...\n"
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
    "was not, 2 for unusable options or a choice the searches cannot meet.\n");

// Why the arguments are unusable (%1 the argument or option).
inline constexpr char kUnexpectedArgumentText[] = NORVO_TEXT("unexpected argument '%1'");
inline constexpr char kTakesNoValueText[] = NORVO_TEXT("option '%1' takes no value");
inline constexpr char kGivenTwiceText[] = NORVO_TEXT("option '%1' given twice");
inline constexpr char kUnrecognizedOptionText[] = NORVO_TEXT("unrecognized option '%1'");
inline constexpr char kRequiresValueText[] = NORVO_TEXT("option '%1' requires a value");
inline constexpr char kEmptyOutputText[] = NORVO_TEXT("the output file name is empty");
inline constexpr char kRunNeedsNamesText[] = NORVO_TEXT("a run needs --body, --face and --output");
inline constexpr char kSourcesOrOfflineText[] = NORVO_TEXT("give --sources or --offline, not both");
inline constexpr char kInvalidBlendText[] = NORVO_TEXT("invalid blend '%1' (classic or natural)");
inline constexpr char kEmptyPreviewText[] = NORVO_TEXT("the preview file name is empty");
inline constexpr char kInvalidPickText[] =
    NORVO_TEXT("invalid picture number '%1' (a number from 1, as --candidates lists them)");
inline constexpr char kEmptyPersonText[] = NORVO_TEXT("the person id of '%1' is empty");
inline constexpr char kInvalidFaceListText[] =
    NORVO_TEXT("invalid face list '%1' (face numbers from 1 separated by commas, e.g. 1,3)");
inline constexpr char kNoRunAskedText[] = NORVO_TEXT("no run asked for");
// %1 the program's name, %2 why.
inline constexpr char kUsageErrorText[] =
    NORVO_TEXT("%1: %2\nTry '%1 --help' for more information.");
// A failure of the program itself: %1 the program's name, %2 what failed.
inline constexpr char kProgramErrorText[] = NORVO_TEXT("%1: %2");
// %1 the program's name, %2 the output file.
inline constexpr char kOutputExistsText[] = NORVO_TEXT("%1: %2 exists; use --force to replace it");
// %1 the program's name, %2 the error.
inline constexpr char kUnexpectedErrorText[] =
    NORVO_TEXT("%1: the run stopped on an unexpected error: %2");
// %1 the program's name.
inline constexpr char kStoppedText[] = NORVO_TEXT("%1: stopped");
inline constexpr char kNoWindowsText[] =
    NORVO_TEXT("norvo: the windows are not built in this version; see 'norvo --help'");

// The terminal view's progress line without a terminal: %1 the step, %2 the last step.
inline constexpr char kProgressLineText[] = "progress %1/%2";
// With --verbose, one line per call of the run (%1 the step, the text, the path or the state).
inline constexpr char kTraceProgressText[] = "progress %1";
inline constexpr char kTraceHideText[] = "hide progress";
inline constexpr char kTraceWarningText[] = "message warning: %1";
inline constexpr char kTracePlainText[] = "message plain: %1";
inline constexpr char kTraceFrontText[] = "front";
inline constexpr char kTraceSavePathText[] = "save path: %1";
inline constexpr char kTraceEnableOnText[] = "enable on";
inline constexpr char kTraceEnableOffText[] = "enable off";
// With --verbose, the blend of the saved portrait (%1 classic or natural).
inline constexpr char kTraceBlendText[] = "blend: %1";
// The comparison sheet of --preview could not be written (%1 its path).
inline constexpr char kComparisonFailedText[] = NORVO_TEXT("比較画像を書き出せませんでした: %1");

}  // namespace norvo
