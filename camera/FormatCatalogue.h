#pragma once
// How a format of the table is written into the platform's video records, and which
// proposed media types the capture pin accepts.
#include "FormatTable.h"
#include "framework/MediaType.h"

#include <windows.h>
#include <dshow.h>

// The size of VIDEOINFO: a VIDEOINFOHEADER with room for a 256-entry colour table.
constexpr ULONG ListedFormatBlockBytes = 1128;

// Writes biBitCount, biCompression, biWidth and biHeight (negative: top-down) of the
// format that `index` names, resolving 0 through `preferredIndex`. Nothing else.
void FillBitmapHeader(FormatIndex index, FormatIndex preferredIndex, BITMAPINFOHEADER* header);

// Builds the type the pin lists for `index` into `type`: a zero-filled 1128-byte
// VIDEOINFOHEADER block, video / the format's subtype / VideoInfo, fixed-size samples of
// the image size. AvgTimePerFrame follows `cameraFrameRate` (the rate of the last buffer
// negotiation), not the listed format: the interval of a table rate equal to it, else that
// of UnlistedFramesPerSecond. E_OUTOFMEMORY, with `type` unchanged, when the block cannot
// be had.
HRESULT BuildListedMediaType(FormatIndex index, FormatIndex preferredIndex, double cameraFrameRate,
                             CMediaTypeRecord* type);

// Rewrites `type` (a duplicate of the pin's connection type) for `index` and fills the
// capability record. AvgTimePerFrame, bit rates and pUnk keep the duplicate's values.
// A type whose block is missing or shorter than a VIDEOINFOHEADER is left alone and
// answered VFW_E_INVALIDMEDIATYPE.
HRESULT DescribeCapability(FormatIndex index, FormatIndex preferredIndex, AM_MEDIA_TYPE* type,
                           VIDEO_STREAM_CONFIG_CAPS* caps);

// The acceptance rule: video, fixed-size samples, a subtype of the table, and a
// VIDEOINFOHEADER block (at least 88 bytes) whose width and |height| are a frame size of
// the table. Subtype and size need not be of the same row, nor the bit count either's.
bool IsAcceptableCatalogueType(const AM_MEDIA_TYPE& type);
