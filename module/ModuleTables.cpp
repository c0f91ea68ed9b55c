#include "ModuleTables.h"

#include "Orvix61Test.h"
#include "filter/CCapSrc.h"
#include "pages/CFilterProperties.h"
#include "pages/CPinProperties.h"

#include <uuids.h>

namespace {
// The mapper's record names the pin through a non-const pointer it never writes through.
wchar_t outputPinName[] = L"Output";

const REGPINTYPES outputPinTypes = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};

const FilterSetupRecord filterSetups[variantCount] = {
    {&FilterVariants[0].filterClassId, FilterVariants[0].displayName, MERIT_DO_NOT_USE, 1,
     &OutputPinDescription},
    {&FilterVariants[1].filterClassId, FilterVariants[1].displayName, MERIT_DO_NOT_USE, 1,
     &OutputPinDescription},
    {&FilterVariants[2].filterClassId, FilterVariants[2].displayName, MERIT_DO_NOT_USE, 1,
     &OutputPinDescription},
    {&FilterVariants[3].filterClassId, FilterVariants[3].displayName, MERIT_DO_NOT_USE, 1,
     &OutputPinDescription},
};

template <int variant>
CUnknown* CreateFilter(IUnknown* outer, HRESULT* result)
{
    return CreateCapSrc(outer, result, FilterVariants[variant]);
}

template <int variant>
CUnknown* CreateFilterPage(IUnknown* outer, HRESULT* result)
{
    return CreateFilterProperties(outer, result, FilterVariants[variant]);
}

template <int variant>
CUnknown* CreatePinPage(IUnknown* outer, HRESULT* result)
{
    return CreatePinProperties(outer, result, FilterVariants[variant]);
}

const wchar_t filterPageName[] = L"Orvix 61 Filter Property Page";
const wchar_t pinPageName[] = L"Orvix 61 Pin Property Page";
}    // namespace

const REGFILTERPINS OutputPinDescription = {outputPinName, FALSE,   TRUE, FALSE,          FALSE,
                                            &CLSID_NULL,   nullptr, 1,    &outputPinTypes};

const REGFILTER2 CategoryRegistration = {1, MERIT_NORMAL, {{1, &OutputPinDescription}}};

const FactoryTemplate FactoryTemplates[templateCount] = {
    {FilterVariants[0].displayName, &FilterVariants[0].filterClassId, CreateFilter<0>,
     &filterSetups[0]},
    {FilterVariants[1].displayName, &FilterVariants[1].filterClassId, CreateFilter<1>,
     &filterSetups[1]},
    {FilterVariants[2].displayName, &FilterVariants[2].filterClassId, CreateFilter<2>,
     &filterSetups[2]},
    {FilterVariants[3].displayName, &FilterVariants[3].filterClassId, CreateFilter<3>,
     &filterSetups[3]},
    {filterPageName, &FilterVariants[0].filterPageClassId, CreateFilterPage<0>, nullptr},
    {filterPageName, &FilterVariants[1].filterPageClassId, CreateFilterPage<1>, nullptr},
    {filterPageName, &FilterVariants[2].filterPageClassId, CreateFilterPage<2>, nullptr},
    {filterPageName, &FilterVariants[3].filterPageClassId, CreateFilterPage<3>, nullptr},
    {pinPageName, &FilterVariants[0].pinPageClassId, CreatePinPage<0>, nullptr},
    {pinPageName, &FilterVariants[1].pinPageClassId, CreatePinPage<1>, nullptr},
    {pinPageName, &FilterVariants[2].pinPageClassId, CreatePinPage<2>, nullptr},
    {pinPageName, &FilterVariants[3].pinPageClassId, CreatePinPage<3>, nullptr},
};
