#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, and runs ctest under Wine and Xvfb.
# Extra arguments go to ctest (for example -R unit).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quillmere_install_packages || exit 1
quillmere_install_pwsh
quillmere_build || exit 1
quillmere_start_session
trap quillmere_stop_session EXIT

cd "$QUILLMERE_BUILD_DIR" || exit 1
ctest --output-on-failure -j1 --timeout 180 "$@"
