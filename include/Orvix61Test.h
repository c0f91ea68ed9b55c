#pragma once
// Public interface of Orvix61Test.ax for host programs: the class identifiers of the
// four capture source variants and their property pages, and the custom interfaces
// through which a host reads and changes a filter's camera settings and its pin's
// preferred format. Each variant answers IIPFilter and IIPPin under its own
// identifiers; ask with those of the variant you created.
#include <windows.h>
#include <unknwn.h>

// The settings record that crosses IIPFilter by value: eleven 32-bit integers and the
// camera name, 172 bytes without gaps. The six index fields select entries of the
// gain, integration-time and clip value lists (0 selects each list's default entry).
struct CameraSettings
{
    LONG ExposureGain;          // 0..12
    LONG ExposureIntTime;       // 0..13
    LONG ExposureMaxGain;       // 0..12
    LONG ExposureMaxIntTime;    // 0..13
    LONG AutoLevelsMinClip;     // 0..7
    LONG AutoLevelsMaxClip;     // 0..7
    LONG AutoExposureEnable;    // 1 on, 0 off
    LONG AutoLevelsEnable;      // 1 on, 0 off
    LONG settingsChanged;       // 1: the camera has not been given these settings yet
    LONG AntiFlickerEnable;     // 1 on, 0 off
    LONG AntiFlickerFreq;       // 0: 50 Hz, anything else: 60 Hz
    char CameraName[128];       // NUL-terminated; "Not used" when no camera is chosen
};
static_assert(sizeof(CameraSettings) == 172, "CameraSettings crosses IIPFilter as 172 bytes");

struct IIPFilter : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetCameraSettings(CameraSettings* settings) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCameraSettings(const CameraSettings* settings) = 0;
};

