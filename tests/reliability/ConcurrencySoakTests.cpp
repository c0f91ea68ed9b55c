// A capture filter in Wine's graph under every kind of caller at once, for a set time:
// threads that run, pause and stop the graph while it streams, a "page" that keeps handing
// over new settings and preferred formats, and threads that ask for the format, the
// capabilities and the type list. Nothing may deadlock (a watchdog ends a hung run and
// names what each thread was doing), every answer must be a documented one, the settings
// written last must be the ones the filter, the camera and the registry end with, and
// once everything is let go no object may be left: counted in-process, and through the
// built module's DllCanUnloadNow. Heap checking would serialise every caller behind its
// walks of the heap, so under it the soaks run in a child that does without.
//   ORVIX_SOAK_SECONDS  how long each soak lasts (default 3)
//   ORVIX_SOAK_SEED     the threads' random choices (default: CI's fixed seed)
#include "ModuleUnderTest.h"
#include "NewThread.h"
#include "Orvix61Test.h"
#include "PlatformGraph.h"
#include "ReliabilitySupport.h"
#include "SettingsExpectations.h"
#include "camera/FormatCatalogue.h"
#include "filter/CameraValueLists.h"
#include "filter/CaptureFilterSupport.h"
#include "filter/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint64_t CiSeed = 0x50A4;
constexpr DWORD StopMarginMs = 60000;    // for the last calls in flight to finish

// What the soak's threads reach the filter through; the graph holds the filter.
struct SoakTarget
{
    IMediaControl* control;
    IBaseFilter* filter;
    IPin* pin;
    IIPFilter* settings;
    IIPPin* preference;
    IAMStreamConfig* config;
    FrameCounter* frames;
};

// What the soak leaves to be checked.
struct SoakRecord
{
    CameraSettings lastSettings = {};
    LONG lastPreferredIndex = 1;
    // Counted in 64 bits, so that a soak of hours cannot wrap them.
    volatile LONG64 stateChanges = 0;
    volatile LONG64 settingsWritten = 0;
    volatile LONG64 queries = 0;
    volatile LONG undocumented = 0;    // answers no caller may be given
};

class SoakThread
{
public:
    SoakThread(const char* name, std::function<void(SoakThread&)> body)
        : name(name), body(std::move(body))
    {
    }

    void Start()
    {
        thread = std::make_unique<NewThread>([this] {
            ComApartment apartment(COINIT_MULTITHREADED);
            body(*this);
            Doing("done");
        });
    }
    void Join() { thread->Join(); }
    void Doing(const char* what) { doing = what; }
    std::string Describe() const { return std::string(name) + ": " + doing; }

private:
    const char* const name;
    const char* volatile doing = "starting";
    const std::function<void(SoakThread&)> body;
    std::unique_ptr<NewThread> thread;
};

CameraSettings RandomSettings(SeededRandom& random)
{
    CameraSettings settings = {};
    settings.ExposureGain = LONG(random.Below(GainValueCount));
    settings.ExposureIntTime = LONG(random.Below(IntTimeValueCount));
    settings.ExposureMaxGain = LONG(random.Below(GainValueCount));
    settings.ExposureMaxIntTime = LONG(random.Below(IntTimeValueCount));
    settings.AutoLevelsMinClip = LONG(random.Below(ClipValueCount));
    settings.AutoLevelsMaxClip = LONG(random.Below(ClipValueCount));
    settings.AutoExposureEnable = LONG(random.Below(2));
    settings.AutoLevelsEnable = LONG(random.Below(2));
    settings.settingsChanged = 1;
    settings.AntiFlickerEnable = LONG(random.Below(2));
    settings.AntiFlickerFreq = LONG(random.Below(3));
    std::snprintf(settings.CameraName, sizeof(settings.CameraName), "Test camera %u",
                  1 + random.Below(4));
    return settings;
}

void Count(volatile LONG64* counter, bool documented, SoakRecord* record)
{
    InterlockedIncrement64(counter);
    if (!documented)
        InterlockedIncrement(&record->undocumented);
}

