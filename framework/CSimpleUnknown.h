#pragma once
// IUnknown of the module's simple objects (the enumerators, the class factory): one
// published interface, never aggregated, so no inner unknown and no owner to forward to.
// As every object of the house, the count starts at 0 and the creator takes the first
// reference; the last Release destroys the object through its virtual destructor.
#include <windows.h>
#include <unknwn.h>

template <class Interface, const IID* interfaceId>
class CSimpleUnknown : public Interface
{
public:
    CSimpleUnknown(const CSimpleUnknown&) = delete;
    CSimpleUnknown& operator=(const CSimpleUnknown&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, *interfaceId)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return ULONG(InterlockedIncrement(&referenceCount));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&referenceCount);
        if (count == 0)
            delete this;
        return ULONG(count);
    }

protected:
    CSimpleUnknown() = default;
    virtual ~CSimpleUnknown() = default;

private:
    volatile LONG referenceCount = 0;
};
