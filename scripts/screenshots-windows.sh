#!/usr/bin/env bash
# Screenshots of norvo.exe's windows under Wine on a virtual display: the main window, the
# progress window, the save dialog with the preview and the saved message. Wine draws no title
# bars without a window manager.
#   scripts/screenshots-windows.sh [BUILD-WINDOWS [OUT]]
# NORVO_SHOT_BODY / NORVO_SHOT_FACE: the names typed; NORVO_SHOT_LANG: the windows' locale
# (ja_JP.UTF-8 by default).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build-windows}" && pwd)"
OUT="${2:-$(mktemp -d /tmp/norvo-windows-screens.XXXXXX)}"
BODY="${NORVO_SHOT_BODY:-Grace Hopper}"
FACE="${NORVO_SHOT_FACE:-Eileen Collins}"
LIMIT="${NORVO_SHOT_LIMIT:-90}"

for tool in xvfb-run xdotool xprop import wine wineserver; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 2; }
done
[ -f "$BUILD/bin/norvo.exe" ] || { echo "screenshots: $BUILD/bin/norvo.exe is not built" >&2; exit 2; }
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"

if [ "${NORVO_SHOT_INNER:-0}" != 1 ]; then
    export NORVO_SHOT_INNER=1
    exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" \
        "$0" "$BUILD" "$OUT"
fi

log() { printf '== %s\n' "$*"; }
export WINEPREFIX="$BUILD/wine-shots" WINEDEBUG=-all
# The windows' language for Wine only: this script's own tools keep a locale the system has.
WINDOWS_LANG="${NORVO_SHOT_LANG:-ja_JP.UTF-8}"
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k; wineserver -w' EXIT
wine cmd /c exit >/dev/null 2>&1

# Wine writes a title outside Latin-1 as "?" into WM_NAME, which xdotool matches: the windows are
# found by their UTF-8 _NET_WM_NAME instead.
wait_window() {
    local title="$1" i id
    for ((i = 0; i < LIMIT * 5; i++)); do
        for id in $(xdotool search --name . 2>/dev/null); do
            if [ "$(xprop -id "$id" _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME(UTF8_STRING) = \"$title\"" ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.2
    done
    echo "screenshots: no window titled '$title' within ${LIMIT}s" >&2
    return 1
}
shot() { import -window "$2" "$OUT/$1.png"; log "$OUT/$1.png"; }

env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG="$WINDOWS_LANG" \
    wine "$BUILD/bin/norvo.exe" >"$OUT/norvo.log" 2>&1 &

MAIN="$(wait_window 'ノルヴォ v1')"
sleep 1
xdotool windowfocus --sync "$MAIN" 2>/dev/null || true
xdotool key --clearmodifiers alt+b
xdotool type --delay 30 "$BODY"
xdotool key --clearmodifiers alt+f
xdotool type --delay 30 "$FACE"
sleep 0.5
shot 1-main root

xdotool key --clearmodifiers alt+c
PROGRESS="$(wait_window norvo_progress)" && shot 2-progress root ||
    log "the progress window was gone before its shot"

SAVE="$(wait_window '画像をファイルに保存する')"
sleep 1.5
shot 3-save-dialog root
xdotool windowfocus --sync "$SAVE" 2>/dev/null || true
xdotool type --delay 10 "Z:${OUT//\//\\}\\portrait"
xdotool key Return

DONE="$(wait_window norvo)"
sleep 0.5
shot 4-saved root
xdotool windowfocus --sync "$DONE" 2>/dev/null || true
xdotool key Return
sleep 0.5

if [ -f "$OUT/portrait.jpg" ]; then
    log "portrait: $OUT/portrait.jpg"
else
    echo "screenshots: no portrait was written; see $OUT/norvo.log" >&2
    exit 1
fi
