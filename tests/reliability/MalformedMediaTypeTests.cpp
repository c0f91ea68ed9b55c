// Seeded malformed media types through every door the capture pin opens to them: its
// acceptance query, a connection it receives, a connection made with a proposed type, an
// imposed format and the capabilities it then describes; and, in Wine's graph, an imposed
// format followed by reconnection and three frames of streaming. Every answer must be one
// the pin documents, nothing may be read past a block, and every reference lent with a
// record must come back.
//   ORVIX_FUZZ_SEED     seed of the run (default: CI's fixed seed)
//   ORVIX_FUZZ_FIRST    number of the first case (default 0)
//   ORVIX_FUZZ_TYPES    cases at the pin (default 400)
//   ORVIX_FUZZ_STREAMED cases through Wine's graph (default 150)
#include "MalformedTypes.h"
#include "PlatformGraph.h"
#include "ReliabilitySupport.h"
#include "camera/FormatCatalogue.h"
#include "fakes/FakeInputPin.h"
#include "filter/CaptureFilterSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>

namespace {

constexpr uint64_t CiSeed = 0x0C61F00D;
// Connections whose buffers are at most this big also stream three frames at the pin.
constexpr LONG LargestStreamedBuffer = 4 << 20;
constexpr LONG SmallestPreferredIndex = 6;    // 512 x 384 RGB24: quick frames

struct FuzzRun
{
    uint64_t seed;
    uint64_t first;
    uint64_t count;
    const char* countName;

    explicit FuzzRun(const char* countName, uint64_t defaultCount)
        : seed(RunFigure("ORVIX_FUZZ_SEED", CiSeed)), first(RunFigure("ORVIX_FUZZ_FIRST", 0)),
          count(RunFigure(countName, defaultCount)), countName(countName)
    {
        std::printf("seed 0x%llX, cases %llu to %llu\n", (unsigned long long)seed,
                    (unsigned long long)first, (unsigned long long)(first + count - 1));
    }
    // How to make case `number` again, alone.
    std::string Replay(uint64_t number) const
    {
        char text[160];
        std::snprintf(text, sizeof(text),
                      "case %llu; replay: ORVIX_FUZZ_SEED=0x%llX ORVIX_FUZZ_FIRST=%llu %s=1",
                      (unsigned long long)number, (unsigned long long)seed,
                      (unsigned long long)number, countName);
        return text;
    }
};

// Lent as pUnk in some records; whatever the pin takes of it must come back.
class CountedUnknown : public FakeUnknown, public IUnknown
{
public:
    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }
};

bool IsOneOf(HRESULT hr, std::initializer_list<HRESULT> documented)
{
    for (HRESULT allowed : documented) {
        if (hr == allowed)
            return true;
    }
    return false;
}

// A header whose image size is no larger than its frame: the pin must take it.
bool IsHonestEnough(const BITMAPINFOHEADER& header)
{
    if (header.biBitCount != 24 && header.biBitCount != 32)
        return false;
    const int64_t rows = header.biHeight < 0 ? -int64_t(header.biHeight) : int64_t(header.biHeight);
    return int64_t(header.biSizeImage) <= int64_t(header.biWidth) * rows * header.biBitCount / 8;
}

bool SameRecord(const AM_MEDIA_TYPE& copy, const AM_MEDIA_TYPE& original)
{
    return IsEqualGUID(copy.majortype, original.majortype)
           && IsEqualGUID(copy.subtype, original.subtype)
           && IsEqualGUID(copy.formattype, original.formattype)
           && copy.cbFormat == original.cbFormat
           && copy.bFixedSizeSamples == original.bFixedSizeSamples
           && copy.lSampleSize == original.lSampleSize && copy.pUnk == original.pUnk
           && (copy.cbFormat == 0
               || std::memcmp(copy.pbFormat, original.pbFormat, copy.cbFormat) == 0);
}

