// The pages inside the platform's own property frame, opened as a capture program opens
// it: on a filter or pin of the registered module, with the page classes that the object
// names. The test's thread runs the frame's modal loop and, from a timer the loop
// dispatches, plays the user, finding the controls by id, changing choices and pressing OK.
#include "FrameWindows.h"
#include "ModuleUnderTest.h"
#include "NewThread.h"
#include "Orvix61Test.h"
#include "pages/PageResources.h"

#include <dshow.h>
#include <gtest/gtest.h>
#include <olectl.h>
#include <prsht.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD StepTimeoutMs = 15000;     // for the frame to show its page, for one message
constexpr DWORD CloseTimeoutMs = 15000;    // for the frame to close once told to
constexpr DWORD PollMs = 20;

using Failures = std::vector<std::string>;

// Messages to the frame's windows, which belong to the test's thread, so that each runs the
// window's procedure at once; a window that does not exist answers false.
bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer = nullptr)
{
    DWORD_PTR result = 0;
    if (!window)
        return false;
    SetLastError(ERROR_SUCCESS);
    result = DWORD_PTR(SendMessageA(window, message, wParam, lParam));
    if (GetLastError() == ERROR_INVALID_WINDOW_HANDLE)
        return false;
    if (answer)
        *answer = LRESULT(result);
    return true;
}

// The selected item's text, "<none>", or "<no answer>" when the box did not answer.
std::string SelectedText(HWND combo)
{
    LRESULT item = CB_ERR, length = 0;
    if (!Send(combo, CB_GETCURSEL, 0, 0, &item))
        return "<no answer>";
    if (item == CB_ERR)
        return "<none>";
    char text[256] = {};
    if (!Send(combo, CB_GETLBTEXTLEN, WPARAM(item), 0, &length) || length < 0
        || length >= LRESULT(sizeof(text))
        || !Send(combo, CB_GETLBTEXT, WPARAM(item), reinterpret_cast<LPARAM>(text)))
        return "<no answer>";
    return text;
}

// Chooses an item as a user does: the selection changes, then the page hears
// CBN_SELCHANGE from the box.
bool ChooseItem(HWND combo, const char* text)
{
    LRESULT item = CB_ERR, selected = CB_ERR;
    if (!Send(combo, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text), &item)
        || item == CB_ERR)
        return false;
    if (!Send(combo, CB_SETCURSEL, WPARAM(item), 0, &selected) || selected != item)
        return false;
    return Send(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(combo));
}

// Plays the user of one property frame on the frame's own thread: a thread timer, which
// the frame's modal loop dispatches, waits until the frame shows `pageControl`, runs the
// test's steps on it, and presses `closeButton`, or Cancel when a step failed. The user
// runs there and not on a thread of its own because the platform's frame allocates and
// frees large blocks as it draws, and Wine's heap checking reports damage that is not
// there when another thread allocates at the same time. Every wait is bounded: a frame
// that does not close when told to is cancelled and closed, and when its loop stops
// answering, a watchdog thread, which only waits, ends the test program: a failed test,
// never a hung run.
class FrameUser
{
public:
    using Steps = std::function<void(HWND frame, Failures& failures)>;

    FrameUser(int pageControl, Steps steps, WPARAM closeButton = PSBTN_OK)
        : uiThread(GetCurrentThreadId()), pageControl(pageControl), steps(std::move(steps)),
          closeButton(closeButton), startTicks(GetTickCount()),
          frameReturned(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          timer(SetTimer(nullptr, 0, PollMs, OnTimer)), watchdog([this] { Watch(); })
    {
        activeUser = this;
        if (!timer)
            failures.push_back("no timer to play the user with");
    }
    FrameUser(const FrameUser&) = delete;
    FrameUser& operator=(const FrameUser&) = delete;
    ~FrameUser() { Finish(); }

    // On the frame's thread, once the frame has returned: what the user found wrong.
    Failures Finish()
    {
        if (activeUser == this) {
            activeUser = nullptr;
            if (timer)
                KillTimer(nullptr, timer);
            if (stage == Stage::WaitingForPage)
                failures.push_back("the frame returned without showing the page");
        }
        SetEvent(frameReturned.Get());
        watchdog.Join();
        return failures;
    }

private:
    enum class Stage
    {
        WaitingForPage,
        Closing,
        Cancelling
    };

    // A thread timer's callback has no context of its own, and the frame is modal, so a
    // thread has at most one user.
    static thread_local FrameUser* activeUser;

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        if (FrameUser* user = activeUser; user && !user->busy) {
            // The steps send messages, which can run a nested loop that dispatches us.
            user->busy = true;
            user->Tick();
            user->busy = false;
        }
    }

