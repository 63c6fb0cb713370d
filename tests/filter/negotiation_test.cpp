// Type and buffer negotiation of the decoder filter, through its pins and its own methods.

#include <gtest/gtest.h>

#include "decoder_setup.h"
#include "filter_test_support.h"

// VIDEOINFOHEADER2, after the DirectShow headers it builds on.
#include <dvdmedia.h>

namespace halvaris::filter::testing {
namespace {

using dshow::CMediaType;
using win32::ComPtr;

GUID FourCCSubtype(DWORD fourCC) {
  GUID subtype = MEDIASUBTYPE_YUY2;
  subtype.Data1 = fourCC;
  return subtype;
}

constexpr DWORD kDvsdFourCC = 0x64737664;  // standard-definition DV

TEST(InputTypeTest, AcceptsOnlyVideoInfoVideoWhoseFormatSaysDvh1) {
  DecoderInstance decoder = MakeDecoder();
  DecoderFilter& filter = *decoder.object;
  const CMediaType dvh1 = VideoType(FourCCSubtype(kDvh1FourCC), kDvh1FourCC, 960, 720, 16, 240000);
  EXPECT_EQ(filter.CheckInputType(&dvh1), S_OK);

  // Only the compression field counts: the subtype and the sizes are not looked at.
  CMediaType anySubtype = dvh1;
  anySubtype.SetSubtype(MEDIASUBTYPE_RGB24);
  EXPECT_EQ(filter.CheckInputType(&anySubtype), S_OK);

  const CMediaType dvsd = VideoType(FourCCSubtype(kDvsdFourCC), kDvsdFourCC, 720, 480, 24, 120000);
  EXPECT_EQ(filter.CheckInputType(&dvsd), E_FAIL);
  const CMediaType noFourCC = VideoType(FourCCSubtype(kDvh1FourCC), 0, 960, 720, 16, 240000);
  EXPECT_EQ(filter.CheckInputType(&noFourCC), E_FAIL);

  CMediaType audio = dvh1;
  audio.SetType(MEDIATYPE_Audio);
  EXPECT_EQ(filter.CheckInputType(&audio), E_FAIL);

  CMediaType videoInfo2 = dvh1;
  videoInfo2.SetFormatType(FORMAT_VideoInfo2);
  EXPECT_EQ(filter.CheckInputType(&videoInfo2), E_INVALIDARG);
}

TEST(InputTypeTest, RefusesMissingOrShortFormatBlocks) {
  DecoderInstance decoder = MakeDecoder();
  const CMediaType missing =
      VideoType(FourCCSubtype(kDvh1FourCC), kDvh1FourCC, 960, 720, 16, 240000, 0);
  EXPECT_EQ(decoder.object->CheckInputType(&missing), E_FAIL);
  // Long enough to hold biCompression, one byte short of a whole VIDEOINFOHEADER.
  const CMediaType cut =
      VideoType(FourCCSubtype(kDvh1FourCC), kDvh1FourCC, 960, 720, 16, 240000, 87);
  EXPECT_EQ(decoder.object->CheckInputType(&cut), E_FAIL);
}

TEST(InputTypeTest, RefusedTypesNeverConnectThroughThePins) {
  DecoderInstance decoder = MakeDecoder();
  const CMediaType dvsd = VideoType(FourCCSubtype(kDvsdFourCC), kDvsdFourCC, 720, 480, 24, 120000);
  SourceInstance source = MakeSource(dvsd);
  EXPECT_EQ(decoder.input->QueryAccept(&dvsd), S_FALSE);
  EXPECT_TRUE(FAILED(source.output->Connect(decoder.input.Get(), nullptr)));
  ComPtr<IPin> connected;
  EXPECT_EQ(decoder.input->ConnectedTo(connected.Put()), VFW_E_NOT_CONNECTED);

  CMediaType videoInfo2 = Dvh1MediaType(1);
  videoInfo2.SetFormatType(FORMAT_VideoInfo2);
  EXPECT_EQ(decoder.input->ReceiveConnection(source.output.Get(), &videoInfo2), E_INVALIDARG);
}

TEST(OutputTypeTest, OffersNothingUntilTheInputIsConnected) {
  DecoderInstance decoder = MakeDecoder();
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(decoder.output->EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* type = nullptr;
  EXPECT_EQ(types->Next(1, &type, nullptr), S_FALSE);
  CMediaType proposed;
  EXPECT_EQ(decoder.object->GetMediaType(0, &proposed), VFW_E_NOT_CONNECTED);
  const CMediaType dvh1 = Dvh1MediaType(1);
  EXPECT_EQ(decoder.output->QueryAccept(&dvh1), S_FALSE);
}

TEST(OutputTypeTest, ProposesOneYuy2TypeMadeFromTheInputType) {
  DecoderInstance decoder = MakeDecoder();
  SourceInstance source = MakeSource(Dvh1MediaType(1));
  ASSERT_EQ(source.output->Connect(decoder.input.Get(), nullptr), S_OK);

  CMediaType proposed;
  EXPECT_EQ(decoder.object->GetMediaType(-1, &proposed), E_INVALIDARG);
  EXPECT_EQ(decoder.object->GetMediaType(1, &proposed), VFW_S_NO_MORE_ITEMS);

  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(decoder.output->EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* raw[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(2, raw, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  dshow::UniqueMediaType type(raw[0]);
  EXPECT_TRUE(IsEqualGUID(type->majortype, MEDIATYPE_Video));
  EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(IsEqualGUID(type->formattype, FORMAT_VideoInfo));
  EXPECT_FALSE(type->bFixedSizeSamples);
  EXPECT_FALSE(type->bTemporalCompression);
  ASSERT_GE(type->cbFormat, sizeof(VIDEOINFOHEADER));
  const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  EXPECT_EQ(header->bmiHeader.biCompression, kYuy2FourCC);
  EXPECT_EQ(header->bmiHeader.biWidth, 1280);
  EXPECT_EQ(header->bmiHeader.biHeight, 1080);
  EXPECT_EQ(header->bmiHeader.biSizeImage, 2764800u);
  EXPECT_EQ(header->AvgTimePerFrame, 333667);
}

TEST(OutputTypeTest, PartialTypeNamingABlockItDoesNotCarryConnectsToNothing) {
  DecoderInstance decoder = MakeDecoder();
  SourceInstance source = MakeSource(Dvh1MediaType(1));
  ASSERT_EQ(source.output->Connect(decoder.input.Get(), nullptr), S_OK);
  DecoderInstance downstream = MakeDecoder();
  AM_MEDIA_TYPE partial{};
  partial.majortype = MEDIATYPE_Video;
  partial.formattype = FORMAT_VideoInfo;
  partial.cbFormat = sizeof(VIDEOINFOHEADER);
  EXPECT_TRUE(FAILED(decoder.output->Connect(downstream.input.Get(), &partial)));
  ComPtr<IPin> connected;
  EXPECT_EQ(decoder.output->ConnectedTo(connected.Put()), VFW_E_NOT_CONNECTED);
}

TEST(OutputTypeTest, AnyOutputTypeIsAcceptedAndSetsThePictureSize) {
  DecoderInstance decoder = MakeDecoder();
  SourceInstance source = MakeSource(Dvh1MediaType(2));
  ASSERT_EQ(source.output->Connect(decoder.input.Get(), nullptr), S_OK);
  const CMediaType rgb = VideoType(MEDIASUBTYPE_RGB32, BI_RGB, 1920, 1080, 32, 1920 * 1080 * 4);
  EXPECT_EQ(decoder.output->QueryAccept(&rgb), S_OK);
  EXPECT_EQ(decoder.object->RenderWidth(), 1920);
  EXPECT_EQ(decoder.object->RenderHeight(), 1080);
  EXPECT_EQ(decoder.object->InputFrameSize(), 240000);

  // A VideoInfo2 block is read with its own layout, not as a VIDEOINFOHEADER.
  CMediaType videoInfo2;
  videoInfo2.SetType(MEDIATYPE_Video);
  videoInfo2.SetFormatType(FORMAT_VideoInfo2);
  auto* header2 =
      reinterpret_cast<VIDEOINFOHEADER2*>(videoInfo2.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
  header2->bmiHeader.biWidth = 1280;
  header2->bmiHeader.biHeight = -720;
  EXPECT_EQ(decoder.object->CheckTransform(&rgb, &videoInfo2), S_OK);
  EXPECT_EQ(decoder.object->RenderWidth(), 1280);
  EXPECT_EQ(decoder.object->RenderHeight(), -720);

  // A block too short for its header carries no size: the input's size is kept.
  const CMediaType cut = VideoType(MEDIASUBTYPE_RGB32, BI_RGB, 4000, 4000, 32, 0, 40);
  EXPECT_EQ(decoder.object->CheckTransform(&rgb, &cut), S_OK);
  EXPECT_EQ(decoder.object->RenderWidth(), 960);
  EXPECT_EQ(decoder.object->RenderHeight(), 720);
}

// Grants what it is configured to, whatever is asked.
class StingyAllocator : public IMemAllocator {
 public:
  explicit StingyAllocator(long grantedBytes) : grantedBytes_(grantedBytes) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) override {
    requested = *request;
    *actual = *request;
    actual->cbBuffer = grantedBytes_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Decommit() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*,
                                      DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample*) override { return E_NOTIMPL; }

  ALLOCATOR_PROPERTIES requested{};

 private:
  long grantedBytes_;
};

TEST(BufferSizeTest, RequestsOnePictureOfTheInputSizeAndFailsWhenLessIsGranted) {
  DecoderInstance decoder = MakeDecoder();
  StingyAllocator unconnectedAllocator(0);
  ALLOCATOR_PROPERTIES properties{};
  EXPECT_EQ(decoder.object->DecideBufferSize(&unconnectedAllocator, &properties), E_UNEXPECTED);

  SourceInstance source = MakeSource(Dvh1MediaType(3));
  ASSERT_EQ(source.output->Connect(decoder.input.Get(), nullptr), S_OK);
  StingyAllocator enough(3110400);
  properties = ALLOCATOR_PROPERTIES{0, 0, 16, 0};
  EXPECT_EQ(decoder.object->DecideBufferSize(&enough, &properties), S_OK);
  EXPECT_EQ(enough.requested.cBuffers, 1);
  EXPECT_EQ(enough.requested.cbBuffer, 3110400);
  EXPECT_EQ(enough.requested.cbAlign, 16);  // the downstream pin's wish is kept
  EXPECT_EQ(decoder.object->InputFrameSize(), 576000);

  StingyAllocator stingy(3000000);
  properties = ALLOCATOR_PROPERTIES{};
  EXPECT_EQ(decoder.object->DecideBufferSize(&stingy, &properties), E_FAIL);
}

TEST(VideoSystemChoiceTest, WidthAndFrameSizeDecideTheSystem) {
  EXPECT_EQ(ChooseVideoSystem(999, 240000), 2);
  EXPECT_EQ(ChooseVideoSystem(1000, 480000), 1);
  EXPECT_EQ(ChooseVideoSystem(1400, 480000), 1);
  EXPECT_EQ(ChooseVideoSystem(1401, 576000), 3);
  EXPECT_EQ(ChooseVideoSystem(960, 250000), 2);
  EXPECT_EQ(ChooseVideoSystem(960, 250001), 4);
  EXPECT_EQ(ChooseVideoSystem(1920, 250001), 3);  // the frame size matters for 720 lines only
}

TEST(DecoderSetupTest, WorkersAreTheLowSixteenSystemMaskBitsBetweenOneAndEight) {
  EXPECT_EQ(WorkerCountFromAffinity(true, 0xF), 4);
  EXPECT_EQ(WorkerCountFromAffinity(true, 0x5), 2);
  EXPECT_EQ(WorkerCountFromAffinity(true, 0xFFFF), 8);
  EXPECT_EQ(WorkerCountFromAffinity(true, 0xF0000), 1);  // only bits 16 and up
  EXPECT_EQ(WorkerCountFromAffinity(true, 0), 1);
  EXPECT_EQ(WorkerCountFromAffinity(false, 0xF), 1);
}

TEST(DecoderSetupTest, CheckTransformCountsTheWorkersOfThisMachine) {
  UserInterfaceRecorder recorder;
  DecoderInstance decoder = MakeDecoder();
  const CMediaType rgb = VideoType(MEDIASUBTYPE_RGB32, BI_RGB, 64, 64, 32, 64 * 64 * 4);
  EXPECT_EQ(decoder.object->CheckTransform(&rgb, &rgb), S_OK);
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask));
  EXPECT_EQ(CurrentWorkerCount(), WorkerCountFromAffinity(true, systemMask));
  // This machine has SSE2, so no warning.
  EXPECT_TRUE(recorder.Messages().empty());
}

}  // namespace
}  // namespace halvaris::filter::testing
