#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Every message the launcher can print or log is listed in the manual page.
# The messages are made from the string literals of the files that say
# them; each literal with words in it (the help text and the fixed commands
# aside) must stand in the page's text.
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
for source in main start_plan work_dir event_log csv_config; do
    sed -e '/help_text =/,/;$/d' -e '/usage_line =/,/;$/d' -e '/^ *\/\//d' -e '/#include/d' \
        "$root/launcher/$source.cpp" |
        grep -o '"[^"]*"' | grep '[A-Za-z][A-Za-z][A-Za-z]' || true
done | sort -u > "${TMPDIR:-/tmp}/messages.$$"
while IFS= read -r literal; do
    # Options and the fixed commands are not messages.
    case $literal in
        '"--'* | '"/'* | '"mkdir -p "' | '" 2> /dev/null"' | '"config.csv"' | '"lwm2m-launcher "') continue ;;
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
