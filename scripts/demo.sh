#!/usr/bin/env bash
# Quillmere on a simulated Telvorn drive: builds, lays out an installer partition and a data
# partition under build/demo/, maps them to E: and F: in a Wine prefix of the demo's own,
# copies the program onto E: and starts it from there.
#
# With DISPLAY set the window opens on that display and the script waits until it is closed;
# all seven buttons can be clicked through. Without DISPLAY (or with --headless) it runs under
# Xvfb, saves a screenshot of the window, prints its path and closes the program.
#
# E: is a real FAT32 volume inside the disk image build/demo/disk.img, mounted with fusefat over
# a loop device and checked with fsck.fat -n at the end; where that cannot be made, a folder.
# The boot-sector tool and PowerShell on the drive are the test stand-ins: they write into that
# image, never into a real disk.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

headless=0
[ "${1:-}" = "--headless" ] && headless=1
if [ $headless -eq 0 ] && [ -n "${DISPLAY:-}" ]; then
    export QUILLMERE_USE_DISPLAY=1
else
    unset QUILLMERE_USE_DISPLAY
    headless=1
fi

quillmere_install_packages
quillmere_build
bin=$QUILLMERE_BUILD_DIR
demo=$QUILLMERE_ROOT/build/demo
for f in quillmere-testdisk.exe test-helpers/bootice.exe test-helpers/powershell.exe \
         test-helpers/quillmere-driver.exe; do
    [ -f "$bin/$f" ] || { echo "missing $bin/$f: the build did not produce it" >&2; exit 1; }
done

# --- the drive -----------------------------------------------------------------------------
installer=$demo/drives/installer
data=$demo/drives/data
boot=$installer/efi/Telvorn/Boot
fusermount -u "$installer" 2>/dev/null || true # left by a demo that did not end
rm -rf "$demo/drives"
mkdir -p "$installer"
fat=0
if quillmere_make_fat_drive "$demo/disk.img" "$installer"; then
    fat=1
    export QUILLMERE_STANDIN_PARTITION_DEVICE="Z:${QUILLMERE_FAT_LOOP//\//\\}"
else
    echo "No real FAT drive here (/dev/fuse, loop devices, fusefat or dosfstools missing): E: is a folder."
    quillmere_make_disk_image "$demo/disk.img"
fi
quillmere_lay_out_drive "$installer" "$data" || exit 1

cp "$bin/quillmere-testdisk.exe" "$boot/quillmere.exe"
cp "$bin/test-helpers/bootice.exe" "$boot/bootice.exe"
cp "$bin/test-helpers/powershell.exe" "$boot/powershell.exe"
cp "$QUILLMERE_ROOT/loaders/grub2-bios/make-telvorn-mbr.ps1" "$boot/loaders/grub2-bios/"
mkdir -p "$boot/grub2/bios"
echo "set timeout=5" >"$boot/grub2/bios/grub.cfg"
echo "demo current loader" >"$installer/efi/boot/bootx64.efi"

