#pragma once
#include <windows.h>

#include <cstddef>

// Identity of one filter variant, copied by value into the filter, its pin and its
// pages: 32 wide characters of display name and five identifiers, 144 bytes.
struct FilterVariant
{
    wchar_t displayName[32];    // NUL-terminated, zero-filled
    GUID filterClassId;
    GUID filterPageClassId;
    GUID pinPageClassId;
    GUID filterInterfaceId;    // the variant's filter answers IIPFilter under this
    GUID pinInterfaceId;       // the variant's pin answers IIPPin under this
};
static_assert(sizeof(FilterVariant) == 144, "FilterVariant is a 144-byte record");
static_assert(offsetof(FilterVariant, filterClassId) == 64, "identifiers follow the name");
static_assert(offsetof(FilterVariant, pinInterfaceId) == 128, "five identifiers in order");