    void Tick()
    {
        const DWORD elapsed = GetTickCount() - startTicks;
        switch (stage) {
        case Stage::WaitingForPage:
            if (const HWND frame = FindFrameShowing(uiThread, pageControl)) {
                const size_t failuresBefore = failures.size();
                steps(frame, failures);
                const WPARAM button =
                    failures.size() == failuresBefore ? closeButton : PSBTN_CANCEL;
                PostMessageA(frame, PSM_PRESSBUTTON, button, 0);
                Restart(Stage::Closing);
            } else if (elapsed > StepTimeoutMs) {
                failures.push_back("no frame showed the page in time");
                CloseThreadWindows(uiThread);
                Restart(Stage::Cancelling);
            }
            break;
        case Stage::Closing:
            if (elapsed > CloseTimeoutMs) {
                failures.push_back("the frame did not close in time");
                CloseThreadWindows(uiThread);
                Restart(Stage::Cancelling);
            }
            break;
        case Stage::Cancelling:
            break;    // the watchdog ends the program if this does not end the frame
        }
    }

    void Restart(Stage next)
    {
        stage = next;
        startTicks = GetTickCount();
    }

    // One wait, no work in a loop: this thread must not allocate while the frame draws.
    void Watch()
    {
        const DWORD limitMs = StepTimeoutMs + 3 * CloseTimeoutMs;
        if (WaitForSingleObject(frameReturned.Get(), limitMs) == WAIT_OBJECT_0)
            return;
        static const char message[] =
            "The property frame cannot be closed; ending the test program.\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof(message) - 1, &written, nullptr);
        TerminateProcess(GetCurrentProcess(), 3);
    }

    const DWORD uiThread;
    const int pageControl;
    const Steps steps;
    const WPARAM closeButton;
    // The fields below belong to the frame's thread.
    Stage stage = Stage::WaitingForPage;
    DWORD startTicks;
    bool busy = false;
    Failures failures;
    UniqueHandle frameReturned;    // set once the frame's modal loop has ended
    const UINT_PTR timer;
    NewThread watchdog;    // made last: it watches the fields above
};

thread_local FrameUser* FrameUser::activeUser = nullptr;

std::string Joined(const Failures& failures)
{
    std::string text;
    for (const std::string& failure : failures)
        text += failure + "\n";
    return text;
}

void ExpectSelected(HWND frame, int controlId, const char* text, Failures& failures)
{
    const std::string shown = SelectedText(FindControl(frame, controlId));
    if (shown != text)
        failures.push_back("control " + std::to_string(controlId) + " shows " + shown
                           + ", expected " + text);
}

void Choose(HWND frame, int controlId, const char* text, Failures& failures)
{
    if (!ChooseItem(FindControl(frame, controlId), text))
        failures.push_back("control " + std::to_string(controlId) + " did not take " + text);
}

