#pragma once
// Arguments and messages of the command-line tools: numbers read strictly, wide text
// (device and file names) written as UTF-8, and file names in full.
#include <windows.h>

#include <string>

// A whole decimal number within [lowest, highest]; nothing else passes.
bool ParseWholeNumber(const std::wstring& text, int lowest, int highest, int* value);

std::string Utf8(const std::wstring& text);

// The full path of a file name as the tools print it, of any length; the name itself where
// the system cannot make one.
std::wstring FullPathName(const std::wstring& path);

// The system's own words for an error code, without the line end it ends with.
std::string SystemErrorText(DWORD error);
