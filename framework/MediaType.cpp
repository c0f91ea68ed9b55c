#include "MediaType.h"

#include <climits>
#include <cstdlib>
#include <cstring>

void SetDefaultMediaType(AM_MEDIA_TYPE* type)
{
    std::memset(type, 0, sizeof(*type));
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
}

HRESULT DeepCopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    *target = *source;
    if (target->pUnk)
        target->pUnk->AddRef();
    if (source->cbFormat == 0)
        return S_OK;
    if (!source->pbFormat) {
        // A record that claims a block it does not have: copy it without one.
        target->cbFormat = 0;
        return E_POINTER;
    }
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
        target->cbFormat = 0;
        return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    return S_OK;
}

void ClearMediaTypeContents(AM_MEDIA_TYPE* type)
{
    if (type->cbFormat != 0) {
        CoTaskMemFree(type->pbFormat);
        type->cbFormat = 0;
        type->pbFormat = nullptr;
    }
    if (type->pUnk) {
        type->pUnk->Release();
        type->pUnk = nullptr;
    }
}

AM_MEDIA_TYPE* DuplicateMediaType(const AM_MEDIA_TYPE* source)
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy)
        return nullptr;
    if (FAILED(DeepCopyMediaType(copy, source))) {
        DestroyMediaType(copy);
        return nullptr;
    }
    return copy;
}

void DestroyMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    ClearMediaTypeContents(type);
    CoTaskMemFree(type);
}

LONGLONG BitmapImageSize(const BITMAPINFOHEADER& header)
{
    const LONGLONG rowBits = LONGLONG(header.biWidth) * header.biBitCount;
    const LONGLONG rowBytes = ((rowBits + 31) >> 5) * 4;
    const LONGLONG rows = std::llabs(LONGLONG(header.biHeight));
    // Saturate rather than wrap: no real image comes near, hostile headers do.
    if (rows != 0 && std::llabs(rowBytes) > LLONG_MAX / rows)
        return rowBytes < 0 ? -LLONG_MAX : LLONG_MAX;
    return rowBytes * rows;
}

namespace {

// Format blocks of equal length compared byte for byte; a claimed block that is not
// there equals nothing.
bool BlocksEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    if (a.cbFormat == 0)
        return true;
    if (!a.pbFormat || !b.pbFormat)
        return false;
    return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

}    // namespace

CMediaTypeRecord::CMediaTypeRecord()
{
    ResetToDefault();
}

CMediaTypeRecord::CMediaTypeRecord(const CMediaTypeRecord& other)
{
    ResetToDefault();
    CopyFrom(other);
}

CMediaTypeRecord::~CMediaTypeRecord()
{
    ClearMediaTypeContents(this);
}

CMediaTypeRecord& CMediaTypeRecord::operator=(const CMediaTypeRecord& other)
{
    CopyFrom(other);
    return *this;
}

CMediaTypeRecord& CMediaTypeRecord::operator=(const AM_MEDIA_TYPE& other)
{
    CopyFrom(other);
    return *this;
}

void CMediaTypeRecord::ResetToDefault()
{
    SetDefaultMediaType(this);
}

void CMediaTypeRecord::Clear()
{
    ClearMediaTypeContents(this);
    ResetToDefault();
}

void CMediaTypeRecord::AssignSampleSize(ULONG size)
{
    if (size == 0) {
        bFixedSizeSamples = FALSE;
        return;
    }
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
}

BYTE* CMediaTypeRecord::ReserveFormatBlock(ULONG length)
{
    if (length == cbFormat)
        return pbFormat;
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return cbFormat >= length ? pbFormat : nullptr;
    if (cbFormat != 0)
        CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

void CMediaTypeRecord::MoveFrom(AM_MEDIA_TYPE& other)
{
    if (&other == this)
        return;
    ClearMediaTypeContents(this);
    static_cast<AM_MEDIA_TYPE&>(*this) = other;
    SetDefaultMediaType(&other);
}

bool IsPartialMediaType(const AM_MEDIA_TYPE& type)
{
    return IsEqualGUID(type.majortype, GUID_NULL) || IsEqualGUID(type.formattype, GUID_NULL);
}

bool MediaTypeMatchesPattern(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE& pattern)
{
    if (!IsEqualGUID(pattern.majortype, GUID_NULL)
        && !IsEqualGUID(pattern.majortype, candidate.majortype))
        return false;
    if (!IsEqualGUID(pattern.subtype, GUID_NULL)
        && !IsEqualGUID(pattern.subtype, candidate.subtype))
        return false;
    if (IsEqualGUID(pattern.formattype, GUID_NULL))
        return true;
    if (!IsEqualGUID(pattern.formattype, candidate.formattype)
        || pattern.cbFormat != candidate.cbFormat)
        return false;
    return BlocksEqual(candidate, pattern);
}

BOOL CMediaTypeRecord::IsPartial() const
{
    return IsPartialMediaType(*this);
}

BOOL CMediaTypeRecord::MatchesPattern(const AM_MEDIA_TYPE& pattern) const
{
    return MediaTypeMatchesPattern(*this, pattern);
}

BOOL CMediaTypeRecord::Equals(const AM_MEDIA_TYPE& other) const
{
    if (!IsEqualGUID(majortype, other.majortype) || !IsEqualGUID(subtype, other.subtype)
        || !IsEqualGUID(formattype, other.formattype) || cbFormat != other.cbFormat)
        return FALSE;
    return BlocksEqual(*this, other);
}

HRESULT CMediaTypeRecord::CopyFrom(const AM_MEDIA_TYPE& other)
{
    if (&other == this)
        return S_OK;
    ClearMediaTypeContents(this);
    return DeepCopyMediaType(this, &other);
}
