// The per-sample transform: the label on every output sample, safe handling of short inputs and
// small outputs, and type changes announced by samples.

#include <gtest/gtest.h>

#include "decoder_setup.h"
#include "filter_test_support.h"
#include "test_hooks.h"

namespace halvaris::filter::testing {
namespace {

using dshow::CMediaType;

// A decoder whose input is connected with the "dvh1" type of `system` and whose picture size
// is the system's coded size.
struct PreparedDecoder {
  DecoderInstance decoder;
  SourceInstance source;
};

PreparedDecoder PrepareDecoder(int system) {
  PreparedDecoder prepared;
  prepared.decoder = MakeDecoder();
  prepared.source = MakeSource(Dvh1MediaType(system));
  EXPECT_EQ(prepared.source.output->Connect(prepared.decoder.input.Get(), nullptr), S_OK);
  CMediaType output;
  EXPECT_EQ(prepared.decoder.object->GetMediaType(0, &output), S_OK);
  EXPECT_EQ(prepared.decoder.output->QueryAccept(&output), S_OK);
  return prepared;
}

AllocatedSample InputSample(const std::vector<std::uint8_t>& frame, long validBytes) {
  AllocatedSample sample = MakeSample(static_cast<long>(frame.size()));
  std::copy(frame.begin(), frame.end(), sample.data);
  sample.sample->SetActualDataLength(validBytes);
  return sample;
}

std::vector<std::uint8_t> PictureOf(const AllocatedSample& sample, std::size_t bytes) {
  return std::vector<std::uint8_t>(sample.data, sample.data + bytes);
}

TEST(TransformTest, EveryOutputSampleCarriesTheYuy2TypeAndTheDecodedPicture) {
  PreparedDecoder prepared = PrepareDecoder(1);
  const std::vector<std::uint8_t> frame = TestFrame(1);
  AllocatedSample in = InputSample(frame, static_cast<long>(frame.size()));
  AllocatedSample out = MakeSample(2764800);
  ASSERT_EQ(prepared.decoder.object->Transform(in.sample.Get(), out.sample.Get()), S_OK);

  AM_MEDIA_TYPE* raw = nullptr;
  ASSERT_EQ(out.sample->GetMediaType(&raw), S_OK);
  dshow::UniqueMediaType type(raw);
  EXPECT_TRUE(IsEqualGUID(type->majortype, MEDIATYPE_Video));
  EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(IsEqualGUID(type->formattype, FORMAT_VideoInfo));
  EXPECT_TRUE(type->bFixedSizeSamples);
  EXPECT_FALSE(type->bTemporalCompression);
  EXPECT_EQ(type->lSampleSize, 2764800u);
  ASSERT_EQ(type->cbFormat, 88u);
  const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  EXPECT_EQ(header->rcSource.right, 1280);
  EXPECT_EQ(header->rcTarget.bottom, 1080);
  EXPECT_EQ(header->AvgTimePerFrame, 0);
  EXPECT_EQ(header->bmiHeader.biSize, 40u);
  EXPECT_EQ(header->bmiHeader.biWidth, 1280);
  EXPECT_EQ(header->bmiHeader.biHeight, 1080);
  EXPECT_EQ(header->bmiHeader.biPlanes, 1);
  EXPECT_EQ(header->bmiHeader.biBitCount, 16);
  EXPECT_EQ(header->bmiHeader.biCompression, kYuy2FourCC);
  EXPECT_EQ(header->bmiHeader.biSizeImage, 2764800u);

  EXPECT_EQ(PictureOf(out, 2764800), DecodePicture(frame, 1));
}

TEST(TransformTest, ShortInputIsDecodedWithTheMissingBytesAsZero) {
  PreparedDecoder prepared = PrepareDecoder(3);
  std::vector<std::uint8_t> frame = TestFrame(3, "detailed");
  const long valid = 200000;
  AllocatedSample in = InputSample(frame, valid);
  AllocatedSample out = MakeSample(static_cast<long>(SystemInfo(3).pictureBytes));
  ASSERT_EQ(prepared.decoder.object->Transform(in.sample.Get(), out.sample.Get()), S_OK);

  std::fill(frame.begin() + valid, frame.end(), 0);
  EXPECT_EQ(PictureOf(out, SystemInfo(3).pictureBytes), DecodePicture(frame, 3));
}

TEST(TransformTest, OutputTooSmallForThePictureIsDeliveredUnwritten) {
  PreparedDecoder prepared = PrepareDecoder(3);
  const std::vector<std::uint8_t> frame = TestFrame(3);
  AllocatedSample in = InputSample(frame, static_cast<long>(frame.size()));
  const std::size_t bytes = SystemInfo(3).pictureBytes - 1;
  AllocatedSample out = MakeSample(static_cast<long>(bytes));
  std::fill(out.data, out.data + bytes, std::uint8_t{0xAB});
  ASSERT_EQ(prepared.decoder.object->Transform(in.sample.Get(), out.sample.Get()), S_OK);
  EXPECT_EQ(PictureOf(out, bytes), std::vector<std::uint8_t>(bytes, 0xAB));
  AM_MEDIA_TYPE* raw = nullptr;
  EXPECT_EQ(out.sample->GetMediaType(&raw), S_OK);
  dshow::DeleteMediaType(raw);
}

TEST(TransformTest, OutputTypeSmallerThanTheCodedPictureIsNotWritten) {
  // A 1000-wide output picks system 1, whose 1280 coded columns do not fit; a 1280 x 1000 output
  // has room for 1000 of its 1080 lines, even in a buffer that would hold them all.
  const CMediaType narrow = VideoType(MEDIASUBTYPE_YUY2, kYuy2FourCC, 1000, 1080, 16, 2160000);
  const CMediaType low = VideoType(MEDIASUBTYPE_YUY2, kYuy2FourCC, 1280, -1000, 16, 2560000);
  for (const CMediaType* output : {&narrow, &low}) {
    PreparedDecoder prepared = PrepareDecoder(1);
    ASSERT_EQ(prepared.decoder.output->QueryAccept(output), S_OK);
    const std::vector<std::uint8_t> frame = TestFrame(1);
    AllocatedSample in = InputSample(frame, static_cast<long>(frame.size()));
    AllocatedSample out = MakeSample(2764800);
    std::fill(out.data, out.data + 2764800, std::uint8_t{0x5A});
    ASSERT_EQ(prepared.decoder.object->Transform(in.sample.Get(), out.sample.Get()), S_OK);
    EXPECT_EQ(PictureOf(out, 2764800), std::vector<std::uint8_t>(2764800, 0x5A));
  }
}

TEST(TransformTest, TypeAnnouncedByASampleSwitchesTo50HzFromThatSampleOn) {
  PreparedDecoder prepared = PrepareDecoder(2);
  const std::vector<std::uint8_t> frame = TestFrame(4);
  const std::vector<std::uint8_t> expected = DecodePicture(frame, 4);

  AllocatedSample in = InputSample(frame, static_cast<long>(frame.size()));
  const CMediaType announced = Dvh1MediaType(4);
  ASSERT_EQ(in.sample->SetMediaType(const_cast<CMediaType*>(&announced)), S_OK);
  AllocatedSample out = MakeSample(static_cast<long>(SystemInfo(4).pictureBytes));
  ASSERT_EQ(prepared.decoder.object->Transform(in.sample.Get(), out.sample.Get()), S_OK);
  EXPECT_EQ(prepared.decoder.object->InputFrameSize(), 288000);
  EXPECT_EQ(PictureOf(out, SystemInfo(4).pictureBytes), expected);

  AllocatedSample next = InputSample(frame, static_cast<long>(frame.size()));
  AllocatedSample nextOut = MakeSample(static_cast<long>(SystemInfo(4).pictureBytes));
  ASSERT_EQ(prepared.decoder.object->Transform(next.sample.Get(), nextOut.sample.Get()), S_OK);
  EXPECT_EQ(PictureOf(nextOut, SystemInfo(4).pictureBytes), expected);
}

// A worker thread that cannot be started is told in the module's message box, and its share is
// decoded on the streaming thread: the sample still carries the whole picture.
TEST(TransformTest, AWorkerThatCannotStartIsToldAndThePictureIsStillWhole) {
  PreparedDecoder prepared = PrepareDecoder(1);  // counts the workers: one per processor
  if (CurrentWorkerCount() < 2) GTEST_SKIP() << "one processor: the decoder starts no thread";
  UserInterfaceRecorder recorder;
  const std::vector<std::uint8_t> frame = TestFrame(1, "detailed");
  AllocatedSample in = InputSample(frame, static_cast<long>(frame.size()));
  AllocatedSample out = MakeSample(static_cast<long>(SystemInfo(1).pictureBytes));
  test_hooks::FailThreadStarts(0, -1);
  const HRESULT result = prepared.decoder.object->Transform(in.sample.Get(), out.sample.Get());
  test_hooks::FailThreadStarts(-1);
  ASSERT_EQ(result, S_OK);
  EXPECT_EQ(PictureOf(out, SystemInfo(1).pictureBytes), DecodePicture(frame, 1));
  const std::vector<ShownMessage> shown = recorder.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Could not create Decode thread");
  EXPECT_EQ(shown[0].caption, "Halvaris");
}

}  // namespace
}  // namespace halvaris::filter::testing
