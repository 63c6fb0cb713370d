// The registered module in real graphs: frame source -> decoder -> Wine's sample grabber ->
// null renderer, and the host test in programs named like a refused host.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include <qedit.h>

#include "filter_test_support.h"
#include "graph_host/decode_graph.h"
#include "module_test_support.h"

extern "C" const CLSID CLSID_SampleGrabber;

namespace halvaris::filter::testing {
namespace {

using win32::ComPtr;

constexpr REFERENCE_TIME kFramePeriod = 400000;

std::vector<std::uint8_t> ReadAndDelete(const char* path) {
  std::vector<std::uint8_t> bytes;
  {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  DeleteFileA(path);
  return bytes;
}

// A program's output written to a fresh temporary file, read back; empty if it failed.
std::vector<std::uint8_t> OutputOf(const std::string& program, const std::string& arguments) {
  char folder[MAX_PATH];
  char output[MAX_PATH];
  if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "hv", 0, output) == 0) {
    return {};
  }
  const std::string target = std::string(output) + ".yuy2";
  DeleteFileA(output);
  const int exitCode =
      RunProgram("\"" + WindowsPath(program) + "\" " + arguments + " \"" + target + "\"");
  std::vector<std::uint8_t> bytes = ReadAndDelete(target.c_str());
  if (exitCode != 0) bytes.clear();
  return bytes;
}

// A committed test frame file, quoted for a command line.
std::string TestFrameArgument(int system, const char* source) {
  const std::string name = "system" + std::to_string(system) + "-" + source + ".dif";
  return "\"" + halvaris::testing::TestDataPath(name).string() + "\"";
}

class GraphTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_EQ(RunRegsvr32(), 0); }
};

TEST_P(GraphTest, PicturesArriveDecodedLabelledAndOnTime) {
  const int system = GetParam();
  const HalvarisSystemInfo geometry = SystemInfo(system);
  graph::GraphRequest request;
  request.source.type = Dvh1MediaType(system);
  request.source.framePeriod = kFramePeriod;
  std::vector<std::vector<std::uint8_t>> expected;
  for (const char* source : {"testsrc2", "detailed"}) {
    std::vector<std::uint8_t> frame = TestFrame(system, source);
    expected.push_back(DecodePicture(frame, system));
#ifdef HALVARIS_DECODE_PROGRAM
    // The command-line decoder, a separate program, gives the same picture.
    EXPECT_TRUE(OutputOf(HALVARIS_DECODE_PROGRAM, "--quiet --system " + std::to_string(system) +
                                                      " " + TestFrameArgument(system, source)) ==
                expected.back())
        << "halvaris-decode, system " << system << ", " << source;
#endif
    request.source.frames.push_back({std::move(frame), nullptr});
  }
  request.keepBytes = SystemInfo(system).pictureBytes;

  const graph::GraphRun run = graph::RunDecodeGraph(request);
  ASSERT_EQ(run.result, S_OK) << run.failedStep;
  EXPECT_EQ(run.completion, EC_COMPLETE);
  ASSERT_EQ(run.samples.size(), expected.size());
  for (size_t i = 0; i < run.samples.size(); ++i) {
    const graph::ReceivedSample& sample = run.samples[i];
    EXPECT_TRUE(sample.picture == expected[i]) << "picture " << i << " of system " << system;
    EXPECT_EQ(sample.bufferSize, static_cast<long>(SystemInfo(system).pictureBytes));
    ASSERT_TRUE(sample.hasMediaType);
    EXPECT_TRUE(IsEqualGUID(sample.mediaType.subtype, MEDIASUBTYPE_YUY2));
    ASSERT_EQ(sample.mediaType.cbFormat, sizeof(VIDEOINFOHEADER));
    const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(sample.mediaType.pbFormat);
    EXPECT_EQ(header->bmiHeader.biCompression, kYuy2FourCC);
    EXPECT_EQ(header->bmiHeader.biWidth, geometry.width);
    EXPECT_EQ(header->bmiHeader.biHeight, geometry.height);
    EXPECT_EQ(header->bmiHeader.biSizeImage, SystemInfo(system).pictureBytes);
    EXPECT_EQ(sample.timeResult, S_OK);
    EXPECT_EQ(sample.start, static_cast<REFERENCE_TIME>(i) * kFramePeriod);
    EXPECT_EQ(sample.stop, static_cast<REFERENCE_TIME>(i + 1) * kFramePeriod);
  }
}

