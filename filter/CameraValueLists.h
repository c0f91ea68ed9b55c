#pragma once
// The value lists that the index fields of CameraSettings select. Entry 0 is what a
// fresh registry yields; entries 1 to the end are the choices the filter page offers.
#include "Orvix61Test.h"

constexpr int GainValueCount = 13;
constexpr int IntTimeValueCount = 14;
constexpr int ClipValueCount = 8;

extern const double GainValueList[GainValueCount];
extern const double IntTimeValueList[IntTimeValueCount];
extern const double ClipValueList[ClipValueCount];

// Makes every index field select an entry of its list: an index outside its list is
// replaced by 0, the list's default entry. Every record the filter holds has passed here.
void SanitiseSettingIndices(CameraSettings* settings);

// The settings of a machine where nothing was ever stored.
CameraSettings DefaultCameraSettings();
