#pragma once
#include <windows.h>
#include <ocidl.h>

// Answers ISpecifyPropertyPages::GetPages with the one page `page`, in task memory that
// the caller frees. E_OUTOFMEMORY leaves the count at 1 and the list null.
HRESULT NameOnePropertyPage(REFCLSID page, CAUUID* pages);
