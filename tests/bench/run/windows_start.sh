#!/usr/bin/env bash
# How long norvo.exe takes under Wine until its main window is on screen, and a second headless
# run over the bundled gallery, on a virtual display with a Wine session kept up between starts.
#   tests/bench/run/windows_start.sh [BUILD-WINDOWS [STARTS]]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build-windows}" && pwd)"
STARTS="${2:-5}"

if [ "${NORVO_BENCH_INNER:-0}" != 1 ]; then
    export NORVO_BENCH_INNER=1
    exec xvfb-run -a --server-args="-screen 0 1024x768x24" "$0" "$BUILD" "$STARTS"
fi
export WINEPREFIX="$BUILD/wine-bench" WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k; wineserver -w' EXIT
wine cmd /c exit >/dev/null 2>&1
TITLE="ノルヴォ v1"  # under LANG=ja_JP.UTF-8, which Wine honours without the locale installed

ms() { date +%s%3N; }
shown() { # the main window's id once its UTF-8 title is there
    local id
    for id in $(xdotool search --name . 2>/dev/null); do
        [ "$(xprop -id "$id" _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME(UTF8_STRING) = \"$TITLE\"" ] &&
            return 0
    done
    return 1
}

echo "main window on screen after start (goal 1500 ms):"
for ((i = 1; i <= STARTS; i++)); do
    start="$(ms)"
    LANG=ja_JP.UTF-8 wine "$BUILD/bin/norvo.exe" >/dev/null 2>&1 &
    until shown; do
        sleep 0.02
        [ $(($(ms) - start)) -lt 30000 ] || { echo "no window within 30 s" >&2; exit 1; }
    done
    echo "  start $i: $(($(ms) - start)) ms"
    pkill -KILL -f 'norvo.exe' || true
    wait 2>/dev/null || true
    sleep 1
done

OUT="$(mktemp -d)"
echo "command line over the bundled gallery (goal for the second run 1000 ms):"
for run in 1 2; do
    start="$(ms)"
    LANG=C.UTF-8 wine "$BUILD/bin/norvo.exe" --offline --body "Grace Hopper" --face "Eileen Collins" \
        --output "Z:$OUT/p$run.jpg" >/dev/null 2>&1
    echo "  run $run: $(($(ms) - start)) ms"
done
rm -rf "$OUT"
