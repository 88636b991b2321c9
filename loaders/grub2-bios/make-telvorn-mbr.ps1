# make-telvorn-mbr.ps1 -Disk <number> -Boot <boot.img> -Out <file>
#
# Writes to -Out the 512 bytes that are to become sector 0 of \\.\PhysicalDrive<Disk>: bytes
# 0-439 of the GRUB boot image, then bytes 440-511 of the disk's own sector 0 (disk signature,
# partition table, 55 AA), with the boot-drive check jump at 0x66 turned into two NOPs as GRUB's
# installer does for hard disks. Nothing is written to the disk itself, and nothing at all
# when a check fails. core.img, beside the boot image, is later written to sectors 1-591.
#
# Runs on Windows PowerShell 2.0 (Windows 7 SP1) to 5.1 (Windows 8 to 11) and on WinPE with its
# PowerShell component, so it keeps to PowerShell 2.0's language. Windows PowerShell runs on .NET
# Framework, whose FileStream refuses "\\.\" paths: the disk is opened with CreateFileW
# (declared through Add-Type) and read through a FileStream over that handle. Get-Disk and
# Get-Partition exist only from Windows 8; without them the disk numbers come from WMI. Under
# WinPE (HKLM\SYSTEM\CurrentControlSet\Control\MiniNT exists) the drive it started from may be
# reported as system or boot disk; that is no refusal there.
#
# Exit codes (a refusal also prints one line on standard error):
#    0  the image was written to -Out
#    1  PowerShell itself failed (the script could not run to its end)
#    2  parameters missing or malformed (-Disk must be a number, -Boot and -Out paths)
#    3  -Boot is not exactly 512 bytes, or not a GRUB boot image for a core image at
#       sector 1 (EB 63 90 at 0, LBA 1 in the 8 bytes at 0x5C, FF at 0x64)
#    4  core.img is missing beside -Boot, shorter than one sector, or larger than 591
#       sectors (it would be cut)
#    5  the disk is not the one holding this script's drive, or it is the disk of the
#       Windows directory, or Windows reports it as its system or boot disk
#    6  sectors 0 and 1 of the disk cannot be read, or its sectors are not 512 bytes
#    7  sector 0 does not end in 55 AA, or a partition entry has a boot flag other than
#       00 or 80
#    8  the disk is GPT: an entry of type EE, or "EFI PART" at the start of sector 1
#    9  no room for core.img: the lowest start sector of all used entries (any slot,
#       extended ones included) is below 592, or there is no partition entry at all
#   10  -Out cannot be written
#   11  disk information unavailable: neither Get-Partition nor WMI names the disk of this
#       script's drive
#   12  the disk reader cannot be built: Add-Type failed (no C# compiler in the image,
#       Constrained Language mode)
param([string]$Disk, [string]$Boot, [string]$Out)

# The program's tests read these lines and hold its stand-in to the same numbers.
$SectorSize = 512
$CoreImageSectors = 591
$FirstFreeSector = 592
$KernelSectorOffset = 0x5C
$BootDriveOffset = 0x64
$DriveCheckOffset = 0x66
$BootCodeBytes = 440
$PartitionTableOffset = 446

$Written = 0
$BadArguments = 2
$NotGrubBootImage = 3
$CoreImageUnfit = 4
$WrongDisk = 5
$DiskUnreadable = 6
$NoValidMbr = 7
$GptDisk = 8
$NoRoomForCore = 9
$OutputNotWritten = 10
$DiskInfoUnavailable = 11
$DiskReaderUnbuilt = 12

# ---- Byte rules: values in, a code or bytes out; no I/O. ----

function Get-LittleEndian([byte[]]$Bytes, [int]$Offset, [int]$Width) {
    [uint64]$value = 0
    for ($i = $Width - 1; $i -ge 0; $i--) {
        $value = $value * 256 + $Bytes[$Offset + $i]
    }
    return $value
}