INSTANTIATE_TEST_SUITE_P(AllSystems, GraphTest, ::testing::Values(1, 2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& parameter) {
                           return "System" + std::to_string(parameter.param);
                         });

TEST(GraphSafetyTest, ShortFramesAreDecodedWithZerosInAGraph) {
  ASSERT_EQ(RunRegsvr32(), 0);
  std::vector<std::uint8_t> frame = TestFrame(4, "detailed");
  frame.resize(100000);
  graph::GraphRequest request;
  request.source.type = Dvh1MediaType(4);
  request.source.frames.push_back({frame, nullptr});
  request.keepBytes = SystemInfo(4).pictureBytes;
  const graph::GraphRun run = graph::RunDecodeGraph(request);
  ASSERT_EQ(run.result, S_OK) << run.failedStep;
  ASSERT_EQ(run.samples.size(), 1u);
  frame.resize(SystemInfo(4).frameBytes, 0);
  EXPECT_TRUE(run.samples[0].picture == DecodePicture(frame, 4));
}

TEST(GraphSafetyTest, GraphStoppedWhileFramesFlowStopsCleanly) {
  ASSERT_EQ(RunRegsvr32(), 0);
  graph::GraphRequest request;
  request.source.type = Dvh1MediaType(2);
  request.source.frames.push_back({TestFrame(2), nullptr});
  request.source.repeat = 1000;
  request.keepSamples = false;
  request.stopAfterSamples = 3;
  const graph::GraphRun run = graph::RunDecodeGraph(request);
  ASSERT_EQ(run.result, S_OK) << run.failedStep;
  EXPECT_GE(run.sampleCount, 3);
  EXPECT_LT(run.sampleCount, 1000);
}

