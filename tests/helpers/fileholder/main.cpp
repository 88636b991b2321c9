// fileholder <event name> <file>...: opens every file without any sharing, so nobody else can
// delete, rename or write it, sets "<event name>-ready" and keeps the files open until
// "<event name>-stop" is set (or a minute has passed). Exit code 0 when every file was held.
#include <windows.h>

#include <string>
#include <vector>

#include "sys/handles.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::wstring name = argv[1];
    KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, (name + L"-ready").c_str()));
    KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, (name + L"-stop").c_str()));
    if (!ready.Valid() || !stop.Valid()) {
        return 2;
    }
    std::vector<FileHandle> held;
    for (int i = 2; i < argc; ++i) {
        FileHandle file(CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) {
            return 1;
        }
        held.push_back(std::move(file));
    }
    SetEvent(ready.Get());
    WaitForSingleObject(stop.Get(), 60000);
    return 0;
}
