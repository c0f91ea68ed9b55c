#pragma once
// The capture source filter of every variant: a source filter with one capture pin,
// the variant's camera settings (persisted in the registry) and the custom IIPFilter
// through which the filter property page reads and changes them.
#include "FilterVariant.h"
#include "Orvix61Test.h"
#include "framework/CSource.h"

#include <windows.h>
#include <dshow.h>

class CCapSrcStream;

// Locking
//   stateLock (CSource's): state changes, connection, construction, and
//   SetCameraSettings with its registry writes, so that two callers' writes land in the
//   order of their changes. A stopping filter holds it while it waits for the worker.
//   settingsLock: the settings record and settingsChanged, taken briefly by IIPFilter
//   and by the pin's worker between frames; never held while calling out.
//   variant: constant after construction.
//   Order: stateLock, then settingsLock.
class CCapSrc : public CSource,
                public ISpecifyPropertyPages,
                public IIPFilter,
                public IIPFaultScenario
{
public:
    CCapSrc(IUnknown* outer, HRESULT* result, const FilterVariant& variant);
    ~CCapSrc() override;

    // ISpecifyPropertyPages is answered by the filter itself even when aggregated.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return Owner()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Owner()->Release(); }
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // IBaseFilter: a paused live source cannot cue data.
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;

    // ISpecifyPropertyPages: the variant's filter page.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // IIPFilter
    HRESULT STDMETHODCALLTYPE GetCameraSettings(CameraSettings* settings) override;
    HRESULT STDMETHODCALLTYPE SetCameraSettings(const CameraSettings* settings) override;

    // For the pin's worker, between frames: when the settings changed since the last
    // call, copies the whole record, clears settingsChanged and answers true. A record
    // that arrives meanwhile keeps its flag, so no change is lost.
    bool TakeChangedSettings(CameraSettings* settings);

    // IIPFaultScenario, answered by the pin, which runs the scenario.
    HRESULT STDMETHODCALLTYPE SetFaultScenario(const char* scenario) override;
    HRESULT STDMETHODCALLTYPE GetFaultScenario(char** scenario) override;
    // The current record, whole; for the pin when a connection is made.
    CameraSettings CurrentSettings();

private:
    const FilterVariant variant;
    CCapSrcStream* capturePin = nullptr;    // owned by the stream array; null if it failed
    CriticalSection settingsLock;
    CameraSettings settings;
};

// Makes a filter of `variant` and returns its inner unknown, or null when memory runs
// out. A failure during construction is stored in `result`; the creator then destroys
// the half-built filter without handing it out.
CUnknown* CreateCapSrc(IUnknown* outer, HRESULT* result, const FilterVariant& variant);
