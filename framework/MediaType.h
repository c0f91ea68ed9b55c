#pragma once
// The media type record every connection, format query and format change is described
// by, with the operations that copy and free records crossing interfaces.
#include <windows.h>
#include <dshow.h>

#include <memory>

// Copies all fields, adds a reference to pUnk and copies the format block into new task
// memory. When the block cannot be allocated: E_OUTOFMEMORY, and the target is left
// with no block, still safe to clear.
HRESULT DeepCopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// Frees the format block (only when cbFormat is not 0) and releases pUnk.
void ClearMediaTypeContents(AM_MEDIA_TYPE* type);

// A whole record in task memory, for handing across an interface; null on failure.
AM_MEDIA_TYPE* DuplicateMediaType(const AM_MEDIA_TYPE* source);

// Frees a record made by DuplicateMediaType (or any task-memory record); null is fine.
void DestroyMediaType(AM_MEDIA_TYPE* type);

// Bytes of an uncompressed image: rows rounded up to 4 bytes, times |biHeight|.
// Formed in 64 bits and saturated, so that hostile headers cannot wrap it; negative
// for a negative width.
LONGLONG BitmapImageSize(const BITMAPINFOHEADER& header);

// True when the major or the format type is the null GUID: the record is a pattern,
// not a type a connection can use. The subtype is not looked at.
bool IsPartialMediaType(const AM_MEDIA_TYPE& type);

// Whether `candidate` fits `pattern`: null GUIDs in the pattern match anything; a
// pattern with a format type also needs the same block, byte for byte.
bool MediaTypeMatchesPattern(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE& pattern);

struct MediaTypeDeleter
{
    void operator()(AM_MEDIA_TYPE* type) const { DestroyMediaType(type); }
};
// Owns a whole task-memory record, format block included.
using MediaTypePtr = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

// An AM_MEDIA_TYPE that owns its format block and its pUnk reference.
class CMediaTypeRecord : public AM_MEDIA_TYPE
{
public:
    CMediaTypeRecord();
    CMediaTypeRecord(const CMediaTypeRecord& other);
    ~CMediaTypeRecord();
    CMediaTypeRecord& operator=(const CMediaTypeRecord& other);
    CMediaTypeRecord& operator=(const AM_MEDIA_TYPE& other);

    // Every byte zero, then fixed-size samples of size 1. Frees nothing.
    void ResetToDefault();

    void AssignMajorType(const GUID& type) { majortype = type; }
    void AssignSubtype(const GUID& type) { subtype = type; }
    void AssignFormatType(const GUID& type) { formattype = type; }
    void MarkTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }
    // 0 means variable-size samples; lSampleSize then keeps its value.
    void AssignSampleSize(ULONG size);

    // A block of exactly `length` bytes, contents undefined unless the length was
    // already the current one. Null when it cannot be had; the record is then as it was.
    BYTE* ReserveFormatBlock(ULONG length);

    // Takes over another record's block and pUnk without copying; the other is left
    // in the default state. Anything this record held is freed first.
    void MoveFrom(AM_MEDIA_TYPE& other);

    BOOL IsPartial() const;
    BOOL MatchesPattern(const AM_MEDIA_TYPE& pattern) const;
    BOOL Equals(const AM_MEDIA_TYPE& other) const;
    HRESULT CopyFrom(const AM_MEDIA_TYPE& other);

    // Frees what the record holds and returns it to the default state.
    void Clear();
};

// Defaults of a record that has never been filled; also what a caller's record is set
// to when there is nothing to report.
void SetDefaultMediaType(AM_MEDIA_TYPE* type);
