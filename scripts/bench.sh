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

# The same wrapper ctest uses: Wine's services never hold this script's pipe open.
run_bench() {
    "$QUILLMERE_ROOT/cmake/wine-run.sh" "$@" | tr -d '\r' || status=1
}

echo "== Start-up: time to first paint and idle CPU (pointer away, pointer over, minimised), against a minimal 40 ms window"
run_bench bench/startup_bench.exe

echo "== Process runner: 50 no-op children against a plain wait, delay from a child's end to the return"
run_bench bench/process_bench.exe

echo "== Cleanup: an Android folder of 20,000 files in 2,000 folders against cmd's rd /s /q, host rm -rf as the floor"
run_bench bench/cleanup_bench.exe

echo "== Switch: the longest answer to a message sent every 10 ms during a GRUB2 switch over 300 installed modules, and its undo, against a plain message wait"
run_bench bench/switch_bench.exe

echo "== Paint: a changed frame, an unchanged (kept) frame and one pointer tick against the 40 ms period"
run_bench bench/paint_bench.exe

exit $status
