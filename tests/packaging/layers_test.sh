#!/usr/bin/env bash
# The layer check passes on the source tree and fails, naming the place, on a tree with a
# backwards include, a sideways one and a bare header name.
set -u
check="$1"
source_root="$2"
fail() { echo "FAIL: $*"; exit 1; }

"$check" "$source_root" || fail "the source tree breaks the layer order"

tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/web" "$tree/xml" "$tree/saori" "$tree/app" "$tree/services/gallery/store" \
    "$tree/services/gallery/http"
printf '#include "saori/SaoriHost.h"\n#include "app/RunView.h"\n' >"$tree/web/Lookup.h"
printf '#include "imaging/Picture.h"\n' >"$tree/xml/Reader.cpp"
printf '#include "Host.h"\n' >"$tree/saori/Host.cpp"
printf '#include "web/Lookup.h"\n#include "xml/Reader.h"\n' >"$tree/app/Run.cpp"
printf '#include "services/gallery/wire/A.h"\n#include "services/gallery/sources/B.h"\n' \
    >"$tree/services/gallery/store/Store.cpp"
printf '#include "services/gallery/sources/B.h"\n' >"$tree/services/gallery/http/Routes.cpp"

out="$("$check" "$tree" 2>&1)" && fail "a tree with bad includes passed"
for expected in 'web/Lookup.h:2: web/ may not include "app/RunView.h"' \
                'xml/Reader.cpp:1: xml/ may not include "imaging/Picture.h"' \
                'saori/Host.cpp:1: "Host.h" is not written from the project root' \
                'services/gallery/store/Store.cpp:2: services/gallery/store/ may not include "services/gallery/sources/B.h"'; do
    grep -qF "$expected" <<<"$out" || fail "not reported: $expected"$'\n'"$out"
done
[ "$(grep -c 'may not include\|not written from' <<<"$out")" -eq 4 ] || fail "good includes reported:"$'\n'"$out"
echo "layer check: ok"