// An editor with several clips: graphs of different systems in one process at the same time.
TEST(GraphSafetyTest, GraphsOfDifferentSystemsDecodeSideBySide) {
  ASSERT_EQ(RunRegsvr32(), 0);
  struct Clip {
    int system;
    std::vector<std::uint8_t> expected;
    graph::GraphRun run;
  };
  std::vector<Clip> clips = {{1, {}, {}}, {3, {}, {}}, {4, {}, {}}};
  std::vector<std::thread> threads;
  for (Clip& clip : clips) {
    graph::GraphRequest request;
    request.source.type = Dvh1MediaType(clip.system);
    std::vector<std::uint8_t> frame = TestFrame(clip.system, "detailed");
    clip.expected = DecodePicture(frame, clip.system);
    request.source.frames.push_back({std::move(frame), nullptr});
    request.source.repeat = 6;
    request.keepBytes = SystemInfo(clip.system).pictureBytes;
    threads.emplace_back([&clip, request] {
      const win32::ComInitialization com;
      clip.run = graph::RunDecodeGraph(request);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Clip& clip : clips) {
    ASSERT_EQ(clip.run.result, S_OK) << clip.run.failedStep;
    ASSERT_EQ(clip.run.samples.size(), 6u);
    for (const graph::ReceivedSample& sample : clip.run.samples) {
      EXPECT_TRUE(sample.picture == clip.expected) << "system " << clip.system;
    }
  }
}

TEST(GraphDecodeProgramTest, WritesThePicturesThatArriveThroughTheGraph) {
  ASSERT_EQ(RunRegsvr32(), 0);
  const std::vector<std::uint8_t> written =
      OutputOf(HALVARIS_GRAPH_DECODE, "--repeat 2 " + TestFrameArgument(2, "detailed"));
  std::vector<std::uint8_t> expected = DecodePicture(TestFrame(2, "detailed"), 2);
  expected.insert(expected.end(), expected.begin(), expected.end());
  EXPECT_TRUE(written == expected);
}

#if defined(HALVARIS_GRAPH_MOVIE) && defined(HALVARIS_DECODE_PROGRAM)
// graph-decode reads a movie and an MXF file through the media library, a frame at a time, and
// the registered filter turns their frames into the pictures halvaris-decode writes.
TEST(GraphDecodeProgramTest, DecodesMoviesAndMxfFilesAsHalvarisDecodeDoes) {
  ASSERT_EQ(RunRegsvr32(), 0);
  for (const char* input : {HALVARIS_GRAPH_MOVIE, HALVARIS_GRAPH_MXF}) {
    const std::string quoted = "\"" + WindowsPath(input) + "\"";
    const std::vector<std::uint8_t> expected =
        OutputOf(HALVARIS_DECODE_PROGRAM, "--quiet " + quoted);
    ASSERT_FALSE(expected.empty()) << input;
    EXPECT_TRUE(OutputOf(HALVARIS_GRAPH_DECODE, quoted) == expected) << input;
  }
}
#endif

// A graph asked to connect "dvh1" video to a sink that takes only YUY2 finds the registered
// decoder by itself and puts it in between.
TEST(GraphBuildingTest, InsertsTheRegisteredDecoderBetweenDvh1AndYuy2) {
  ASSERT_EQ(RunRegsvr32(), 0);
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             graph.PutVoid()),
            S_OK);
  SourceInstance source = MakeSource(Dvh1MediaType(1));
  ComPtr<IBaseFilter> sink;
  ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             sink.PutVoid()),
            S_OK);
  ComPtr<ISampleGrabber> grabber;
  ASSERT_EQ(sink.As(grabber), S_OK);
  AM_MEDIA_TYPE yuy2{};
  yuy2.majortype = MEDIATYPE_Video;
  yuy2.subtype = MEDIASUBTYPE_YUY2;
  ASSERT_EQ(grabber->SetMediaType(&yuy2), S_OK);
  ASSERT_EQ(graph->AddFilter(source.filter.Get(), L"Frames"), S_OK);
  ASSERT_EQ(graph->AddFilter(sink.Get(), L"Sink"), S_OK);
  ComPtr<IPin> sinkInput;
  ASSERT_EQ(sink->FindPin(L"In", sinkInput.Put()), S_OK);

  ASSERT_EQ(graph->Connect(source.output.Get(), sinkInput.Get()), S_OK);
  ComPtr<IPin> decoderInput;
  ASSERT_EQ(source.output->ConnectedTo(decoderInput.Put()), S_OK);
  PIN_INFO info{};
  ASSERT_EQ(decoderInput->QueryPinInfo(&info), S_OK);
  ComPtr<IBaseFilter> inserted = ComPtr<IBaseFilter>::Attach(info.pFilter);
  CLSID clsid{};
  ASSERT_EQ(inserted->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kDecoderFilterClsid));
  EXPECT_STREQ(info.achName, L"XForm In");
  graph->RemoveFilter(inserted.Get());
}

// The host test reads the start-up title, which for a program started without one is its path.
TEST(HostTest, ProgramsNamedLikeRefusedHostsAreRefusedCaseSensitively) {
  const std::string module = " \"" + DecoderModulePath() + "\"";
  EXPECT_EQ(RunProgram("\"" + WindowsPath(HALVARIS_PROBE_LOWER) + "\"" + module), 1);
  EXPECT_EQ(RunProgram("\"" + WindowsPath(HALVARIS_PROBE_CAPS) + "\"" + module), 0);
  EXPECT_EQ(RunProgram("\"" + WindowsPath(HALVARIS_PROBE_OTHER) + "\"" + module), 1);
}

}  // namespace
}  // namespace halvaris::filter::testing
