#!/usr/bin/env bash
# Checks a built Debian package: unpacked into a throw-away root with dpkg -x, its files alone
# make a labelled portrait headless; its dependencies resolve on this system; lintian finds no
# error. A missing tool skips its check with a message, never in silence.
#   scripts/package-test.sh norvo_<version>_amd64.deb
set -euo pipefail

DEB="$(realpath "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package test FAILED: $*" >&2; exit 1; }
# The program's own language, whatever the caller's locale; English is asked for below.
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8

echo "package: $(basename "$DEB"), $(stat -c %s "$DEB") bytes"
dpkg-deb --field "$DEB" Package Version Depends

root="$work/root"
dpkg-deb -x "$DEB" "$root"
mkdir "$work/empty"
cd "$work/empty"
# Only the unpacked tree: no service address from the caller's environment.
env -u NORVO_SEARCH_URL -u NORVO_DETECT_URL -u NORVO_LABEL XDG_CONFIG_HOME="$work/config" \
    "$root/usr/bin/norvo" --body "Grace Hopper" --face "Eileen Collins" \
    --output "$work/portrait.jpg" >"$work/log" 2>&1 ||
    { cat "$work/log"; fail "the unpacked program made no portrait"; }
grep -q "保存しました。" "$work/log" || { cat "$work/log"; fail "no saved message"; }
grep -aq "digitalsourcetype/composite" "$work/portrait.jpg" || fail "the portrait carries no label"
echo "unpacked into a throw-away root: the portrait was made ($(stat -c %s "$work/portrait.jpg") bytes)"
# In English, from the package's own translation: nothing listens on port 1 of this machine.
LANG=en_US.UTF-8 "$root/usr/bin/norvo" --body a --face b --output "$work/none.jpg" \
    --search-url http://127.0.0.1:1 >"$work/log" 2>&1 && fail "a run without a service succeeded"
grep -q "Could not connect to the internet." "$work/log" || { cat "$work/log"; fail "no English message"; }
echo "unpacked into a throw-away root: English texts under LANG=en_US.UTF-8"

if command -v apt-get >/dev/null; then
    # A simulated install resolves the dependencies against this system's packages.
    apt-get install --simulate --no-install-recommends "$DEB" >"$work/apt" 2>&1 ||
        { cat "$work/apt"; fail "its dependencies do not resolve"; }
    echo "apt: the dependencies resolve"
else
    echo "apt-get not found: dependency check skipped"
fi

if command -v lintian >/dev/null; then
    rc=0
    lintian --fail-on error "$DEB" >"$work/lintian" 2>&1 || rc=$?
    echo "lintian:"
    grep -v '^running with root privileges' "$work/lintian" || true
    [ "$rc" -eq 0 ] || fail "lintian reports errors"
    echo "lintian: no errors"
else
    echo "lintian not found: package lint skipped (Debian package: lintian)"
fi
