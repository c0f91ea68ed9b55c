#include "CameraValueLists.h"

#include <cstring>

const double GainValueList[GainValueCount] = {1.0, 0.1, 0.2,  0.5,  1.0,  2.0, 4.0,
                                              6.0, 8.0, 10.0, 12.0, 14.0, 16.0};
const double IntTimeValueList[IntTimeValueCount] = {10.0, 1.0,  1.5,  2.0,  2.5,  3.5,  5.0,
                                                    7.5,  10.0, 15.0, 20.0, 25.0, 35.0, 50.0};
const double ClipValueList[ClipValueCount] = {10.0, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0};

namespace {

void KeepWithin(LONG* index, int count)
{
    if (*index < 0 || *index >= count)
        *index = 0;
}

}    // namespace

void SanitiseSettingIndices(CameraSettings* settings)
{
    KeepWithin(&settings->ExposureGain, GainValueCount);
    KeepWithin(&settings->ExposureIntTime, IntTimeValueCount);
    KeepWithin(&settings->ExposureMaxGain, GainValueCount);
    KeepWithin(&settings->ExposureMaxIntTime, IntTimeValueCount);
    KeepWithin(&settings->AutoLevelsMinClip, ClipValueCount);
    KeepWithin(&settings->AutoLevelsMaxClip, ClipValueCount);
}

CameraSettings DefaultCameraSettings()
{
    CameraSettings settings = {};
    settings.AutoExposureEnable = 1;
    settings.AutoLevelsEnable = 1;
    std::strcpy(settings.CameraName, "Not used");
    return settings;
}
