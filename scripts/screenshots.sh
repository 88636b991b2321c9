#!/usr/bin/env bash
# Regenerates the README's pictures of the real window: docs/images/idle.png, hover.png,
# running.png and success.png, and idle-150.png, the window at rest on a screen scaled to 150 %
# (144 dpi, in the Wine prefix of its own that the tests at that scale use). The test build (quillmere-testdisk.exe) runs under Wine and Xvfb
# on a simulated drive with the stand-in boot-sector tool, and quillmere-driver moves the
# pointer and reads pixels the way a person would see them. Each picture is taken only once the
# window shows the look it is named after; the script fails otherwise.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

quillmere_install_packages || exit 1
quillmere_build || exit 1
quillmere_start_session

IMAGES="$QUILLMERE_ROOT/docs/images"
DRIVES="$QUILLMERE_BUILD_DIR/drives"
BOOT="$DRIVES/shots_installer/efi/Telvorn/Boot"
DRIVER="$QUILLMERE_BUILD_DIR/test-helpers/quillmere-driver.exe"
APP_PID=""

PLAIN_PREFIX="$WINEPREFIX"
SCALED_PREFIX="$QUILLMERE_BUILD_DIR/wineprefix-144dpi"

finish() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    rm -f "$PLAIN_PREFIX/dosdevices/s:" "$PLAIN_PREFIX/dosdevices/t:" \
          "$SCALED_PREFIX/dosdevices/s:" "$SCALED_PREFIX/dosdevices/t:"
    WINEPREFIX="$PLAIN_PREFIX"
    quillmere_stop_session
}
trap finish EXIT

fail() {
    echo "screenshots: $*" >&2
    exit 1
}

driver() {
    wine "$DRIVER" "$@" 2>/dev/null | tr -d '\r'
}

# The drive as the program expects it: S: is the boot partition, T: the data partition.
lay_out_drives() {
    rm -rf "$DRIVES/shots_installer" "$DRIVES/shots_data"
    # Bootmgr installed for Legacy BIOS, Xorboot for UEFI: both groups show a mark.
    quillmere_lay_out_drive "$DRIVES/shots_installer" "$DRIVES/shots_data" || return 1
    cp "$QUILLMERE_BUILD_DIR/test-helpers/bootice.exe" "$BOOT/bootice.exe" || return 1
    cp "$QUILLMERE_BUILD_DIR/quillmere-testdisk.exe" "$BOOT/quillmere-testdisk.exe" || return 1
    quillmere_make_disk_image "$DRIVES/shots_disk.img" || return 1
    ln -sfn "$DRIVES/shots_installer" "$WINEPREFIX/dosdevices/s:" &&
        ln -sfn "$DRIVES/shots_data" "$WINEPREFIX/dosdevices/t:"
}

# Waits until client pixel X Y reads RRGGBB.
wait_pixel() {
    local x=$1 y=$2 want=$3 got=""
    for _ in $(seq 40); do
        got=$(driver pixel "$x" "$y")
        [ "$got" = "$want" ] && return 0
        sleep 0.25
    done
    fail "pixel $x,$y is $got, not $want"
}

# Screen rectangle LEFT TOP RIGHT BOTTOM of the main window.
WINDOW_RECT=()
read_window_rect() {
    local line
    line=$(driver window 20000)
    [[ $line =~ rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+) ]] || fail "no window: $line"
    WINDOW_RECT=("${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}" "${BASH_REMATCH[4]}")
}

# capture NAME LEFT TOP RIGHT BOTTOM: that screen rectangle as docs/images/NAME.png, without
# time stamps, so an unchanged look gives an unchanged file.
capture() {
    local name=$1 left=$2 top=$3 right=$4 bottom=$5
    import -display "$DISPLAY" -window root -crop "$((right - left))x$((bottom - top))+$left+$top" \
           +repage -strip -define png:exclude-chunks=date,time "$IMAGES/$name.png" ||
        fail "cannot capture $name"
    echo "docs/images/$name.png"
}