struct IIPPin : public IUnknown
{
    // The format offered first, as its position in the module's catalogue: the index under
    // which the pin's IAMStreamConfig::GetStreamCaps describes it, counted from 1. Stored
    // as given; a value outside the catalogue lists as 1.
    virtual HRESULT STDMETHODCALLTYPE GetPreferredIndex(LONG* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreferredIndex(const LONG* index) = 0;
};

// A fault scenario for one filter instance, for programs and tests that make the filter
// themselves; `orvix-camera --faults` stores one for every new filter of a variant instead.
// Every variant answers it under IID_IIPFaultScenario. The text is as orvix-camera takes
// it, items separated by ';' ("drop 5,17; stall 40 500"); the README says what each does.
struct IIPFaultScenario : public IUnknown
{
    // From the next start of the stream on, this filter runs `scenario` in place of the one
    // stored for its variant, and lists the orientation it names at once; "" runs none.
    // Null goes back to the stored one. E_INVALIDARG, changing nothing, when the text does
    // not parse.
    virtual HRESULT STDMETHODCALLTYPE SetFaultScenario(const char* scenario) = 0;
    // The scenario of the stream that runs, or while none runs (stopped, or with the pin
    // unconnected) the one its next start will take, written as orvix-camera --show
    // writes it; "" for none. Task memory: the caller frees it with CoTaskMemFree.
    virtual HRESULT STDMETHODCALLTYPE GetFaultScenario(char** scenario) = 0;
};

inline constexpr GUID IID_IIPFaultScenario = {
    0xBA70FFC0,
    0x091A,
    0x43ED,
    {0x9F, 0x18, 0xF2, 0x37, 0x52, 0x36, 0xF9, 0xA4}};    // {BA70FFC0-091A-43ED-9F18-F2375236F9A4}

// Identifiers of the four variants. Registrations and stored settings are keyed by
// them, so they never change.
inline constexpr GUID CLSID_Orvix61CapSrc1 = {
    0xED245B18,
    0x6926,
    0x4715,
    {0x85, 0x93, 0x79, 0x7A, 0x9D, 0x3E, 0x96, 0x7F}};    // {ED245B18-6926-4715-8593-797A9D3E967F}
inline constexpr GUID CLSID_Orvix61CapSrc2 = {
    0x9BA13ADC,
    0x8B9F,
    0x458E,
    {0x83, 0xC9, 0x26, 0x53, 0xF9, 0x0E, 0x6E, 0x35}};    // {9BA13ADC-8B9F-458E-83C9-2653F90E6E35}
inline constexpr GUID CLSID_Orvix61CapSrc3 = {
    0x36C1A34F,
    0xFCE3,
    0x4085,
    {0xB8, 0x3D, 0x80, 0xA2, 0xD8, 0x8F, 0x31, 0x60}};    // {36C1A34F-FCE3-4085-B83D-80A2D88F3160}
inline constexpr GUID CLSID_Orvix61CapSrc4 = {
    0x9E4DD777,
    0x9C53,
    0x4CB8,
    {0xB4, 0x09, 0xB5, 0x3C, 0xFE, 0x74, 0xC1, 0x1A}};    // {9E4DD777-9C53-4CB8-B409-B53CFE74C11A}

inline constexpr GUID CLSID_Orvix61FilterPage1 = {
    0x0C4B8233,
    0x604F,
    0x4357,
    {0xBC, 0xFC, 0x4C, 0x94, 0x73, 0x06, 0x01, 0xAF}};    // {0C4B8233-604F-4357-BCFC-4C94730601AF}
inline constexpr GUID CLSID_Orvix61FilterPage2 = {
    0xD1DDB1D1,
    0x811B,
    0x474A,
    {0x82, 0xC0, 0x14, 0xE9, 0x42, 0xA5, 0xE7, 0x33}};    // {D1DDB1D1-811B-474A-82C0-14E942A5E733}
inline constexpr GUID CLSID_Orvix61FilterPage3 = {
    0xD092558C,
    0xAB8E,
    0x44B1,
    {0x88, 0xED, 0x1F, 0x6F, 0x52, 0x33, 0xEA, 0x81}};    // {D092558C-AB8E-44B1-88ED-1F6F5233EA81}
inline constexpr GUID CLSID_Orvix61FilterPage4 = {
    0x2F88F712,
    0xA734,
    0x428C,
    {0xBB, 0x3D, 0xD5, 0xA3, 0x8C, 0x4B, 0x09, 0xF9}};    // {2F88F712-A734-428C-BB3D-D5A38C4B09F9}

inline constexpr GUID CLSID_Orvix61PinPage1 = {
    0xDB4E791E,
    0xD58E,
    0x4666,
    {0xA1, 0xD1, 0x3F, 0xA6, 0x6C, 0x19, 0x5E, 0x4C}};    // {DB4E791E-D58E-4666-A1D1-3FA66C195E4C}
inline constexpr GUID CLSID_Orvix61PinPage2 = {
    0x5035F20C,
    0x3264,
    0x44FF,
    {0xAE, 0x50, 0x6D, 0x28, 0x4E, 0x17, 0x73, 0x6B}};    // {5035F20C-3264-44FF-AE50-6D284E17736B}
inline constexpr GUID CLSID_Orvix61PinPage3 = {
    0x96A8AE48,
    0x19D7,
    0x4071,
    {0xA2, 0x14, 0x66, 0x14, 0xD2, 0xC8, 0x9F, 0x14}};    // {96A8AE48-19D7-4071-A214-6614D2C89F14}
inline constexpr GUID CLSID_Orvix61PinPage4 = {
    0x1F8821FC,
    0xF4AE,
    0x4E2F,
    {0x97, 0x69, 0x12, 0x7D, 0x00, 0x86, 0xAA, 0x9A}};    // {1F8821FC-F4AE-4E2F-9769-127D0086AA9A}

inline constexpr GUID IID_IIPFilter1 = {
    0xE0862303,
    0x9D8F,
    0x4689,
    {0x94, 0xF7, 0x45, 0xD7, 0x12, 0xE1, 0xF8, 0x77}};    // {E0862303-9D8F-4689-94F7-45D712E1F877}
inline constexpr GUID IID_IIPFilter2 = {
    0x06FE795A,
    0xD19C,
    0x4C96,
    {0x90, 0xF9, 0xF0, 0xCE, 0x7D, 0x2A, 0x18, 0x87}};    // {06FE795A-D19C-4C96-90F9-F0CE7D2A1887}
inline constexpr GUID IID_IIPFilter3 = {
    0x2E0F1E47,
    0x7062,
    0x4DE6,
    {0xB2, 0x42, 0x92, 0xDB, 0x87, 0x12, 0xC4, 0x17}};    // {2E0F1E47-7062-4DE6-B242-92DB8712C417}
inline constexpr GUID IID_IIPFilter4 = {
    0x0F00C2BA,
    0x0920,
    0x45B7,
    {0xB3, 0x48, 0x64, 0x1E, 0x3C, 0x70, 0x73, 0xDF}};    // {0F00C2BA-0920-45B7-B348-641E3C7073DF}

inline constexpr GUID IID_IIPPin1 = {
    0x75DA9750,
    0x13E1,
    0x4EF9,
    {0xAF, 0x47, 0x72, 0x6F, 0x1F, 0x60, 0x98, 0x20}};    // {75DA9750-13E1-4EF9-AF47-726F1F609820}
inline constexpr GUID IID_IIPPin2 = {
    0x64294AD1,
    0x7030,
    0x4341,
    {0xAE, 0x64, 0x1E, 0x8D, 0xEA, 0xF9, 0x4F, 0x13}};    // {64294AD1-7030-4341-AE64-1E8DEAF94F13}
inline constexpr GUID IID_IIPPin3 = {
    0xE89FA461,
    0x46FD,
    0x48AD,
    {0x89, 0x7C, 0x92, 0xE7, 0x8A, 0x93, 0xC4, 0x11}};    // {E89FA461-46FD-48AD-897C-92E78A93C411}
inline constexpr GUID IID_IIPPin4 = {
    0x6BFDED05,
    0x4DCC,
    0x4795,
    {0x82, 0x13, 0x4D, 0x77, 0x3F, 0x23, 0xE6, 0x5E}};    // {6BFDED05-4DCC-4795-8213-4D773F23E65E}
