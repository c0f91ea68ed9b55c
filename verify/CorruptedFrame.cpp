#include "CorruptedFrame.h"

#include "camera/FaultScenario.h"
#include "camera/NoiseGenerator.h"

#include <algorithm>
#include <vector>

namespace {

// The rows CorruptFrame whitens in a frame of `rows` rows, asked of CorruptFrame itself on
// a column of one byte a row, so that the band is defined in one place.
void CorruptedRows(LONG rows, LONG* first, LONG* count)
{
    std::vector<BYTE> column(size_t(std::max<LONG>(rows, 0)), 0);
    CorruptFrame(column.data(), 1, rows);
    const auto white = std::find(column.begin(), column.end(), BYTE(0xFF));
    *first = LONG(white - column.begin());
    *count = LONG(std::count(column.begin(), column.end(), BYTE(0xFF)));
}

}    // namespace

bool ChangedAsCorruptSays(const FrameVerifier& verifier, const BYTE* frame, size_t bytes,
                          const FrameMatch& match)
{
    if (!match.recognised || !frame)
        return false;
    const FrameFormat& format = verifier.Format();
    LONG firstRow = 0;
    LONG rows = 0;
    CorruptedRows(format.height, &firstRow, &rows);

    // The model's bytes of the band, from the generator state before its first byte.
    std::vector<BYTE> model(size_t(rows) * format.rowBytes);
    const uint32_t bandStart = AdvanceGenerator(FrameStartState(format, match.number),
                                                uint64_t(firstRow) * format.rowBytes);
    FillNoise(bandStart, model.data(), model.size(), FastestNoiseKernel());

    const size_t capturedPixel = size_t(verifier.CapturedPixelBytes());
    const size_t capturedRowBytes = size_t(format.width) * capturedPixel;
    uint64_t whitened = 0;    // model bytes the change makes differ
    size_t bandBegin = SIZE_MAX;
    size_t bandEnd = 0;
    for (LONG band = 0; band < rows; ++band) {
        const LONG modelRow = firstRow + band;
        const LONG capturedRow = match.rowsReversed ? format.height - 1 - modelRow : modelRow;
        const size_t rowStart = size_t(capturedRow) * capturedRowBytes;
        bandBegin = std::min(bandBegin, rowStart);
        bandEnd = std::max(bandEnd, rowStart + capturedRowBytes);
        const BYTE* modelRowBytes = model.data() + size_t(band) * format.rowBytes;
        for (size_t offset = 0; offset < capturedRowBytes && rowStart + offset < bytes; ++offset) {
            const size_t pixel = offset / capturedPixel;
            const size_t channel = offset % capturedPixel;
            if (channel == 3 && match.fourthBytesChanged)
                continue;
            if (frame[rowStart + offset] != 0xFF)
                return false;
            whitened += modelRowBytes[pixel * size_t(format.pixelBytes) + channel] != 0xFF;
        }
    }
    if (match.differingBytes != whitened)
        return false;
    return whitened == 0 || (match.firstDifference >= bandBegin && match.firstDifference < bandEnd);
}
