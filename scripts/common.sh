# Shared by the project's scripts: packages, build, a private Wine prefix and an X display.
# Source it; it defines functions only.

QUILLMERE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The i686 compiler builds the x86 exe. Wine's 32-bit half, which runs it, comes separately below.
QUILLMERE_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
                    wine64 wine fonts-wine xvfb x11-utils xdotool imagemagick googletest python3
                    grub-pc-bin fusefat dosfstools)

quillmere_install_packages() {
    quillmere_install_missing "${QUILLMERE_PACKAGES[@]}" || return 1
    # Wine's 32-bit half is a 32-bit Linux program, and once it is installed Debian's wine starts
    # every program, 64-bit ones too, through it: on a kernel that runs no 32-bit programs (ia32
    # emulation off) it would stop all of Wine. There the x86 exe's Wine tests are skipped.
    if quillmere_kernel_runs_32bit; then
        quillmere_install_missing wine32:i386 ||
            echo "wine32:i386 is missing: the x86 exe's Wine tests are skipped." >&2
    else
        echo "This kernel runs no 32-bit programs: the x86 exe is built and checked, not run." >&2
    fi
}

# True when a 32-bit x86 Linux program runs here. The probe is the smallest such program: an ELF
# header, one loadable segment and the code "mov eax,1; xor ebx,ebx; int 0x80" (exit with 0).
quillmere_kernel_runs_32bit() {
    local probe rc
    probe=$(mktemp) || return 1
    {
        printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
        printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
        printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
        printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
        printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
    } >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null
    rc=$?
    rm -f "$probe"
    return $rc
}

