#pragma once
// UTF-8 for the files the program writes as text (the debug log, the switch's journal).
#include <string>

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
