#!/usr/bin/env bash
# The portable zip of the Windows tree: one folder norvo-<version>-windows-x64 holding the
# programs, httpc.dll, data\, README.txt, LICENSE and the licences of the code inside, taken
# from the Debian source tarballs that code was built from.
#   scripts/windows-zip.sh BUILD-WINDOWS APT-CACHE
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
APT="$2"
VERSION="$(sed -n 's/^project(norvo VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
NAME="norvo-$VERSION-windows-x64"
STAGE="$BUILD/zip/$NAME"

rm -rf "$BUILD/zip" "$BUILD/$NAME.zip"
mkdir -p "$STAGE/licenses"
for program in norvo.exe norvo-gallery.exe httpc.dll saori-request.exe; do
    cp "$BUILD/bin/$program" "$STAGE/"
    # The build tree keeps its symbols for the tests; the zip goes without them.
    x86_64-w64-mingw32-strip "$STAGE/$program"
done
cp -r "$BUILD/bin/data" "$STAGE/data"
cp "$ROOT/LICENSE" "$STAGE/LICENSE"
# Notepad on older systems wants CRLF.
sed 's/$/\r/' "$ROOT/packaging/windows/README.txt" >"$STAGE/README.txt"

# licence FILE TARBALL-GLOB MEMBER-PATTERN: the first member matching the pattern.
licence() {
    local tarball member
    tarball="$(ls "$APT"/$2 2>/dev/null | head -n 1)"
    [ -n "$tarball" ] || { echo "windows zip: no $2 in $APT" >&2; exit 1; }
    member="$({ tar -tf "$tarball" || true; } | grep -m 1 -E "$3")"
    tar -xOf "$tarball" "$member" >"$STAGE/licenses/$1"
}
licence curl.txt 'curl_*.orig.tar.*' '^[^/]+/COPYING$'
licence cpp-httplib.txt 'cpp-httplib_*.orig.tar.*' '^[^/]+/LICENSE$'
licence dlib.txt 'dlib_*.orig.tar.*' '^[^/]+/dlib/LICENSE.txt$'
licence opencv.txt 'opencv_*.orig.tar.*' '^[^/]+/LICENSE$'
licence exiv2.txt 'exiv2_*.orig.tar.*' '^[^/]+/COPYING$'
licence expat.txt 'expat_*.orig.tar.*' '^[^/]+/COPYING$'
# The landmark model's terms, and the compiler's runtime linked into every program.
cp "$(ls -d "$APT"/../libdlib-data-*/copyright | head -n 1)" "$STAGE/licenses/dlib-landmark-model.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$STAGE/licenses/mingw-w64-runtime.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$STAGE/licenses/gcc-runtime.txt"

(cd "$BUILD/zip" && zip -qr9 "$BUILD/$NAME.zip" "$NAME")
echo "$BUILD/$NAME.zip ($(du -k "$BUILD/$NAME.zip" | cut -f1) KiB)"
