#include "FaultScenario.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The most words an item other than a frame list has, and one more.
constexpr int MaxWords = 4;

// One item: its text for messages, and its first words, each ended by a NUL.
struct Item
{
    char text[MaxScenarioTextBytes];
    char split[MaxScenarioTextBytes];
    const char* words[MaxWords] = {};
    int wordCount = 0;    // MaxWords: that many or more
    size_t nameLength = 0;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void SplitItem(const char* begin, const char* end, Item* item)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    const size_t length = size_t(end - begin);
    std::memcpy(item->text, begin, length);
    item->text[length] = '\0';
    std::memcpy(item->split, begin, length);
    item->split[length] = '\0';
    for (char* at = item->split; *at && item->wordCount < MaxWords;) {
        while (IsBlank(*at))
            *at++ = '\0';
        if (!*at)
            break;
        item->words[item->wordCount++] = at;
        while (*at && !IsBlank(*at))
            ++at;
    }
    item->nameLength = item->wordCount ? std::strlen(item->words[0]) : 0;
}

// Whole decimal or 0x-hexadecimal text, with a sign only where `signedAllowed`.
bool ParseNumber(const char* text, bool signedAllowed, LONGLONG* value)
{
    const char* at = text;
    bool negative = false;
    if (signedAllowed && (*at == '-' || *at == '+')) {
        negative = *at == '-';
        ++at;
    }
    int base = 10;
    if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (!*at)
        return false;
    unsigned long long magnitude = 0;
    for (; *at; ++at) {
        const int digit = std::isdigit(BYTE(*at)) ? *at - '0'
                          : base == 16 && std::isxdigit(BYTE(*at))
                              ? std::tolower(BYTE(*at)) - 'a' + 10
                              : -1;
        if (digit < 0)
            return false;
        magnitude = magnitude * unsigned(base) + unsigned(digit);
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    *value = negative ? -LONGLONG(magnitude) : LONGLONG(magnitude);
    return true;
}

// A percentage of 0 to 100 with at most two decimals, in hundredths of a percent.
bool ParsePercent(const char* text, LONG* basisPoints)
{
    LONG whole = 0;
    const char* at = text;
    if (!std::isdigit(BYTE(*at)))
        return false;
    for (; std::isdigit(BYTE(*at)); ++at) {
        whole = whole * 10 + (*at - '0');
        if (whole > 100)
            return false;
    }
    LONG hundredths = 0;
    if (*at == '.') {
        ++at;
        for (int digits = 0; digits < 2; ++digits) {
            hundredths *= 10;
            if (std::isdigit(BYTE(*at)))
                hundredths += *at++ - '0';
        }
    }
    if (*at)
        return false;
    *basisPoints = whole * 100 + hundredths;
    return *basisPoints <= 10000;
}

// Mixes a seed and a frame number into 64 well-spread bits: frame k's share of drop-percent
// and jitter, the same in the camera and in every verifier.
uint64_t FrameHash(uint64_t seed, LONGLONG frame)
{
    uint64_t mixed = seed * 0x9E3779B97F4A7C15ull + uint64_t(frame) + 0x632BE59BD9B4E019ull;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
    return mixed ^ (mixed >> 31);
}

constexpr uint64_t JitterSeed = 0x4A17737Eull;

const char* EndItemName(StreamEnd end)
{
    switch (end) {
    case StreamEnd::EndOfStream:
        return "end";
    case StreamEnd::DeviceLost:
        return "lose-device";
    case StreamEnd::Abort:
        return "abort";
    case StreamEnd::None:
        break;
    }
    return "";
}

}    // namespace

// Fills a scenario item by item; the first problem stops it.
class FaultScenario::Parser
{
public:
    Parser(FaultScenario* scenario, char (&problem)[ScenarioProblemBytes])
        : scenario(*scenario), problem(problem)
    {
    }

