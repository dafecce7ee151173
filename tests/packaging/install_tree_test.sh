#!/usr/bin/env bash
# The installed tree: what `cmake --install` lays out, and that a copy of it moved anywhere
# makes a portrait from its own files only: its module, its mask, its gallery.
#   install_tree_test.sh BUILD_DIR VERSION
set -euo pipefail
BUILD="$1"
VERSION="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$work/first/usr" >/dev/null

expected=(
    bin/norvo bin/norvo-gallery
    lib/norvo/httpc.so lib/norvo/saori-request
    share/norvo/mask.png "share/norvo/gallery/Grace Hopper/grace_hopper.jpg"
    share/norvo/gallery/SOURCES.md share/norvo/translations/norvo_en.qm
    share/applications/norvo.desktop share/metainfo/org.example.norvo.metainfo.xml
    share/icons/hicolor/48x48/apps/norvo.png share/icons/hicolor/64x64/apps/norvo.png
    share/icons/hicolor/128x128/apps/norvo.png share/icons/hicolor/256x256/apps/norvo.png
    share/icons/hicolor/scalable/apps/norvo.svg
    share/man/man1/norvo.1.gz share/man/man1/norvo-gallery.1.gz
    share/doc/norvo/copyright share/doc/norvo/changelog.gz
)
for f in "${expected[@]}"; do
    [ -f "$work/first/usr/$f" ] || fail "$f is not installed"
done
# Programs and libraries are exactly the shipped ones: no test, benchmark or test module.
shipped="$(cd "$work/first/usr" && find bin lib -type f | sort | tr '\n' ' ')"
[ "$shipped" = "bin/norvo bin/norvo-gallery lib/norvo/httpc.so lib/norvo/saori-request " ] ||
    fail "unexpected programs or libraries: $shipped"

# Moved to a folder with a space in its name, and run from a working folder that holds
# nothing of norvo's.
root="$work/moved tree/usr"
mkdir -p "$work/moved tree" "$work/elsewhere"
mv "$work/first/usr" "$root"
cd "$work/elsewhere"
[ "$("$root/bin/norvo" --version | head -n 1)" = "norvo $VERSION" ] || fail "norvo --version"
[ "$("$root/bin/norvo-gallery" --version | head -n 1)" = "norvo-gallery $VERSION" ] || fail "norvo-gallery --version"
for program in norvo norvo-gallery; do
    "$root/bin/$program" --version | grep -q '^License GPL-3.0-or-later' || fail "$program --version names no licence"
done

portrait() { # output file, then extra options; prints the run's messages into $work/log
    "$root/bin/norvo" --body "Grace Hopper" --face "Eileen Collins" --output "$@" >"$work/log" 2>&1
}
portrait "$work/p.jpg" || { cat "$work/log"; fail "no portrait from the moved tree"; }
[ "$(head -c 2 "$work/p.jpg" | od -An -tx1 | tr -d ' ')" = ffd8 ] || fail "the portrait is no JPEG"

# Each file comes from the moved tree: take one away and the run fails, though the build
# folder still has it (and a module lies in the working folder and beside the program).
cp "$root/lib/norvo/httpc.so" "$work/elsewhere/httpc.so"
cp "$root/lib/norvo/httpc.so" "$root/bin/httpc.so"
mv "$root/lib/norvo/httpc.so" "$work/module-aside"
if portrait "$work/m.jpg"; then fail "a module was loaded from elsewhere than lib/norvo/"; fi
grep -q "httpc.dll loadの実行に失敗しました。" "$work/log" || { cat "$work/log"; fail "no load message"; }
# The translations come from the moved tree too.
if LANG=en_US.UTF-8 portrait "$work/m.jpg"; then fail "a module was loaded from elsewhere"; fi
grep -q "httpc.dll load failed." "$work/log" || { cat "$work/log"; fail "no English load message"; }
rm "$work/elsewhere/httpc.so" "$root/bin/httpc.so"
mv "$work/module-aside" "$root/lib/norvo/httpc.so"

mv "$root/share/norvo/mask.png" "$work/mask-aside"
if portrait "$work/k.jpg"; then fail "a mask was read from elsewhere than share/norvo/"; fi
grep -q "mask.pngの画像を読み込めませんでした。" "$work/log" || { cat "$work/log"; fail "no mask message"; }
mv "$work/mask-aside" "$root/share/norvo/mask.png"

rm -r "$root/share/norvo/gallery/Eileen Collins"
if portrait "$work/g.jpg"; then fail "a gallery was read from elsewhere than share/norvo/"; fi
echo "install tree: complete, and a moved copy uses its own files"
