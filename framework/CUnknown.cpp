#include "CUnknown.h"

#include "ModuleState.h"

CBaseObject::CBaseObject()
{
    InterlockedIncrement(&ObjectCount);
}

CBaseObject::~CBaseObject()
{
    InterlockedDecrement(&ObjectCount);
}

CUnknown::CUnknown(IUnknown* outer) : owner(outer ? outer : InnerUnknown()) {}

HRESULT CUnknown::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = InnerUnknown();
        InnerAddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::InnerAddRef()
{
    const LONG count = InterlockedIncrement(&referenceCount);
    return count > 1 ? count : 1;
}

ULONG CUnknown::InnerRelease()
{
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) {
        // Back to 1 first, so a reference taken and dropped during destruction
        // cannot start a second destruction.
        referenceCount = 1;
        OnFinalRelease();
        delete this;
        return 0;
    }
    return count > 1 ? count : 1;
}

HRESULT CUnknown::HandOutInterface(IUnknown* iface, void** out)
{
    if (!out)
        return E_POINTER;
    *out = iface;
    iface->AddRef();
    return S_OK;
}
