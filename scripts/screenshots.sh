#!/usr/bin/env bash
# Takes screenshots of the windows during one real Create run on a virtual X display: the main
# window, the names typed, the progress window mid-run, the save dialog (with the natural blend
# switched on), the saved message (its details unfolded too) and the portrait itself. Nothing is
# written into the source tree or the user's settings.
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
# BUILD_DIR defaults to ./build (it needs bin/norvo, bin/norvo-gallery, lib/norvo/httpc.so and
# share/norvo/);
# OUT_DIR defaults to a fresh folder under /tmp. Needs xvfb-run, xdotool and import.
# NORVO_SHOT_LANGUAGE=en takes the shots in English (translations/norvo_en.ts); without it the
# program speaks its own language, Japanese.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
OUT="${2:-$(mktemp -d /tmp/norvo-screens.XXXXXX)}"
BODY="${NORVO_SHOT_BODY:-Grace Hopper}"
FACE="${NORVO_SHOT_FACE:-Eileen Collins}"
# Upper bound for each wait on a window, in seconds.
LIMIT="${NORVO_SHOT_LIMIT:-60}"

for tool in xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 2; }
done
[ -x "$BUILD/bin/norvo" ] || { echo "screenshots: $BUILD/bin/norvo is not built" >&2; exit 2; }
mkdir -p "$OUT"
case "$(cd "$OUT" && pwd)/" in
    "$ROOT"/*) echo "screenshots: keep $OUT outside the source tree" >&2; exit 2 ;;
esac

# The part that runs on the virtual display.
if [ "${NORVO_SHOT_INNER:-0}" != 1 ]; then
    export NORVO_SHOT_INNER=1
    exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" \
        "$0" "$BUILD" "$OUT"
fi

log() { printf '== %s\n' "$*"; }

LANGUAGE_FILE=""
if [ -n "${NORVO_SHOT_LANGUAGE:-}" ]; then
    LANGUAGE_FILE="$ROOT/translations/norvo_$NORVO_SHOT_LANGUAGE.ts"
    [ -f "$LANGUAGE_FILE" ] || { echo "screenshots: no $LANGUAGE_FILE" >&2; exit 2; }
    unset LANGUAGE LC_ALL LC_MESSAGES
    export LANG="${NORVO_SHOT_LANGUAGE}.UTF-8"
fi

# A window text as the program shows it (app/gui/WindowTexts.h, translated when a language was
# asked for), to find windows by title.
window_text() {
    local text
    text="$(sed -n "s/^inline constexpr char $1\[\] = NORVO_TEXT(\"\(.*\)\");\$/\1/p" \
        "$ROOT/app/gui/WindowTexts.h")"
    if [ -n "$LANGUAGE_FILE" ] && [ -n "$text" ]; then
        text="$(awk -v source="<source>$text</source>" '
            found { sub(/.*<translation>/, ""); sub(/<\/translation>.*/, ""); print; exit }
            index($0, source) { found = 1 }' "$LANGUAGE_FILE")"
    fi
    echo "$text"
}
MAIN_TITLE="$(window_text kMainTitleText)"
SAVE_TITLE="$(window_text kSaveDialogTitleText)"
WARNING_CAPTION="$(window_text kWarningCaptionText)"
[ -n "$MAIN_TITLE" ] && [ -n "$SAVE_TITLE" ] && [ -n "$WARNING_CAPTION" ] ||
    { echo "screenshots: window titles not found in app/gui/WindowTexts.h" >&2; exit 2; }

# Waits until a visible window whose title matches $1 exists; prints its id.
wait_window() {
    local pattern="$1" i id
    for ((i = 0; i < LIMIT * 10; i++)); do
        id="$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | tail -n 1 || true)"
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "screenshots: no window titled '$pattern' within ${LIMIT}s" >&2
    return 1
}

shot() { # name, window id or "root"
    import -window "$2" "$OUT/$1.png"
    log "$OUT/$1.png"
}