// Runs every kind of caller against `target` at once until `seconds` have passed.
void Soak(const SoakTarget& target, uint64_t seconds, SoakRecord* record)
{
    const uint64_t seed = RunFigure("ORVIX_SOAK_SEED", CiSeed);
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000;
    auto running = [deadline] { return GetTickCount64() < deadline; };
    std::vector<std::unique_ptr<SoakThread>> threads;

    for (int controller = 0; controller < 3; ++controller) {
        threads.push_back(
            std::make_unique<SoakThread>("graph control", [&, controller](SoakThread& self) {
                SeededRandom random(CaseSeed(seed, uint64_t(controller)));
                while (running()) {
                    HRESULT hr = S_OK;
                    switch (random.Below(5)) {
                    case 0:
                        self.Doing("IMediaControl::Run");
                        hr = target.control->Run();
                        break;
                    case 4:
                        // Runs and gives the stream a moment, so that frames are made between
                        // the other callers' changes.
                        self.Doing("IMediaControl::Run, then waiting for frames");
                        hr = target.control->Run();
                        target.frames->WaitFor(target.frames->Count() + 2, 200);
                        break;
                    case 1:
                        self.Doing("IMediaControl::Pause");
                        hr = target.control->Pause();
                        break;
                    case 2:
                        self.Doing("IMediaControl::Stop");
                        hr = target.control->Stop();
                        break;
                    default: {
                        self.Doing("IBaseFilter::GetState");
                        FILTER_STATE state = State_Stopped;
                        hr = target.filter->GetState(0, &state);
                        hr = hr == (state == State_Paused ? VFW_S_CANT_CUE : S_OK) ? S_OK : E_FAIL;
                        break;
                    }
                    }
                    Count(&record->stateChanges, SUCCEEDED(hr), record);
                }
            }));
    }

    threads.push_back(std::make_unique<SoakThread>("page", [&](SoakThread& self) {
        SeededRandom random(CaseSeed(seed, 100));
        while (running()) {
            const CameraSettings settings = RandomSettings(random);
            self.Doing("IIPFilter::SetCameraSettings");
            bool documented = target.settings->SetCameraSettings(&settings) == S_OK;
            record->lastSettings = settings;
            self.Doing("IIPFilter::GetCameraSettings");
            CameraSettings readBack = {};
            documented =
                documented && target.settings->GetCameraSettings(&readBack) == S_OK
                && std::memcmp(&readBack, &settings, offsetof(CameraSettings, settingsChanged))
                       == 0;
            if (random.Percent(50)) {
                const LONG index = LONG(random.Below(9)) - 1;    // -1 to 7: the odd ones too
                self.Doing("IIPPin::SetPreferredIndex");
                documented = documented && target.preference->SetPreferredIndex(&index) == S_OK;
                record->lastPreferredIndex = index;
            }
            Count(&record->settingsWritten, documented, record);
            // Its writes hold the filter's lock for a while; a page that wrote again at
            // once would hardly ever let the other callers in.
            SwitchToThread();
        }
    }));

    for (int asker = 0; asker < 2; ++asker) {
        threads.push_back(
            std::make_unique<SoakThread>("format queries", [&, asker](SoakThread& self) {
                SeededRandom random(CaseSeed(seed, 200 + uint64_t(asker)));
                while (running()) {
                    bool documented = true;
                    switch (random.Below(4)) {
                    case 0: {
                        self.Doing("IAMStreamConfig::GetStreamCaps");
                        AM_MEDIA_TYPE* type = nullptr;
                        VIDEO_STREAM_CONFIG_CAPS caps = {};
                        const int index = int(random.Below(9)) - 1;
                        documented = target.config->GetStreamCaps(index, &type,
                                                                  reinterpret_cast<BYTE*>(&caps))
                                         == S_OK
                                     && type && type->cbFormat == sizeof(VIDEOINFOHEADER)
                                     && caps.InputSize.cx >= 512;
                        DestroyMediaType(type);
                        break;
                    }
                    case 1: {
                        self.Doing("IAMStreamConfig::GetFormat");
                        AM_MEDIA_TYPE* type = nullptr;
                        documented =
                            target.config->GetFormat(&type) == S_OK && type && type->cbFormat != 0;
                        DestroyMediaType(type);
                        break;
                    }
                    case 2: {
                        self.Doing("IPin::EnumMediaTypes");
                        ComPtr<IEnumMediaTypes> types;
                        AM_MEDIA_TYPE* type = nullptr;
                        documented = target.pin->EnumMediaTypes(types.Put()) == S_OK
                                     && types->Next(1, &type, nullptr) == S_OK && type
                                     && type->cbFormat == ListedFormatBlockBytes;
                        DestroyMediaType(type);
                        break;
                    }
                    default: {
                        self.Doing("IPin::ConnectionMediaType");
                        CMediaTypeRecord connected;
                        documented = target.pin->ConnectionMediaType(&connected) == S_OK;
                        break;
                    }
                    }
                    Count(&record->queries, documented, record);
                    // A host asks now and then; let the other callers in between.
                    if (random.Percent(12))
                        SwitchToThread();
                }
            }));
    }

    Watchdog watchdog(DWORD(seconds * 1000) + StopMarginMs, [&threads] {
        std::string stuck;
        for (const auto& thread : threads)
            stuck += "\n  " + thread->Describe();
        return stuck;
    });
    for (const auto& thread : threads)
        thread->Start();
    for (const auto& thread : threads)
        thread->Join();
}

