#include "sys/handles.h"
#include "sys/physical_drive.h"

bool FlushVolume(const std::wstring& root) {
    const std::wstring device = L"\\\\.\\" + root;
    FileHandle volume(CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    return volume.Valid() && FlushFileBuffers(volume.Get()) != FALSE;
}
