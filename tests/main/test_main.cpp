// The main of every test program: GoogleTest's, plus a watchdog that ends a hung run naming the
// test and the wait it hung in, before ctest's time-out kills it without a word.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/window_driver.h"

namespace {

CRITICAL_SECTION currentLock;
std::string currentTest;

struct CurrentTest : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        EnterCriticalSection(&currentLock);
        currentTest = std::string(info.test_suite_name()) + "." + info.name();
        LeaveCriticalSection(&currentLock);
    }
};

// QUILLMERE_TEST_DEADLINE_S, set per ctest entry a few seconds below its time-out: past it the
// run ends here with what it was doing.
DWORD WINAPI Watchdog(void* deadlineMs) {
    // The run's own end never comes while this thread lives: the wait ends at the deadline.
    if (WaitForSingleObject(GetCurrentProcess(),
                            static_cast<DWORD>(reinterpret_cast<uintptr_t>(deadlineMs))) !=
        WAIT_TIMEOUT) {
        return 0;
    }
    EnterCriticalSection(&currentLock);
    std::fprintf(stderr, "\nHUNG: the run passed its deadline in %s, waiting at %s\n",
                 currentTest.c_str(), CurrentWaitPlace().c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    LeaveCriticalSection(&currentLock);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    InitializeCriticalSection(&currentLock);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new CurrentTest);
    if (const char* deadline = std::getenv("QUILLMERE_TEST_DEADLINE_S")) {
        const unsigned long seconds = std::strtoul(deadline, nullptr, 10);
        if (seconds > 0) {
            CloseHandle(CreateThread(nullptr, 0, Watchdog,
                                     reinterpret_cast<void*>(uintptr_t{seconds * 1000}), 0,
                                     nullptr));
        }
    }
    return RUN_ALL_TESTS();
}
