#pragma once
// The disk number the test build reports for QUILLMERE_TEST_PHYSICAL_DRIVE's value. Inline: the
// test build's disk library is linked after the core, so it cannot reach a core object.
#include <climits>
#include <string>

// Decimal digits only, within int; anything else (empty, a sign, blanks, trailing text,
// overflow) is -1, the answer for a disk that cannot be found.
inline int ParseTestDiskNumber(const std::wstring& value) {
    if (value.empty()) {
        return -1;
    }
    long long number = 0;
    for (wchar_t c : value) {
        if (c < L'0' || c > L'9') {
            return -1;
        }
        number = number * 10 + (c - L'0');
        if (number > INT_MAX) {
            return -1;
        }
    }
    return static_cast<int>(number);
}
