#pragma once
// A property frame's page site that records the status changes a page reports.
#include "fakes/FakeUnknown.h"

#include <ocidl.h>
#include <olectl.h>

class FakePropertyPageSite : public FakeUnknown, public IPropertyPageSite
{
public:
    FAKE_UNKNOWN

    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override
    {
        ++statusChanges;
        lastStatus = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

    int statusChanges = 0;
    DWORD lastStatus = 0;

protected:
    void* Lookup(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite))
            return static_cast<IPropertyPageSite*>(this);
        return nullptr;
    }
};
