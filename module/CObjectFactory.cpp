#include "CObjectFactory.h"

#include "framework/ModuleState.h"
#include "framework/Ownership.h"

#include <combaseapi.h>

#include <memory>
#include <new>

CObjectFactory::CObjectFactory(const FactoryTemplate& factoryTemplate)
    : factoryTemplate(factoryTemplate)
{
}

HRESULT CObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    // A caller may release whatever a failed call left in its pointer.
    *out = nullptr;
    // An aggregated object is only any use to its outer object through its inner unknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown))
        return E_NOINTERFACE;

    HRESULT hr = S_OK;
    std::unique_ptr<CUnknown> object(factoryTemplate.createInstance(outer, &hr));
    if (!object)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr))
        return hr;    // a half-built object dies without ever being counted on

    // Hold the object while asking, so a refused interface destroys it on the release.
    CUnknown* created = object.release();
    created->InnerAddRef();
    hr = created->InnerQueryInterface(iid, out);
    created->InnerRelease();
    return hr;
}

HRESULT CObjectFactory::LockServer(BOOL lock)
{
    if (lock)
        InterlockedIncrement(&ServerLockCount);
    else
        InterlockedDecrement(&ServerLockCount);
    return S_OK;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out)
{
    // Null on every failure, so that a caller that releases what it got cannot release
    // garbage; the answers keep their order (interface, class, then the pointer itself).
    if (out)
        *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    const FactoryTemplate* row = nullptr;
    for (const FactoryTemplate& candidate : FactoryTemplates) {
        if (IsEqualCLSID(*candidate.classId, classId)) {
            row = &candidate;
            break;
        }
    }
    if (!row)
        return CLASS_E_CLASSNOTAVAILABLE;
    if (!out)
        return E_POINTER;

    ComPtr<IClassFactory> factory(new (std::nothrow) CObjectFactory(*row));
    *out = factory.Detach();
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDAPI DllCanUnloadNow()
{
    return ServerLockCount > 0 || ObjectCount != 0 ? S_FALSE : S_OK;
}
