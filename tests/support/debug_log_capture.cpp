#include "tests/support/debug_log_capture.h"

#include <algorithm>

std::vector<std::string> LogMessages(const std::string& log, const std::string& prefix) {
    std::vector<std::string> messages;
    for (size_t start = 0; start < log.size();) {
        size_t end = log.find("\r\n", start);
        std::string line = log.substr(start, end - start);
        size_t message = line.find("] " + prefix);
        if (message != std::string::npos) {
            messages.push_back(line.substr(message + 2));
        }
        start = end == std::string::npos ? log.size() : end + 2;
    }
    return messages;
}

std::vector<std::string> SortedLogMessages(const std::string& log, const std::string& prefix) {
    std::vector<std::string> messages = LogMessages(log, prefix);
    std::sort(messages.begin(), messages.end());
    return messages;
}