    bool ParseItem(const Item& item);
    bool CheckCombinations();

private:
    bool Fail(const char* format, ...);
    bool Frame(const char* word, LONG* frame);
    bool Milliseconds(const char* word, bool signedAllowed, LONG* ms);
    bool Failure(const char* word, HRESULT* result);
    bool Words(int expected, const char* usage);
    bool AddFrameFaults(Kind kind, LONG value);
    bool AddFault(LONG frame, Kind kind, LONG value);
    bool SetOnce(LONG* field, LONG value, bool* given, const char* name);
    bool SetEnd(StreamEnd kind, LONG frame, HRESULT result);

    FaultScenario& scenario;
    char (&problem)[ScenarioProblemBytes];
    const Item* item = nullptr;
    // Items that take one value, once given: "late-start 0" says something as much as
    // "late-start 500" does, though the scenario holds 0 for both "none" and "nothing".
    bool dropEveryGiven = false;
    bool lateStartGiven = false;
    bool jitterGiven = false;
};

bool FaultScenario::Parser::Fail(const char* format, ...)
{
    char reason[ScenarioProblemBytes];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reason, sizeof(reason), format, arguments);
    va_end(arguments);
    if (item)
        std::snprintf(problem, sizeof(problem), "\"%.80s\": %s", item->text, reason);
    else
        std::snprintf(problem, sizeof(problem), "%s", reason);
    return false;
}

bool FaultScenario::Parser::Frame(const char* word, LONG* frame)
{
    LONGLONG value = 0;
    if (!ParseNumber(word, false, &value) || value > MaxFaultFrame)
        return Fail("'%.40s' is no frame number (0 to %ld)", word, MaxFaultFrame);
    *frame = LONG(value);
    return true;
}

bool FaultScenario::Parser::Milliseconds(const char* word, bool signedAllowed, LONG* ms)
{
    LONGLONG value = 0;
    if (!ParseNumber(word, signedAllowed, &value) || value > MaxFaultMs || value < -MaxFaultMs)
        return Fail(signedAllowed ? "'%s' is no number of milliseconds (-%ld to %ld)"
                                  : "'%s' is no number of milliseconds (0 to %ld)",
                    word, MaxFaultMs, MaxFaultMs);
    *ms = LONG(value);
    return true;
}

bool FaultScenario::Parser::Failure(const char* word, HRESULT* result)
{
    LONGLONG value = 0;
    if (!ParseNumber(word, true, &value) || value < LONGLONG(INT32_MIN))
        return Fail("'%s' is no HRESULT (hexadecimal as 0x8007001F, or decimal)", word);
    const HRESULT given = HRESULT(uint32_t(value));
    if (SUCCEEDED(given))
        return Fail("0x%08lX is a success code: give a failure, such as 0x8007001F", given);
    *result = given;
    return true;
}

bool FaultScenario::Parser::Words(int expected, const char* usage)
{
    if (item->wordCount != expected)
        return Fail("takes %s", usage);
    return true;
}

bool FaultScenario::Parser::AddFault(LONG frame, Kind kind, LONG value)
{
    FrameFault* const begin = scenario.faults;
    FrameFault* const end = begin + scenario.faultCount;
    FrameFault* at = std::lower_bound(
        begin, end, FrameFault{frame, kind, 0}, [](const FrameFault& a, const FrameFault& b) {
            return a.frame != b.frame ? a.frame < b.frame : a.kind < b.kind;
        });
    if (at != end && at->frame == frame && at->kind == kind) {
        if (at->value == value)
            return true;    // said twice
        return Fail("frame %ld already has %s %ld ms", frame,
                    kind == Kind::Stall ? "a stall of" : "a stamp step of", at->value);
    }
    if (scenario.faultCount == MaxFrameFaults)
        return Fail("more than %d frames are named in the scenario", MaxFrameFaults);
    std::move_backward(at, end, end + 1);
    *at = FrameFault{frame, kind, value};
    ++scenario.faultCount;
    return true;
}

