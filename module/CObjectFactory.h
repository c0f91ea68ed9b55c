#pragma once
// The class factory of one template row. Every DllGetClassObject makes a fresh one; it
// counts as a live object, so a factory alone keeps the module loaded. Any thread.
#include "ModuleTables.h"
#include "framework/CSimpleUnknown.h"
#include "framework/CUnknown.h"

#include <windows.h>
#include <unknwn.h>

class CObjectFactory : public CBaseObject, public CSimpleUnknown<IClassFactory, &IID_IClassFactory>
{
public:
    explicit CObjectFactory(const FactoryTemplate& factoryTemplate);

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    const FactoryTemplate& factoryTemplate;    // a row of the static table, not owned
};
