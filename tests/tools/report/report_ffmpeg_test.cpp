// The report and the broadcast-wave chunk against FFmpeg: clips FFmpeg makes with different
// timecodes and creation times, joined into one stream, give their segments; the WAV's bext
// values read back with ffprobe, and its samples with FFmpeg, in plain and RF64 files.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/wav_writer.h"
#include "ffmpeg_files.h"
#include "output_file.h"
#include "report/broadcast_origin.h"
#include "report/csv_report.h"
#include "report/report_builder.h"

namespace halvaris::decode_tool::report {
namespace {

using test_support::FfmpegFiles;
using test_support::ReadBytes;

// `frames` frames of `system` with timecode `timecode` and creation time `created`.
std::vector<std::uint8_t> Clip(int system, int frames, const std::string& timecode,
                               const std::string& created, const std::string& name) {
  const auto& source = test_support::kSystems[system - 1];
  const std::string path = FfmpegFiles::Get().Path(name);
  EXPECT_TRUE(FfmpegFiles::Ffmpeg(
      std::string("-f lavfi -i testsrc2=size=") + source.size + ":rate=" + source.rate +
      " -frames:v " + std::to_string(frames) + " -c:v dvvideo -pix_fmt yuv422p -timecode '" +
      timecode + "' -metadata creation_time=" + created + " -f dv '" + path + "'"));
  return ReadBytes(path);
}

std::string Output(const std::string& command) {
  std::string text;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) text += buffer;
  return text;
}

TEST(ReportOfFfmpegClips, JoinedClipsWithDifferentTimecodesGiveTheirSegments) {
  for (int system : {1, 2}) {
    SCOPED_TRACE(system);
    std::vector<std::uint8_t> stream =
        Clip(system, 6, "01:00:00;00", "2021-03-04T05:06:07Z", "first.dif");
    const std::vector<std::uint8_t> second =
        Clip(system, 4, "02:30:00;00", "2021-03-04T07:00:00Z", "second.dif");
    stream.insert(stream.end(), second.begin(), second.end());
    HalvarisSystemInfo info;
    ASSERT_EQ(halvaris_system_info(system, &info), HALVARIS_OK);
    ASSERT_EQ(stream.size(), 10 * info.frameBytes);

    ReportBuilder report;
    std::ostringstream csv;
    CsvReport writer(csv);
    for (std::uint64_t frame = 0; frame < 10; ++frame) {
      HalvarisFrameDescription description;
      ASSERT_EQ(halvaris_describe_frame(system, stream.data() + frame * info.frameBytes,
                                        info.frameBytes, &description),
                HALVARIS_OK);
      report.Add(EntryOf(frame, description));
      writer.Add(EntryOf(frame, description));
    }
    const std::vector<Segment>& segments = report.Segments();
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].firstFrame, 0u);
    EXPECT_EQ(segments[0].lastFrame, 5u);
    EXPECT_EQ(segments[1].firstFrame, 6u);
    EXPECT_EQ(segments[1].lastFrame, 9u);
    // The 720-line systems store one value per pair of frames.
    EXPECT_EQ(segments[0].lastTimecode->Text(), system == 1 ? "01:00:00;05" : "01:00:00;02");
    EXPECT_EQ(segments[1].firstTimecode->Text(), "02:30:00;00");
    EXPECT_EQ(segments[1].lastTimecode->Text(), system == 1 ? "02:30:00;03" : "02:30:00;01");
    EXPECT_EQ(segments[0].firstRecorded->Text(), "2021-03-04 05:06:07");
    EXPECT_EQ(segments[1].lastRecorded->Text(), "2021-03-04 07:00:00");
    EXPECT_EQ(report.Runs().size(), 1u);
    EXPECT_NE(csv.str().find("\n6,02:30:00;00,2021-03-04 07:00:00,0,0,0,0,"), std::string::npos)
        << csv.str();
  }
}

TEST(BroadcastWave, FfprobeReadsTheBextValuesAndFfmpegEverySampleInPlainAndRf64Files) {
  FfmpegFiles& files = FfmpegFiles::Get();
  const audio::PcmFormat format{2, 16, 48000};
  std::vector<std::uint8_t> samples(4801 * 4);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 7);
  audio::BroadcastWaveOrigin origin;
  origin.timeReference = 172799827;  // 01:00:00;00 at 29.97 Hz
  origin.originationDate = "2021-03-04";
  origin.originationTime = "05:06:07";
  for (std::uint64_t riffLimit : {std::uint64_t{0xffffffffu}, std::uint64_t{1000}}) {
    SCOPED_TRACE(riffLimit);
    const std::string path = files.Path("bext.wav");
    {
      OutputFile file(path);
      audio::WavWriter writer(file, format, riffLimit, &origin);
      writer.Write(samples.data(), 4801);
      writer.Finish();
      file.Commit();
    }
    // FFmpeg names the origination date and time "date" and "creation_time" (newer versions
    // "origination_date" and "origination_time").
    const std::string tags = Output(std::string(FFPROBE_PROGRAM) +
                                    " -v error -show_entries format_tags -of "
                                    "default=noprint_wrappers=1 '" +
                                    path + "'");
    EXPECT_NE(tags.find("TAG:time_reference=172799827\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("date=2021-03-04\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("_time=05:06:07\n"), std::string::npos) << tags;
    EXPECT_EQ(files.FfmpegSound(path, "0:a"), samples);
  }
}

}  // namespace
}  // namespace halvaris::decode_tool::report
