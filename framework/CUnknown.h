#pragma once
// The object base: module object counting, reference counting and aggregation.
#include <windows.h>
#include <unknwn.h>

// The inner unknown of an aggregatable object. Its three slots line up with IUnknown's,
// so an outer object can hold it as a plain IUnknown.
struct INonDelegatingUnknown
{
    virtual HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG STDMETHODCALLTYPE InnerAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE InnerRelease() = 0;
};

// Counts in ObjectCount from the start of construction to the end of destruction,
// so the module stays loaded while any object is half built or half destroyed.
class CBaseObject
{
public:
    CBaseObject();
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
};

// Reference-counted object with an inner unknown. Every interface it exposes forwards
// QueryInterface, AddRef and Release to Owner(): the outer unknown when aggregated,
// else the object's own inner unknown. Objects start at count 0; the creator takes
// the first reference.
class CUnknown : public INonDelegatingUnknown, public CBaseObject
{
public:
    explicit CUnknown(IUnknown* outer);
    ~CUnknown() override = default;

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE InnerAddRef() override;
    ULONG STDMETHODCALLTYPE InnerRelease() override;

    IUnknown* Owner() const { return owner; }
    IUnknown* InnerUnknown()
    {
        return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this));
    }

protected:
    // Stores one of this object's interfaces with a reference added through it.
    static HRESULT HandOutInterface(IUnknown* iface, void** out);
    // Runs on the final release while the object is still whole, before destruction;
    // references taken and given back in here cannot start a second destruction.
    virtual void OnFinalRelease() {}

private:
    IUnknown* const owner;    // holds no reference: it is this object or the one containing it
    volatile LONG referenceCount = 0;
};

// The delegating IUnknown of every interface a CUnknown-derived class exposes.
#define DECLARE_DELEGATING_UNKNOWN                                            \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override \
    {                                                                         \
        return Owner()->QueryInterface(iid, out);                             \
    }                                                                         \
    ULONG STDMETHODCALLTYPE AddRef() override                                 \
    {                                                                         \
        return Owner()->AddRef();                                             \
    }                                                                         \
    ULONG STDMETHODCALLTYPE Release() override                                \
    {                                                                         \
        return Owner()->Release();                                            \
    }