// The item's frame list: what follows its name is K[,K...], with blanks allowed around
// the commas but not inside a number, so that "drop 5 17" is refused rather than read as
// frame 517.
bool FaultScenario::Parser::AddFrameFaults(Kind kind, LONG value)
{
    if (item->wordCount < 2)
        return Fail("takes frame numbers, as in \"%s 5,17\"", item->words[0]);
    char list[MaxScenarioTextBytes];
    std::strcpy(list, item->text + item->nameLength);
    for (char* at = list;;) {
        char* comma = std::strchr(at, ',');
        char* end = comma ? comma : at + std::strlen(at);
        while (at < end && IsBlank(*at))
            ++at;
        while (end > at && IsBlank(end[-1]))
            --end;
        *end = '\0';
        if (!*at)
            return Fail("has an empty place in its list of frames");
        LONG frame = 0;
        if (!Frame(at, &frame) || !AddFault(frame, kind, value))
            return false;
        if (!comma)
            return true;
        at = comma + 1;
    }
}

bool FaultScenario::Parser::SetOnce(LONG* field, LONG value, bool* given, const char* name)
{
    if (*given && *field != value)
        return Fail("%s is already %ld", name, *field);
    *field = value;
    *given = true;
    return true;
}

bool FaultScenario::Parser::SetEnd(StreamEnd kind, LONG frame, HRESULT result)
{
    if (scenario.end != StreamEnd::None
        && (scenario.end != kind || scenario.endFrame != frame || scenario.abortResult != result))
        return Fail("the stream already ends with %s %ld: give one way to end it",
                    EndItemName(scenario.end), scenario.endFrame);
    scenario.end = kind;
    scenario.endFrame = frame;
    scenario.abortResult = result;
    return true;
}

bool FaultScenario::Parser::ParseItem(const Item& given)
{
    item = &given;
    const char* name = given.words[0];
    LONG frame = 0;
    LONG ms = 0;
    HRESULT result = S_OK;
    if (!std::strcmp(name, "drop"))
        return AddFrameFaults(Kind::Drop, 0);
    if (!std::strcmp(name, "repeat"))
        return AddFrameFaults(Kind::Repeat, 0);
    if (!std::strcmp(name, "corrupt"))
        return AddFrameFaults(Kind::Corrupt, 0);
    if (!std::strcmp(name, "no-stamp"))
        return AddFrameFaults(Kind::NoStamp, 0);
    if (!std::strcmp(name, "drop-every")) {
        if (!Words(2, "one number, as in \"drop-every 10\"") || !Frame(given.words[1], &frame))
            return false;
        if (frame == 0)
            return Fail("drops every Nth frame: N is 1 or more");
        return SetOnce(&scenario.dropEvery, frame, &dropEveryGiven, "drop-every");
    }
    if (!std::strcmp(name, "drop-percent")) {
        LONG basisPoints = 0;
        LONGLONG seed = 0;
        if (!Words(3, "a percentage and a seed, as in \"drop-percent 2.5 7\""))
            return false;
        if (!ParsePercent(given.words[1], &basisPoints))
            return Fail("'%s' is no percentage (0 to 100, at most two decimals)", given.words[1]);
        if (!ParseNumber(given.words[2], false, &seed))
            return Fail("'%s' is no seed (0 to 4294967295)", given.words[2]);
        if (scenario.dropBasisPoints >= 0
            && (scenario.dropBasisPoints != basisPoints || scenario.dropSeed != uint32_t(seed)))
            return Fail("drop-percent is already given");
        scenario.dropBasisPoints = basisPoints;
        scenario.dropSeed = uint32_t(seed);
        return true;
    }
    if (!std::strcmp(name, "stall")) {
        return Words(3, "a frame number and milliseconds, as in \"stall 40 500\"")
               && Frame(given.words[1], &frame) && Milliseconds(given.words[2], false, &ms)
               && AddFault(frame, Kind::Stall, ms);
    }
    if (!std::strcmp(name, "stamp-step")) {
        return Words(3, "a frame number and milliseconds, as in \"stamp-step 50 -200\"")
               && Frame(given.words[1], &frame) && Milliseconds(given.words[2], true, &ms)
               && AddFault(frame, Kind::StampStep, ms);
    }
    if (!std::strcmp(name, "late-start")) {
        return Words(2, "milliseconds, as in \"late-start 2000\"")
               && Milliseconds(given.words[1], false, &ms)
               && SetOnce(&scenario.lateStartMs, ms, &lateStartGiven, "late-start");
    }
    if (!std::strcmp(name, "jitter")) {
        return Words(2, "milliseconds, as in \"jitter 3\"")
               && Milliseconds(given.words[1], false, &ms)
               && SetOnce(&scenario.jitterMs, ms, &jitterGiven, "jitter");
    }
    if (!std::strcmp(name, "clock-wrap") || !std::strcmp(name, "bottom-up")) {
        if (!Words(1, "nothing"))
            return false;
        (name[0] == 'c' ? scenario.clockWrap : scenario.bottomUp) = true;
        return true;
    }
    if (!std::strcmp(name, "lose-device") || !std::strcmp(name, "end")) {
        return Words(2, "a frame number") && Frame(given.words[1], &frame)
               && SetEnd(name[0] == 'l' ? StreamEnd::DeviceLost : StreamEnd::EndOfStream, frame,
                         S_OK);
    }
    if (!std::strcmp(name, "abort")) {
        return Words(3, "a frame number and an HRESULT, as in \"abort 40 0x80004005\"")
               && Frame(given.words[1], &frame) && Failure(given.words[2], &result)
               && SetEnd(StreamEnd::Abort, frame, result);
    }
    if (!std::strcmp(name, "fail-start")) {
        if (!Words(2, "an HRESULT, as in \"fail-start 0x8007001F\"")
            || !Failure(given.words[1], &result))
            return false;
        if (scenario.failStart != S_OK && scenario.failStart != result)
            return Fail("fail-start is already 0x%08lX", scenario.failStart);
        scenario.failStart = result;
        return true;
    }
    return Fail("is no item; the items are drop, drop-every, drop-percent, repeat, corrupt, "
                "stall, late-start, jitter, stamp-step, no-stamp, clock-wrap, lose-device, "
                "abort, end, fail-start and bottom-up");
}

