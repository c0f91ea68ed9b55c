#pragma once
// Filter mappers that log every call with its arguments and pass it on to the platform's
// own mapper, whose answers they return unless the test makes a call fail.
#include "CallLog.h"
#include "FakeUnknown.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <string>

inline std::string MapperText(const GUID* id)
{
    if (!id)
        return "none";
    wchar_t wide[39] = {};
    StringFromGUID2(*id, wide, 39);
    return std::string(wide, wide + 38);
}

inline std::string MapperText(const wchar_t* text)
{
    if (!text)
        return "none";
    std::string narrow;
    for (; *text; ++text)
        narrow += char(*text);
    return narrow;
}

inline std::string MeritText(DWORD merit)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(merit));
    return text;
}

class FakeFilterMapper2 : public FakeUnknown, public IFilterMapper2
{
public:
    explicit FakeFilterMapper2(IFilterMapper2* platform) : platform(platform) {}

    CallLog log;
    int failingCategoryRegistration = 0;    // the n-th RegisterFilter with a category fails
    HRESULT injectedFailure = E_ACCESSDENIED;
    bool unregisterFindsNothing = false;    // UnregisterFilter answers "file not found"

    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterMapper2)
                   ? static_cast<IFilterMapper2*>(this)
                   : nullptr;
    }

    HRESULT STDMETHODCALLTYPE CreateCategory(REFCLSID category, DWORD merit,
                                             LPCWSTR description) override
    {
        log.Add("CreateCategory");
        return platform->CreateCategory(category, merit, description);
    }

    HRESULT STDMETHODCALLTYPE UnregisterFilter(const CLSID* category, LPCOLESTR instance,
                                               REFCLSID filter) override
    {
        log.Add("UnregisterFilter " + MapperText(&filter) + " category " + MapperText(category)
                + " instance " + MapperText(instance));
        const HRESULT hr = platform->UnregisterFilter(category, instance, filter);
        return unregisterFindsNothing ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : hr;
    }

    HRESULT STDMETHODCALLTYPE RegisterFilter(REFCLSID filter, LPCWSTR name, IMoniker** moniker,
                                             const CLSID* category, LPCOLESTR instance,
                                             const REGFILTER2* description) override
    {
        std::string call = "RegisterFilter " + MapperText(&filter) + " " + MapperText(name)
                           + " category " + MapperText(category) + " instance "
                           + MapperText(instance) + (moniker ? " moniker" : "");
        if (description) {
            call += " version " + std::to_string(description->dwVersion) + " merit "
                    + MeritText(description->dwMerit);
            for (ULONG pin = 0; description->dwVersion == 1 && pin < description->cPins; ++pin) {
                const REGFILTERPINS& p = description->rgPins[pin];
                call += " pin " + MapperText(p.strName) + " output " + std::to_string(p.bOutput)
                        + " rendered " + std::to_string(p.bRendered);
                for (UINT type = 0; type < p.nMediaTypes; ++type)
                    call += " type " + MapperText(p.lpMediaType[type].clsMajorType) + " "
                            + MapperText(p.lpMediaType[type].clsMinorType);
            }
        }
        log.Add(call);
        if (category && ++categoryRegistrations == failingCategoryRegistration)
            return injectedFailure;
        return platform->RegisterFilter(filter, name, moniker, category, instance, description);
    }

    HRESULT STDMETHODCALLTYPE EnumMatchingFilters(IEnumMoniker**, DWORD, WINBOOL, DWORD, WINBOOL,
                                                  DWORD, const GUID*, const REGPINMEDIUM*,
                                                  const CLSID*, WINBOOL, WINBOOL, DWORD,
                                                  const GUID*, const REGPINMEDIUM*,
                                                  const CLSID*) override
    {
        return E_NOTIMPL;    // registration never searches
    }

private:
    ComPtr<IFilterMapper2> platform;
    int categoryRegistrations = 0;
};

class FakeFilterMapper : public FakeUnknown, public IFilterMapper
{
public:
    explicit FakeFilterMapper(IFilterMapper* platform) : platform(platform) {}

    CallLog log;
    bool unregisterFindsNothing = false;    // UnregisterFilter answers "file not found"

    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterMapper)
                   ? static_cast<IFilterMapper*>(this)
                   : nullptr;
    }

    HRESULT STDMETHODCALLTYPE RegisterFilter(CLSID filter, LPCWSTR name, DWORD merit) override
    {
        log.Add("RegisterFilter " + MapperText(&filter) + " " + MapperText(name) + " merit "
                + MeritText(merit));
        return platform->RegisterFilter(filter, name, merit);
    }

    HRESULT STDMETHODCALLTYPE RegisterFilterInstance(CLSID, LPCWSTR, CLSID*) override
    {
        return E_NOTIMPL;    // registration makes no instances
    }

    HRESULT STDMETHODCALLTYPE RegisterPin(CLSID filter, LPCWSTR name, WINBOOL rendered,
                                          WINBOOL output, WINBOOL zero, WINBOOL many,
                                          CLSID connectsToFilter, LPCWSTR connectsToPin) override
    {
        log.Add("RegisterPin " + MapperText(&filter) + " " + MapperText(name) + " rendered "
                + std::to_string(rendered) + " output " + std::to_string(output) + " zero "
                + std::to_string(zero) + " many " + std::to_string(many) + " to "
                + MapperText(&connectsToFilter) + " " + MapperText(connectsToPin));
        return platform->RegisterPin(filter, name, rendered, output, zero, many, connectsToFilter,
                                     connectsToPin);
    }

    HRESULT STDMETHODCALLTYPE RegisterPinType(CLSID filter, LPCWSTR name, CLSID major,
                                              CLSID minor) override
    {
        log.Add("RegisterPinType " + MapperText(&filter) + " " + MapperText(name) + " "
                + MapperText(&major) + " " + MapperText(&minor));
        return platform->RegisterPinType(filter, name, major, minor);
    }

    HRESULT STDMETHODCALLTYPE UnregisterFilter(CLSID filter) override
    {
        log.Add("UnregisterFilter " + MapperText(&filter));
        const HRESULT hr = platform->UnregisterFilter(filter);
        return unregisterFindsNothing ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : hr;
    }

    HRESULT STDMETHODCALLTYPE UnregisterFilterInstance(CLSID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterPin(CLSID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumMatchingFilters(IEnumRegFilters**, DWORD, WINBOOL, CLSID, CLSID,
                                                  WINBOOL, WINBOOL, CLSID, CLSID) override
    {
        return E_NOTIMPL;
    }

private:
    ComPtr<IFilterMapper> platform;
};
