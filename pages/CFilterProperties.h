#pragma once
// The property page of a capture filter: shows the filter's camera settings and writes
// them back whole through the variant's IIPFilter. One class serves all four variants.
#include "Orvix61Test.h"
#include "filter/FilterVariant.h"
#include "framework/CBasePropertyPage.h"

// Runs on the property frame's user-interface thread and takes no lock; the filter
// serialises its own settings calls.
class CFilterProperties : public CBasePropertyPage
{
public:
    CFilterProperties(IUnknown* outer, const FilterVariant& variant);

protected:
    HRESULT BindObject(IUnknown* object) override;
    HRESULT UnbindObject() override;
    HRESULT LoadControls() override;
    HRESULT SaveControls() override;
    HRESULT CommitChanges() override;
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Reads the controls into a record and hands it to the filter. `showRaisedLimits`
    // also puts the raised auto-exposure limits back into their boxes.
    HRESULT SendControls(bool showRaisedLimits);

    const FilterVariant variantRecord;
    ComPtr<IIPFilter> filterInterface;    // null while no object is bound
};

// Makes a filter page for `variant` and returns its inner unknown, or null when memory
// runs out. Construction cannot fail otherwise, so `result` is never written.
CUnknown* CreateFilterProperties(IUnknown* outer, HRESULT* result, const FilterVariant& variant);
