# Shared by the project's scripts: packages, build, a private Wine prefix and an X display.
# Source it; it defines functions only.

QUILLMERE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUILLMERE_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine fonts-wine
                    xvfb x11-utils imagemagick googletest python3)

quillmere_install_packages() {
    local missing=()
    for p in "${QUILLMERE_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The build directory: build/mingw (the preset) unless QUILLMERE_BUILD_DIR names another one.
quillmere_build() {
    cd "$QUILLMERE_ROOT" || return 1
    if [ -z "${QUILLMERE_BUILD_DIR:-}" ] || [ "$QUILLMERE_BUILD_DIR" = "build/mingw" ] ||
       [ "$QUILLMERE_BUILD_DIR" = "$QUILLMERE_ROOT/build/mingw" ]; then
        QUILLMERE_BUILD_DIR="$QUILLMERE_ROOT/build/mingw"
        cmake --preset mingw >/dev/null && cmake --build --preset mingw
    else
        QUILLMERE_BUILD_DIR=$(realpath -m "$QUILLMERE_BUILD_DIR")
        cmake -S . -B "$QUILLMERE_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$QUILLMERE_ROOT/cmake/mingw-w64.cmake" >/dev/null &&
            cmake --build "$QUILLMERE_BUILD_DIR" -j2
    fi
}

# A Wine prefix of the build's own, a persistent wineserver and an X display.
# quillmere_stop_session undoes what this started.
quillmere_start_session() {
    export WINEPREFIX="$QUILLMERE_BUILD_DIR/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    unset TELVORN_DEBUG_LOG
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating Wine prefix $WINEPREFIX"
        wineboot --init >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
    quillmere_prepare_scaled_prefix
    QUILLMERE_XVFB_PID=""
    if [ -z "${QUILLMERE_USE_DISPLAY:-}" ]; then
        local n=90
        while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        QUILLMERE_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
    wineserver -p >/dev/null 2>&1 </dev/null
    if [ -n "$QUILLMERE_XVFB_PID" ]; then
        # Xvfb has no window manager: Wine otherwise waits about 2 s for one whenever a window
        # (every message box) goes away.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >/dev/null 2>&1 </dev/null
    fi
}

# The prefix of the tests at 144 dpi (the screen scaled to 150 %): a copy of the first prefix,
# taken while no wineserver writes to it, with HKCU\Control Panel\Desktop LogPixels = 144.
quillmere_prepare_scaled_prefix() {
    local scaled="$QUILLMERE_BUILD_DIR/wineprefix-144dpi"
    [ -f "$scaled/.quillmere-logpixels-144" ] && return 0
    echo "Creating Wine prefix $scaled"
    rm -rf "$scaled" && cp -a "$WINEPREFIX" "$scaled" || return 1
    (
        export WINEPREFIX="$scaled"
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f
        if [ -z "${QUILLMERE_USE_DISPLAY:-}" ]; then
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
        fi
        wineserver -w
    ) >/dev/null 2>&1 </dev/null && touch "$scaled/.quillmere-logpixels-144"
}

quillmere_stop_session() {
    wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$QUILLMERE_BUILD_DIR/wineprefix-144dpi" wineserver -k >/dev/null 2>&1 || true
    if [ -n "${QUILLMERE_XVFB_PID:-}" ]; then
        kill "$QUILLMERE_XVFB_PID" 2>/dev/null || true
        wait "$QUILLMERE_XVFB_PID" 2>/dev/null || true
    fi
}
