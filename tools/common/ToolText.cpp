#include "ToolText.h"

bool ParseWholeNumber(const std::wstring& text, int lowest, int highest, int* value)
{
    if (text.empty() || text.size() > 9)
        return false;
    int number = 0;
    for (wchar_t digit : text) {
        if (digit < L'0' || digit > L'9')
            return false;
        number = number * 10 + (digit - L'0');
    }
    if (number < lowest || number > highest)
        return false;
    *value = number;
    return true;
}

std::string Utf8(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string narrow(size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &narrow[0], bytes, nullptr,
                            nullptr);
    return narrow;
}

std::wstring FullPathName(const std::wstring& path)
{
    // The first call gives the size the path needs, with its terminating null; should the
    // working folder change before the second, the path can need more, and is asked again.
    std::wstring full;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    while (needed > full.size()) {
        full.assign(needed, L'\0');
        needed = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    }
    if (needed == 0)
        return path;
    full.resize(needed);
    return full;
}

std::string SystemErrorText(DWORD error)
{
    wchar_t text[512] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text, DWORD(sizeof(text) / sizeof(text[0])), nullptr);
    std::wstring message(text, length);
    while (!message.empty()
           && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '
               || message.back() == L'.'))
        message.pop_back();
    if (message.empty())
        return "error " + std::to_string(error);
    return Utf8(message) + " (error " + std::to_string(error) + ")";
}
