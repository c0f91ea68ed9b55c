#pragma once
// The fixed catalogue of six capture formats, how a format is written into the
// platform's video records, and which proposed media types the capture pin accepts.
#include "framework/MediaType.h"

#include <windows.h>
#include <dshow.h>

// 1 to 6, a position in the catalogue: 1-3 RGB32 and 4-6 RGB24, each group at 2048x1536,
// 1024x768 and 512x384. 0 stands for the pin's preferred index; any other value, a
// preferred index out of range included, counts as 1.
using FormatIndex = LONG;

constexpr FormatIndex PreferredFormatIndex = 0;
constexpr FormatIndex FirstFormatIndex = 1;
constexpr FormatIndex LastFormatIndex = 6;

// The size of VIDEOINFO: a VIDEOINFOHEADER with room for a 256-entry colour table.
constexpr ULONG ListedFormatBlockBytes = 1128;

// Writes biBitCount, biCompression, biWidth and biHeight (negative: top-down) of the
// format that `index` names, resolving 0 through `preferredIndex`. Nothing else.
void FillBitmapHeader(FormatIndex index, FormatIndex preferredIndex, BITMAPINFOHEADER* header);

// Builds the type the pin lists for `index` into `type`: a zero-filled 1128-byte
// VIDEOINFOHEADER block, video / RGB32 or RGB24 / VideoInfo, fixed-size samples of the
// image size. AvgTimePerFrame follows `cameraFrameRate` (the rate of the last buffer
// negotiation), not the listed format. E_OUTOFMEMORY, with `type` unchanged, when the
// block cannot be had.
HRESULT BuildListedMediaType(FormatIndex index, FormatIndex preferredIndex, double cameraFrameRate,
                             CMediaTypeRecord* type);

// Rewrites `type` (a duplicate of the pin's connection type) for `index` and fills the
// capability record. AvgTimePerFrame, bit rates and pUnk keep the duplicate's values.
// A type whose block is missing or shorter than a VIDEOINFOHEADER is left alone and
// answered VFW_E_INVALIDMEDIATYPE.
HRESULT DescribeCapability(FormatIndex index, FormatIndex preferredIndex, AM_MEDIA_TYPE* type,
                           VIDEO_STREAM_CONFIG_CAPS* caps);

// The acceptance rule: video, fixed-size samples, RGB32 or RGB24, and a VIDEOINFOHEADER
// block (at least 88 bytes) whose width and |height| are one of the three frame sizes.
bool IsAcceptableCatalogueType(const AM_MEDIA_TYPE& type);
