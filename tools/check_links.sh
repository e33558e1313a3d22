#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Checks every relative link of the project's pages (README.md, docs/, and
# the READMEs and notes of the layer and packages under packaging/): the
# file or directory it names exists, and its #anchor is a heading of the
# page it names, as GitHub makes anchors (lower case, punctuation dropped,
# blanks as hyphens). Links in code blocks and to other sites are left
# alone. Prints each broken link as FILE: TARGET.
# Usage: check_links.sh [SOURCE_DIR]   (default: this tree)
# Exit: 0 every link resolves, 1 one doesn't.
set -eu
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root"

# Each inline link of a page outside code blocks and spans, one per line.
links_of() {
    awk '
        /^```/ { code = !code; next }
        code { next }
        {
            line = $0
            gsub(/`[^`]*`/, "", line)
            while (match(line, /\]\([^) ]+\)/)) {
                print substr(line, RSTART + 2, RLENGTH - 3)
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1"
}

# The anchors of a page's headings.
anchors_of() {
    awk '
        /^```/ { code = !code; next }
        !code && /^#+ / {
            heading = tolower($0)
            sub(/^#+ +/, "", heading)
            gsub(/[^a-z0-9 _-]/, "", heading)
            gsub(/ /, "-", heading)
            print heading
        }' "$1"
}

broken=0
pages=$(find README.md docs packaging -name '*.md' -type f | sort)
for page in $pages; do
    dir=$(dirname "$page")
    for link in $(links_of "$page"); do
        case $link in
            *://* | mailto:*) continue ;;
        esac
        path=${link%%#*}
        anchor=
        case $link in *'#'*) anchor=${link#*#} ;; esac
        target=$page
        [ -z "$path" ] || target=$dir/$path
        if [ ! -e "$target" ]; then
            echo "$page: $link (no $target)"
            broken=1
        elif [ -n "$anchor" ] && ! anchors_of "$target" | grep -qxF -- "$anchor"; then
            echo "$page: $link (no heading for #$anchor in $target)"
            broken=1
        fi
    done
done
[ "$broken" -eq 0 ] && echo "every relative link of $(echo "$pages" | wc -l) pages resolves"
exit "$broken"
