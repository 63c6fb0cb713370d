// The report and the broadcast-wave chunk against FFmpeg: clips FFmpeg makes with different
// timecodes and creation times, joined into one stream, give their segments, in the report
// halvaris-decode writes too, and --segment decodes one of them; the WAV's bext values read back
// with ffprobe, and its samples with FFmpeg, in plain and RF64 files and from halvaris-decode.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/wav_writer.h"
#include "ffmpeg_files.h"
#include "output_file.h"
#include "report/broadcast_origin.h"
#include "report/csv_report.h"
#include "report/report_builder.h"
#include "run_tool.h"
#include "test_files.h"

namespace halvaris::decode_tool::report {
namespace {

using test_support::FfmpegFiles;
using test_support::ReadBytes;
using test_support::RunTool;
using test_support::ScratchFolder;
using test_support::WriteBytes;
using ::testing::HasSubstr;

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

// A CSV line that begins with `columns`, which end there.
::testing::Matcher<std::string> StartsLine(const std::string& columns) {
  return ::testing::StartsWith(columns + ",");
}

// Sets the status of video DIF block `block` (0..134) of DIF sequence `sequence` of a frame.
void SetStatus(std::uint8_t* frame, int sequence, int block, int sta) {
  std::uint8_t& status = frame[(static_cast<std::size_t>(sequence) * 150 + 7 + 16 * (block / 15) +
                                static_cast<std::size_t>(block % 15)) *
                                   80 +
                               3];
  status = static_cast<std::uint8_t>((sta << 4) | (status & 15));
}

TEST(ReportOfFfmpegClips, HalvarisDecodeReportsEveryFrameWithoutDecodingAndDecodesOneSegment) {
  for (int system : {1, 2}) {
    SCOPED_TRACE(system);
    ScratchFolder scratch;
    const std::vector<std::uint8_t> first =
        Clip(system, 6, "01:00:00;00", "2021-03-04T05:06:07Z", "first.dif");
    const std::vector<std::uint8_t> second =
        Clip(system, 4, "02:30:00;00", "2021-03-04T07:00:00Z", "second.dif");
    HalvarisSystemInfo info;
    ASSERT_EQ(halvaris_system_info(system, &info), HALVARIS_OK);
    std::vector<std::uint8_t> stream = first;
    stream.insert(stream.end(), second.begin(), second.end());
    ASSERT_EQ(stream.size(), 10 * info.frameBytes);
    // Frame 7 (the second clip's second): one block concealed, two with errors left in them.
    std::uint8_t* flagged = stream.data() + 7 * info.frameBytes;
    SetStatus(flagged, 0, 0, 0x2);
    SetStatus(flagged, 1, 40, 0x7);
    SetStatus(flagged, 3, 134, 0xF);
    WriteBytes(scratch / "joined.dif", stream);
    WriteBytes(scratch / "second.dif", second);

    // Without OUTPUT only the facts are read: nothing else is written.
    const auto facts = RunTool({scratch / "joined.dif", "--report", scratch / "report.csv"});
    ASSERT_EQ(facts.exitCode, 0) << facts.messages;
    EXPECT_THAT(facts.messages, HasSubstr("10 frames read"));
    EXPECT_THAT(facts.messages,
                HasSubstr("10 frames: 1 (10.0%) with flagged blocks, 1 (10.0%) with errors left "
                          "in the data, 0 with audio error samples; 2 segments; timecode "
                          "01:00:00;00 to 02:30:00;"));
    EXPECT_EQ(scratch.Names(),
              (std::vector<std::string>{"joined.dif", "report.csv", "second.dif"}));
    const std::vector<std::uint8_t> csvBytes = ReadBytes(scratch / "report.csv");
    std::istringstream csv(std::string(csvBytes.begin(), csvBytes.end()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(csv, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_THAT(lines[0],
                StartsLine("frame,timecode,recorded,flagged_blocks,concealed_blocks,error_blocks,"
                           "audio_error_samples"));
    // The 720-line systems store one timecode per pair of frames.
    // Not decoded: no count of unfinished blocks.
    EXPECT_EQ(lines[1], "0,01:00:00;00,2021-03-04 05:06:07,0,0,0,0,0,0,");
    EXPECT_THAT(lines[6], StartsLine(system == 1 ? "5,01:00:00;05,2021-03-04 05:06:07,0,0,0,0"
                                                 : "5,01:00:00;02,2021-03-04 05:06:07,0,0,0,0"));
    EXPECT_THAT(lines[8], StartsLine(system == 1 ? "7,02:30:00;01,2021-03-04 07:00:00,3,1,2,0"
                                                 : "7,02:30:00;00,2021-03-04 07:00:00,3,1,2,0"));

    ASSERT_EQ(RunTool({"-q", "--report", scratch / "report.json", scratch / "joined.dif"}).exitCode,
              0);
    const std::vector<std::uint8_t> json = ReadBytes(scratch / "report.json");
    EXPECT_THAT(std::string(json.begin(), json.end()),
                HasSubstr("\"segments\":[\n    {\"first_frame\":0,\"last_frame\":5,"
                          "\"first_timecode\":\"01:00:00;00\""));

    // Segment 2 is the second clip, pictures and facts.
    const auto segment = RunTool({"--segment", "2", "--report", scratch / "segment.csv",
                                  scratch / "joined.dif", scratch / "segment.yuy2"});
    ASSERT_EQ(segment.exitCode, 0) << segment.messages;
    EXPECT_THAT(segment.messages, HasSubstr("segment 2: frames 6 to 9"));
    ASSERT_EQ(RunTool({"-q", scratch / "second.dif", scratch / "second.yuy2"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(scratch / "segment.yuy2"), ReadBytes(scratch / "second.yuy2"));
    const std::vector<std::uint8_t> segmentCsv = ReadBytes(scratch / "segment.csv");
    EXPECT_THAT(std::string(segmentCsv.begin(), segmentCsv.end()),
                HasSubstr("\n9,02:30:00;0" + std::string(system == 1 ? "3" : "1") +
                          ",2021-03-04 07:00:00,0,0,0,0,0,0,0\n"));  // decoded: 0 unfinished

    EXPECT_THAT(RunTool({"--segment", "3", scratch / "joined.dif", scratch / "none.yuy2"}).messages,
                HasSubstr("error: --segment 3: the input has 2 segments"));
    EXPECT_THAT(RunTool({"--segment", "1", "--frames", "0-1", scratch / "joined.dif",
                         scratch / "none.yuy2"})
                    .messages,
                HasSubstr("error: --segment and --frames both choose the frames"));
    EXPECT_FALSE(std::filesystem::exists(scratch / "none.yuy2"));
  }
}

TEST(ReportOfFfmpegClips, MarkDamagePaintsTheFlaggedBlocksAndTheDefaultDecodeIsUntouched) {
  ScratchFolder scratch;
  std::vector<std::uint8_t> frame = Clip(1, 1, "01:00:00;00", "2021-03-04T05:06:07Z", "one.dif");
  SetStatus(frame.data(), 0, 0, 0x2);
  SetStatus(frame.data(), 2, 70, 0x7);
  SetStatus(frame.data(), 4, 9, 0x3);  // a reserved value: not painted
  WriteBytes(scratch / "flagged.dif", frame);
  const std::vector<std::uint8_t> decoded = test_support::DecodePicture(frame, 1);
  std::vector<std::uint8_t> marked = decoded;
  ASSERT_EQ(halvaris_mark_damage(1, frame.data(), frame.size(),
                                 HALVARIS_STA_CONCEALED_MASK | HALVARIS_STA_ERROR_MASK,
                                 marked.data(), 2 * 1280, marked.size(), 81, 90, 240),
            2);
  ASSERT_EQ(RunTool({"-q", scratch / "flagged.dif", scratch / "plain.yuy2"}).exitCode, 0);
  ASSERT_EQ(
      RunTool({"-q", "--mark-damage", scratch / "flagged.dif", scratch / "marked.yuy2"}).exitCode,
      0);
  EXPECT_EQ(ReadBytes(scratch / "plain.yuy2"), decoded);
  EXPECT_EQ(ReadBytes(scratch / "marked.yuy2"), marked);
  EXPECT_NE(marked, decoded);
  EXPECT_THAT(
      RunTool({"--mark-damage", "--report", scratch / "r.csv", scratch / "flagged.dif"}).messages,
      HasSubstr("error: --mark-damage paints the decoded pictures: it needs OUTPUT"));
}

TEST(BroadcastWave, HalvarisDecodeTakesTheOriginFromTheFirstDecodedFrame) {
  ScratchFolder scratch;
  const std::string clip = FfmpegFiles::Get().Path("sound.dif");
  ASSERT_TRUE(FfmpegFiles::Ffmpeg(
      "-f lavfi -i testsrc2=size=1280x1080:rate=30000/1001 -f lavfi -i "
      "sine=frequency=440:sample_rate=48000 -ac 2 -c:a pcm_s16le -t 0.2 -c:v dvvideo -pix_fmt "
      "yuv422p -timecode '01:00:00;00' -metadata creation_time=2021-03-04T05:06:07Z -f dv '" +
      clip + "'"));
  const auto outcome = RunTool(
      {"-q", "--frames", "2-", "--audio", scratch / "sound.wav", clip, scratch / "pictures.yuy2"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.messages;
  const std::string tags = Output(std::string(FFPROBE_PROGRAM) +
                                  " -v error -show_entries format_tags -of "
                                  "default=noprint_wrappers=1 '" +
                                  scratch / "sound.wav" + "'");
  // 01:00:00;02 is 107,890 frames of 1001/30000 s after midnight: 172,803,030.2 samples.
  EXPECT_NE(tags.find("TAG:time_reference=172803030\n"), std::string::npos) << tags;
  EXPECT_NE(tags.find("date=2021-03-04\n"), std::string::npos) << tags;
  EXPECT_NE(tags.find("_time=05:06:07\n"), std::string::npos) << tags;
}

}  // namespace
}  // namespace halvaris::decode_tool::report
