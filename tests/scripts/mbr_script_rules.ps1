# Runs the byte rules of the shipped make-telvorn-mbr.ps1 on the cases a test wrote, so the test
# can hold them against the C++ stand-in's. Dot-sourcing the script defines its parameters as
# variables here too, so this file's own names avoid -Disk, -Boot and -Out.
#
# Case lines, fields separated by "|":
#   boot|NAME|FILE             the boot image check
#   core|NAME|LENGTH           the core image bounds
#   choice|NAME|N,OWN,SYSTEM   the disk choice
#   flag|NAME|SYSTEM,WINPE     Windows' system or boot flag (0 or 1 each)
#   index|NAME|COUNT           the first disk index of a WMI answer of COUNT nulls
#   head|NAME|FILE             the disk head check (sectors 0 and 1)
#   image|NAME|BOOTFILE|HEADFILE  the composed sector 0, in hex
#   run|NAME|N|BOOTFILE|OUTFILE   the whole script as the program runs it: its exit code
# Result lines: "parse|ERRORS", "reader|CODE" (Add-Type made to fail), "native|0 or 1", then
# "NAME|CODE" or "NAME|HEX" per case.
param([string]$ScriptPath, [string]$CaseFile, [string]$ResultFile)
$ErrorActionPreference = 'Stop'

$tokens = $null
$parseErrors = $null
[void][System.Management.Automation.Language.Parser]::ParseFile($ScriptPath, [ref]$tokens, [ref]$parseErrors)
$results = New-Object System.Collections.Generic.List[string]
$results.Add('parse|' + $parseErrors.Count)

. $ScriptPath

# A function outranks the cmdlet of its name: Add-Type fails as it does without a compiler.
function Add-Type { throw 'no compiler' }
$results.Add('reader|' + (Get-DiskReaderCode))
Remove-Item function:Add-Type

$native = 0
try {
    Import-RawDisk
    if ([TelvornRawDisk].GetMethod('CreateFileW')) { $native = 1 }
} catch { $native = 0 }
$results.Add('native|' + $native)

function ConvertTo-Hex([byte[]]$Bytes) {
    return [BitConverter]::ToString($Bytes).Replace('-', '')
}

foreach ($line in [IO.File]::ReadAllLines($CaseFile)) {
    $fields = $line.Split('|')
    $name = $fields[1]
    switch ($fields[0]) {
        'boot' { $value = Get-BootImageCode ([IO.File]::ReadAllBytes($fields[2])) }
        'core' { $value = Get-CoreImageCode ([long]$fields[2]) }
        'choice' {
            $n = $fields[2].Split(',')
            $value = Get-DiskChoiceCode ([long]$n[0]) ([long]$n[1]) ([long]$n[2])
        }
        'flag' {
            $f = $fields[2].Split(',')
            $value = Get-SystemFlagCode ($f[0] -eq '1') ($f[1] -eq '1')
        }
        'index' { $value = Get-FirstDiskIndex (@($null) * [int]$fields[2]) }
        'head' { $value = Get-DiskHeadCode ([IO.File]::ReadAllBytes($fields[2])) }
        'image' {
            $image = New-MbrImage ([IO.File]::ReadAllBytes($fields[2])) ([IO.File]::ReadAllBytes($fields[3]))
            $value = ConvertTo-Hex $image
        }
        'run' {
            & $ScriptPath -Disk $fields[2] -Boot $fields[3] -Out $fields[4] 2>$null
            $value = $LASTEXITCODE
        }
    }
    $results.Add($name + '|' + $value)
}
[IO.File]::WriteAllLines($ResultFile, $results)
