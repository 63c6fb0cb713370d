// The filter object: its interfaces, identity under aggregation, effect settings and pages.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "decoder_guids.h"
#include "filter_test_support.h"

namespace halvaris::filter::testing {
namespace {

using win32::ComPtr;

// Writes "Quartz" values into the prefix's win.ini and removes them again.
class QuartzProfile {
 public:
  QuartzProfile(const char* start, const char* length) {
    WriteProfileStringA("Quartz", "EffectStart", start);
    WriteProfileStringA("Quartz", "EffectLength", length);
  }
  ~QuartzProfile() {
    WriteProfileStringA("Quartz", "EffectStart", nullptr);
    WriteProfileStringA("Quartz", "EffectLength", nullptr);
  }
  QuartzProfile(const QuartzProfile&) = delete;
  QuartzProfile& operator=(const QuartzProfile&) = delete;
};

ComPtr<IEffectSettings> EffectSettingsOf(IBaseFilter* filter) {
  ComPtr<IEffectSettings> settings;
  EXPECT_EQ(filter->QueryInterface(kEffectSettingsIid, settings.PutVoid()), S_OK);
  return settings;
}

TEST(EffectSettingsTest, DefaultsWithoutProfileValues) {
  WriteProfileStringA("Quartz", "EffectStart", nullptr);
  WriteProfileStringA("Quartz", "EffectLength", nullptr);
  DecoderInstance decoder = MakeDecoder();
  ComPtr<IEffectSettings> settings = EffectSettingsOf(decoder.filter.Get());
  int number = 0;
  double start = 0;
  double length = 0;
  ASSERT_EQ(settings->GetEffectSettings(&number, &start, &length), S_OK);
  EXPECT_EQ(number, 1010);
  EXPECT_DOUBLE_EQ(start, 2.0);
  EXPECT_DOUBLE_EQ(length, 5.0);
}

TEST(EffectSettingsTest, ProfileValuesAreReadAtConstruction) {
  DecoderInstance decoder;
  {
    QuartzProfile profile("1.5", "not a number");
    decoder = MakeDecoder();
  }
  int number = 0;
  double start = 0;
  double length = -1;
  ASSERT_EQ(EffectSettingsOf(decoder.filter.Get())->GetEffectSettings(&number, &start, &length),
            S_OK);
  EXPECT_DOUBLE_EQ(start, 1.5);
  EXPECT_DOUBLE_EQ(length, 0.0);
}

TEST(EffectSettingsTest, SetThenGetAndNullPointers) {
  DecoderInstance decoder = MakeDecoder();
  ComPtr<IEffectSettings> settings = EffectSettingsOf(decoder.filter.Get());
  ASSERT_EQ(settings->SetEffectSettings(5, 1.25, 0.5), S_OK);
  int number = 0;
  double start = 0;
  double length = 0;
  ASSERT_EQ(settings->GetEffectSettings(&number, &start, &length), S_OK);
  EXPECT_EQ(number, 5);
  EXPECT_DOUBLE_EQ(start, 1.25);
  EXPECT_DOUBLE_EQ(length, 0.5);

  number = 77;
  EXPECT_EQ(settings->GetEffectSettings(&number, nullptr, &length), E_POINTER);
  EXPECT_EQ(settings->GetEffectSettings(nullptr, &start, &length), E_POINTER);
  EXPECT_EQ(settings->GetEffectSettings(&number, &start, nullptr), E_POINTER);
  EXPECT_EQ(number, 77);

  // Stored in 100 ns units, truncated toward zero.
  ASSERT_EQ(settings->SetEffectSettings(-1, -0.00000019, 0.00000019), S_OK);
  ASSERT_EQ(settings->GetEffectSettings(&number, &start, &length), S_OK);
  EXPECT_DOUBLE_EQ(start, -0.0000001);
  EXPECT_DOUBLE_EQ(length, 0.0000001);
}

TEST(EffectSettingsTest, ValuesBeyondTheRangeSaturateAndNanCountsAsZero) {
  constexpr double kLargest = 9223372036854775807.0 * 1e-7;  // the longest time, in seconds
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  DecoderInstance decoder = MakeDecoder();
  ComPtr<IEffectSettings> settings = EffectSettingsOf(decoder.filter.Get());
  int number = 0;
  double start = 0;
  double length = 0;
  const struct {
    double given, kept;
  } cases[] = {{std::nan(""), 0.0}, {kInfinity, kLargest}, {-kInfinity, -kLargest},
               {1e300, kLargest},   {-1e300, -kLargest},   {9.3e11, kLargest}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.given);
    ASSERT_EQ(settings->SetEffectSettings(1, test.given, test.given), S_OK);
    ASSERT_EQ(settings->GetEffectSettings(&number, &start, &length), S_OK);
    EXPECT_DOUBLE_EQ(start, test.kept);
    EXPECT_DOUBLE_EQ(length, test.kept);
  }

