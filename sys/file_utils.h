#pragma once
// Small file-system operations shared by start-up and the loader actions. None shows or logs;
// whole-file reads and writes let the calling thread's window answer between blocks.
#include <windows.h>

#include <string>
#include <vector>

bool FileExists(const std::wstring& path);
// The copy never keeps the read-only mark (files taken from an ISO carry it), so the next
// install can replace it; hidden and system stay as copied. Written through its own handle and
// flushed: a rename over another file may reach the disk before data left in a cache.
bool CopyFileOverwrite(const std::wstring& source, const std::wstring& target);
// Moves a file over an existing one and returns only once the move is on the disk.
bool MoveFileReplacing(const std::wstring& source, const std::wstring& target);
// Up to `maxBytes` from the start of a file; empty when it cannot be read.
std::string ReadFileStart(const std::wstring& path, size_t maxBytes);
// The whole content of a file; false when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
// Creates or replaces a file with `bytes` and returns only once they are on the disk.
bool WriteFileFlushed(const std::wstring& path, const std::string& bytes,
                      DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// A plain copy of the bytes, flushed; no attributes come along.
bool CopyFileFlushed(const std::wstring& from, const std::wstring& to);
// Replaces a file with `bytes` through a temporary beside it, so a stop leaves either the old
// content or the new one, never a cut file.
bool ReplaceFileContent(const std::wstring& path, const std::string& bytes);
// The name a new file waits under beside its target until it replaces it.
std::wstring TemporaryName(const std::wstring& target);
// Removes a file even when it carries a read-only mark; true when it is gone.
bool DiscardFile(const std::wstring& path);
// `count` whole 512-byte sectors from sector `first` of a disk, through a handle that lets the
// mounted volumes go on; false unless every byte was read.
bool ReadDiskSectors(const std::wstring& diskPath, unsigned long long first, unsigned count,
                     std::string& bytes);
// The size of an existing file that is not a directory; false otherwise.
bool FileSizeOf(const std::wstring& path, unsigned long long& bytes);
bool DeleteFileIfAny(const std::wstring& path);
bool CreateDirectories(const std::wstring& path);
std::wstring GetModuleDirectory();

// The paths CreateDirectories passes to CreateDirectoryW for `path`, outermost first. The root
// prefix ("X:\" or "\\") is never among them; empty for an empty path.
std::vector<std::wstring> DirectoryCreationSteps(const std::wstring& path);
// Whether an existing target would be refused by CopyFileW on Windows: a read-only target, or a
// hidden or system one whose attribute the source does not carry.
bool CopyTargetRefused(DWORD sourceAttributes, DWORD targetAttributes);
// `path` cut before its last backslash or slash; the whole path when it has none.
std::wstring DirectoryPart(const std::wstring& path);
// The running executable's full path, read with a first buffer of `firstBufferSize` characters
// that grows until the path fits; empty on failure.
std::wstring GetModulePath(unsigned firstBufferSize);
