#!/usr/bin/env bash
# Benchmarks (not tests): builds, then runs each benchmark program under Wine and Xvfb and
# prints its figures. One section per benchmark.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quillmere_install_packages || exit 1
quillmere_build || exit 1
quillmere_start_session
trap quillmere_stop_session EXIT
cd "$QUILLMERE_BUILD_DIR" || exit 1
status=0

echo "== Start-up: time to first paint and idle CPU, against a minimal 40 ms window"
wine bench/startup_bench.exe 2>&1 | tr -d '\r' || status=1

echo "== Process runner: 50 no-op children against a plain wait, delay from a child's end to the return"
wine bench/process_bench.exe 2>&1 | tr -d '\r' || status=1

echo "== Cleanup: an Android folder of 20,000 files in 2,000 folders against cmd's rd /s /q, host rm -rf as the floor"
# Through a file: a Wine service started by this program inherits its output and would hold a pipe open.
wine bench/cleanup_bench.exe >cleanup_bench.out 2>&1 || status=1
tr -d '\r' <cleanup_bench.out

exit $status