  DecoderInstance fromProfile;
  {
    QuartzProfile profile("1e300", "nan");
    fromProfile = MakeDecoder();
  }
  ASSERT_EQ(EffectSettingsOf(fromProfile.filter.Get())->GetEffectSettings(&number, &start, &length),
            S_OK);
  EXPECT_DOUBLE_EQ(start, kLargest);
  EXPECT_DOUBLE_EQ(length, 0.0);
}

TEST(FilterObjectTest, AnswersItsInterfacesAndNothingElse) {
  DecoderInstance decoder = MakeDecoder();
  IBaseFilter* filter = decoder.filter.Get();
  for (const IID* iid : {&IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist, &IID_IAMovieSetup,
                         &IID_ISpecifyPropertyPages, &kEffectSettingsIid, &IID_IUnknown}) {
    ComPtr<IUnknown> answer;
    EXPECT_EQ(filter->QueryInterface(*iid, answer.PutVoid()), S_OK);
  }
  for (const IID* iid : {&IID_IPersistStream, &IID_IPin, &IID_IClassFactory}) {
    ComPtr<IUnknown> answer;
    EXPECT_EQ(filter->QueryInterface(*iid, answer.PutVoid()), E_NOINTERFACE);
  }
  EXPECT_EQ(filter->QueryInterface(IID_IBaseFilter, nullptr), E_POINTER);

  CLSID clsid{};
  ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kDecoderFilterClsid));

  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
  IPin* raw[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(3, raw, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  ComPtr<IPin> first = ComPtr<IPin>::Attach(raw[0]);
  ComPtr<IPin> second = ComPtr<IPin>::Attach(raw[1]);
  PIN_INFO info{};
  ASSERT_EQ(first->QueryPinInfo(&info), S_OK);
  info.pFilter->Release();
  EXPECT_STREQ(info.achName, L"XForm In");
  EXPECT_EQ(info.dir, PINDIR_INPUT);
  ASSERT_EQ(second->QueryPinInfo(&info), S_OK);
  info.pFilter->Release();
  EXPECT_STREQ(info.achName, L"XForm Out");
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
}

TEST(FilterObjectTest, NamesItsOnePropertyPage) {
  DecoderInstance decoder = MakeDecoder();
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(decoder.filter.As(pages), S_OK);
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_TRUE(IsEqualCLSID(list.pElems[0], kDecoderPropertyPageClsid));
  CoTaskMemFree(list.pElems);
}

// An outer object that aggregates the filter and sees every delegated call.
class Outer : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    ++queries;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  IUnknown* inner = nullptr;
  long references = 1;
  int queries = 0;
};

TEST(FilterObjectTest, AggregatedFilterDelegatesToItsOuterObject) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(dshow::BaseDllGetClassObject(DecoderFactoryTable(), kDecoderFilterClsid,
                                         IID_IClassFactory, factory.PutVoid()),
            S_OK);
  Outer outer;
  ComPtr<IBaseFilter> refused;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, refused.PutVoid()),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);

  IEffectSettings* settings = nullptr;
  ASSERT_EQ(outer.QueryInterface(kEffectSettingsIid, reinterpret_cast<void**>(&settings)), S_OK);
  const long before = outer.references;
  settings->AddRef();
  EXPECT_EQ(outer.references, before + 1);
  settings->Release();
  ComPtr<IUnknown> identity;
  const int queries = outer.queries;
  ASSERT_EQ(settings->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, queries + 1);
  identity.Reset();
  settings->Release();
  outer.inner->Release();
}

}  // namespace
}  // namespace halvaris::filter::testing