# The blend chosen in the save dialog is kept in a settings folder of this run's own.
export XDG_CONFIG_HOME="$OUT/config"
"$BUILD/bin/norvo" >"$OUT/norvo.log" 2>&1 &
NORVO_PID=$!
stop_norvo() {
    # SIGTERM closes the program like its close box; what is left after 5 s is killed.
    kill -TERM "$NORVO_PID" 2>/dev/null || true
    local i
    for ((i = 0; i < 50; i++)); do
        kill -0 "$NORVO_PID" 2>/dev/null || break
        sleep 0.1
    done
    pkill -KILL -P "$NORVO_PID" 2>/dev/null || true
    kill -KILL "$NORVO_PID" 2>/dev/null || true
    wait "$NORVO_PID" 2>/dev/null || true
}
trap stop_norvo EXIT

MAIN="$(wait_window "$MAIN_TITLE")"
sleep 1
shot 1-main "$MAIN"

xdotool windowfocus --sync "$MAIN"
xdotool key --clearmodifiers alt+b
xdotool type --delay 20 "$BODY"
xdotool key --clearmodifiers alt+f
xdotool type --delay 20 "$FACE"
sleep 0.3
shot 2-typed "$MAIN"

xdotool key --clearmodifiers alt+c
PROGRESS="$(wait_window '^norvo_progress$')"
sleep 0.3
# A fast run hides the window again before the save dialog: a miss here is not a failure.
shot 3-progress-window "$PROGRESS" || log "the progress window was gone before its shot"
shot 3-progress-screen root

SAVE="$(wait_window "$SAVE_TITLE")"
sleep 0.5
shot 4-save-dialog-screen root
xdotool windowfocus --sync "$SAVE"
# The preview's checkbox shares Alt+N with the dialog's own "File name" label: the first press
# goes to one of them, the second to the other. The focus then sits on the checkbox: Space.
xdotool key --clearmodifiers alt+n
sleep 0.2
xdotool key --clearmodifiers alt+n
sleep 0.2
shot 4-save-dialog-focus root
xdotool key space
sleep 1.5
shot 4-save-dialog-natural root
# The face side's "next picture" button sits at the preview's lower right corner.
eval "$(xdotool getwindowgeometry --shell "$SAVE")"
xdotool mousemove --sync $((X + WIDTH - 36)) $((Y + HEIGHT - 35)) click 1
sleep 2
shot 4-save-dialog-choice root
xdotool windowfocus --sync "$SAVE"
xdotool key --clearmodifiers alt+n
xdotool type --delay 10 "$OUT/portrait"
xdotool key Return

DONE="$(wait_window '^norvo$')"
sleep 0.3
shot 5-saved-message-window "$DONE"
shot 5-saved-message-screen root
# The credits of the source pictures, unfolded under the message's details button.
xdotool windowfocus --sync "$DONE"
xdotool key Tab space
sleep 1
shot 5-saved-details-window "$DONE"
xdotool key Escape
sleep 0.5
shot 6-after-run root

# A second run whose save is cancelled: the not-saved warning with its icon.
xdotool windowfocus --sync "$MAIN"
xdotool key --clearmodifiers alt+c
SAVE="$(wait_window "$SAVE_TITLE")"
xdotool windowfocus --sync "$SAVE"
xdotool key Escape
WARNING="$(wait_window "^$WARNING_CAPTION\$")"
sleep 1.5
shot 7-not-saved-window "$WARNING"
shot 7-not-saved-screen root
xdotool windowfocus --sync "$WARNING"
xdotool key Return

# Closing the program must stop the gallery it started.
GALLERY_PID="$(pgrep -P "$NORVO_PID" -f norvo-gallery || true)"
stop_norvo
trap - EXIT
if [ -n "$GALLERY_PID" ] && kill -0 "$GALLERY_PID" 2>/dev/null; then
    echo "screenshots: the embedded gallery outlived the program" >&2
    kill -TERM "$GALLERY_PID" 2>/dev/null || true
    exit 1
fi
log "program and gallery stopped${GALLERY_PID:+ (gallery was $GALLERY_PID)}"

if [ -f "$OUT/portrait.jpg" ]; then
    log "portrait: $OUT/portrait.jpg"
else
    echo "screenshots: no portrait was written; see $OUT/norvo.log" >&2
    exit 1
fi
