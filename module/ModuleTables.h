#pragma once
// The twelve classes the module creates for the four filter variants, and what registration
// tells the platform's filter mappers about the filters. All of it is constant.
#include "FilterVariants.h"
#include "framework/CUnknown.h"

#include <windows.h>
#include <dshow.h>

// One filter as the filter mapper records it in its default category.
struct FilterSetupRecord
{
    const CLSID* classId;
    const wchar_t* name;
    DWORD merit;
    ULONG pinCount;
    const REGFILTERPINS* pins;
};

// The single output pin of every variant: video of any subtype.
extern const REGFILTERPINS OutputPinDescription;
// The filters in the video input device category, where capture programs look.
extern const REGFILTER2 CategoryRegistration;

// One creatable class. No class needs work at module load or unload, so the table has
// no initialisation column.
struct FactoryTemplate
{
    const wchar_t* name;    // the class's registered description
    const CLSID* classId;
    // Returns the new object's inner unknown, or null; failures go to `result`.
    CUnknown* (*createInstance)(IUnknown* outer, HRESULT* result);
    const FilterSetupRecord* setupDescription;    // filters only
};

constexpr int templateCount = 12;
extern const FactoryTemplate FactoryTemplates[templateCount];
