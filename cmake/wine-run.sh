#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest. Wine's own helper processes (explorer,
# services) outlive the test and inherit its output; sending that output to a file instead of
# ctest's pipe keeps ctest from waiting on them until its time-out.
out=$(mktemp)
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
