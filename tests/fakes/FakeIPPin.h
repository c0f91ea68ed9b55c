#pragma once
// A capture pin as its property page sees it: IIPPin under one variant's identifier,
// serving a preferred index and recording every index it is given.
#include "Orvix61Test.h"
#include "fakes/FakeUnknown.h"

#include <vector>

class FakeIPPin : public FakeUnknown, public IIPPin
{
public:
    explicit FakeIPPin(REFIID interfaceId) : interfaceId(interfaceId) {}

    FAKE_UNKNOWN

    HRESULT STDMETHODCALLTYPE GetPreferredIndex(LONG* index) override
    {
        if (FAILED(getResult))
            return getResult;
        *index = preferredIndex;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPreferredIndex(const LONG* index) override
    {
        written.push_back(*index);
        return S_OK;
    }

    LONG preferredIndex = 1;
    std::vector<LONG> written;
    HRESULT getResult = S_OK;

protected:
    void* Lookup(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown))
            return static_cast<IUnknown*>(this);
        if (IsEqualIID(iid, interfaceId))
            return static_cast<IIPPin*>(this);
        return nullptr;
    }

private:
    const IID interfaceId;
};