# GRUB2's boot image (jump EB 63 90, core at LBA 1, 55 AA) and a 40-sector core image.
python3 - "$boot/loaders/grub2-bios" <<'EOF'
import struct, sys
folder = sys.argv[1]
boot = bytearray((0x20 + i % 64) for i in range(512))
boot[0:3] = b"\xeb\x63\x90"
boot[0x5C:0x64] = struct.pack("<Q", 1)
boot[0x64] = 0xFF
boot[0x66:0x68] = b"\x75\x02"
boot[510:512] = b"\x55\xaa"
open(folder + "/boot.img", "wb").write(boot)
open(folder + "/core.img", "wb").write(bytes((i // 512 + i) & 0xFF for i in range(40 * 512)))
EOF

# The data partition: a few images, and what an Android phone leaves behind.
for iso in debian-12.iso windows-11.iso memtest86.iso; do
    head -c 65536 /dev/zero >"$data/ISO/$iso"
done
mkdir -p "$data/Android/data/com.example" "$data/.thumbnails" "$data/DCIM/.thumbnails" \
         "$data/Music/Album/CD1" "$data/LOST.DIR" "$installer/.Trash-1000/files"
echo cache >"$data/Android/data/com.example/cache.bin"
echo thumb >"$data/.thumbnails/1.jpg"
echo thumb >"$data/DCIM/.thumbnails/2.jpg"
echo photo >"$data/DCIM/holiday.jpg"
echo lost >"$data/LOST.DIR/0001"
echo trash >"$installer/.Trash-1000/files/old.txt"

# --- the session ---------------------------------------------------------------------------
QUILLMERE_BUILD_DIR=$demo # the prefix and its temp folder live under build/demo
quillmere_start_session
end_demo() {
    quillmere_stop_session
    if [ $fat -eq 1 ]; then
        echo "--- fsck.fat -n of E: after the demo:"
        quillmere_remove_fat_drive "$installer" || echo "E: is NOT clean" >&2
    fi
}
trap end_demo EXIT
ln -sfn "$installer" "$WINEPREFIX/dosdevices/e:"
ln -sfn "$data" "$WINEPREFIX/dosdevices/f:"

winpath() { echo "Z:${1//\//\\}"; }
export QUILLMERE_TEST_PHYSICAL_DRIVE=1
export QUILLMERE_STANDIN_DISK_IMAGE=$(winpath "$demo/disk.img")
export QUILLMERE_TEST_DISK_1=$QUILLMERE_STANDIN_DISK_IMAGE QUILLMERE_TEST_PARTITION_START=2048
export QUILLMERE_STANDIN_LOG=$(winpath "$demo/tools.log")
export TELVORN_DEBUG_LOG=1
rm -f "$demo/tools.log"
temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
debug_log=$(wine winepath -u "$temp\\quillmere_cpp_debug.log" 2>/dev/null | tr -d '\r')
rm -f "$debug_log"

echo "Drive E: (installer) = $installer"
echo "Drive F: (data)      = $data"
echo "NOTE: bootice.exe and powershell.exe on E: are test stand-ins; they write only into"
echo "      $demo/disk.img (disk number 1 for the program), never into a real disk."

driver() { wine "$bin/test-helpers/quillmere-driver.exe" "$@" 2>/dev/null | tr -d '\r'; }
# Asks the window to close and waits for the program; a program that does not end is stopped,
# so the demo never hangs.
close_program() {
    driver close >/dev/null
    if ! quillmere_wait_for_exit "$program" 10; then
        echo "the program did not end when asked; stopping it" >&2
        kill "$program" 2>/dev/null
    fi
    wait "$program" 2>/dev/null || true
}
wine 'E:\efi\Telvorn\Boot\quillmere.exe' >/dev/null 2>&1 &
program=$!
if ! driver window 30000 | grep -q .; then
    echo "the window did not appear" >&2
    exit 1
fi

if [ $headless -eq 1 ]; then
    sleep 1
    geometry=$(xwininfo -root -tree | grep -m1 -E '"Quillmere".* 376x208[+]' |
               sed -E 's/.* ([0-9]+x[0-9]+\+[0-9-]+\+[0-9-]+) +\+[0-9-]+\+[0-9-]+$/\1/')
    read -r w h x y <<<"$(echo "$geometry" | tr 'x+' '  ')"
    around="$((w + 240))x$((h + 200))+$((x > 120 ? x - 120 : 0))+$((y > 100 ? y - 100 : 0))"
    shoot() { # shoot <file> <geometry>
        import -window root "$demo/screen.png"
        convert "$demo/screen.png" -crop "$2" +repage "$1"
        rm -f "$demo/screen.png"
    }
    shoot "$demo/quillmere-window.png" "$geometry"
    echo "Screenshot of the window at start: $demo/quillmere-window.png"

    # The main job: switch the Legacy BIOS loader to Grub4Dos with a click on its button.
    driver click 99 126 >/dev/null
    echo "Clicked Legacy BIOS \"Grub4Dos\"; the program answers: $(driver box 30000)"
    shoot "$demo/quillmere-message.png" "$around"
    echo "Screenshot with the message: $demo/quillmere-message.png"
    for _ in 1 2 3; do
        driver ok 5000 >/dev/null
        driver box 300 | grep -q '^caption=' || break
    done
    sleep 1 # the action ends once its message is closed; only then may the window close
    close_program

    # A second start reads the new state back from bootstate.txt and marks Grub4Dos.
    wine 'E:\efi\Telvorn\Boot\quillmere.exe' >/dev/null 2>&1 &
    program=$!
    driver window 30000 >/dev/null
    driver move -60 -60 >/dev/null # off the window, so no button shows the hover look
    sleep 1
    shoot "$demo/quillmere-after.png" "$geometry"
    echo "Screenshot after a restart: $demo/quillmere-after.png"
    close_program
else
    echo "The window is open on $DISPLAY; close it to end the demo."
fi
wait $program || true

echo "--- cleanup and actions, from the debug log ($debug_log):"
[ -f "$debug_log" ] && tr -d '\r' <"$debug_log" || echo "(no log)"
if [ -f "$demo/tools.log" ]; then
    echo "--- command lines the stand-ins received:"
    cat "$demo/tools.log"
fi
echo "--- boot state now: $(tr '\n' ' ' <"$boot/bootstate.txt")"
