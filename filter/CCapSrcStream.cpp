#include "CCapSrcStream.h"

#include "CCapSrc.h"
#include "CameraValueLists.h"
#include "SettingsStore.h"
#include "framework/PropertyPageList.h"
#include "framework/Result.h"

#include <ks.h>
#include <ksmedia.h>

#include <cstring>
#include <new>

namespace {

constexpr LONG BufferCount = 10;

// The connection type's video header, or null when its block is missing or too short
// to hold one (a type stored by SetFormat may be anything).
const VIDEOINFOHEADER* VideoHeaderOf(const AM_MEDIA_TYPE& type)
{
    if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// Under a bottom-up scenario the pin describes its frames with a positive height.
void DescribeBottomUp(AM_MEDIA_TYPE* type)
{
    if (!type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER))
        return;
    LONG& height = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biHeight;
    if (height < 0)
        height = -height;
}

}    // namespace

CCapSrcStream::CCapSrcStream(HRESULT* result, CCapSrc* filter, const wchar_t* pinName,
                             const FilterVariant& variant)
    : CSourceStream(result, filter, pinName), captureFilter(filter), variant(variant)
{
    char path[SettingsKeyPathBytes] = {};
    if (SettingsKeyPath(variant.filterClassId, path))
        ReadSettingInt(path, PreferredIndexValueName, FirstFormatIndex, &preferredIndex);
    listBottomUp = LoadFaultScenario(variant.filterClassId).BottomUp();
    // The connection type starts as the preferred format.
    ListMediaType(0, &connectionType);
    if (!camera.Open() && result)
        *result = E_OUTOFMEMORY;
}

HRESULT CCapSrcStream::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IAMStreamConfig))
        return HandOutInterface(static_cast<IAMStreamConfig*>(this), out);
    if (IsEqualIID(iid, IID_IKsPropertySet))
        return HandOutInterface(static_cast<IKsPropertySet*>(this), out);
    if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return HandOutInterface(static_cast<ISpecifyPropertyPages*>(this), out);
    if (IsEqualIID(iid, IID_IAMFilterMiscFlags))
        return HandOutInterface(static_cast<IAMFilterMiscFlags*>(this), out);
    if (IsEqualIID(iid, IID_IAMDroppedFrames))
        return HandOutInterface(static_cast<IAMDroppedFrames*>(this), out);
    if (IsEqualIID(iid, variant.pinInterfaceId))
        return HandOutInterface(static_cast<IIPPin*>(this), out);
    return CSourceStream::InnerQueryInterface(iid, out);
}

HRESULT CCapSrcStream::ListMediaType(int position, CMediaTypeRecord* type)
{
    ScopedLock hold(typeLock);
    if (!type)
        return E_POINTER;
    if (position < 0)
        return E_INVALIDARG;
    if (position >= typeCount)
        return VFW_S_NO_MORE_ITEMS;
    RETURN_IF_FAILED(
        BuildListedMediaType(position, preferredIndex, camera.Geometry().frameRate, type));
    if (listBottomUp)
        DescribeBottomUp(type);
    return S_OK;
}

HRESULT CCapSrcStream::AcceptsMediaType(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    return IsAcceptableCatalogueType(*type) ? S_OK : E_INVALIDARG;
}

HRESULT CCapSrcStream::SetConnectionType(const AM_MEDIA_TYPE* type)
{
    ScopedLock hold(sourceFilter->stateLock);
    const HRESULT recorded = CSourceStream::SetConnectionType(type);
    if (FAILED(recorded))
        return recorded;
    {
        ScopedLock holdType(typeLock);
        if (!connectionType.pbFormat || connectionType.cbFormat == 0)
            return E_UNEXPECTED;
    }
    ApplySettings(captureFilter->CurrentSettings());
    return recorded;
}

HRESULT CCapSrcStream::ChooseBufferSize(IMemAllocator* candidate, ALLOCATOR_PROPERTIES* request)
{
    ScopedLock hold(sourceFilter->stateLock);
    if (!candidate || !request)
        return E_POINTER;
    BITMAPINFOHEADER header = {};
    {
        ScopedLock holdType(typeLock);
        const VIDEOINFOHEADER* video = VideoHeaderOf(connectionType);
        if (!video)
            return VFW_E_INVALIDMEDIATYPE;
        header = video->bmiHeader;
    }
    // Never less than the camera will write for this geometry, whatever the header's
    // image size says: a sample must hold a whole frame.
    LONGLONG bufferBytes = CameraFrameBytes(header.biWidth, header.biHeight, header.biBitCount);
    if (LONGLONG(header.biSizeImage) > bufferBytes)
        bufferBytes = header.biSizeImage;
    if (bufferBytes <= 0 || bufferBytes > LONG_MAX)
        return E_FAIL;

    request->cBuffers = BufferCount;
    request->cbBuffer = LONG(bufferBytes);
    ALLOCATOR_PROPERTIES granted = {};
    const HRESULT hr = candidate->SetProperties(request, &granted);
    if (FAILED(hr))
        return hr;
    if (granted.cbBuffer < request->cbBuffer)
        return E_FAIL;
    ScopedLock holdType(typeLock);
    camera.ConfigureGeometry(header.biWidth, header.biHeight, header.biBitCount);
    rowsPositive = header.biHeight > 0;
    return hr;
}

