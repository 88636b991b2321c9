#include "tests/support/box_answerer.h"

void BoxAnswerer::Start() {
    thread = std::thread([this] {
        while (!stop) {
            MessageBoxInfo info;
            if (WaitForMessageBox(GetCurrentProcessId(), 100, info)) {
                boxes.push_back(info);
                if (onBox) {
                    onBox(info);
                }
                PressOk(info);
            }
        }
    });
}

std::vector<std::wstring> BoxAnswerer::Finish() {
    stop = true;
    if (thread.joinable()) {
        thread.join();
    }
    std::vector<std::wstring> texts;
    for (const MessageBoxInfo& box : boxes) {
        texts.push_back(box.text);
    }
    return texts;
}
