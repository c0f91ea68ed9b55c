#pragma once
// Media type records that a careless or hostile host might hand the capture pin, made
// from a seed so that any one of them can be made again: null and unknown GUIDs, format
// blocks from none to a few thousand bytes, short blocks, blocks that are claimed but
// missing, and video headers with odd, negative, zero and huge geometry and image sizes.
#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <string>

// One generated record. Its format block ends exactly where readable memory ends, so a
// read one byte past the block faults at once instead of passing unseen.
class GeneratedType
{
public:
    // `counted` becomes the record's pUnk in some records (no reference is taken here: the
    // record lends it, as a host's record would).
    GeneratedType(uint64_t caseSeed, IUnknown* counted);
    ~GeneratedType();
    GeneratedType(const GeneratedType&) = delete;
    GeneratedType& operator=(const GeneratedType&) = delete;

    AM_MEDIA_TYPE* Get() { return &type; }
    const AM_MEDIA_TYPE& Type() const { return type; }
    // Readable summary for a failure message.
    std::string Describe() const;

private:
    BYTE* GuardedBlock(ULONG bytes);

    AM_MEDIA_TYPE type = {};
    void* memory = nullptr;
};

// The acceptance rule as a host may rely on it, written here apart from the pin's code:
// video, fixed-size samples, RGB32 or RGB24, a whole VIDEOINFOHEADER in the block, and a
// catalogue frame size with either sign of height.
bool CatalogueAccepts(const AM_MEDIA_TYPE& type);

// Whether a proposal with null GUIDs, taken as a pattern, lets `listed` through.
bool PatternAdmits(const AM_MEDIA_TYPE& pattern, const AM_MEDIA_TYPE& listed);

// The header of a type that carries a whole one, else null.
const BITMAPINFOHEADER* WholeBitmapHeader(const AM_MEDIA_TYPE& type);
