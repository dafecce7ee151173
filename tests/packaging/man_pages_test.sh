#!/usr/bin/env bash
# Each manual page documents exactly the options its program's --help lists, and groff reads it
# without a warning.
#   man_pages_test.sh BIN_DIR MAN1_DIR
set -euo pipefail
status=0
for program in norvo norvo-gallery; do
    page="$2/$program.1.gz"
    help_options="$("$1/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)"
    page_options="$(zcat "$page" | sed 's/\\-/-/g' | grep -o -- '--[a-z][a-z-]*' | sort -u)"
    if [ "$help_options" != "$page_options" ]; then
        echo "$program: --help and $page list different options:"
        diff <(echo "$help_options") <(echo "$page_options") || true
        status=1
    fi
    if command -v groff >/dev/null; then
        warnings="$(zcat "$page" | preconv -e UTF-8 | groff -man -Tutf8 -ww -z 2>&1)"
        [ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
    else
        echo "groff is not installed: $page not checked for roff warnings"
    fi
done
exit $status