bool FaultScenario::Parser::CheckCombinations()
{
    item = nullptr;
    static const char* const kindNames[] = {"drop",  "repeat",     "corrupt",
                                            "stall", "stamp-step", "no-stamp"};
    for (int index = 0; index < scenario.faultCount; ++index) {
        const FrameFault& fault = scenario.faults[index];
        if (fault.kind == Kind::Drop || fault.kind == Kind::StampStep)
            continue;
        // A frame's faults are sorted by kind, a drop first.
        int first = 0, last = 0;
        scenario.FaultsAt(fault.frame, &first, &last);
        if (scenario.faults[first].kind == Kind::Drop)
            return Fail("frame %ld is dropped, so it cannot also be given %s", fault.frame,
                        kindNames[int(fault.kind)]);
    }
    if (scenario.lateStartMs > 0) {
        int first = 0, last = 0;
        scenario.FaultsAt(0, &first, &last);
        for (int index = first; index < last; ++index) {
            if (scenario.faults[index].kind == Kind::Stall)
                return Fail("late-start and stall 0 both wait before frame 0: give one");
        }
    }
    return true;
}

bool FaultScenario::Parse(const char* text, FaultScenario* scenario,
                          char (&problem)[ScenarioProblemBytes])
{
    problem[0] = '\0';
    if (!text)
        text = "";
    const size_t length = strnlen(text, MaxScenarioTextBytes);
    if (length == MaxScenarioTextBytes) {
        std::snprintf(problem, sizeof(problem),
                      "the scenario is longer than %zu characters, the most it may be",
                      MaxScenarioTextBytes - 1);
        return false;
    }
    // Built aside, so that a failure leaves the caller's scenario as it was.
    FaultScenario parsed;
    Parser parser(&parsed, problem);
    for (const char* begin = text;;) {
        const char* end = std::strchr(begin, ';');
        if (!end)
            end = text + length;
        Item item;
        SplitItem(begin, end, &item);
        if (item.wordCount > 0) {
            if (!parser.ParseItem(item))
                return false;
        }
        if (!*end)
            break;
        begin = end + 1;
    }
    if (!parser.CheckCombinations())
        return false;
    // Every scenario must be storable and reportable as text, which its canonical form can
    // make longer than what was typed ("stall 1 2;" has no spaces to spare).
    char canonical[MaxScenarioTextBytes];
    if (!parsed.Format(canonical, sizeof(canonical))) {
        std::snprintf(problem, sizeof(problem),
                      "written out in full, the scenario is longer than %zu characters, the "
                      "most it may be",
                      MaxScenarioTextBytes - 1);
        return false;
    }
    *scenario = parsed;
    return true;
}