HRESULT CCapSrcStream::FillSample(IMediaSample* sample)
{
    ScopedLock hold(sampleLock);
    if (!sample)
        return E_POINTER;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    if (!buffer)
        return E_POINTER;
    // A sample that cannot hold a whole frame ends the stream instead of being overrun.
    if (sample->GetSize() < camera.Geometry().frameBytes)
        return VFW_E_BUFFER_OVERFLOW;
    if (streamFaults)
        return FillUnderScenario(sample, buffer);

    LONGLONG stampMs = 0;
    LONG durationMs = 0;
    if (!camera.CaptureFrame(buffer, &stampMs, &durationMs))
        return S_FALSE;
    REFERENCE_TIME start = stampMs * 10000;
    REFERENCE_TIME stop = start + durationMs * 10000;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    ApplyChangedSettings();
    return S_OK;
}

HRESULT CCapSrcStream::FillUnderScenario(IMediaSample* sample, BYTE* buffer)
{
    const LONG frameBytes = camera.Geometry().frameBytes;
    const LONG rows = camera.Geometry().height;
    const size_t rowBytes = rows > 0 ? size_t(frameBytes) / size_t(rows) : 0;
    LONGLONG stampMs = 0;
    LONG durationMs = 1;
    if (repeatPending) {
        // The frame again, in the next frame's place on the clock.
        repeatPending = false;
        std::memcpy(buffer, repeatFrame.get(), size_t(repeatFrameBytes));
        REFERENCE_TIME start = (camera.AdvanceClock() + repeatShiftMs) * 10000;
        REFERENCE_TIME stop = start + durationMs * 10000;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(FALSE);
        return S_OK;
    }
    for (;;) {
        if (streamDeviceLost) {
            // Nothing comes from a lost device; the worker waits for the host to stop.
            WaitBetweenFrames(INFINITE, false);
            return FillWithheld;
        }
        const FrameFate fate = streamScenario.FateOf(streamFrame);
        switch (fate.end) {
        case StreamEnd::DeviceLost:
            streamDeviceLost = true;
            sourceFilter->PostGraphEvent(EC_DEVICE_LOST,
                                         reinterpret_cast<LONG_PTR>(sourceFilter->Owner()), 0);
            continue;
        case StreamEnd::Abort:
            sourceFilter->PostGraphEvent(EC_ERRORABORT, fate.abortResult, 0);
            return S_FALSE;    // then end of stream
        case StreamEnd::EndOfStream:
            return S_FALSE;
        case StreamEnd::None:
            break;
        }
        if (fate.stallMs > 0) {
            // What is left of a stall a command interrupted goes on when the worker does.
            if (!streamStalling)
                streamStallEndsAt = GetTickCount() + DWORD(fate.stallMs);
            streamStalling = true;
            const LONG remaining = LONG(streamStallEndsAt - GetTickCount());
            if (remaining > 0 && WaitBetweenFrames(DWORD(remaining), true) && PeekCommand(nullptr))
                return FillWithheld;
            streamStalling = false;
        }
        if (!camera.CaptureFrame(buffer, &stampMs, &durationMs))
            return S_FALSE;
        const LONGLONG number = streamFrame++;
        ApplyChangedSettings();
        if (!fate.delivered) {
            dropCounts.CountDropped(number);
            // A scenario may drop every frame from here on (drop-every 1, drop-percent 100):
            // a stop must reach a worker that never gets back to the buffer loop.
            if (PeekCommand(nullptr))
                return FillWithheld;
            continue;
        }
        if (fate.corrupted)
            CorruptFrame(buffer, rowBytes, rows);
        if (streamReversesRows)
            ReverseRows(buffer, rowBytes, rows);
        if (fate.untimed) {
            sample->SetTime(nullptr, nullptr);
        } else {
            REFERENCE_TIME start = (stampMs + fate.stampShiftMs) * 10000;
            REFERENCE_TIME stop = start + durationMs * 10000;
            sample->SetTime(&start, &stop);
        }
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(fate.discontinuity ? TRUE : FALSE);
        if (fate.repeated) {
            if (repeatFrameBytes != frameBytes) {
                repeatFrame.reset(new (std::nothrow) BYTE[size_t(frameBytes)]);
                repeatFrameBytes = repeatFrame ? frameBytes : 0;
            }
            // Without memory for the copy the frame comes once, as from a camera that
            // could not resend it.
            repeatPending = repeatFrame != nullptr;
            if (repeatPending)
                std::memcpy(repeatFrame.get(), buffer, size_t(frameBytes));
            repeatShiftMs = fate.stampShiftMs;
        }
        return S_OK;
    }
}