// What a capability of `index` must describe; index 0 is the preferred format.
void ExpectCapabilityOf(int index, const AM_MEDIA_TYPE& described,
                        const VIDEO_STREAM_CONFIG_CAPS& caps)
{
    BITMAPINFOHEADER expected = {};
    FillBitmapHeader(index, SmallestPreferredIndex, &expected);
    const LONG rows = -expected.biHeight;
    EXPECT_EQ(described.cbFormat, sizeof(VIDEOINFOHEADER));
    const BITMAPINFOHEADER& header =
        reinterpret_cast<const VIDEOINFOHEADER*>(described.pbFormat)->bmiHeader;
    EXPECT_EQ(header.biWidth, expected.biWidth);
    EXPECT_EQ(header.biHeight, expected.biHeight);
    EXPECT_EQ(header.biBitCount, expected.biBitCount);
    EXPECT_EQ(described.lSampleSize, ULONG(expected.biWidth * rows * expected.biBitCount / 8));
    EXPECT_TRUE(IsEqualGUID(described.subtype,
                            expected.biBitCount == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24));
    EXPECT_EQ(caps.InputSize.cx, expected.biWidth);
    EXPECT_EQ(caps.MaxOutputSize.cy, rows);
    EXPECT_EQ(caps.MinBitsPerSecond, LONG(rows * expected.biBitCount * expected.biWidth * 20));
}

const int CapabilityIndexes[] = {0, 1, 2, 3, 4, 5, 6, -1, 7, 99, INT_MIN, INT_MAX};

// Counts of each answer, printed at the end of a run for the figures it reports.
class Tally
{
public:
    void Add(const char* door, HRESULT hr) { ++counts[std::string(door) + " " + Code(hr)]; }
    void Print() const
    {
        for (const auto& entry : counts)
            std::printf("  %-44s %llu\n", entry.first.c_str(), (unsigned long long)entry.second);
    }

private:
    static std::string Code(HRESULT hr)
    {
        char text[16];
        std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
        return text;
    }
    std::map<std::string, uint64_t> counts;
};