bool FaultScenario::IsEmpty() const
{
    return *this == FaultScenario();
}

bool FaultScenario::operator==(const FaultScenario& other) const
{
    if (faultCount != other.faultCount)
        return false;
    for (int index = 0; index < faultCount; ++index) {
        const FrameFault& a = faults[index];
        const FrameFault& b = other.faults[index];
        if (a.frame != b.frame || a.kind != b.kind || a.value != b.value)
            return false;
    }
    return dropEvery == other.dropEvery && dropBasisPoints == other.dropBasisPoints
           && dropSeed == other.dropSeed && lateStartMs == other.lateStartMs
           && jitterMs == other.jitterMs && clockWrap == other.clockWrap
           && bottomUp == other.bottomUp && end == other.end && endFrame == other.endFrame
           && abortResult == other.abortResult && failStart == other.failStart;
}

void FaultScenario::FaultsAt(LONGLONG frame, int* first, int* last) const
{
    int low = 0;
    for (int high = faultCount; low < high;) {
        const int middle = (low + high) / 2;
        if (faults[middle].frame < frame)
            low = middle + 1;
        else
            high = middle;
    }
    int end = low;
    while (end < faultCount && faults[end].frame == frame)
        ++end;
    *first = low;
    *last = end;
}

bool FaultScenario::IsDropped(LONGLONG frame) const
{
    if (frame < 0)
        return false;
    if (dropEvery > 0 && frame > 0 && frame % dropEvery == 0)
        return true;
    if (dropBasisPoints > 0 && FrameHash(dropSeed, frame) % 10000 < uint64_t(dropBasisPoints))
        return true;
    int first = 0, last = 0;
    FaultsAt(frame, &first, &last);
    for (int index = first; index < last; ++index) {
        if (faults[index].kind == Kind::Drop)
            return true;
    }
    return false;
}

FrameFate FaultScenario::FateOf(LONGLONG frame) const
{
    FrameFate fate;
    if (end != StreamEnd::None && frame >= endFrame) {
        fate.end = end;
        fate.abortResult = abortResult;
        fate.delivered = false;
        return fate;
    }
    if (IsDropped(frame)) {
        fate.delivered = false;
        return fate;
    }
    fate.discontinuity = IsDropped(frame - 1);
    if (frame == 0)
        fate.stallMs = lateStartMs;
    for (int index = 0; index < faultCount && faults[index].frame <= frame; ++index) {
        const FrameFault& fault = faults[index];
        if (fault.kind == Kind::StampStep) {
            fate.stampShiftMs += fault.value;
            continue;
        }
        if (fault.frame != frame)
            continue;
        switch (fault.kind) {
        case Kind::Repeat:
            fate.repeated = true;
            break;
        case Kind::Corrupt:
            fate.corrupted = true;
            break;
        case Kind::Stall:
            fate.stallMs = fault.value;
            break;
        case Kind::NoStamp:
            fate.untimed = true;
            break;
        case Kind::Drop:
        case Kind::StampStep:
            break;
        }
    }
    if (jitterMs > 0) {
        const uint64_t span = uint64_t(jitterMs) * 2 + 1;
        fate.stampShiftMs += LONGLONG(FrameHash(JitterSeed, frame) % span) - jitterMs;
    }
    return fate;
}

namespace {

// Appends to a bounded text; false once it no longer fits.
class TextWriter
{
public:
    TextWriter(char* text, size_t bytes) : text(text), bytes(bytes)
    {
        if (bytes)
            text[0] = '\0';
    }

