#pragma once
// Arguments and messages of the command-line tools: numbers read strictly, and wide text
// (device and file names) written as UTF-8.
#include <windows.h>

#include <string>

// A whole decimal number within [lowest, highest]; nothing else passes.
bool ParseWholeNumber(const std::wstring& text, int lowest, int highest, int* value);

std::string Utf8(const std::wstring& text);

// The system's own words for an error code, without the line end it ends with.
std::string SystemErrorText(DWORD error);
