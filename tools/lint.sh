#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Static checks, all of which must be clean: the format (.clang-format),
# clang-tidy (.clang-tidy) and cppcheck, over every C++ source in the tree.
# Configures the default preset for its compile commands.
set -eu
cd "$(dirname "$0")/.."
cmake --preset default > /dev/null

echo "lint: clang-format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "lint: clang-tidy"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! git ls-files -z '*.cpp' | xargs -0 -P 2 -n 4 clang-tidy -p build/default --quiet > "$log" 2>&1; then
    grep -v -e '^[0-9]* warnings\? generated' -e '^Suppressed' -e '^Use -header-filter' "$log"
    exit 1
fi

echo "lint: cppcheck"
cppcheck --enable=warning,performance,portability,style --std=c++20 --language=c++ \
    --error-exitcode=1 --inline-suppr --quiet --suppress=missingIncludeSystem \
    --library=googletest --suppress='useStlAlgorithm:*_test.cpp' \
    --suppress='unusedStructMember:*_test.cpp' -I support -I launcher -I system -I testing \
    support launcher system testing fuzz bench
echo "lint: clean"
