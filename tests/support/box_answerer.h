#pragma once
// Answers the message boxes of this process from a second thread, as a user pressing OK would,
// while the test's own thread is held inside the code that shows them.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/window_driver.h"

struct BoxAnswerer {
    std::vector<MessageBoxInfo> boxes; // in the order they were answered
    std::atomic<bool> stop{false};
    // Runs on the answering thread while a box is open, before OK is pressed.
    std::function<void(const MessageBoxInfo&)> onBox;
    std::thread thread;

    BoxAnswerer() = default;
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    ~BoxAnswerer() { Finish(); }

    void Start();
    // Stops answering and returns the texts of the boxes answered so far.
    std::vector<std::wstring> Finish();
};