// The pixels darker than half grey of `text` drawn in `font`, black on white, within a box
// of `width` by `height` pixels with DrawText's `format`.
int DarkPixels(HFONT font, const char* text, int width, int height, UINT format)
{
    constexpr int canvasWidth = 400, canvasHeight = 100;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = canvasWidth;
    info.bmiHeader.biHeight = -canvasHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC context = CreateCompatibleDC(nullptr);
    const HBITMAP canvas = CreateDIBSection(context, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!context || !canvas) {
        DeleteObject(canvas);
        DeleteDC(context);
        return -1;
    }
    const HGDIOBJ previousBitmap = SelectObject(context, canvas);
    const HGDIOBJ previousFont = SelectObject(context, font);
    RECT whole = {0, 0, canvasWidth, canvasHeight};
    FillRect(context, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(context, RGB(0, 0, 0));
    SetBkMode(context, TRANSPARENT);
    RECT box = {0, 0, width, height};
    DrawTextA(context, text, -1, &box, format);
    GdiFlush();
    int dark = 0;
    const auto* pixels = static_cast<const BYTE*>(bits);
    for (int index = 0; index < canvasWidth * canvasHeight; ++index)
        dark += pixels[index * 4] + pixels[index * 4 + 1] + pixels[index * 4 + 2] < 3 * 128;
    SelectObject(context, previousFont);
    SelectObject(context, previousBitmap);
    DeleteObject(canvas);
    DeleteDC(context);
    return dark;
}

// Every label of the page shows its whole text in the font it draws with: drawn as a
// left-aligned static control draws it (lines broken at spaces, all cut at its box), it
// leaves as many dark pixels as the text on one line with room to spare. A text wider than
// its label breaks, and the line below the box is cut off: "Min Clip" read "Min".
void ExpectLabelsShowTheirWholeText(HWND frame, int pageControl, Failures& failures)
{
    const HWND page = GetParent(FindControl(frame, pageControl));
    int labels = 0;
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {}, text[64] = {};
        GetClassNameA(child, className, sizeof(className));
        if (lstrcmpiA(className, "Static") != 0 || !GetWindowTextA(child, text, sizeof(text)))
            continue;
        ++labels;
        RECT client = {};
        GetClientRect(child, &client);
        const HFONT font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
        const int shown = DarkPixels(font, text, client.right, client.bottom,
                                     DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK);
        const int whole = DarkPixels(font, text, 400, 100, DT_LEFT | DT_SINGLELINE);
        if (whole <= 0 || shown != whole)
            failures.push_back("\"" + std::string(text) + "\" shows " + std::to_string(shown)
                               + " of its " + std::to_string(whole) + " dark pixels in its "
                               + std::to_string(client.right) + "x" + std::to_string(client.bottom)
                               + "-pixel label");
    }
    if (labels == 0)
        failures.push_back("the page shows no label");
}

std::string SettingsKey(REFCLSID filterClassId)
{
    return "Software\\Classes\\CLSID\\" + GuidText(filterClassId) + "\\InprocServer32";
}

// Each test starts with the module freshly registered, so no settings are stored, and
// leaves it unregistered, which takes any settings it stored with the class keys.
class PropertyFrame : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ExpectRegsvr32Succeeds(true));
        ASSERT_NO_FATAL_FAILURE(ExpectRegsvr32Succeeds(false));
    }

    void TearDown() override
    {
        ExpectNoObjectLeft();
        ExpectRegsvr32Succeeds(true);
    }

    static void ExpectRegsvr32Succeeds(bool unregister)
    {
        const ProgramResult run = Regsvr32(unregister);
        ASSERT_TRUE(run.finished) << run.output;
        ASSERT_EQ(0u, run.exitCode) << run.output;
    }

    // Objects made through the platform live in the module that COM loaded, which is
    // the one this process loads again by the same path.
    static void ExpectNoObjectLeft()
    {
        LoadedModule module;
        ASSERT_TRUE(module.IsLoaded());
        EXPECT_EQ(S_OK, module.CanUnloadNow());
    }

    static ComPtr<IBaseFilter> CreateFilter(REFCLSID classId)
    {
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(S_OK, CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         filter.PutVoid()));
        return filter;
    }

    static ComPtr<IPin> OutputPin(IBaseFilter* filter)
    {
        ComPtr<IEnumPins> pins;
        ComPtr<IPin> pin;
        if (filter && SUCCEEDED(filter->EnumPins(pins.Put())))
            pins->Next(1, pin.Put(), nullptr);
        return pin;
    }

    // Opens the frame on `object` with the pages the object names, as a capture program
    // does, while `user` plays the user; returns once the frame has closed.
    static void RunFrame(IUnknown* object, FrameUser& user)
    {
        ComPtr<ISpecifyPropertyPages> specify;
        CAUUID pages = {};
        HRESULT result = object->QueryInterface(IID_ISpecifyPropertyPages, specify.PutVoid());
        if (SUCCEEDED(result))
            result = specify->GetPages(&pages);
        CoTaskMemPtr<GUID> pageIds(pages.pElems);
        if (SUCCEEDED(result)) {
            IUnknown* objects[] = {object};
            result = OleCreatePropertyFrame(nullptr, 0, 0, L"Orvix61 property frame test", 1,
                                            objects, pages.cElems, pageIds.Get(), 0, 0, nullptr);
        }
        const Failures failures = user.Finish();
        EXPECT_EQ(S_OK, result);
        EXPECT_EQ(1u, pages.cElems);
        EXPECT_TRUE(failures.empty()) << Joined(failures);
    }
};

}    // namespace

