#include "FilterVariants.h"

#include "Orvix61Test.h"

const FilterVariant FilterVariants[variantCount] = {
    {L"Orvix61 Capture Source Test 1", CLSID_Orvix61CapSrc1, CLSID_Orvix61FilterPage1,
     CLSID_Orvix61PinPage1, IID_IIPFilter1, IID_IIPPin1},
    {L"Orvix61 Capture Source Test 2", CLSID_Orvix61CapSrc2, CLSID_Orvix61FilterPage2,
     CLSID_Orvix61PinPage2, IID_IIPFilter2, IID_IIPPin2},
    {L"Orvix61 Capture Source Test 3", CLSID_Orvix61CapSrc3, CLSID_Orvix61FilterPage3,
     CLSID_Orvix61PinPage3, IID_IIPFilter3, IID_IIPPin3},
    {L"Orvix61 Capture Source Test 4", CLSID_Orvix61CapSrc4, CLSID_Orvix61FilterPage4,
     CLSID_Orvix61PinPage4, IID_IIPFilter4, IID_IIPPin4},
};
