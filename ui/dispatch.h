#pragma once
// Texts of the action dispatch, built as values so they can be compared byte for byte.
#include <string>

// Shown when the drive can no longer be confirmed as the assembly's drive.
std::wstring TargetRefusalText(const std::wstring& installerRoot);