void CCapSrcStream::ApplyChangedSettings()
{
    CameraSettings changed;
    if (captureFilter->TakeChangedSettings(&changed))
        ApplySettings(changed);
}

HRESULT CCapSrcStream::OnWorkerCreate()
{
    camera.OnStreamStart();
    // A new stream, and the scenario its start took.
    streamFaults = !streamScenario.IsEmpty();
    streamReversesRows = streamScenario.BottomUp() && rowsPositive;
    streamFrame = 0;
    streamDeviceLost = false;
    streamStalling = false;
    repeatPending = false;
    if (streamScenario.ClockWrap())
        camera.SetFrameClock(WrappingClockStart(camera.FrameClock()));
    return S_OK;
}

HRESULT CCapSrcStream::Activate()
{
    ScopedLock hold(sourceFilter->stateLock);
    if (!sourceFilter->IsActive()) {
        // Every start takes the scenario anew: a change made while streaming applies here.
        const FaultScenario taken = ScenarioForStart();
        {
            ScopedLock holdScenario(scenarioLock);
            streamScenario = taken;
        }
        {
            ScopedLock holdType(typeLock);
            listBottomUp = taken.BottomUp();
        }
        dropCounts.Reset();
        if (FAILED(taken.FailStart()))
            return taken.FailStart();
    }
    return CSourceStream::Activate();
}

FaultScenario CCapSrcStream::ScenarioForStart()
{
    {
        ScopedLock holdScenario(scenarioLock);
        if (useInstanceScenario)
            return instanceScenario;
    }
    return LoadFaultScenario(variant.filterClassId);
}

HRESULT CCapSrcStream::DeliverSample(IMediaSample* sample)
{
    // Handed to the downstream pin is delivered, whatever the host then does with it.
    dropCounts.CountDelivered(camera.Geometry().frameBytes);
    return CSourceStream::DeliverSample(sample);
}

HRESULT CCapSrcStream::SetFaultScenario(const char* text)
{
    FaultScenario given;
    if (text) {
        char problem[ScenarioProblemBytes];
        if (!FaultScenario::Parse(text, &given, problem))
            return E_INVALIDARG;
    }
    const bool bottomUp =
        text ? given.BottomUp() : LoadFaultScenario(variant.filterClassId).BottomUp();
    {
        ScopedLock holdScenario(scenarioLock);
        instanceScenario = given;
        useInstanceScenario = text != nullptr;
    }
    ScopedLock holdType(typeLock);
    listBottomUp = bottomUp;
    return S_OK;
}

HRESULT CCapSrcStream::GetFaultScenario(char** text)
{
    if (!text)
        return E_POINTER;
    *text = nullptr;
    FaultScenario described;
    // An active filter whose pin is unconnected runs no stream: its next start is what the
    // caller can still change, so that is the scenario to name.
    if (sourceFilter->IsActive() && IsConnected()) {
        ScopedLock holdScenario(scenarioLock);
        described = streamScenario;
    } else {
        described = ScenarioForStart();
    }
    char formatted[MaxScenarioTextBytes];
    if (!described.Format(formatted, sizeof(formatted)))
        return E_UNEXPECTED;
    const size_t bytes = std::strlen(formatted) + 1;
    CoTaskMemPtr<char> copy = CoTaskMemPtr<char>::Allocate(bytes);
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(copy.Get(), formatted, bytes);
    *text = copy.Detach();
    return S_OK;
}

HRESULT CCapSrcStream::GetNumDropped(long* dropped)
{
    if (!dropped)
        return E_POINTER;
    *dropped = dropCounts.Dropped();
    return S_OK;
}

HRESULT CCapSrcStream::GetNumNotDropped(long* delivered)
{
    if (!delivered)
        return E_POINTER;
    *delivered = dropCounts.Delivered();
    return S_OK;
}

HRESULT CCapSrcStream::GetDroppedInfo(long size, long* numbers, long* copied)
{
    if (!numbers || !copied)
        return E_POINTER;
    if (size <= 0)
        return E_INVALIDARG;
    *copied = dropCounts.CopyDroppedNumbers(numbers, size);
    return S_OK;
}