quillmere_install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        [[ " ${missing[*]}" == *:i386* ]] && echo "  sudo dpkg --add-architecture i386" >&2
        echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture (for Wine's 32-bit half)"
        dpkg --add-architecture i386 || return 1
    fi
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# PowerShell 7 as a .NET global tool, for the test that runs the MBR script's own rules; only
# where dotnet exists and no pwsh does. Without a version the tool picks a release that fails to
# install. Exports QUILLMERE_PWSH (empty when there is none: that test is then skipped).
quillmere_install_pwsh() {
    QUILLMERE_PWSH=$(command -v pwsh || true)
    if [ -z "$QUILLMERE_PWSH" ] && [ -x "$HOME/.dotnet/tools/pwsh" ]; then
        QUILLMERE_PWSH="$HOME/.dotnet/tools/pwsh"
    fi
    if [ -z "$QUILLMERE_PWSH" ] && command -v dotnet >/dev/null; then
        echo "Installing PowerShell 7 as a .NET global tool"
        dotnet tool install --global PowerShell --version 7.6.10 >/dev/null &&
            QUILLMERE_PWSH="$HOME/.dotnet/tools/pwsh"
    fi
    export QUILLMERE_PWSH
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
    # With the display set: a Wine program started without one leaves the prefix's desktop
    # without a driver for the session.
    quillmere_hide_keyboard_cues "$WINEPREFIX"
    quillmere_hide_keyboard_cues "$QUILLMERE_BUILD_DIR/wineprefix-144dpi"
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

# Windows hides focus cues until a key asks for them; Wine's prefix shows them always (bit 0x20 of
# UserPreferencesMask's first byte). The tests see Windows' default.
quillmere_hide_keyboard_cues() {
    local mask first
    mask=$(WINEPREFIX="$1" wine reg query 'HKCU\Control Panel\Desktop' /v UserPreferencesMask \
           2>/dev/null </dev/null | tr -d '\r' | awk '$1 == "UserPreferencesMask" { print $3 }')
    [ -n "$mask" ] || return 0
    first=$((16#${mask:0:2}))
    (( first & 0x20 )) || return 0
    WINEPREFIX="$1" wine reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask \
        /t REG_BINARY /d "$(printf '%02x' $((first & ~0x20)))${mask:2}" /f >/dev/null 2>&1 </dev/null
    WINEPREFIX="$1" wineserver -w
}

quillmere_stop_session() {
    wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$QUILLMERE_BUILD_DIR/wineprefix-144dpi" wineserver -k >/dev/null 2>&1 || true
    if [ -n "${QUILLMERE_XVFB_PID:-}" ]; then
        kill "$QUILLMERE_XVFB_PID" 2>/dev/null || true
        wait "$QUILLMERE_XVFB_PID" 2>/dev/null || true
    fi
}

# A disk image for the stand-ins and the test build (QUILLMERE_TEST_DISK_<N>): an MBR with one
# FAT32 partition from sector 2048 of $2 sectors (4096 unless given), its boot sector carrying a
# BPB and 55 AA.
quillmere_make_disk_image() {
    python3 - "$1" "${2:-4096}" <<'PYTHON'
import struct, sys
sectors = int(sys.argv[2])
mbr = bytearray(512)
mbr[440:444] = b"DEMO"
mbr[446:462] = struct.pack("<B3sB3sII", 0x80, b"\x20\x21\x00", 0x0C, b"\xfe\xff\xff", 2048, sectors)
mbr[510:512] = b"\x55\xaa"
pbr = bytearray(512)
pbr[0:11] = b"\xeb\x58\x90MSWIN4.1"
pbr[11:90] = b"\x42" * 79
pbr[510:512] = b"\x55\xaa"
with open(sys.argv[1], "wb") as f:
    f.write(mbr)
    f.seek(2048 * 512)
    f.write(pbr)
    f.truncate((2048 + sectors) * 512)
PYTHON
}

# A real FAT32 volume in the disk image $1 (partition of 64 MiB from sector 2048), formatted on
# a loop device and mounted with fusefat at the empty folder $2. Sets QUILLMERE_FAT_LOOP and
# QUILLMERE_FAT_PID; false, leaving nothing mounted, where /dev/fuse, loop devices, fusefat or
# dosfstools are missing.
quillmere_make_fat_drive() {
    local sectors=131072
    [ -c /dev/fuse ] && [ -c /dev/loop-control ] &&
        command -v fusefat mkfs.fat fsck.fat >/dev/null || return 1
    quillmere_make_disk_image "$1" $sectors || return 1
    QUILLMERE_FAT_LOOP=$(losetup -f --show -o $((2048 * 512)) --sizelimit $((sectors * 512)) "$1" \
                         2>/dev/null) || return 1
    if ! mkfs.fat -F 32 "$QUILLMERE_FAT_LOOP" >/dev/null || ! mkdir -p "$2"; then
        losetup -d "$QUILLMERE_FAT_LOOP"
        return 1
    fi
    fusefat -f -s -o rw+ "$QUILLMERE_FAT_LOOP" "$2" >/dev/null 2>&1 &
    QUILLMERE_FAT_PID=$!
    for _ in $(seq 100); do
        mountpoint -q "$2" && return 0
        sleep 0.05
    done
    quillmere_remove_fat_drive "$2" >/dev/null
    return 1
}

# Unmounts the FAT volume at $1, waits until fusefat has written everything and ended, and lets
# fsck.fat -n check it: its last line is printed, its status is the function's.
quillmere_remove_fat_drive() {
    local rc
    fusermount -u "$1" 2>/dev/null
    quillmere_wait_for_exit "$QUILLMERE_FAT_PID" 10
    local report
    report=$(fsck.fat -n "$QUILLMERE_FAT_LOOP" 2>&1)
    rc=$?
    echo "${report##*$'\n'}" # its verdict; a boot sector unlike its backup is harmless
    losetup -d "$QUILLMERE_FAT_LOOP"
    return $rc
}

# The drive of the demo and the screenshots: boot partition $1 with its markers, the loader
# sources of the seven actions (small files with recognisable contents) and a boot state with
# Bootmgr installed for Legacy BIOS and Xorboot for UEFI; data partition $2 with its marker.
quillmere_lay_out_drive() {
    local boot=$1/efi/Telvorn/Boot f
    mkdir -p "$boot" "$1/efi/boot" "$2/ISO/Ventoy" || return 1
    : >"$boot/NOT.DEL"
    : >"$2/ISO/Ventoy/NOT.DEL"
    for f in xor/xmbr.bin xor/xpbr.bin mgr/bootmgr g4d/grldr mgr/UEFI/bootx64.efi \
             mgr/UEFI/bootia32.efi loaders/grub2/bootx64.efi loaders/grub2/fbx64.efi \
             loaders/grub2/mmx64.efi xor/UEFI/bootx64.efi xor/UEFI/bootia32.efi \
             loaders/grub2-bios/i386-pc/normal.mod; do
        mkdir -p "$(dirname "$boot/$f")" && echo "sample $f" >"$boot/$f" || return 1
    done
    printf 'legacy=1\nuefi=2\n' >"$boot/bootstate.txt"
}

# Waits up to $2 seconds for process $1 to end; false when it still runs.
quillmere_wait_for_exit() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}
