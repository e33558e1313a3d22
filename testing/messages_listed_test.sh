#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Every message the launcher can print or log is listed in the manual page.
# The messages are made from the string literals of the launcher's files
# (support/ and system/ print nothing); each literal with words in it must
# stand in the page's text. Left out: the tests, the help text, the fixed
# commands and paths, and the --check report (settings_check.cpp and
# check_json.cpp), which is a report, not a message, and is shown whole in
# docs/operating.md.
#
# Usage: messages_listed_test.sh SOURCE_DIR
set -eu
root=$1
page=$root/packaging/lwm2m-launcher.8.in

# The page's text: no escapes, no macros, no quotes, on one line.
text=$(sed -e 's/\\-/-/g; s/\\(lq//g; s/\\(rq//g; s/\\(em//g; s/\\f[BIRP]//g' \
    -e 's/^\.[A-Za-z]* *//' -e 's/"//g' "$page" | tr '\n' ' ' | tr -s ' ')

missing=0
literals=0
for source in "$root"/launcher/*.cpp; do
    case $source in *_test.cpp | */settings_check.cpp | */check_json.cpp) continue ;; esac
    sed -e '/help_text =/,/;$/d' -e '/usage_line =/,/;$/d' -e '/^ *\/\//d' -e '/#include/d' \
        "$source" |
        grep -o '"[^"]*"' | grep '[A-Za-z][A-Za-z][A-Za-z]' || true
done | sort -u > "${TMPDIR:-/tmp}/messages.$$"
while IFS= read -r literal; do
    # Options, the fixed commands and hexadecimal digits are not messages.
    case $literal in
        '"--'* | '"/'* | '"mkdir -p "' | '" 2> /dev/null"' | '"config.csv"' | '"lwm2m-launcher "' | \
            '"0123456789ABCDEF"') continue ;;
    esac
    words=$(printf '%s' "$literal" | sed -e 's/^"//; s/"$//; s/\\n$//' -e 's/^[ ,:]*//; s/[ ,:]*$//')
    literals=$((literals + 1))
    case $text in
        *"$words"*) ;;
        *) echo "not in the manual page: $words"; missing=$((missing + 1)) ;;
    esac
done < "${TMPDIR:-/tmp}/messages.$$"
rm -f "${TMPDIR:-/tmp}/messages.$$"
echo "$literals messages, $missing missing from the manual page"
[ "$literals" -gt 30 ] && [ "$missing" -eq 0 ]
