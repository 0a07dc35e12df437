#!/usr/bin/env bash
# Fails when a test uses one of QtTest's checking macros. Outside a QtTest run they report to no
# one and return from the test, which GoogleTest then counts as passed; tests/common/Eventually.h
# has the waiting checks that fail the test instead.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='\bQ(TRY_[A-Z_0-9]+|COMPARE|VERIFY[A-Z_0-9]*|FAIL|SKIP|EXPECT_FAIL|FETCH|TEST)[[:space:]]*\('
if found=$(grep -rnE "$pattern" tests bench --include='*.cpp' --include='*.h'); then
    echo "QtTest checks in GoogleTest tests (use tests/common/Eventually.h):"
    echo "$found"
    exit 1
fi