function Get-BootImageCode([byte[]]$BootBytes) {
    if ($null -eq $BootBytes -or $BootBytes.Length -ne $SectorSize) { return $NotGrubBootImage }
    if ($BootBytes[0] -ne 0xEB -or $BootBytes[1] -ne 0x63 -or $BootBytes[2] -ne 0x90 -or
        (Get-LittleEndian $BootBytes $KernelSectorOffset 8) -ne 1 -or
        $BootBytes[$BootDriveOffset] -ne 0xFF) {
        return $NotGrubBootImage
    }
    return $Written
}

# Less than a sector is no core image; more than 591 would be cut by the sector write.
function Get-CoreImageCode([long]$Length) {
    if ($Length -lt $SectorSize -or $Length -gt $CoreImageSectors * $SectorSize) {
        return $CoreImageUnfit
    }
    return $Written
}

# OwnDisk: the disk of this script's drive, negative when nothing could tell it. SystemDisk:
# the disk of the Windows directory's drive, negative when unknown (WinPE's RAM disk).
function Get-DiskChoiceCode([long]$Number, [long]$OwnDisk, [long]$SystemDisk) {
    if ($OwnDisk -lt 0) { return $DiskInfoUnavailable }
    if ($OwnDisk -ne $Number -or ($SystemDisk -ge 0 -and $SystemDisk -eq $Number)) {
        return $WrongDisk
    }
    return $Written
}

# Windows' own word on the disk: its system or boot disk is refused, except under WinPE, where it
# is the drive WinPE started from.
function Get-SystemFlagCode([bool]$IsSystemOrBoot, [bool]$WinPe) {
    if ($IsSystemOrBoot -and -not $WinPe) { return $WrongDisk }
    return $Written
}

# The Index of the first disk drive in a WMI answer, -1 for none. PowerShell 2.0 runs a foreach
# once over $null, so an empty answer must not read as disk 0.
function Get-FirstDiskIndex($Drives) {
    foreach ($drive in $Drives) {
        if ($null -ne $drive -and $null -ne $drive.Index) { return [int]$drive.Index }
    }
    return -1
}

# Head: sectors 0 and 1 of the disk.
function Get-DiskHeadCode([byte[]]$Head) {
    if ($null -eq $Head -or $Head.Length -lt 2 * $SectorSize) { return $DiskUnreadable }
    if ($Head[510] -ne 0x55 -or $Head[511] -ne 0xAA) { return $NoValidMbr }
    foreach ($slot in 0..3) {
        $flag = $Head[$PartitionTableOffset + 16 * $slot]
        if ($flag -ne 0x00 -and $flag -ne 0x80) { return $NoValidMbr }
    }
    foreach ($slot in 0..3) {
        if ($Head[$PartitionTableOffset + 16 * $slot + 4] -eq 0xEE) { return $GptDisk }
    }
    if ([Text.Encoding]::ASCII.GetString($Head, $SectorSize, 8) -eq 'EFI PART') { return $GptDisk }
    # A used entry is one with any byte set; its start bounds the room left after sector 0.
    $lowest = $null
    foreach ($slot in 0..3) {
        $entry = $PartitionTableOffset + 16 * $slot
        $used = $false
        for ($i = 0; $i -lt 16; $i++) { if ($Head[$entry + $i] -ne 0) { $used = $true } }
        if (-not $used) { continue }
        $start = Get-LittleEndian $Head ($entry + 8) 4
        if ($null -eq $lowest -or $start -lt $lowest) { $lowest = $start }
    }
    if ($null -eq $lowest -or $lowest -lt $FirstFreeSector) { return $NoRoomForCore }
    return $Written
}

# The boot image's code with the disk's own table and signature; the boot-drive check jump
# becomes two NOPs, since the BIOS drive number is trusted on a hard disk.
function New-MbrImage([byte[]]$BootBytes, [byte[]]$Head) {
    $image = New-Object byte[] $SectorSize
    [Array]::Copy($BootBytes, 0, $image, 0, $BootCodeBytes)
    [Array]::Copy($Head, $BootCodeBytes, $image, $BootCodeBytes, $SectorSize - $BootCodeBytes)
    $image[$DriveCheckOffset] = 0x90
    $image[$DriveCheckOffset + 1] = 0x90
    # The comma keeps PowerShell from unrolling the array into loose bytes.
    return , $image
}

# ---- Windows: disk numbers and the raw read. ----

