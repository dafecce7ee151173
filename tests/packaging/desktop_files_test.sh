#!/usr/bin/env bash
# The menu entry and the AppStream metadata pass their validators. A missing validator skips
# the test (exit 77) with a message; it never passes in silence.
#   desktop_files_test.sh DESKTOP_FILE METAINFO_FILE
set -euo pipefail
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (Debian: desktop-file-utils, appstream)"
        exit 77
    fi
done
# desktop-file-validate exits 0 on hints too: any output is a finding.
out="$(desktop-file-validate "$1" 2>&1)" || true
[ -z "$out" ] || { echo "$out"; exit 1; }
appstreamcli validate --no-net --pedantic "$2"
