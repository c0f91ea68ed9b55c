#pragma once
// The property page of a capture pin: chooses the pin's preferred format as a colour
// space and a frame size through the variant's IIPPin. One class serves all variants.
#include "Orvix61Test.h"
#include "filter/FilterVariant.h"
#include "framework/CBasePropertyPage.h"

// Runs on the property frame's user-interface thread and takes no lock; the pin
// serialises its own preferred-index calls. The page is never dirty: the choice reaches
// the pin when the page is deactivated.
class CPinProperties : public CBasePropertyPage
{
public:
    CPinProperties(IUnknown* outer, const FilterVariant& variant);

protected:
    HRESULT BindObject(IUnknown* object) override;
    HRESULT UnbindObject() override;
    HRESULT LoadControls() override;
    HRESULT SaveControls() override;
    HRESULT CommitChanges() override;

private:
    const FilterVariant variantRecord;
    ComPtr<IIPPin> pinInterface;    // null while no object is bound
};

// Makes a pin page for `variant` and returns its inner unknown, or null when memory
// runs out. Construction cannot fail otherwise, so `result` is never written.
CUnknown* CreatePinProperties(IUnknown* outer, HRESULT* result, const FilterVariant& variant);
