// Removing an Android folder of 20,000 small files in 2,000 folders: the cleanup against the
// command interpreter's "rd /s /q" on an identical tree under the same Wine, with the host's
// "rm -rf" as the floor. Prints figures; decides nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cleanup/android_cleanup.h"
#include "sys/handles.h"
#include "bench/clock.h"
#include "tests/support/sim_drive.h"

namespace {

constexpr int TopFolders = 200;
constexpr int SubFolders = 9; // 200 + 200 * 9 = 2,000 folders
constexpr int FilesPerFolder = 10;
constexpr int Rounds = 3;

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// A host command that may run for minutes, its output dropped.
bool RunHostQuietly(const std::string& script) {
    return RunHostCommand("(" + script + ") >/dev/null 2>&1", 600000);
}

// The template tree is written once by the host; every round copies it, so each remover
// meets the same names, sizes and layout.
bool BuildTemplate(const std::string& unixTemplate, const std::wstring& scratch) {
    std::string program =
        "import os,sys\n"
        "root=sys.argv[1]\n"
        "for t in range(1," +
        std::to_string(TopFolders + 1) +
        "):\n"
        " for s in range(0," +
        std::to_string(SubFolders + 1) +
        "):\n"
        "  d=os.path.join(root,'cache%03d'%t,*(['sub%d'%s] if s else []))\n"
        "  os.makedirs(d,exist_ok=True)\n"
        "  for f in range(1," +
        std::to_string(FilesPerFolder + 1) +
        "):\n"
        "   open(os.path.join(d,'file%d.bin'%f),'w').write('entry %d of %s\\n'%(f,d))\n";
    std::wstring programPath = scratch + L"\\make_tree.py";
    return WriteBytes(programPath, program) &&
           RunHostQuietly("rm -rf " + Quote(unixTemplate) + " && python3 " +
                          Quote(UnixPath(programPath)) + " " + Quote(unixTemplate));
}

bool CopyTemplate(const std::string& unixTemplate, const std::wstring& target) {
    std::string unixTarget = UnixPath(target);
    return !unixTarget.empty() &&
           RunHostQuietly("rm -rf " + Quote(unixTarget) + " && cp -r " + Quote(unixTemplate) + " " +
                          Quote(unixTarget)) &&
           IsFolder(target);
}

std::wstring CommandInterpreter() {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"ComSpec", buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length)
                                           : L"C:\\windows\\system32\\cmd.exe";
}

// Seconds from CreateProcessW to the interpreter's exit.
double TimeInterpreter(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + CommandInterpreter() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    double start = NowSeconds();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    ChildProcess child(info);
    WaitForSingleObject(child.process.Get(), INFINITE);
    return NowSeconds() - start;
}

// Seconds the host's rm -rf takes, measured by the shell itself (Wine only polls for its end).
double TimeHostRemove(const std::wstring& target, const std::wstring& scratch) {
    std::wstring result = scratch + L"\\rm-seconds.txt";
    DeleteFileW(result.c_str());
    std::string script = "s=$(date +%s%N); rm -rf " + Quote(UnixPath(target)) +
                         "; e=$(date +%s%N); echo $((e - s)) > " + Quote(UnixPath(result));
    if (!RunHostQuietly(script)) {
        return -1;
    }
    return std::atof(ReadBytes(result).c_str()) / 1e9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain() {
    SimDrive drive;
    if (!drive.Map(L'S', L"bench_cleanup")) {
        std::printf("cannot map the bench drive\n");
        return 1;
    }
    const std::wstring scratch = BuildDir() + L"\\scratch\\cleanup-bench";
    MakeFolders(scratch);
    const std::string unixTemplate = UnixPath(scratch) + "/template";
    if (!BuildTemplate(unixTemplate, scratch)) {
        std::printf("cannot build the template tree\n");
        return 1;
    }
    const std::wstring root = drive.Root() + L"\\";
    const std::wstring android = drive.Path(L"\\Android");
    std::vector<double> cleanup, interpreter, interpreterIdle, host;
    for (int round = 0; round < Rounds; ++round) {
        if (!CopyTemplate(unixTemplate, android)) {
            std::printf("cannot copy the tree\n");
            return 1;
        }
        double start = NowSeconds();
        CleanupDriveRoot(root);
        cleanup.push_back(NowSeconds() - start);
        bool cleanupDone = !PathExists(android);

        CopyTemplate(unixTemplate, android);
        interpreter.push_back(TimeInterpreter(L"/c rd /s /q " + android));
        bool interpreterDone = !PathExists(android);
        interpreterIdle.push_back(TimeInterpreter(L"/c rem"));

        CopyTemplate(unixTemplate, android);
        host.push_back(TimeHostRemove(android, scratch));
        if (!cleanupDone || !interpreterDone) {
            std::printf("round %d: a remover left the tree (cleanup %d, rd %d)\n", round,
                        cleanupDone, interpreterDone);
            return 1;
        }
    }
    double c = Median(cleanup), r = Median(interpreter), idle = Median(interpreterIdle),
           h = Median(host);
    std::printf("tree: %d files in %d folders, median of %d rounds\n",
                TopFolders * (SubFolders + 1) * FilesPerFolder, TopFolders * (SubFolders + 1),
                Rounds);
    std::printf("CleanupDriveRoot            %8.3f s\n", c);
    std::printf("cmd /c rd /s /q             %8.3f s (interpreter start alone %.3f s)\n", r, idle);
    std::printf("host rm -rf (floor)         %8.3f s\n", h);
    std::printf("ratio cleanup / rd          %8.2f (target <= 1.2)\n", c / r);
    std::printf("ratio cleanup / (rd - start)%8.2f\n", c / (r - idle));
    std::printf("ratio cleanup / rm -rf      %8.2f\n", c / h);
    RunHostQuietly("rm -rf " + Quote(unixTemplate));
    return 0;
}
