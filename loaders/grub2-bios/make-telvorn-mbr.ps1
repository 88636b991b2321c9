# make-telvorn-mbr.ps1 -Disk <number> -Boot <boot.img> -Out <file>
#
# Writes to -Out the 512 bytes that are to become sector 0 of \\.\PhysicalDrive<Disk>: bytes
# 0-439 of the GRUB boot image, then bytes 440-511 of the disk's own sector 0 (disk signature,
# partition table, 55 AA), with the boot-drive check jump at 0x66 turned into two NOPs as GRUB's
# installer does for hard disks. Nothing is written to the disk itself, and nothing at all
# when a check fails. core.img, beside the boot image, is later written to sectors 1-591.
#
# Exit codes (a refusal also prints one line on standard error):
#    0  the image was written to -Out
#    1  PowerShell itself failed (the script could not run to its end)
#    2  parameters missing or malformed (-Disk must be a number, -Boot and -Out paths)
#    3  -Boot is not exactly 512 bytes, or not a GRUB boot image for a core image at
#       sector 1 (EB 63 90 at 0, LBA 1 in the 8 bytes at 0x5C, FF at 0x64)
#    4  core.img is missing beside -Boot, or larger than 591 sectors (it would be cut)
#    5  the disk is not the one holding this script's drive, or Windows reports it as its
#       system or boot disk
#    6  sectors 0 and 1 of the disk cannot be read, or its sectors are not 512 bytes
#    7  sector 0 does not end in 55 AA, or a partition entry has a boot flag other than
#       00 or 80
#    8  the disk is GPT: an entry of type EE, or "EFI PART" at the start of sector 1
#    9  no room for core.img: the lowest start sector of all used entries (any slot,
#       extended ones included) is below 592, or there is no partition entry at all
#   10  -Out cannot be written
param([string]$Disk, [string]$Boot, [string]$Out)
$ErrorActionPreference = 'Stop'

function Refuse([int]$Code, [string]$Text) {
    [Console]::Error.WriteLine($Text)
    exit $Code
}

if ($Disk -notmatch '^[0-9]+$' -or -not $Boot -or -not $Out) {
    Refuse 2 'usage: -Disk <number> -Boot <boot.img> -Out <file>'
}
$number = [int]$Disk

try { $bootBytes = [IO.File]::ReadAllBytes($Boot) } catch { $bootBytes = @() }
if ($bootBytes.Length -ne 512 -or $bootBytes[0] -ne 0xEB -or $bootBytes[1] -ne 0x63 -or
    $bootBytes[2] -ne 0x90 -or [BitConverter]::ToUInt64($bootBytes, 0x5C) -ne 1 -or
    $bootBytes[0x64] -ne 0xFF) {
    Refuse 3 'the boot image is not a 512-byte GRUB boot image for a core image at sector 1'
}

$core = Join-Path (Split-Path -Parent $Boot) 'core.img'
if (-not (Test-Path -LiteralPath $core -PathType Leaf) -or
    (Get-Item -LiteralPath $core).Length -gt 591 * 512) {
    Refuse 4 'core.img is missing beside the boot image or larger than 591 sectors'
}

try {
    $ownDisk = (Get-Partition -DriveLetter $PSScriptRoot[0]).DiskNumber
    $info = Get-Disk -Number $number
} catch {
    Refuse 5 'the disk is not the one of this drive, or it is the system or boot disk'
}
if ($ownDisk -ne $number -or $info.IsSystem -or $info.IsBoot) {
    Refuse 5 'the disk is not the one of this drive, or it is the system or boot disk'
}

$head = New-Object byte[] 1024
$got = 0
try {
    $stream = New-Object IO.FileStream("\\.\PhysicalDrive$number", [IO.FileMode]::Open,
        [IO.FileAccess]::Read, [IO.FileShare]::ReadWrite)
    try { $got = $stream.Read($head, 0, 1024) } finally { $stream.Dispose() }
} catch { $got = 0 }
if ($got -ne 1024 -or $info.LogicalSectorSize -ne 512) {
    Refuse 6 'the first two 512-byte sectors of the disk cannot be read'
}

if ($head[510] -ne 0x55 -or $head[511] -ne 0xAA) {
    Refuse 7 'sector 0 is not a valid MBR (signature or boot flag)'
}
foreach ($slot in 0..3) {
    $flag = $head[446 + 16 * $slot]
    if ($flag -ne 0x00 -and $flag -ne 0x80) {
        Refuse 7 'sector 0 is not a valid MBR (signature or boot flag)'
    }
}
foreach ($slot in 0..3) {
    if ($head[446 + 16 * $slot + 4] -eq 0xEE) { Refuse 8 'the disk is partitioned with GPT' }
}
if ([Text.Encoding]::ASCII.GetString($head, 512, 8) -eq 'EFI PART') {
    Refuse 8 'the disk is partitioned with GPT'
}

# A used entry is one with any byte set; its start bounds the room left after sector 0.
$lowest = $null
foreach ($slot in 0..3) {
    $entry = 446 + 16 * $slot
    if (@($head[$entry..($entry + 15)] | Where-Object { $_ -ne 0 }).Count -eq 0) { continue }
    $start = [BitConverter]::ToUInt32($head, $entry + 8)
    if ($null -eq $lowest -or $start -lt $lowest) { $lowest = $start }
}
if ($null -eq $lowest -or $lowest -lt 592) {
    Refuse 9 'no room for core.img: a partition starts below sector 592'
}

$image = New-Object byte[] 512
[Array]::Copy($bootBytes, 0, $image, 0, 440)
[Array]::Copy($head, 440, $image, 440, 72)
$image[0x66] = 0x90
$image[0x67] = 0x90
try { [IO.File]::WriteAllBytes($Out, $image) } catch { Refuse 10 'the output image cannot be written' }
exit 0
