#pragma once
// What the test build reports for its disk variables. Inline: the test build's disk library is
// linked after the core, so it cannot reach a core object.
#include <windows.h>

#include <climits>
#include <string>

// The variable's value; empty when unset.
inline std::wstring TestVariable(const std::wstring& name) {
    const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name.c_str(), &value[0], needed);
    value.resize(length < needed ? length : 0);
    return value;
}

// Decimal digits only, up to `limit`; anything else (empty, a sign, blanks, trailing text,
// overflow) is -1, the answer for what cannot be found.
inline long long ParseTestNumber(const std::wstring& value, long long limit) {
    if (value.empty()) {
        return -1;
    }
    long long number = 0;
    for (wchar_t c : value) {
        if (c < L'0' || c > L'9') {
            return -1;
        }
        number = number * 10 + (c - L'0');
        if (number > limit) {
            return -1;
        }
    }
    return number;
}

inline int ParseTestDiskNumber(const std::wstring& value) {
    return static_cast<int>(ParseTestNumber(value, INT_MAX));
}

inline wchar_t UpperDriveLetter(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The value a "C=0,E=1,F=1" list names for drive `letter` (letters in either case), -1 for an
// unnamed letter; anything malformed answers -1 for every letter.
inline long long TestValueOfLetter(const std::wstring& value, wchar_t letter, long long limit) {
    long long answer = -1;
    size_t start = 0;
    for (;;) {
        const size_t end = value.find(L',', start);
        const std::wstring item = value.substr(start, end - start);
        const wchar_t named = item.empty() ? L'\0' : UpperDriveLetter(item[0]);
        const long long number =
            item.size() > 2 && item[1] == L'=' ? ParseTestNumber(item.substr(2), limit) : -1;
        if (named < L'A' || named > L'Z' || number < 0) {
            return -1;
        }
        if (answer < 0 && named == UpperDriveLetter(letter)) {
            answer = number;
        }
        if (end == std::wstring::npos) {
            return answer;
        }
        start = end + 1;
    }
}

// The disk of drive `letter` for QUILLMERE_TEST_PHYSICAL_DRIVE's value, given the letter of the
// drive that holds the Windows directory:
// - one number: that disk for every letter except the Windows directory's drive, which answers
//   -1, so a run with one number has a known disk that is never the Windows disk;
// - a "C=0,E=1,F=1" list.
inline int TestDiskNumber(const std::wstring& value, wchar_t letter, wchar_t windowsLetter) {
    if (value.find(L'=') == std::wstring::npos) {
        return UpperDriveLetter(letter) == UpperDriveLetter(windowsLetter)
                   ? -1
                   : ParseTestDiskNumber(value);
    }
    return static_cast<int>(TestValueOfLetter(value, letter, INT_MAX));
}

// The partition start of drive `letter` for QUILLMERE_TEST_PARTITION_START's value: one number
// for every letter, or a "E=2048,F=133120" list.
inline long long TestPartitionStart(const std::wstring& value, wchar_t letter) {
    constexpr long long Limit = 0x7FFFFFFFFFFFLL; // far beyond any disk, far from overflow
    return value.find(L'=') == std::wstring::npos ? ParseTestNumber(value, Limit)
                                                  : TestValueOfLetter(value, letter, Limit);
}
