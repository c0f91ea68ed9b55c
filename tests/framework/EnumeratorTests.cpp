// The type and pin enumerators that the framework hands to hosts.
#include "TestSource.h"
#include "framework/ModuleState.h"

#include <gtest/gtest.h>

namespace {

class Enumerators : public ::testing::Test
{
protected:
    void SetUp() override
    {
        filter = MakeTestSource(&source);
        pin = static_cast<IPin*>(source->Stream());
    }
    void TearDown() override
    {
        filter.Reset();
        EXPECT_EQ(ObjectCount, startCount);
    }

    const LONG startCount = ObjectCount;
    CTestSource* source = nullptr;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;
};

TEST_F(Enumerators, TypeEnumeratorHandsOutTaskMemoryTypesTheCallerFrees)
{
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
    AM_MEDIA_TYPE* got[2] = {};
    ULONG fetched = 7;
    EXPECT_EQ(types->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(types->Next(0, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    ASSERT_EQ(types->Next(1, got, nullptr), S_OK);
    MediaTypePtr first(got[0]);
    CMediaTypeRecord expected;
    FillTestType(&expected);
    EXPECT_TRUE(expected.Equals(*first));
    EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(types->Next(1, nullptr, &fetched), E_POINTER);
}

TEST_F(Enumerators, TypeEnumeratorAdvancesPastTheEndUntilReset)
{
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
    EXPECT_EQ(types->Skip(1), S_OK);    // position 1: the type at 0 exists
    AM_MEDIA_TYPE* got = nullptr;
    EXPECT_EQ(types->Next(1, &got, nullptr), S_FALSE);    // position now 2
    EXPECT_EQ(types->Skip(1), S_FALSE);
    EXPECT_EQ(types->Skip(0xFFFFFFFF), S_FALSE);    // saturates, never wraps
    EXPECT_EQ(types->Next(1, &got, nullptr), S_FALSE);

    ComPtr<IEnumMediaTypes> clone;
    ASSERT_EQ(types->Clone(clone.Put()), S_OK);
    EXPECT_EQ(clone->Next(1, &got, nullptr), S_FALSE);
    ASSERT_EQ(types->Reset(), S_OK);
    ASSERT_EQ(types->Next(1, &got, nullptr), S_OK);
    DestroyMediaType(got);
    EXPECT_EQ(types->Clone(nullptr), E_POINTER);
}

TEST_F(Enumerators, EnumeratorsKeepTheirOwnerAliveAndAnswerOnlyTheirInterfaces)
{
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
    filter.Reset();
    EXPECT_EQ(ObjectCount, startCount + 2);

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(types->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(types->QueryInterface(IID_IEnumPins, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(pins->QueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(&none)),
              E_NOINTERFACE);
    EXPECT_EQ(pins->QueryInterface(IID_IEnumPins, nullptr), E_POINTER);
    unknown.Reset();
    types.Reset();
    pins.Reset();
    EXPECT_EQ(ObjectCount, startCount);
}

TEST_F(Enumerators, PinEnumeratorNeverReturnsAPinTwiceWhenTheListChanges)
{
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
    IPin* got = nullptr;
    ASSERT_EQ(pins->Next(1, &got, nullptr), S_OK);
    got->Release();

    source->pinListVersion = 2;
    EXPECT_EQ(pins->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    ComPtr<IEnumPins> clone;
    EXPECT_EQ(pins->Clone(clone.Put()), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(clone.Get(), nullptr);
    // Next starts over with the new list, but the one pin was handed out already.
    ULONG fetched = 9;
    EXPECT_EQ(pins->Next(1, &got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    // After a reset it is new again.
    ASSERT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(1, &got, &fetched), S_OK);
    got->Release();
}

TEST_F(Enumerators, TypeEnumeratorSkipsNothingOnZeroEvenWhenStale)
{
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
    EXPECT_EQ(types->Skip(0), S_OK);
}

}    // namespace
