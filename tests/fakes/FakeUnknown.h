#pragma once
// Base of every fake host object. A fake lives on the test's stack or in a fixture and is
// never deleted by Release; the test checks at its end that the references the code
// under test took were all given back (References() back to 0).
#include <windows.h>
#include <unknwn.h>

#include <initializer_list>

class FakeUnknown
{
public:
    virtual ~FakeUnknown() = default;
    LONG References() const { return references; }
    LONG QueryCount() const { return queries; }

protected:
    // The derived fake says which of its interfaces answers an identifier.
    virtual void* Lookup(REFIID iid) = 0;

    HRESULT FakeQueryInterface(REFIID iid, void** out)
    {
        InterlockedIncrement(&queries);
        if (!out)
            return E_POINTER;
        *out = Lookup(iid);
        if (!*out)
            return E_NOINTERFACE;
        FakeAddRef();
        return S_OK;
    }
    ULONG FakeAddRef() { return ULONG(InterlockedIncrement(&references)); }
    ULONG FakeRelease() { return ULONG(InterlockedDecrement(&references)); }

private:
    volatile LONG references = 0;
    volatile LONG queries = 0;
};

// The IUnknown of a fake, routed to FakeUnknown.
#define FAKE_UNKNOWN                                                          \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override \
    {                                                                         \
        return FakeQueryInterface(iid, out);                                  \
    }                                                                         \
    ULONG STDMETHODCALLTYPE AddRef() override                                 \
    {                                                                         \
        return FakeAddRef();                                                  \
    }                                                                         \
    ULONG STDMETHODCALLTYPE Release() override                                \
    {                                                                         \
        return FakeRelease();                                                 \
    }