// After the soak: the graph still streams, and with the settings written last.
void StreamAfterSoak(IMediaControl* control, FrameCounter& counter)
{
    Watchdog watchdog(StopMarginMs, [] { return std::string("streaming after the soak"); });
    ASSERT_EQ(control->Stop(), S_OK);
    const LONG before = counter.Count();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_TRUE(counter.WaitFor(before + 2));
    ASSERT_EQ(control->Stop(), S_OK);
}

void ExpectStoredAs(REFCLSID classId, const SoakRecord& record)
{
    CameraSettings stored = {};
    LoadCameraSettings(classId, &stored);
    ExpectSameStoredSettings(stored, record.lastSettings);
    char path[SettingsKeyPathBytes] = {};
    ASSERT_TRUE(SettingsKeyPath(classId, path));
    LONG storedIndex = 0;
    EXPECT_EQ(ReadSettingInt(path, "PreferedIndex", 1, &storedIndex), ERROR_SUCCESS);
    EXPECT_EQ(storedIndex, record.lastPreferredIndex);
}

void ReportSoak(const char* where, uint64_t seconds, const SoakRecord& record,
                const FrameCounter& counter)
{
    std::printf("%s: %llu s, %lld state changes, %lld settings written, %lld queries, %ld frames, "
                "%ld undocumented answers\n",
                where, (unsigned long long)seconds, (long long)record.stateChanges,
                (long long)record.settingsWritten, (long long)record.queries, counter.Count(),
                record.undocumented);
    EXPECT_EQ(record.undocumented, 0);
    EXPECT_GT(record.stateChanges, 0);
    EXPECT_GT(record.settingsWritten, 0);
    EXPECT_GT(record.queries, 0);
    EXPECT_GT(counter.Count(), 0);
}

TEST(ConcurrencySoak, EveryCallerAtOnceLeavesTheLastSettingsInFilterCameraAndRegistry)
{
    if (HeapCheckingIsOn()) {
        EXPECT_TRUE(PassesInAChildWithoutHeapChecking());
        return;
    }
    const LONG startCount = ObjectCount;
    const uint64_t seconds = RunFigure("ORVIX_SOAK_SECONDS", 3);
    RemoveReliabilityKeys();
    FrameCounter counter;
    SoakRecord record;
    {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        CCapSrcStream* stream = CapturePinOf(filter.Get());
        PlatformGraph graph;
        ASSERT_EQ(graph.Build(filter.Get(), nullptr, L"Capture"), S_OK);
        graph.grabber->SetCallback(&counter, 0);
        CMediaTypeRecord small512;
        FillSmallCatalogueType(&small512);
        ASSERT_EQ(graph.ConnectSource(&small512), S_OK);
        ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), ReliabilityVariant);
        ComPtr<IIPPin> preference = PinPreferenceOf(filter.Get(), ReliabilityVariant);
        ComPtr<IAMStreamConfig> config;
        ASSERT_EQ(graph.sourcePin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);

        const SoakTarget target = {graph.control.Get(),
                                   filter.Get(),
                                   graph.sourcePin.Get(),
                                   settings.Get(),
                                   preference.Get(),
                                   config.Get(),
                                   &counter};
        Soak(target, seconds, &record);
        StreamAfterSoak(graph.control.Get(), counter);
        ReportSoak("in-process", seconds, record, counter);

        CameraSettings current = {};
        ASSERT_EQ(settings->GetCameraSettings(&current), S_OK);
        ExpectSameStoredSettings(current, record.lastSettings);
        EXPECT_EQ(current.settingsChanged, 0);    // taken by a frame after the soak
        LONG index = 0;
        ASSERT_EQ(preference->GetPreferredIndex(&index), S_OK);
        EXPECT_EQ(index, record.lastPreferredIndex);

        const CameraParameters& camera = stream->Camera().Parameters();
        const CameraSettings& last = record.lastSettings;
        EXPECT_EQ(camera.gain, GainValueList[last.ExposureGain]);
        EXPECT_EQ(camera.maxGain, GainValueList[last.ExposureMaxGain]);
        EXPECT_EQ(camera.intTime, IntTimeValueList[last.ExposureIntTime]);
        EXPECT_EQ(camera.maxIntTime, IntTimeValueList[last.ExposureMaxIntTime]);
        EXPECT_EQ(camera.minClip, ClipValueList[last.AutoLevelsMinClip]);
        EXPECT_EQ(camera.maxClip, ClipValueList[last.AutoLevelsMaxClip]);
        EXPECT_EQ(camera.autoExposure, last.AutoExposureEnable);
        EXPECT_EQ(camera.autoLevels, last.AutoLevelsEnable);
        EXPECT_EQ(camera.flickerHz, !last.AntiFlickerEnable     ? 0.0
                                    : last.AntiFlickerFreq == 0 ? 50.0
                                                                : 60.0);
        EXPECT_STREQ(camera.cameraName, last.CameraName);
        ExpectStoredAs(ReliabilityVariant.filterClassId, record);

        config.Reset();
        preference.Reset();
        settings.Reset();
        graph.Release();
    }
    EXPECT_EQ(ObjectCount, startCount);
    RemoveReliabilityKeys();
}

