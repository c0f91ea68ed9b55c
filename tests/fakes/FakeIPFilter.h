#pragma once
// A capture filter as its property page sees it: IIPFilter under one variant's
// identifier, serving a stored record and recording every record it is given.
#include "Orvix61Test.h"
#include "fakes/FakeUnknown.h"

#include <functional>
#include <vector>

class FakeIPFilter : public FakeUnknown, public IIPFilter
{
public:
    explicit FakeIPFilter(REFIID interfaceId) : interfaceId(interfaceId) {}

    FAKE_UNKNOWN

    HRESULT STDMETHODCALLTYPE GetCameraSettings(CameraSettings* settings) override
    {
        if (FAILED(getResult))
            return getResult;
        *settings = stored;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCameraSettings(const CameraSettings* settings) override
    {
        written.push_back(*settings);
        if (onWrite)
            onWrite();
        return setResult;
    }

    CameraSettings stored = {};
    std::vector<CameraSettings> written;
    HRESULT getResult = S_OK;
    HRESULT setResult = S_OK;
    std::function<void()> onWrite;    // runs inside SetCameraSettings

protected:
    void* Lookup(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown))
            return static_cast<IUnknown*>(this);
        if (IsEqualIID(iid, interfaceId))
            return static_cast<IIPFilter*>(this);
        return nullptr;
    }

private:
    const IID interfaceId;
};