function Import-RawDisk {
    if ('TelvornRawDisk' -as [type]) { return }
    Add-Type -TypeDefinition @'
using System;
using System.Runtime.InteropServices;
using Microsoft.Win32.SafeHandles;

public static class TelvornRawDisk {
    [DllImport("kernel32.dll", CharSet = CharSet.Unicode, SetLastError = true)]
    public static extern SafeFileHandle CreateFileW(string fileName, uint desiredAccess,
        uint shareMode, IntPtr securityAttributes, uint creationDisposition,
        uint flagsAndAttributes, IntPtr templateFile);
}
'@
}

# Sectors 0 and 1 of \\.\PhysicalDrive<Number>, or $null. The stream and the handle are
# released on every path.
function Read-DiskHead([int]$Number) {
    $genericRead = [uint32]2147483648
    $shareReadWrite = [uint32]3
    $openExisting = [uint32]3
    $handle = $null
    $stream = $null
    try {
        $handle = [TelvornRawDisk]::CreateFileW("\\.\PhysicalDrive$Number", $genericRead,
            $shareReadWrite, [IntPtr]::Zero, $openExisting, 0, [IntPtr]::Zero)
        if ($handle.IsInvalid) { return $null }
        # A raw disk reads whole sectors only: the stream's 4096-byte buffer keeps every
        # read aligned.
        $stream = New-Object IO.FileStream($handle, [IO.FileAccess]::Read, 4096)
        $head = New-Object byte[] (2 * $SectorSize)
        $got = 0
        while ($got -lt $head.Length) {
            $n = $stream.Read($head, $got, $head.Length - $got)
            if ($n -le 0) { break }
            $got += $n
        }
        if ($got -ne $head.Length) { return $null }
        return , $head
    } catch {
        return $null
    } finally {
        if ($null -ne $stream) { $stream.Dispose() }
        if ($null -ne $handle) { $handle.Dispose() }
    }
}

function Test-Command([string]$Name) {
    return $null -ne (Get-Command $Name -ErrorAction SilentlyContinue)
}

# WMI through Get-WmiObject (Windows PowerShell), else through the CIM cmdlets.
function Invoke-WmiQuery([string]$Query) {
    if (Test-Command 'Get-WmiObject') { return @(Get-WmiObject -Query $Query -ErrorAction Stop) }
    if (Test-Command 'Get-CimInstance') { return @(Get-CimInstance -Query $Query -ErrorAction Stop) }
    return @()
}

# The disk that holds drive <Letter>: Get-Partition, else WMI's chain from the logical disk
# through its partition to the disk drive's Index. -1 when neither answers.
function Get-DiskOfDrive([string]$Letter) {
    if (-not $Letter) { return -1 }
    if (Test-Command 'Get-Partition') {
        try {
            $partition = Get-Partition -DriveLetter $Letter -ErrorAction Stop
            if ($null -ne $partition -and $null -ne $partition.DiskNumber) {
                return [int]$partition.DiskNumber
            }
        } catch { }
    }
    try {
        $partitions = Invoke-WmiQuery ("ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='" + $Letter +
            ":'} WHERE AssocClass=Win32_LogicalDiskToPartition")
        foreach ($partition in $partitions) {
            if ($null -eq $partition -or -not $partition.DeviceID) { continue }
            $index = Get-FirstDiskIndex (Invoke-WmiQuery ("ASSOCIATORS OF {Win32_DiskPartition.DeviceID='" +
                $partition.DeviceID + "'} WHERE AssocClass=Win32_DiskDriveToDiskPartition"))
            if ($index -ge 0) { return $index }
        }
    } catch { }
    return -1
}

# The disk's logical sector size and whether Windows calls it its system or boot disk.
function Get-DiskFacts([int]$Number) {
    $facts = @{ SectorSize = 0; IsSystem = $false }
    if (Test-Command 'Get-Disk') {
        try {
            $info = Get-Disk -Number $Number -ErrorAction Stop
            if ($null -ne $info) {
                $facts.SectorSize = [int]$info.LogicalSectorSize
                $facts.IsSystem = [bool]($info.IsSystem -or $info.IsBoot)
                return $facts
            }
        } catch { }
    }
    try {
        foreach ($drive in (Invoke-WmiQuery "SELECT * FROM Win32_DiskDrive WHERE Index=$Number")) {
            if ($null -ne $drive -and $null -ne $drive.BytesPerSector) {
                $facts.SectorSize = [int]$drive.BytesPerSector
            }
        }
    } catch { }
    return $facts
}

