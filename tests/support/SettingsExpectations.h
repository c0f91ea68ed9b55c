#pragma once
// Whether a camera settings record holds what another does, field by field, so that a
// failure names the field.
#include "Orvix61Test.h"

#include <gtest/gtest.h>

// Everything the settings store keeps: all but the changed flag, which it never stores.
inline void ExpectSameStoredSettings(const CameraSettings& actual, const CameraSettings& expected)
{
    EXPECT_EQ(actual.ExposureGain, expected.ExposureGain);
    EXPECT_EQ(actual.ExposureIntTime, expected.ExposureIntTime);
    EXPECT_EQ(actual.ExposureMaxGain, expected.ExposureMaxGain);
    EXPECT_EQ(actual.ExposureMaxIntTime, expected.ExposureMaxIntTime);
    EXPECT_EQ(actual.AutoLevelsMinClip, expected.AutoLevelsMinClip);
    EXPECT_EQ(actual.AutoLevelsMaxClip, expected.AutoLevelsMaxClip);
    EXPECT_EQ(actual.AutoExposureEnable, expected.AutoExposureEnable);
    EXPECT_EQ(actual.AutoLevelsEnable, expected.AutoLevelsEnable);
    EXPECT_EQ(actual.AntiFlickerEnable, expected.AntiFlickerEnable);
    EXPECT_EQ(actual.AntiFlickerFreq, expected.AntiFlickerFreq);
    EXPECT_STREQ(actual.CameraName, expected.CameraName);
}

inline void ExpectSameSettings(const CameraSettings& actual, const CameraSettings& expected)
{
    ExpectSameStoredSettings(actual, expected);
    EXPECT_EQ(actual.settingsChanged, expected.settingsChanged);
}
