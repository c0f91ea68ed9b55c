#include "CSource.h"

#include "CSourceStream.h"

#include <new>

CSource::CSource(IUnknown* outer, REFCLSID classId) : CBaseFilter(outer, &stateLock, classId) {}

CSource::~CSource()
{
    while (streamCount != 0)
        delete streams[streamCount - 1];
}

void CSource::OnFinalRelease()
{
    // The last reference is gone, but no destructor has run yet. A worker still streaming
    // calls into its stream's derived part and the filter's (FillSample, the settings it
    // takes between frames): it must end here, before the first destructor takes any of
    // that apart, and not from a base destructor that runs after. Stop ends the workers of
    // connected streams the usual way; StopWorker ends any other, such as one that a
    // failed stop left behind. Then each stream lets go of its peer and allocator while
    // it is whole, since a host object released now may still call back into it.
    ScopedLock hold(stateLock);
    Stop();
    for (int index = 0; index < streamCount; ++index) {
        streams[index]->StopWorker();
        static_cast<IPin*>(streams[index])->Disconnect();
    }
}

int CSource::PinCount()
{
    return streamCount;
}

CBasePin* CSource::PinAt(int index)
{
    if (index < 0 || index >= streamCount)
        return nullptr;
    return streams[index];
}

int CSource::StreamIndexOf(IPin* pin)
{
    for (int index = 0; index < streamCount; ++index) {
        if (static_cast<IPin*>(streams[index]) == pin)
            return index;
    }
    return -1;
}

HRESULT CSource::AddStream(CSourceStream* stream)
{
    ScopedLock hold(stateLock);
    std::unique_ptr<CSourceStream*[]> grown(new (std::nothrow) CSourceStream*[streamCount + 1]);
    if (!grown)
        return E_OUTOFMEMORY;
    for (int index = 0; index < streamCount; ++index)
        grown[index] = streams[index];
    grown[streamCount] = stream;
    streams = std::move(grown);
    ++streamCount;
    return S_OK;
}

void CSource::RemoveStream(CSourceStream* stream)
{
    for (int index = 0; index < streamCount; ++index) {
        if (streams[index] != stream)
            continue;
        for (int later = index + 1; later < streamCount; ++later)
            streams[later - 1] = streams[later];
        if (--streamCount == 0)
            streams.reset();
        return;
    }
}
