#include "fakes/FakeUnknown.h"
#include "framework/CUnknown.h"
#include "framework/ModuleState.h"

#include <gtest/gtest.h>
#include <ocidl.h>

namespace {

// An object exposing one interface (IPersist) the way every module object does.
class CPersistObject : public CUnknown, public IPersist
{
public:
    explicit CPersistObject(IUnknown* outer, int* destructions = nullptr)
        : CUnknown(outer), destructions(destructions)
    {
    }
    ~CPersistObject() override
    {
        if (destructions)
            ++*destructions;
        // A reference taken and dropped while being destroyed must not destroy again.
        InnerAddRef();
        InnerRelease();
    }

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override
    {
        if (out && IsEqualIID(iid, IID_IPersist))
            return HandOutInterface(static_cast<IPersist*>(this), out);
        return CUnknown::InnerQueryInterface(iid, out);
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override
    {
        *id = CLSID_NULL;
        return S_OK;
    }

private:
    int* destructions;
};

// The outer object of an aggregate: records what reaches it.
class FakeOuter : public FakeUnknown, public IUnknown
{
public:
    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }
};

class ObjectBase : public ::testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(ObjectCount, startCount); }
    const LONG startCount = ObjectCount;
};

TEST_F(ObjectBase, NewObjectCountsFromZeroAndDiesOnLastRelease)
{
    int destructions = 0;
    auto* object = new CPersistObject(nullptr, &destructions);
    EXPECT_EQ(ObjectCount, startCount + 1);
    EXPECT_EQ(object->InnerAddRef(), 1u);
    EXPECT_EQ(object->InnerRelease(), 0u);
    EXPECT_EQ(destructions, 1);
    EXPECT_EQ(ObjectCount, startCount);
}

TEST_F(ObjectBase, ReportedCountsNeverDropBelowOneWhileAlive)
{
    auto* object = new CPersistObject(nullptr);
    object->InnerAddRef();
    EXPECT_EQ(object->InnerAddRef(), 2u);
    EXPECT_EQ(object->InnerRelease(), 1u);
    EXPECT_EQ(object->InnerRelease(), 0u);
}

TEST_F(ObjectBase, NotAggregatedInterfacesAnswerThroughTheInnerUnknown)
{
    auto* object = new CPersistObject(nullptr);
    object->InnerAddRef();
    IPersist* persist = nullptr;
    ASSERT_EQ(object->InnerQueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, object->InnerUnknown());
    unknown->Release();
    persist->Release();
    EXPECT_EQ(object->InnerRelease(), 0u);
}

TEST_F(ObjectBase, UnknownIdentifierClearsTheResultAndNullResultWritesNothing)
{
    auto* object = new CPersistObject(nullptr);
    object->InnerAddRef();
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->InnerQueryInterface(IID_IPersistStream, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(object->InnerQueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(object->InnerQueryInterface(IID_IPersist, nullptr), E_POINTER);
    EXPECT_EQ(object->InnerRelease(), 0u);
}

TEST_F(ObjectBase, AggregatedObjectDelegatesToOuterButInnerUnknownStaysInner)
{
    FakeOuter outer;
    auto* object = new CPersistObject(&outer);
    object->InnerAddRef();

    IUnknown* inner = nullptr;
    ASSERT_EQ(object->InnerQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    EXPECT_EQ(inner, object->InnerUnknown());
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.References(), 0);    // the inner count went up, not the outer
    EXPECT_EQ(inner->Release(), 1u);

    IPersist* persist = nullptr;
    ASSERT_EQ(object->InnerQueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.References(), 1);    // handed out through the owner
    IUnknown* viaPersist = nullptr;
    EXPECT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaPersist)), S_OK);
    EXPECT_EQ(viaPersist, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.QueryCount(), 1);
    viaPersist->Release();
    persist->Release();
    EXPECT_EQ(outer.References(), 0);

    EXPECT_EQ(object->InnerRelease(), 0u);
}

}    // namespace