HRESULT CCapSrcStream::GetAverageFrameSize(long* bytes)
{
    if (!bytes)
        return E_POINTER;
    *bytes = dropCounts.AverageFrameBytes();
    return S_OK;
}

void CCapSrcStream::ApplySettings(const CameraSettings& settings)
{
    CameraParameters parameters;
    parameters.gain = GainValueList[settings.ExposureGain];
    parameters.maxGain = GainValueList[settings.ExposureMaxGain];
    parameters.intTime = IntTimeValueList[settings.ExposureIntTime];
    parameters.maxIntTime = IntTimeValueList[settings.ExposureMaxIntTime];
    parameters.minClip = ClipValueList[settings.AutoLevelsMinClip];
    parameters.maxClip = ClipValueList[settings.AutoLevelsMaxClip];
    parameters.autoExposure = settings.AutoExposureEnable;
    parameters.autoLevels = settings.AutoLevelsEnable;
    parameters.flickerHz = !settings.AntiFlickerEnable     ? 0.0
                           : settings.AntiFlickerFreq == 0 ? 50.0
                                                           : 60.0;
    parameters.minGain = 1.0;
    parameters.minIntTime = 0.1;
    parameters.exposureTarget = 10.0;
    parameters.exposureTolerance = 1.0;
    parameters.exposureDamping = 3.5;
    const size_t nameLength = strnlen(settings.CameraName, sizeof(parameters.cameraName) - 1);
    std::memcpy(parameters.cameraName, settings.CameraName, nameLength);    // zero-filled past it
    camera.SetParameters(parameters);
    camera.UpdateFrameBytes();
}

HRESULT CCapSrcStream::SetFormat(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    {
        // Copied aside first: a failed copy leaves the pin with its old, whole type. The
        // old type moves out under typeLock and is freed after it.
        CMediaTypeRecord stored, replaced;
        RETURN_IF_FAILED(stored.CopyFrom(*type));
        ScopedLock hold(typeLock);
        replaced.MoveFrom(connectionType);
        connectionType.MoveFrom(stored);
    }
    ComPtr<IPin> connected;
    const bool isConnected = ConnectedTo(connected.Put()) == S_OK;
    connected.Reset();
    const ComPtr<IFilterGraph> graph = sourceFilter->JoinedGraph();
    if (isConnected && graph)
        graph->Reconnect(static_cast<IPin*>(this));
    return S_OK;
}

HRESULT CCapSrcStream::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    ScopedLock hold(typeLock);
    *type = DuplicateMediaType(&connectionType);
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CCapSrcStream::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = typeCount;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT CCapSrcStream::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    if (!type || !caps)
        return E_POINTER;
    ScopedLock hold(typeLock);
    MediaTypePtr described(DuplicateMediaType(&connectionType));
    *type = nullptr;
    if (!described)
        return E_OUTOFMEMORY;
    RETURN_IF_FAILED(DescribeCapability(index, preferredIndex, described.get(),
                                        reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps)));
    if (listBottomUp)
        DescribeBottomUp(described.get());
    *type = described.release();
    return S_OK;
}

HRESULT CCapSrcStream::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT CCapSrcStream::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataBytes,
                           DWORD* returnedBytes)
{
    if (!IsEqualGUID(set, AMPROPSETID_Pin))
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!data && !returnedBytes)
        return E_POINTER;
    if (returnedBytes)
        *returnedBytes = sizeof(GUID);
    if (!data)
        return S_OK;    // a size query
    if (dataBytes < sizeof(GUID))
        return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

HRESULT CCapSrcStream::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (!IsEqualGUID(set, AMPROPSETID_Pin))
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

HRESULT CCapSrcStream::GetPages(CAUUID* pages)
{
    return NameOnePropertyPage(variant.pinPageClassId, pages);
}

ULONG CCapSrcStream::GetMiscFlags()
{
    return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

HRESULT CCapSrcStream::GetPreferredIndex(LONG* index)
{
    if (!index)
        return E_POINTER;
    ScopedLock hold(typeLock);
    *index = preferredIndex;
    return S_OK;
}

HRESULT CCapSrcStream::SetPreferredIndex(const LONG* index)
{
    if (!index)
        return E_POINTER;
    // stateLock keeps two callers' registry writes in the order of their changes.
    ScopedLock hold(sourceFilter->stateLock);
    {
        ScopedLock holdType(typeLock);
        preferredIndex = *index;
    }
    char path[SettingsKeyPathBytes] = {};
    if (SettingsKeyPath(variant.filterClassId, path))
        WriteSettingInt(path, PreferredIndexValueName, *index);
    return S_OK;
}
