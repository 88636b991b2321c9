#include "sys/system_partition.h"

#include <windows.h>

#include "sys/handles.h"
#include "sys/physical_drive.h"

std::wstring SystemPartitionDevice(const std::wstring& ntPath) {
    if (ntPath.size() < 2 || ntPath[0] != L'\\' || ntPath[1] == L'\\') {
        return {};
    }
    return L"\\\\?\\GLOBALROOT" + ntPath;
}

int SystemPartitionDiskNumber() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return -1;
    }
    RegistryKey setup(opened);
    wchar_t value[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(wchar_t); // room for a terminator the value may lack
    if (RegQueryValueExW(setup.Get(), L"SystemPartition", nullptr, &type,
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return -1;
    }
    std::wstring path(value, size / sizeof(wchar_t));
    while (!path.empty() && path.back() == L'\0') {
        path.pop_back();
    }
    const std::wstring device = SystemPartitionDevice(path);
    return device.empty() ? -1 : DiskNumberOfVolume(device);
}
