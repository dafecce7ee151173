#!/usr/bin/env bash
# Screenshots of norvo.exe's windows under Wine on a virtual display: the main window, the
# progress window, the save dialog with the preview and the saved message. Wine draws no title
# bars without a window manager.
#   scripts/screenshots-windows.sh [BUILD-WINDOWS [OUT]]
# NORVO_SHOT_BODY / NORVO_SHOT_FACE: the names typed; LANG: the windows' language (Japanese by
# default).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build-windows}" && pwd)"
OUT="${2:-$(mktemp -d /tmp/norvo-windows-screens.XXXXXX)}"
BODY="${NORVO_SHOT_BODY:-Grace Hopper}"
FACE="${NORVO_SHOT_FACE:-Eileen Collins}"
LIMIT="${NORVO_SHOT_LIMIT:-90}"

for tool in xvfb-run xdotool import wine wineserver; do
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
export WINEPREFIX="$BUILD/wine-shots" WINEDEBUG=-all LANG="${LANG_OVERRIDE:-ja_JP.UTF-8}"
unset LC_ALL LC_MESSAGES LANGUAGE
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k; wineserver -w' EXIT
wine cmd /c exit >/dev/null 2>&1

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
shot() { import -window "$2" "$OUT/$1.png"; log "$OUT/$1.png"; }

wine "$BUILD/bin/norvo.exe" >"$OUT/norvo.log" 2>&1 &

MAIN="$(wait_window '^ノルヴォ v1$')"
sleep 1
xdotool windowfocus --sync "$MAIN" 2>/dev/null || true
xdotool key --clearmodifiers alt+b
xdotool type --delay 30 "$BODY"
xdotool key --clearmodifiers alt+f
xdotool type --delay 30 "$FACE"
sleep 0.5
shot 1-main root

xdotool key --clearmodifiers alt+c
PROGRESS="$(wait_window '^norvo_progress$')" && shot 2-progress root ||
    log "the progress window was gone before its shot"

SAVE="$(wait_window '^画像をファイルに保存する$')"
sleep 1.5
shot 3-save-dialog root
xdotool windowfocus --sync "$SAVE" 2>/dev/null || true
xdotool type --delay 10 "Z:${OUT//\//\\}\\portrait"
xdotool key Return

DONE="$(wait_window '^norvo$')"
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
