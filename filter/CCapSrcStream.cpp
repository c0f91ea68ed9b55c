#include "CCapSrcStream.h"

#include "CCapSrc.h"
#include "CameraValueLists.h"
#include "SettingsStore.h"
#include "framework/PropertyPageList.h"
#include "framework/Result.h"

#include <ks.h>
#include <ksmedia.h>

#include <cstring>

namespace {

constexpr char PreferredIndexValueName[] = "PreferedIndex";
constexpr LONG BufferCount = 10;

// The connection type's video header, or null when its block is missing or too short
// to hold one (a type stored by SetFormat may be anything).
const VIDEOINFOHEADER* VideoHeaderOf(const AM_MEDIA_TYPE& type)
{
    if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

}    // namespace

CCapSrcStream::CCapSrcStream(HRESULT* result, CCapSrc* filter, const wchar_t* pinName,
                             const FilterVariant& variant)
    : CSourceStream(result, filter, pinName), captureFilter(filter), variant(variant)
{
    char path[SettingsKeyPathBytes] = {};
    if (SettingsKeyPath(variant.filterClassId, path))
        ReadSettingInt(path, PreferredIndexValueName, FirstFormatIndex, &preferredIndex);
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
    return BuildListedMediaType(position, preferredIndex, camera.Geometry().frameRate, type);
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

    LONGLONG stampMs = 0;
    LONG durationMs = 0;
    if (!camera.CaptureFrame(buffer, &stampMs, &durationMs))
        return S_FALSE;
    REFERENCE_TIME start = stampMs * 10000;
    REFERENCE_TIME stop = start + durationMs * 10000;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);

    // Changed settings reach the camera after the frame that was being filled.
    CameraSettings changed;
    if (captureFilter->TakeChangedSettings(&changed))
        ApplySettings(changed);
    return S_OK;
}

HRESULT CCapSrcStream::OnWorkerCreate()
{
    camera.OnStreamStart();
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