TEST_F(PropertyFrame, OkOnTheFilterPageStoresTheChosenSettingsForNewFilters)
{
    ComPtr<IBaseFilter> filter = CreateFilter(CLSID_Orvix61CapSrc1);
    ASSERT_TRUE(filter);
    FrameUser user(IDC_EXPOSURE_GAIN, [](HWND frame, Failures& failures) {
        ExpectSelected(frame, IDC_EXPOSURE_GAIN, "1.00", failures);
        ExpectSelected(frame, IDC_EXPOSURE_MAX_GAIN, "1.00", failures);
        ExpectSelected(frame, IDC_CAMERA_NAME, "Not used", failures);
        Choose(frame, IDC_EXPOSURE_GAIN, "4.00", failures);
        Choose(frame, IDC_ANTI_FLICKER_FREQ, "60 Hz", failures);
        Choose(frame, IDC_CAMERA_NAME, "Test camera 2", failures);
        LRESULT checked = BST_UNCHECKED;
        const HWND antiFlicker = FindControl(frame, IDC_ANTI_FLICKER_ENABLE);
        if (!Send(antiFlicker, BM_CLICK, 0, 0) || !Send(antiFlicker, BM_GETCHECK, 0, 0, &checked)
            || checked != BST_CHECKED)
            failures.push_back("the anti-flicker box did not take the click");
    });
    RunFrame(filter.Get(), user);

    // Gain 4.00 is list entry 6; the max gain of 1.00 (entry 4) was raised to match it.
    const std::string key = SettingsKey(CLSID_Orvix61CapSrc1);
    EXPECT_EQ("6", RegistryText(HKEY_LOCAL_MACHINE, key, "ExposureGain"));
    EXPECT_EQ("6", RegistryText(HKEY_LOCAL_MACHINE, key, "ExposureMaxGain"));
    EXPECT_EQ("8", RegistryText(HKEY_LOCAL_MACHINE, key, "ExposureIntTime"));
    EXPECT_EQ("1", RegistryText(HKEY_LOCAL_MACHINE, key, "AntiFlickerFreq"));
    EXPECT_EQ("1", RegistryText(HKEY_LOCAL_MACHINE, key, "AntiFlickerEnable"));
    EXPECT_EQ("Test camera 2", RegistryText(HKEY_LOCAL_MACHINE, key, "CameraName"));

    // The filter the frame edited holds them for its camera; a new filter reads them.
    CameraSettings edited = {}, fresh = {};
    ComPtr<IIPFilter> editedSettings, freshSettings;
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IIPFilter1, editedSettings.PutVoid()));
    ASSERT_EQ(S_OK, editedSettings->GetCameraSettings(&edited));
    EXPECT_EQ(1, edited.settingsChanged);
    ComPtr<IBaseFilter> newFilter = CreateFilter(CLSID_Orvix61CapSrc1);
    ASSERT_TRUE(newFilter);
    ASSERT_EQ(S_OK, newFilter->QueryInterface(IID_IIPFilter1, freshSettings.PutVoid()));
    ASSERT_EQ(S_OK, freshSettings->GetCameraSettings(&fresh));
    for (const CameraSettings& settings : {edited, fresh}) {
        EXPECT_EQ(6, settings.ExposureGain);
        EXPECT_EQ(6, settings.ExposureMaxGain);
        EXPECT_EQ(8, settings.ExposureIntTime);
        EXPECT_EQ(8, settings.ExposureMaxIntTime);
        EXPECT_EQ(1, settings.AntiFlickerEnable);
        EXPECT_EQ(1, settings.AntiFlickerFreq);
        EXPECT_STREQ("Test camera 2", settings.CameraName);
    }
}