    void Item(const char* format, ...)
    {
        char piece[MaxScenarioTextBytes];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(piece, sizeof(piece), format, arguments);
        va_end(arguments);
        Append(used ? "; " : "");
        Append(piece);
    }
    void Append(const char* piece)
    {
        const size_t length = std::strlen(piece);
        if (!fits || used + length >= bytes) {
            fits = false;
            return;
        }
        std::memcpy(text + used, piece, length + 1);
        used += length;
    }
    bool Fits() const { return fits && bytes > 0; }

private:
    char* const text;
    const size_t bytes;
    size_t used = 0;
    bool fits = true;
};

}    // namespace

bool FaultScenario::Format(char* text, size_t bytes) const
{
    TextWriter writer(text, bytes);
    if (failStart != S_OK)
        writer.Item("fail-start 0x%08lX", failStart);
    if (lateStartMs > 0)
        writer.Item("late-start %ld", lateStartMs);
    // The frame lists, one item a kind, in the order of the kinds.
    static const char* const listNames[] = {"drop",  "repeat", "corrupt",
                                            nullptr, nullptr,  "no-stamp"};
    for (Kind kind : {Kind::Drop, Kind::Repeat, Kind::Corrupt, Kind::NoStamp}) {
        bool first = true;
        for (int index = 0; index < faultCount; ++index) {
            if (faults[index].kind != kind)
                continue;
            char number[16];
            std::snprintf(number, sizeof(number), "%ld", faults[index].frame);
            if (first)
                writer.Item("%s %s", listNames[int(kind)], number);
            else {
                writer.Append(",");
                writer.Append(number);
            }
            first = false;
        }
        if (kind == Kind::Drop) {
            if (dropEvery > 0)
                writer.Item("drop-every %ld", dropEvery);
            if (dropBasisPoints >= 0) {
                char percent[16];
                std::snprintf(percent, sizeof(percent), "%ld.%02ld", dropBasisPoints / 100,
                              dropBasisPoints % 100);
                // 2.50 reads as 2.5, and 3.00 as 3.
                size_t length = std::strlen(percent);
                while (percent[length - 1] == '0')
                    percent[--length] = '\0';
                if (percent[length - 1] == '.')
                    percent[--length] = '\0';
                writer.Item("drop-percent %s %lu", percent, static_cast<unsigned long>(dropSeed));
            }
        }
    }
    for (int index = 0; index < faultCount; ++index) {
        if (faults[index].kind == Kind::Stall)
            writer.Item("stall %ld %ld", faults[index].frame, faults[index].value);
    }
    if (jitterMs > 0)
        writer.Item("jitter %ld", jitterMs);
    for (int index = 0; index < faultCount; ++index) {
        if (faults[index].kind == Kind::StampStep)
            writer.Item("stamp-step %ld %ld", faults[index].frame, faults[index].value);
    }
    if (clockWrap)
        writer.Item("clock-wrap");
    if (bottomUp)
        writer.Item("bottom-up");
    if (end == StreamEnd::Abort)
        writer.Item("abort %ld 0x%08lX", endFrame, abortResult);
    else if (end != StreamEnd::None)
        writer.Item("%s %ld", EndItemName(end), endFrame);
    return writer.Fits();
}

void CorruptFrame(BYTE* frame, size_t rowBytes, LONG rows)
{
    if (rows <= 0)
        return;
    const LONG first = rows / 4;
    const LONG count = std::min<LONG>(16, rows - first);
    std::memset(frame + size_t(first) * rowBytes, 0xFF, size_t(count) * rowBytes);
}

void ReverseRows(BYTE* frame, size_t rowBytes, LONG rows)
{
    for (LONG top = 0, bottom = rows - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(frame + size_t(top) * rowBytes, frame + size_t(top + 1) * rowBytes,
                         frame + size_t(bottom) * rowBytes);
}

LONGLONG WrappingClockStart(LONGLONG clockMs)
{
    // The clock holds the last frame's stamp; the next frame is stamped 10 ms later, and
    // that stamp is to lie a second short of a multiple of 2^32.
    constexpr LONGLONG Wrap = 0x100000000LL;
    constexpr LONGLONG Before = 1000 + 10;
    LONGLONG ahead = (-Before - clockMs) % Wrap;
    if (ahead < 0)
        ahead += Wrap;
    return clockMs + ahead;
}
