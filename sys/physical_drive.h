#pragma once
// The number N of \\.\PhysicalDriveN that holds a drive letter's volume; -1 on failure.
int GetPhysicalDriveNumber(wchar_t driveLetter);
