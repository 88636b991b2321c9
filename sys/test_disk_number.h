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

inline wchar_t UpperDriveLetter(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The disk of drive `letter` for the variable's value, given the letter of the drive that holds
// the Windows directory:
// - one number: that disk for every letter except the Windows directory's drive, which answers
//   -1, so a run with one number has a known disk that is never the Windows disk;
// - "C=0,E=1,F=1": the named disk per letter (letters in either case), -1 for unnamed letters;
//   anything malformed answers -1 for every letter.
inline int TestDiskNumber(const std::wstring& value, wchar_t letter, wchar_t windowsLetter) {
    if (value.find(L'=') == std::wstring::npos) {
        return UpperDriveLetter(letter) == UpperDriveLetter(windowsLetter)
                   ? -1
                   : ParseTestDiskNumber(value);
    }
    int answer = -1;
    size_t start = 0;
    for (;;) {
        const size_t end = value.find(L',', start);
        const std::wstring item = value.substr(start, end - start);
        const wchar_t named = item.empty() ? L'\0' : UpperDriveLetter(item[0]);
        const int disk =
            item.size() > 2 && item[1] == L'=' ? ParseTestDiskNumber(item.substr(2)) : -1;
        if (named < L'A' || named > L'Z' || disk < 0) {
            return -1;
        }
        if (answer < 0 && named == UpperDriveLetter(letter)) {
            answer = disk;
        }
        if (end == std::wstring::npos) {
            return answer;
        }
        start = end + 1;
    }
}