# The union of the main window and the message box: the box's top-level X window is the one
# named Quillmere that is not the main window's 376 x 208.
capture_with_box() {
    local left=${WINDOW_RECT[0]} top=${WINDOW_RECT[1]} right=${WINDOW_RECT[2]} bottom=${WINDOW_RECT[3]}
    local geometry w h x y
    while read -r geometry; do
        [[ $geometry =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]] || continue
        w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]} x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]}
        [ "$w" = 376 ] && [ "$h" = 208 ] && continue
        [ "$w" -lt 50 ] || [ "$h" -lt 30 ] && continue
        ((x < left)) && left=$x
        ((y < top)) && top=$y
        ((x + w > right)) && right=$((x + w))
        ((y + h > bottom)) && bottom=$((y + h))
    done < <(xwininfo -root -children -display "$DISPLAY" |
             sed -n 's/^ *0x[0-9a-f]* "Quillmere": ([^)]*)  *\([0-9x+-]*\) .*/\1/p')
    capture "$1" "$left" "$top" "$right" "$bottom"
}

mkdir -p "$IMAGES"
lay_out_drives || fail "cannot lay out the simulated drive"

# Every stand-in run lasts two seconds, long enough to photograph the running look.
disk="Z:${DRIVES//\//\\}\\shots_disk.img"
QUILLMERE_TEST_PHYSICAL_DRIVE=2 QUILLMERE_STANDIN_SLEEP_MS=2000 QUILLMERE_TEST_DISK_2=$disk \
    QUILLMERE_TEST_PARTITION_START=2048 QUILLMERE_STANDIN_DISK_IMAGE=$disk \
    wine 'S:\efi\Telvorn\Boot\quillmere-testdisk.exe' >/dev/null 2>&1 &
APP_PID=$!
read_window_rect

# Idle: the pointer above the window; button 1 (Bootmgr) and button 6 (Xorboot) are marked.
driver move 188 -60 >/dev/null
wait_pixel 195 75 D8E4F8
wait_pixel 253 171 D8E4F8
wait_pixel 17 75 FFFFFF
capture idle "${WINDOW_RECT[@]}"

# Hover: the pointer on button 3 (Grub2, Legacy BIOS), not pressed.
driver move 300 118 >/dev/null
wait_pixel 195 113 E4EEFF
capture hover "${WINDOW_RECT[@]}"

# Running: a click on button 2 (Grub4Dos); the tool's first run is under way.
driver click 120 118 >/dev/null
driver move 188 -60 >/dev/null
wait_pixel 17 113 D8E4F8
wait_pixel 195 75 E9ECF1
capture running "${WINDOW_RECT[@]}"

# Success: after both tool runs the box reports the change over the disabled window.
box=$(driver box 20000)
[[ $box == *"text=Загрузчик изменён: Grub4Dos"* ]] || fail "unexpected box: $box"
sleep 0.5
capture_with_box success
driver ok 5000 >/dev/null || fail "the box did not close"

# The new state reached the drive, and the window then closes as a person would close it.
[ "$(cat "$BOOT/bootstate.txt")" = "$(printf 'legacy=2\nuefi=2')" ] ||
    fail "bootstate.txt is $(od -c "$BOOT/bootstate.txt")"
close_program() {
    driver close >/dev/null
    quillmere_wait_for_exit "$APP_PID" 5 || fail "the program did not end"
    APP_PID=""
}
close_program

# 150 %: the same drive and state as the idle picture, on the screen scaled to 144 dpi. Every
# place is one and a half times its place at 100 %.
export WINEPREFIX="$SCALED_PREFIX"
printf 'legacy=1\nuefi=2\n' >"$BOOT/bootstate.txt"
ln -sfn "$DRIVES/shots_installer" "$WINEPREFIX/dosdevices/s:" &&
    ln -sfn "$DRIVES/shots_data" "$WINEPREFIX/dosdevices/t:" || fail "cannot map the drive at 150 %"
QUILLMERE_TEST_PHYSICAL_DRIVE=2 wine 'S:\efi\Telvorn\Boot\quillmere-testdisk.exe' >/dev/null 2>&1 &
APP_PID=$!
read_window_rect
[ $((WINDOW_RECT[2] - WINDOW_RECT[0])) = 564 ] && [ $((WINDOW_RECT[3] - WINDOW_RECT[1])) = 312 ] ||
    fail "the window at 150 % is not 564 x 312: ${WINDOW_RECT[*]}"
driver move 282 -90 >/dev/null
wait_pixel 293 113 D8E4F8
wait_pixel 380 257 D8E4F8
wait_pixel 26 113 FFFFFF
capture idle-150 "${WINDOW_RECT[@]}"
close_program
