#include "CaptureFigures.h"

#include <algorithm>

CaptureFigures ComputeFigures(const std::vector<FrameRecord>& frames, LONGLONG ticksPerSecond)
{
    CaptureFigures figures;
    figures.frameCount = int(frames.size());
    if (frames.size() < 2)
        return figures;

    const LONGLONG elapsedTicks = frames.back().arrivalTicks - frames.front().arrivalTicks;
    if (elapsedTicks > 0 && ticksPerSecond > 0) {
        figures.hasRate = true;
        figures.framesPerSecond =
            double(frames.size() - 1) * double(ticksPerSecond) / double(elapsedTicks);
    }

    // Only neighbours that both carry a time stamp say anything about the spacing.
    int spacings = 0;
    double totalMs = 0;
    for (size_t index = 1; index < frames.size(); ++index) {
        if (!frames[index - 1].hasTime || !frames[index].hasTime)
            continue;
        const double spacingMs = double(frames[index].start - frames[index - 1].start) / 10000.0;
        figures.shortestSpacingMs =
            spacings ? std::min(figures.shortestSpacingMs, spacingMs) : spacingMs;
        figures.longestSpacingMs =
            spacings ? std::max(figures.longestSpacingMs, spacingMs) : spacingMs;
        totalMs += spacingMs;
        ++spacings;
    }
    if (spacings) {
        figures.hasSpacing = true;
        figures.meanSpacingMs = totalMs / spacings;
    }
    return figures;
}
