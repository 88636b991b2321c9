#!/usr/bin/env bash
# Runs a 32-bit Windows test program under Wine's 32-bit half, in the same 64-bit prefix
# (WoW64). Where that half cannot run (wine32:i386 missing, or a kernel that runs no 32-bit
# programs) it says so and exits 77, which ctest reports as skipped rather than passed.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "skipped: Wine's 32-bit half cannot run here (wine32:i386 missing or no 32-bit kernel support)"
    exit 77
fi
exec "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$@"
