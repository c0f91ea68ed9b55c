#pragma once
// The four filter variants: their names and identifiers. The module builds its classes and
// registration from this table, and the camera tool names the devices and finds their
// settings by it; it is data alone, so a program can link it without the filter.
#include "filter/FilterVariant.h"

constexpr int variantCount = 4;
extern const FilterVariant FilterVariants[variantCount];