// Sends the process's HKEY_LOCAL_MACHINE to a key of this test's own while it lives, so
// that a module filter, which only knows its variant's real key, stores nothing there.
class MachineKeyRedirect
{
public:
    MachineKeyRedirect()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, Path);
        if (RegCreateKeyExA(HKEY_CURRENT_USER, Path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            stand.Put(), nullptr)
            == ERROR_SUCCESS)
            redirected = RegOverridePredefKey(HKEY_LOCAL_MACHINE, stand.Get()) == ERROR_SUCCESS;
    }
    ~MachineKeyRedirect()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        stand.Reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, Path);
        RegDeleteKeyA(HKEY_CURRENT_USER, Path);
    }
    bool IsRedirected() const { return redirected; }

private:
    static constexpr char Path[] = "Software\\Orvix61 Reliability Machine";
    UniqueRegKey stand;
    bool redirected = false;
};

TEST(ConcurrencySoak, ThroughTheBuiltModuleEveryCallerAtOnceLetsTheModuleUnload)
{
    if (HeapCheckingIsOn()) {
        EXPECT_TRUE(PassesInAChildWithoutHeapChecking());
        return;
    }
    const uint64_t seconds = RunFigure("ORVIX_SOAK_SECONDS", 3);
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    ASSERT_EQ(module.CanUnloadNow(), S_OK);
    FrameCounter counter;
    SoakRecord record;
    {
        PlatformGraph graph;
        ComPtr<IBaseFilter> filter;
        {
            ComPtr<IClassFactory> factory;
            ASSERT_EQ(
                module.GetClassObject(CLSID_Orvix61CapSrc4, IID_IClassFactory, factory.PutVoid()),
                S_OK);
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
        }
        ASSERT_EQ(graph.Build(filter.Get(), nullptr, L"Capture"), S_OK);
        graph.grabber->SetCallback(&counter, 0);
        CMediaTypeRecord small512;
        FillSmallCatalogueType(&small512);
        ASSERT_EQ(graph.ConnectSource(&small512), S_OK);
        ComPtr<IIPFilter> settings;
        ASSERT_EQ(filter->QueryInterface(IID_IIPFilter4, settings.PutVoid()), S_OK);
        ComPtr<IIPPin> preference;
        ASSERT_EQ(graph.sourcePin->QueryInterface(IID_IIPPin4, preference.PutVoid()), S_OK);
        ComPtr<IAMStreamConfig> config;
        ASSERT_EQ(graph.sourcePin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);

        // Built and connected before: the platform's objects come from the real machine key.
        MachineKeyRedirect redirect;
        ASSERT_TRUE(redirect.IsRedirected());
        const SoakTarget target = {graph.control.Get(),
                                   filter.Get(),
                                   graph.sourcePin.Get(),
                                   settings.Get(),
                                   preference.Get(),
                                   config.Get(),
                                   &counter};
        Soak(target, seconds, &record);
        StreamAfterSoak(graph.control.Get(), counter);
        ReportSoak("through the module", seconds, record, counter);

        CameraSettings current = {};
        ASSERT_EQ(settings->GetCameraSettings(&current), S_OK);
        ExpectSameStoredSettings(current, record.lastSettings);
        ExpectStoredAs(CLSID_Orvix61CapSrc4, record);

        config.Reset();
        preference.Reset();
        settings.Reset();
        graph.Release();
        filter.Reset();
    }
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}    // namespace