// The frame deactivates its page on Cancel as on OK, and the filter page hands what it
// shows to the filter whenever it is deactivated.
TEST_F(PropertyFrame, CancelOnTheFilterPageStillHandsTheShownSettingsOver)
{
    ComPtr<IBaseFilter> filter = CreateFilter(CLSID_Orvix61CapSrc3);
    ASSERT_TRUE(filter);
    FrameUser user(
        IDC_EXPOSURE_INT_TIME,
        [](HWND frame, Failures& failures) {
            ExpectSelected(frame, IDC_EXPOSURE_INT_TIME, "10.00", failures);
            Choose(frame, IDC_EXPOSURE_INT_TIME, "2.50", failures);
        },
        PSBTN_CANCEL);
    RunFrame(filter.Get(), user);

    const std::string key = SettingsKey(CLSID_Orvix61CapSrc3);
    EXPECT_EQ("4", RegistryText(HKEY_LOCAL_MACHINE, key, "ExposureIntTime"));
    EXPECT_EQ("8", RegistryText(HKEY_LOCAL_MACHINE, key, "ExposureMaxIntTime"));
    CameraSettings fresh = {};
    ComPtr<IIPFilter> freshSettings;
    ComPtr<IBaseFilter> newFilter = CreateFilter(CLSID_Orvix61CapSrc3);
    ASSERT_TRUE(newFilter);
    ASSERT_EQ(S_OK, newFilter->QueryInterface(IID_IIPFilter3, freshSettings.PutVoid()));
    ASSERT_EQ(S_OK, freshSettings->GetCameraSettings(&fresh));
    EXPECT_EQ(4, fresh.ExposureIntTime);
    EXPECT_EQ(8, fresh.ExposureMaxIntTime);
}

TEST_F(PropertyFrame, OkOnThePinPageStoresThePreferredFormatForNewFilters)
{
    ComPtr<IBaseFilter> filter = CreateFilter(CLSID_Orvix61CapSrc2);
    ComPtr<IPin> pin = OutputPin(filter.Get());
    ASSERT_TRUE(pin);
    FrameUser user(IDC_FRAME_SIZE, [](HWND frame, Failures& failures) {
        ExpectSelected(frame, IDC_COLOUR_SPACE, "RGB32", failures);
        ExpectSelected(frame, IDC_FRAME_SIZE, "2048 x 1536 @ 6 fps", failures);
        Choose(frame, IDC_COLOUR_SPACE, "RGB24", failures);
        Choose(frame, IDC_FRAME_SIZE, "512 x 384 @ 30 fps", failures);
    });
    RunFrame(pin.Get(), user);

    EXPECT_EQ("6",
              RegistryText(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc2), "PreferedIndex"));
    ComPtr<IIPPin> editedPin, freshPin;
    LONG edited = 0, fresh = 0;
    ASSERT_EQ(S_OK, pin->QueryInterface(IID_IIPPin2, editedPin.PutVoid()));
    ASSERT_EQ(S_OK, editedPin->GetPreferredIndex(&edited));
    EXPECT_EQ(6, edited);
    ComPtr<IPin> newPin = OutputPin(CreateFilter(CLSID_Orvix61CapSrc2).Get());
    ASSERT_TRUE(newPin);
    ASSERT_EQ(S_OK, newPin->QueryInterface(IID_IIPPin2, freshPin.PutVoid()));
    ASSERT_EQ(S_OK, freshPin->GetPreferredIndex(&fresh));
    EXPECT_EQ(6, fresh);
}

TEST_F(PropertyFrame, EveryLabelOfBothPagesShowsItsWholeText)
{
    ComPtr<IBaseFilter> filter = CreateFilter(CLSID_Orvix61CapSrc4);
    ASSERT_TRUE(filter);
    FrameUser filterUser(IDC_EXPOSURE_GAIN, [](HWND frame, Failures& failures) {
        ExpectLabelsShowTheirWholeText(frame, IDC_EXPOSURE_GAIN, failures);
    });
    RunFrame(filter.Get(), filterUser);
    ComPtr<IPin> pin = OutputPin(filter.Get());
    ASSERT_TRUE(pin);
    FrameUser pinUser(IDC_FRAME_SIZE, [](HWND frame, Failures& failures) {
        ExpectLabelsShowTheirWholeText(frame, IDC_FRAME_SIZE, failures);
    });
    RunFrame(pin.Get(), pinUser);
}
