#pragma once
// Whether a captured frame holds the change `corrupt K` makes, and nothing else the
// verifier counts: the camera's documented change (CorruptFrame) is told apart from a host
// that damaged the frame, by the model's own bytes of the band the change whitens.
#include "FrameVerifier.h"

#include <windows.h>

#include <cstddef>

// True when `match`, the verifier's verdict on `frame` (`bytes` bytes as it was given),
// recognises a frame whose band of rows that CorruptFrame whitens holds 0xFF in every
// captured byte, and whose differing bytes are exactly the model's bytes of that band that
// were not 0xFF already, the first of them in the band. The band is found in the frame as
// it was captured: its rows in reverse order when the verifier found them so, three bytes
// a pixel in a 24-bit still of an RGB32 frame. Fourth bytes the verifier names as changed
// are left to it; bytes past a truncated frame's end are not looked for.
bool ChangedAsCorruptSays(const FrameVerifier& verifier, const BYTE* frame, size_t bytes,
                          const FrameMatch& match);