# The raw-read type, or the code that says it cannot be had.
function Get-DiskReaderCode {
    try { Import-RawDisk } catch { return $DiskReaderUnbuilt }
    if (-not ('TelvornRawDisk' -as [type])) { return $DiskReaderUnbuilt }
    return $Written
}

function Stop-WithCode([int]$Code, [string]$Text) {
    [Console]::Error.WriteLine($Text)
    exit $Code
}

# Dot-sourced (by the tests), the script only defines its rules.
if ($MyInvocation.InvocationName -eq '.') { return }

$ErrorActionPreference = 'Stop'

$number = 0
if ($Disk -notmatch '^[0-9]+$' -or -not [int]::TryParse($Disk, [ref]$number) -or -not $Boot -or
    -not $Out) {
    Stop-WithCode $BadArguments 'usage: -Disk <number> -Boot <boot.img> -Out <file>'
}

try { $bootBytes = [IO.File]::ReadAllBytes($Boot) } catch { $bootBytes = $null }
if ((Get-BootImageCode $bootBytes) -ne $Written) {
    Stop-WithCode $NotGrubBootImage 'the boot image is not a 512-byte GRUB boot image for a core image at sector 1'
}

$core = Join-Path (Split-Path -Parent $Boot) 'core.img'
$coreLength = -1
if (Test-Path -LiteralPath $core -PathType Leaf) { $coreLength = (Get-Item -LiteralPath $core).Length }
if ((Get-CoreImageCode $coreLength) -ne $Written) {
    Stop-WithCode $CoreImageUnfit 'core.img is missing beside the boot image, or not 1 to 591 sectors'
}

if ((Get-DiskReaderCode) -ne $Written) {
    Stop-WithCode $DiskReaderUnbuilt 'the disk reader cannot be built (Add-Type failed)'
}

# $PSScriptRoot is only set for scripts from PowerShell 3.0 on.
$scriptPath = $MyInvocation.MyCommand.Path
$scriptDrive = ''
if ($scriptPath.Length -ge 2 -and $scriptPath[1] -eq ':') { $scriptDrive = $scriptPath.Substring(0, 1) }
$ownDisk = Get-DiskOfDrive $scriptDrive
$systemDisk = -1
if ($env:SystemRoot) { $systemDisk = Get-DiskOfDrive ($env:SystemRoot.Substring(0, 1)) }
$choice = Get-DiskChoiceCode $number $ownDisk $systemDisk
if ($choice -eq $DiskInfoUnavailable) {
    Stop-WithCode $DiskInfoUnavailable 'disk information unavailable'
}
$facts = Get-DiskFacts $number
$winPe = Test-Path 'HKLM:\SYSTEM\CurrentControlSet\Control\MiniNT'
if ($choice -ne $Written -or (Get-SystemFlagCode $facts.IsSystem $winPe) -ne $Written) {
    Stop-WithCode $WrongDisk 'the disk is not the one of this drive, or it is the system or boot disk'
}

$head = Read-DiskHead $number
if ($null -eq $head -or $facts.SectorSize -ne $SectorSize) {
    Stop-WithCode $DiskUnreadable 'the first two 512-byte sectors of the disk cannot be read'
}

$headCode = Get-DiskHeadCode $head
if ($headCode -eq $NoValidMbr) { Stop-WithCode $NoValidMbr 'sector 0 is not a valid MBR (signature or boot flag)' }
if ($headCode -eq $GptDisk) { Stop-WithCode $GptDisk 'the disk is partitioned with GPT' }
if ($headCode -ne $Written) { Stop-WithCode $NoRoomForCore 'no room for core.img: a partition starts below sector 592' }

$image = New-MbrImage $bootBytes $head
try { [IO.File]::WriteAllBytes($Out, $image) } catch {
    Stop-WithCode $OutputNotWritten 'the output image cannot be written'
}
exit $Written
