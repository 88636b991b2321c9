// Reads the resources back from the built program, as Windows will see them.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "res/resource_ids.h"
#include "tests/support/sim_drive.h"

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

struct ResourceModule {
    HMODULE module;
    explicit ResourceModule(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    ~ResourceModule() {
        if (module) {
            FreeLibrary(module);
        }
    }
};

std::string ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
    HRSRC info = FindResourceW(module, name, type);
    if (!info) {
        return {};
    }
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return {};
    }
    return std::string(static_cast<const char*>(data), SizeofResource(module, info));
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
           (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
}

// Width and bits per pixel of one icon image, read from the image itself (PNG or BMP).
bool ImageFormat(const std::string& image, int& width, int& bitsPerPixel) {
    if (image.size() > 26 && image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
        width = static_cast<int>(BigEndian32(image, 16));
        const int depth = uint8_t(image[24]);
        const int colourType = uint8_t(image[25]);
        bitsPerPixel = colourType == 6 ? depth * 4 : 0; // only RGBA counts as 32 bpp
        return true;
    }
    if (image.size() >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof(header));
        width = header.biWidth;
        bitsPerPixel = header.biBitCount;
        return header.biSize == sizeof(BITMAPINFOHEADER);
    }
    return false;
}

std::wstring ProgramPath() {
    return BuildDir() + L"\\quillmere.exe";
}

} // namespace

TEST(ProgramResources, IconOneHoldsTheFiveSizesAt32BitsAndEachImageLoads) {
    ResourceModule exe(ProgramPath());
    ASSERT_NE(exe.module, nullptr) << "cannot open " << testing::PrintToString(ProgramPath());

    const std::string group =
        ResourceBytes(exe.module, MAKEINTRESOURCEW(IDI_QUILLMERE), RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    GroupIconHeader header;
    memcpy(&header, group.data(), sizeof(header));
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 5);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + header.count * sizeof(GroupIconEntry));

    std::set<int> sizes;
    for (int i = 0; i < header.count; ++i) {
        GroupIconEntry entry;
        memcpy(&entry, group.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        const int side = entry.width == 0 ? 256 : entry.width;
        EXPECT_EQ(entry.width, entry.height);
        EXPECT_EQ(entry.bitCount, 32) << side;
        sizes.insert(side);

        const std::string image = ResourceBytes(exe.module, MAKEINTRESOURCEW(entry.id), RT_ICON);
        ASSERT_EQ(image.size(), entry.bytesInRes) << side;
        int width = 0;
        int bits = 0;
        ASSERT_TRUE(ImageFormat(image, width, bits)) << side;
        EXPECT_EQ(width, side);
        EXPECT_EQ(bits, 32) << side;

        HICON icon = CreateIconFromResourceEx(
            reinterpret_cast<PBYTE>(const_cast<char*>(image.data())),
            static_cast<DWORD>(image.size()), TRUE, 0x00030000, side, side, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << "image of " << side << " px does not load";
        if (icon) {
            DestroyIcon(icon);
        }
    }
    EXPECT_EQ(sizes, (std::set<int>{256, 48, 32, 24, 16}));

    // What the window class and the window ask for.
    HICON icon = LoadIconW(exe.module, MAKEINTRESOURCEW(IDI_QUILLMERE));
    EXPECT_NE(icon, nullptr);
}

TEST(ProgramResources, ManifestAsksForAdministratorDpiAwarenessCommonControls6AndItsSystems) {
    ResourceModule exe(ProgramPath());
    ASSERT_NE(exe.module, nullptr);
    const std::string manifest = ResourceBytes(exe.module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());

    auto element = [&](const std::string& opening) {
        const size_t start = manifest.find(opening);
        if (start == std::string::npos) {
            return std::string();
        }
        return manifest.substr(start, manifest.find('>', start) - start + 1);
    };
    EXPECT_NE(element("<requestedExecutionLevel ").find("level=\"requireAdministrator\""),
              std::string::npos);
    // One manifest serves the x64 and the x86 exe, and Windows refuses to start an exe whose own
    // identity names another processor: the program's identity names none.
    EXPECT_EQ(element("<assemblyIdentity ").find("processorArchitecture"), std::string::npos)
        << element("<assemblyIdentity ");

    // Each in the namespace without which Windows ignores it.
    const struct {
        std::string opening, value;
    } dpiSettings[] = {
        {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">", "true"},
        {"<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">",
         "PerMonitorV2, PerMonitor"},
    };
    for (const auto& setting : dpiSettings) {
        const size_t at = manifest.find(setting.opening);
        ASSERT_NE(at, std::string::npos) << setting.opening;
        const size_t value = at + setting.opening.size();
        EXPECT_EQ(manifest.substr(value, manifest.find('<', value) - value), setting.value);
    }

    const size_t dependency = manifest.find("<dependentAssembly>");
    ASSERT_NE(dependency, std::string::npos);
    const size_t identity = manifest.find("<assemblyIdentity", dependency);
    ASSERT_NE(identity, std::string::npos);
    const std::string common = manifest.substr(identity, manifest.find('>', identity) - identity);
    EXPECT_NE(common.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
    EXPECT_NE(common.find("version=\"6.0.0.0\""), std::string::npos);

    // Windows 7, 8, 8.1 and 10/11, as Microsoft names them.
    for (const char* system :
         {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + system + "\"/>"),
                  std::string::npos)
            << system;
    }
}

TEST(ProgramResources, VersionIsTheProjectsWithProductNameQuillmere) {
    // version.dll is loaded here only, so the program itself keeps its short import list.
    HMODULE version = LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(version, nullptr);
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    auto getSize = reinterpret_cast<SizeFn>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeW")));
    auto getInfo = reinterpret_cast<InfoFn>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoW")));
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueW")));
    ASSERT_TRUE(getSize && getInfo && query);

    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = getSize(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(getInfo(path.c_str(), 0, size, &block[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    const DWORD high = (QUILLMERE_VERSION_MAJOR << 16) | QUILLMERE_VERSION_MINOR;
    const DWORD low = (QUILLMERE_VERSION_PATCH << 16) | QUILLMERE_VERSION_TWEAK;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);

    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    ASSERT_TRUE(query(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<LPVOID*>(&translation), &length));
    ASSERT_GE(length, sizeof(Translation));
    wchar_t prefix[64];
    swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
             translation->codePage);
    auto text = [&](const wchar_t* key) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        const std::wstring name = std::wstring(prefix) + key;
        if (!query(block.data(), name.c_str(), reinterpret_cast<LPVOID*>(&value), &chars) ||
            !value) {
            return std::wstring();
        }
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"ProductName"), L"Quillmere");
    EXPECT_EQ(text(L"FileVersion"), L"" QUILLMERE_VERSION);
    EXPECT_EQ(text(L"ProductVersion"), L"" QUILLMERE_VERSION);
    FreeLibrary(version);
}