class MalformedTypesAtThePin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveReliabilityKeys();
        filter = MakeCaptureFilter(ReliabilityVariant);
        stream = CapturePinOf(filter.Get());
        pin = static_cast<IPin*>(stream);
        ASSERT_EQ(pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
        const LONG small = SmallestPreferredIndex;
        ASSERT_EQ(PinPreferenceOf(filter.Get(), ReliabilityVariant)->SetPreferredIndex(&small),
                  S_OK);
        downstream.proposedAllocator = &peerAllocator;
        sameDirection.direction = PINDIR_OUTPUT;
    }
    void TearDown() override
    {
        filter->Stop();
        pin->Disconnect();
        downstream.Disconnect();
        config.Reset();
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(sameDirection.References(), 0);
        EXPECT_EQ(peerAllocator.References(), 0);
        EXPECT_EQ(counted.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
        RemoveReliabilityKeys();
    }

    // The one type the pin lists now; its frame interval follows the last connection.
    MediaTypePtr ListedType()
    {
        ComPtr<IEnumMediaTypes> types;
        AM_MEDIA_TYPE* first = nullptr;
        if (SUCCEEDED(pin->EnumMediaTypes(types.Put()))) {
            EXPECT_EQ(types->Next(1, &first, nullptr), S_OK);
        }
        return MediaTypePtr(first);
    }

    void ExpectUnconnected()
    {
        ComPtr<IPin> peer;
        EXPECT_EQ(pin->ConnectedTo(peer.Put()), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(peerAllocator.References(), 0);
    }
    void Disconnect()
    {
        EXPECT_EQ(pin->Disconnect(), S_OK);
        downstream.Disconnect();
        ExpectUnconnected();
    }

    // A connection the pin made or received with `type`: connected exactly when the
    // documented answer says so, with buffers that hold what the camera writes.
    void CheckConnection(const char* door, HRESULT hr, const AM_MEDIA_TYPE& type)
    {
        tally.Add(door, hr);
        if (!CatalogueAccepts(type)) {
            EXPECT_EQ(hr, VFW_E_TYPE_NOT_ACCEPTED) << door;
            ExpectUnconnected();
            return;
        }
        // Accepted: only buffer sizing can still fail, for a frame no buffer can hold.
        EXPECT_TRUE(IsOneOf(hr, {S_OK, E_FAIL})) << door << " 0x" << std::hex << hr;
        if (IsHonestEnough(*WholeBitmapHeader(type))) {
            EXPECT_EQ(hr, S_OK) << door;
        }
        if (hr != S_OK) {
            ExpectUnconnected();
            return;
        }
        CMediaTypeRecord connected;
        EXPECT_EQ(pin->ConnectionMediaType(&connected), S_OK);
        EXPECT_TRUE(SameRecord(connected, type)) << door;
        const LONG frameBytes = stream->Camera().Geometry().frameBytes;
        EXPECT_GE(peerAllocator.lastRequest.cbBuffer, frameBytes) << door;
        if (peerAllocator.lastRequest.cbBuffer <= LargestStreamedBuffer)
            StreamThreeFrames(door);
        Disconnect();
    }

    void StreamThreeFrames(const char* door)
    {
        const LONG before = downstream.received;
        const LONG endsBefore = downstream.endOfStreams;
        ASSERT_EQ(filter->Pause(), S_OK) << door;
        EXPECT_TRUE(downstream.WaitForSamples(before + 3)) << door;
        EXPECT_EQ(filter->Stop(), S_OK) << door;
        EXPECT_EQ(downstream.endOfStreams, endsBefore) << door;
        ++streamed;
    }

    void TryEveryDoor(GeneratedType& generated, SeededRandom& random)
    {
        const AM_MEDIA_TYPE& type = generated.Type();
        downstream.notifiedAllocators.clear();
        const HRESULT queried = pin->QueryAccept(&type);
        tally.Add("QueryAccept", queried);
        EXPECT_EQ(queried, CatalogueAccepts(type) ? S_OK : S_FALSE);

        // A pin of the same direction is refused before its type is looked at.
        EXPECT_EQ(pin->ReceiveConnection(&sameDirection, &type), VFW_E_INVALID_DIRECTION);
        EXPECT_EQ(sameDirection.References(), 0);
        ExpectUnconnected();

        CheckConnection("ReceiveConnection", pin->ReceiveConnection(&downstream, &type), type);

        // Proposed: a whole type is tried alone, a partial one filters the pin's own list
        // (the fake peer offers none).
        MediaTypePtr listed = ListedType();
        ASSERT_TRUE(listed);
        const HRESULT connected = pin->Connect(&downstream, &type);
        if (IsEqualGUID(type.majortype, GUID_NULL) || IsEqualGUID(type.formattype, GUID_NULL)) {
            tally.Add("Connect (pattern)", connected);
            EXPECT_EQ(connected, PatternAdmits(type, *listed) ? S_OK : VFW_E_NO_ACCEPTABLE_TYPES);
            if (connected == S_OK)
                Disconnect();
            else
                ExpectUnconnected();
        } else {
            downstream.Disconnect();
            CheckConnection("Connect", connected, type);
        }

        // Imposed on the unconnected pin, stored as given, and described only from a whole header.
        const HRESULT imposed = config->SetFormat(generated.Get());
        tally.Add("SetFormat", imposed);
        const bool claimsMissingBlock = type.cbFormat != 0 && !type.pbFormat;
        EXPECT_EQ(imposed, claimsMissingBlock ? E_POINTER : S_OK);
        if (imposed == S_OK) {
            AM_MEDIA_TYPE* current = nullptr;
            ASSERT_EQ(config->GetFormat(&current), S_OK);
            MediaTypePtr owned(current);
            EXPECT_TRUE(SameRecord(*current, type));
        }
        const int index = random.Pick(CapabilityIndexes);
        AM_MEDIA_TYPE* described = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        const HRESULT capability =
            config->GetStreamCaps(index, &described, reinterpret_cast<BYTE*>(&caps));
        MediaTypePtr ownedCapability(described);
        tally.Add("GetStreamCaps after SetFormat", capability);
        if (imposed == S_OK) {
            EXPECT_EQ(capability, WholeBitmapHeader(type) ? S_OK : VFW_E_INVALIDMEDIATYPE);
        } else {
            EXPECT_TRUE(IsOneOf(capability, {S_OK, VFW_E_INVALIDMEDIATYPE}));
        }
        if (capability == S_OK)
            ExpectCapabilityOf(index, *described, caps);
        else
            EXPECT_EQ(described, nullptr);
        ownedCapability.reset();

        // Whatever was imposed, the pin negotiates a whole type of its own again.
        listed = ListedType();
        ASSERT_TRUE(listed);
        ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
        CMediaTypeRecord renegotiated;
        EXPECT_EQ(pin->ConnectionMediaType(&renegotiated), S_OK);
        EXPECT_TRUE(SameRecord(renegotiated, *listed));
        Disconnect();
        EXPECT_EQ(counted.References(), 0);
    }

    const LONG startCount = ObjectCount;
    // No call log: a long run would only grow it (and heap checking slows with the heap).
    FakeInputPin downstream{nullptr};
    FakeInputPin sameDirection{nullptr};
    FakeAllocator peerAllocator{nullptr, "peerAllocator"};
    CountedUnknown counted;
    CCapSrcStream* stream = nullptr;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;
    ComPtr<IAMStreamConfig> config;
    Tally tally;
    uint64_t streamed = 0;
};

TEST_F(MalformedTypesAtThePin, EveryDoorAnswersAsDocumentedAndReadsNothingPastABlock)
{
    const FuzzRun run("ORVIX_FUZZ_TYPES", 400);
    uint64_t tried = 0;
    for (uint64_t number = run.first; number < run.first + run.count; ++number, ++tried) {
        NoteCurrentCase(run.Replay(number));
        SeededRandom random(CaseSeed(run.seed, number) ^ 1);
        GeneratedType generated(CaseSeed(run.seed, number), &counted);
        SCOPED_TRACE(run.Replay(number) + ": " + generated.Describe());
        TryEveryDoor(generated, random);
        if (HasFailure())
            break;
    }
    NoteCurrentCase("");
    std::printf("%llu types tried, %llu malformed connections streamed three frames\n",
                (unsigned long long)tried, (unsigned long long)streamed);
    tally.Print();
}

class MalformedTypesInWinesGraph : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveReliabilityKeys();
        filter = MakeCaptureFilter(ReliabilityVariant);
        const LONG small = SmallestPreferredIndex;
        ASSERT_EQ(PinPreferenceOf(filter.Get(), ReliabilityVariant)->SetPreferredIndex(&small),
                  S_OK);
        ASSERT_EQ(graph.Build(filter.Get(), &recorder, L"Capture"), S_OK);
        ASSERT_EQ(graph.ConnectSource(), S_OK);
        ASSERT_EQ(graph.sourcePin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
    }
    void TearDown() override
    {
        config.Reset();
        graph.Release();
        filter.Reset();
        EXPECT_EQ(counted.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
        RemoveReliabilityKeys();
    }

    const LONG startCount = ObjectCount;
    CountedUnknown counted;
    GrabberRecorder recorder;
    ComPtr<IBaseFilter> filter;
    PlatformGraph graph;
    ComPtr<IAMStreamConfig> config;
};

TEST_F(MalformedTypesInWinesGraph, AnImposedFormatIsReconnectedAndStreamedAsAWholeType)
{
    const FuzzRun run("ORVIX_FUZZ_STREAMED", 150);
    const LONG smallFrameBytes = 512 * 384 * 3;
    const LONG largerFrameBytes = 1024 * 768 * 4;
    CMediaTypeRecord larger;
    ASSERT_EQ(BuildListedMediaType(2, FirstFormatIndex, 30.0, &larger), S_OK);
    uint64_t tried = 0;
    for (uint64_t number = run.first; number < run.first + run.count; ++number, ++tried) {
        NoteCurrentCase(run.Replay(number));
        SeededRandom random(CaseSeed(run.seed, number) ^ 1);
        GeneratedType generated(CaseSeed(run.seed, number), &counted);
        SCOPED_TRACE(run.Replay(number) + ": " + generated.Describe());
        const AM_MEDIA_TYPE& type = generated.Type();
        // Connected at another size first, so that a remade connection shows.
        ASSERT_EQ(graph.DisconnectSource(), S_OK);
        ASSERT_EQ(graph.ConnectSource(&larger), S_OK);

        const HRESULT imposed = config->SetFormat(generated.Get());
        EXPECT_EQ(imposed, type.cbFormat != 0 && !type.pbFormat ? E_POINTER : S_OK);
        // The graph remade the connection, and the pin offered its own whole type for it.
        ComPtr<IPin> peer;
        ASSERT_EQ(graph.sourcePin->ConnectedTo(peer.Put()), S_OK);
        CMediaTypeRecord connected;
        ASSERT_EQ(graph.sourcePin->ConnectionMediaType(&connected), S_OK);
        EXPECT_TRUE(CatalogueAccepts(connected));
        EXPECT_EQ(WholeBitmapHeader(connected)->biWidth, imposed == S_OK ? 512 : 1024);
        EXPECT_EQ(counted.References(), 0);

        recorder.Clear();
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        EXPECT_TRUE(recorder.WaitForSamples(3));
        ASSERT_EQ(graph.control->Stop(), S_OK);
        for (const GrabbedSample& sample : recorder.Samples())
            EXPECT_EQ(sample.length, imposed == S_OK ? smallFrameBytes : largerFrameBytes);

        const int index = random.Pick(CapabilityIndexes);
        AM_MEDIA_TYPE* described = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        ASSERT_EQ(config->GetStreamCaps(index, &described, reinterpret_cast<BYTE*>(&caps)), S_OK);
        MediaTypePtr owned(described);
        ExpectCapabilityOf(index, *described, caps);
        if (HasFailure())
            break;
    }
    NoteCurrentCase("");
    std::printf("%llu imposed types reconnected and streamed\n", (unsigned long long)tried);
}

}    // namespace
