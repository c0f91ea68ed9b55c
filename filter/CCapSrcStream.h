#pragma once
// The capture output pin of every variant and the source of its frames: it owns the
// test camera, offers and accepts the catalogue's formats, answers what capture
// programs ask of a capture pin, and keeps the preferred format in the registry.
#include "DroppedFrameCounts.h"
#include "FilterVariant.h"
#include "Orvix61Test.h"
#include "camera/FaultScenario.h"
#include "camera/FormatCatalogue.h"
#include "camera/TestCamera.h"
#include "framework/CSourceStream.h"

#include <windows.h>
#include <dshow.h>

#include <memory>

class CCapSrc;

// Locking
//   stateLock (the filter's): connection, buffer sizing, and SetPreferredIndex with its
//   registry write. A stopping filter holds it while it waits for the worker, so neither
//   the worker nor any query a host may make from a sample callback takes it.
//   typeLock (the pin base's): the connection type, preferredIndex and the camera's
//   geometry as the host's threads read and change them (format listing, IAMStreamConfig,
//   GetPreferredIndex, buffer sizing); held only while they are read or copied.
//   sampleLock: held while one frame is filled; the worker takes only this, and the
//   filter's settingsLock inside it.
//   camera: the worker's while the filter is active (FillSample, under sampleLock); the
//   host's threads change its geometry and settings only while it is stopped, during a
//   connection, and read its rate for listing under typeLock.
//   typeLock also guards listBottomUp, and rowsPositive where a connection sets it; the
//   worker reads rowsPositive as it starts without it, as a connection cannot change
//   while the filter is active.
//   scenarioLock: instanceScenario, useInstanceScenario and streamScenario as host threads
//   set and read them. streamScenario changes only at a start, before the worker begins;
//   the worker then reads it, and its own fault state (Stream*), without a lock.
//   dropCounts has its own lock.
//   Order: stateLock, then typeLock or scenarioLock; sampleLock, then the filter's
//   settingsLock.
class CCapSrcStream : public CSourceStream,
                      public IAMStreamConfig,
                      public IKsPropertySet,
                      public ISpecifyPropertyPages,
                      public IAMFilterMiscFlags,
                      public IAMDroppedFrames,
                      public IIPPin
{
public:
    CCapSrcStream(HRESULT* result, CCapSrc* filter, const wchar_t* pinName,
                  const FilterVariant& variant);

    // Every interface of the pin, its inner unknown included, answers through
    // InnerQueryInterface, so what one interface reaches every other reaches too; all
    // share the pin's count, which is its filter's.
    DECLARE_DELEGATING_UNKNOWN
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // IAMStreamConfig
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    // IKsPropertySet: the pin category, read-only.
    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceBytes,
                                  void* data, DWORD dataBytes) override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceBytes,
                                  void* data, DWORD dataBytes, DWORD* returnedBytes) override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // ISpecifyPropertyPages: the variant's pin page.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // IAMFilterMiscFlags
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;

    // IAMDroppedFrames: the frames a fault scenario dropped, and those delivered, since the
    // stream last started.
    HRESULT STDMETHODCALLTYPE GetNumDropped(long* dropped) override;
    HRESULT STDMETHODCALLTYPE GetNumNotDropped(long* delivered) override;
    HRESULT STDMETHODCALLTYPE GetDroppedInfo(long size, long* numbers, long* copied) override;
    HRESULT STDMETHODCALLTYPE GetAverageFrameSize(long* bytes) override;

    // IIPPin
    HRESULT STDMETHODCALLTYPE GetPreferredIndex(LONG* index) override;
    HRESULT STDMETHODCALLTYPE SetPreferredIndex(const LONG* index) override;

    // The filter's IIPFaultScenario, answered here.
    HRESULT SetFaultScenario(const char* text);
    HRESULT GetFaultScenario(char** text);

    // Takes the fault scenario for the stream about to start, then starts it; a scenario
    // that fails the start fails it here, before anything is committed.
    HRESULT Activate() override;
    // Counts each sample handed to the downstream pin.
    HRESULT DeliverSample(IMediaSample* sample) override;

    // The camera as the last frame left it; for the tests of this pin only, while
    // nothing streams.
    const TestCamera& Camera() const { return camera; }

protected:
    HRESULT ListMediaType(int position, CMediaTypeRecord* type) override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetConnectionType(const AM_MEDIA_TYPE* type) override;
    HRESULT ChooseBufferSize(IMemAllocator* candidate, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillSample(IMediaSample* sample) override;
    HRESULT OnWorkerCreate() override;

private:
    // Hands the filter's settings to the camera as a real sensor would receive them.
    void ApplySettings(const CameraSettings& settings);
    // Changed settings reach the camera after the frame that was being filled.
    void ApplyChangedSettings();
    // FillSample under a fault scenario: makes frames until one is to be delivered or a
    // command comes, and carries out what the scenario says of each.
    HRESULT FillUnderScenario(IMediaSample* sample, BYTE* buffer);
    // The scenario a start takes: the instance's, or the one stored for the variant.
    FaultScenario ScenarioForStart();

    TestCamera camera;
    FormatIndex preferredIndex = FirstFormatIndex;
    const int typeCount = 1;
    CCapSrc* const captureFilter;    // no reference: the filter owns the pin
    CriticalSection sampleLock;
    const FilterVariant variant;

    CriticalSection scenarioLock;
    FaultScenario instanceScenario;
    bool useInstanceScenario = false;
    FaultScenario streamScenario;    // the stream's, taken at its start
    bool listBottomUp = false;       // listed types carry a positive height
    bool rowsPositive = false;       // the connection's height is positive (bottom-up)
    DroppedFrameCounts dropCounts;

    // The worker's state of the stream that runs, set up when it starts.
    bool streamFaults = false;    // streamScenario is not empty
    bool streamReversesRows = false;
    LONGLONG streamFrame = 0;    // the number of the next frame the camera makes
    bool streamDeviceLost = false;
    bool streamStalling = false;            // a stall began and was interrupted by a command
    DWORD streamStallEndsAt = 0;            // tick count
    std::unique_ptr<BYTE[]> repeatFrame;    // frame bytes to deliver again, when pending
    LONG repeatFrameBytes = 0;
    bool repeatPending = false;
    LONGLONG repeatShiftMs = 0;
};
