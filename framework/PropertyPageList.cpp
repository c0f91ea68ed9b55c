#include "PropertyPageList.h"

HRESULT NameOnePropertyPage(REFCLSID page, CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems)
        return E_OUTOFMEMORY;
    pages->pElems[0] = page;
    return S_OK;
}
