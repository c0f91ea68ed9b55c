#pragma once
#include <windows.h>

// Passes the first failure on unchanged; success codes (S_FALSE included) fall through.
#define RETURN_IF_FAILED(expr)      \
    do {                            \
        const HRESULT hr_ = (expr); \
        if (FAILED(hr_))            \
            return hr_;             \
    } while (0)
