#!/usr/bin/env bash
# Checks the include graph against the layer order: a folder includes only itself and the
# folders below it, every include written from the project root. Fails, naming each file and
# include, on a backwards or sideways include or a bare header name.
#   scripts/check-layers.sh [ROOT]
#
# Top to bottom:  app/ (and app/gui/)  >  web/  >  saori/ xml/ imaging/ net/  >  text/ base/
# beside them:    modules/httpc/ (on net/), services/ (the lookup service), lookup/ (what the
#                 program and the service share). norvo/ is the generated version header.
# In the service: http/ > sources/ > fetch/ > store/ > detect/ > wire/.
set -uo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"

declare -A may_include=(
    [base]="base"
    [text]="text"
    [lookup]="lookup"
    [saori]="saori text base"
    [xml]="xml text base"
    [imaging]="imaging text base"
    [net]="net text base norvo"
    [web]="web saori xml imaging net text base"
    [modules]="modules net text base norvo"
    [services]="services lookup imaging net saori text base norvo"
    [app]="app web saori xml imaging net lookup text base norvo"
)

status=0
for folder in "${!may_include[@]}"; do
    [ -d "$root/$folder" ] || continue
    while IFS= read -r hit; do
        file="${hit%%:*}"
        rest="${hit#*:}"
        line="${rest%%:*}"
        target="${rest#*\"}"
        target="${target%%\"*}"
        top="${target%%/*}"
        where="${file#"$root"/}:$line"
        if [ "$top" = "$target" ]; then
            echo "$where: \"$target\" is not written from the project root"
            status=1
        elif [[ " ${may_include[$folder]} " != *" $top "* ]]; then
            echo "$where: $folder/ may not include \"$target\" ($top/ is not below it)"
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/$folder" \
                 --include='*.h' --include='*.cpp' --include='*.in' 2>/dev/null)
done

# Inside the lookup service, its parts in the same way, bottom to top; its own top-level files
# (main, the options) sit above them all.
service_parts=(wire detect store fetch sources http)
for ((i = 0; i < ${#service_parts[@]}; ++i)); do
    part="${service_parts[i]}"
    allowed=" ${service_parts[*]:0:i+1} "
    [ -d "$root/services/gallery/$part" ] || continue
    while IFS= read -r hit; do
        file="${hit%%:*}"
        rest="${hit#*:}"
        line="${rest%%:*}"
        target="${rest#*\"services/gallery/}"
        target="${target%%\"*}"
        used="${target%%/*}"
        if [ "$used" = "$target" ] || [[ "$allowed" != *" $used "* ]]; then
            echo "${file#"$root"/}:$line: services/gallery/$part/ may not include" \
                "\"services/gallery/$target\" (not below it)"
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"services/gallery/' \
                 "$root/services/gallery/$part" --include='*.h' --include='*.cpp' 2>/dev/null)
done

if [ "$status" -ne 0 ]; then
    echo "check-layers: includes against the layer order (see scripts/check-layers.sh)" >&2
fi
exit "$status"
