// The volume flush of the test build. Wine opens "\\.\E:" but answers its flush with
// ERROR_INVALID_FUNCTION, so the file standing for the drive's disk (QUILLMERE_TEST_DISK_<N>) is
// flushed instead, or the drive's root folder where no disk file is named.
// QUILLMERE_TEST_FLUSH_FAIL lists the flushes that fail ("1", "2,3"), counted from the first
// flush after the variable took its value. Linked into quillmere-testdisk.exe and the unit tests.
#include "sys/handles.h"
#include "sys/physical_drive.h"
#include "sys/test_disk_number.h"

namespace {

bool ListedFlushFails() {
    static std::wstring counted;
    static int flushes = 0;
    const std::wstring value = TestVariable(L"QUILLMERE_TEST_FLUSH_FAIL");
    if (value != counted) {
        counted = value;
        flushes = 0;
    }
    const std::wstring number = std::to_wstring(++flushes);
    return (L"," + value + L",").find(L"," + number + L",") != std::wstring::npos;
}

} // namespace

bool FlushVolume(const std::wstring& root) {
    if (root.empty() || ListedFlushFails()) {
        return false;
    }
    const std::wstring image = PhysicalDrivePath(GetVolumeLocation(root[0]).disk);
    const bool onImage =
        !image.empty() && GetFileAttributesW(image.c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::wstring path = onImage ? image : root + L"\\";
    FileHandle flushed(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   onImage ? 0 : FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return flushed.Valid() && FlushFileBuffers(flushed.Get()) != FALSE;
}
