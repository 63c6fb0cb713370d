// halvaris-decode run in-process on files FFmpeg makes: MXF (OP1a and OP-Atom), P2 card folders,
// raw DIF and movies with sound. The pictures must equal the raw DIF decode of the same frames and
// the WAV file FFmpeg's own extraction of the same sound.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "decode_tool.h"
#include "ffmpeg_files.h"
#include "media_names.h"
#include "run_tool.h"

namespace halvaris::decode_tool {
namespace {

namespace fs = std::filesystem;
using test_support::FfmpegFiles;
using test_support::ReadBytes;
using test_support::WriteBytes;
using ::testing::HasSubstr;
using ::testing::Not;

using test_support::Outcome;
using test_support::RunTool;

struct Wav {
  int channels = 0;
  int bits = 0;
  std::vector<std::uint8_t> samples;
};

// The format and data chunks of a WAV file as halvaris-decode writes it.
Wav ReadWav(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  Wav wav;
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
    const std::size_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                             static_cast<std::size_t>(bytes[at + 7]) << 24;
    if (id == "fmt ") {
      wav.channels = bytes[at + 10] | bytes[at + 11] << 8;
      wav.bits = bytes[at + 22] | bytes[at + 23] << 8;
    } else if (id == "data") {
      wav.samples.assign(
          bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
          bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + 8 + size)));
      break;
    }
    at += 8 + size + size % 2;
  }
  return wav;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from,
                                std::size_t count) {
  from = std::min(from, bytes.size());
  return std::vector<std::uint8_t>(
      bytes.begin() + static_cast<std::ptrdiff_t>(from),
      bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), from + count)));
}

class DecodeWithSound : public ::testing::Test {
 protected:
  DecodeWithSound() : files_(FfmpegFiles::Get()), folder_(files_.TestFolder()) {}

  std::string Out(const std::string& name) const { return (folder_ / name).string(); }

  // The pictures of the raw DIF decode of frames `range` of `dif`.
  std::vector<std::uint8_t> RawPictures(const std::string& dif, const std::string& range = "0-") {
    const std::string out = Out("raw.yuy2");
    EXPECT_EQ(RunTool({"-q", "--frames", range, dif, out}).exitCode, 0);
    return ReadBytes(out);
  }
  std::vector<std::uint8_t> RawPictures(int system, const std::string& range = "0-") {
    return RawPictures(files_.VideoDif(system), range);
  }

  // A raw DIF stream of system 1 or 3 with two channels of sound in its audio blocks, of several
  // frames more than FFmpeg's DV writer needs sound ahead for.
  std::string SoundDif(int system) {
    const std::string path = files_.Path("sound-long" + std::to_string(system) + ".dif");
    if (!fs::exists(path)) {
      EXPECT_TRUE(FfmpegFiles::Ffmpeg(
          std::string("-f lavfi -i testsrc2=size=") + test_support::kSystems[system - 1].size +
          ":rate=" + test_support::kSystems[system - 1].rate +
          ":duration=0.3 -f lavfi -i "
          "\"aevalsrc=0.5*sin(300*2*PI*t)|0.5*sin(410*2*PI*t):s=48000:d=1\""
          " -c:v dvvideo -pix_fmt yuv422p -c:a pcm_s16le -shortest -f dv '" +
          path + "'"));
    }
    return path;
  }

  // Decodes `input` with --audio; checks that the whole sound equals `expected` and that
  // --frames 2-4 gives the pictures and the sound of those frames alone.
  void ExpectPicturesAndSound(const std::string& input, const std::string& reference,
                              const std::vector<std::uint8_t>& expected, int channels,
                              int bits = 16) {
    SCOPED_TRACE(input);
    const Outcome whole = RunTool({"-q", "--audio", Out("all.wav"), input, Out("all.yuy2")});
    ASSERT_EQ(whole.exitCode, 0) << whole.messages;
    EXPECT_EQ(ReadBytes(Out("all.yuy2")), RawPictures(reference));
    const Wav all = ReadWav(Out("all.wav"));
    EXPECT_EQ(all.channels, channels);
    EXPECT_EQ(all.bits, bits);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(all.samples == expected)
        << all.samples.size() << " bytes of sound against " << expected.size();

    ASSERT_EQ(
        RunTool({"-q", "--audio", Out("first.wav"), "--frames", "0-1", input, Out("first.yuy2")})
            .exitCode,
        0);
    const Outcome cut =
        RunTool({"-q", "--audio", Out("cut.wav"), "--frames", "2-4", input, Out("cut.yuy2")});
    ASSERT_EQ(cut.exitCode, 0) << cut.messages;
    EXPECT_EQ(ReadBytes(Out("cut.yuy2")), RawPictures(reference, "2-4"));
    const std::size_t before = ReadWav(Out("first.wav")).samples.size();
    const std::vector<std::uint8_t> middle = ReadWav(Out("cut.wav")).samples;
    EXPECT_GT(middle.size(), 0u);
    EXPECT_TRUE(middle == Slice(all.samples, before, middle.size()));
    ASSERT_EQ(RunTool({"-q", "--audio", Out("last.wav"), "--frames", "5-", input, Out("last.yuy2")})
                  .exitCode,
              0);
    EXPECT_EQ(before + middle.size() + ReadWav(Out("last.wav")).samples.size(), all.samples.size());
  }

  FfmpegFiles& files_;
  fs::path folder_;
};

TEST_F(DecodeWithSound, Op1aAndOpAtomPicturesAndSoundEqualFfmpegsForEverySystem) {
  for (int system = 1; system <= 4; ++system) {
    SCOPED_TRACE("system " + std::to_string(system));
    const std::string op1a = files_.Op1a(system);
    ExpectPicturesAndSound(op1a, files_.VideoDif(system), files_.FfmpegSound(op1a, "0:a:0"), 2);
    const Outcome atom = RunTool({"-q", files_.OpAtomVideo(system), Out("atom.yuy2")});
    ASSERT_EQ(atom.exitCode, 0) << atom.messages;
    EXPECT_EQ(ReadBytes(Out("atom.yuy2")), RawPictures(system));
  }
  // Eight channels of 24 bits stay eight channels of 24 bits, in their order.
  const std::string wide = files_.Op1a(1, 8, "pcm_s24le");
  ExpectPicturesAndSound(wide, files_.VideoDif(1), files_.FfmpegSound(wide, "0:a:0", "pcm_s24le"),
                         8, 24);
}

TEST_F(DecodeWithSound, RawDifAndMovieSoundEqualFfmpegs) {
  for (int system : {1, 3}) {
    const std::string dif = SoundDif(system);
    ExpectPicturesAndSound(dif, dif, files_.FfmpegSound(dif, "0:a:0"), 2);
  }
  // Movies with the sound of raw DIF beside the frames: little- and big-endian, 16 and 24 bits.
  const std::string sound = files_.Path("movie-sound.wav");
  ASSERT_TRUE(
      FfmpegFiles::Ffmpeg("-i '" + SoundDif(1) + "' -map 0:a:0 -c:a pcm_s24le '" + sound + "'"));
  for (const char* codec : {"pcm_s16le", "pcm_s16be", "pcm_s24le", "pcm_s24be"}) {
    const std::string movie = files_.Path(std::string("movie-") + codec + ".mov");
    ASSERT_TRUE(FfmpegFiles::Ffmpeg("-i '" + SoundDif(1) + "' -i '" + sound +
                                    "' -map 0:v -map 1:a -c:v copy -c:a " + codec + " -f mov '" +
                                    movie + "'"));
    const bool wide = std::string(codec).find("24") != std::string::npos;
    ExpectPicturesAndSound(movie, SoundDif(1),
                           files_.FfmpegSound(movie, "0:a:0", wide ? "pcm_s24le" : "pcm_s16le"), 2,
                           wide ? 24 : 16);
  }
}

TEST_F(DecodeWithSound, CardClipsGiveTheirSoundFilesSideBySide) {
  const fs::path card = folder_ / "card";
  for (const char* name : {"VIDEO", "AUDIO", "CLIP"})
    fs::create_directories(card / "CONTENTS" / name);
  for (int system = 1; system <= 4; ++system) {
    const std::string clip = "000" + std::to_string(system) + "AB";
    fs::copy_file(files_.OpAtomVideo(system), card / "CONTENTS/VIDEO" / (clip + ".MXF"));
    for (int channel = 0; channel < 2; ++channel) {
      fs::copy_file(files_.OpAtomSound(system, 300 + 110 * channel),
                    card / "CONTENTS/AUDIO" / (clip + "0" + std::to_string(channel) + ".MXF"));
    }
  }
  for (int system = 1; system <= 4; ++system) {
    SCOPED_TRACE("system " + std::to_string(system));
    const std::string clip = "000" + std::to_string(system) + "AB";
    // The clip's sound: the two mono files interleaved, as long as the six frames.
    const std::vector<std::uint8_t> left =
        files_.FfmpegSound(files_.OpAtomSound(system, 300), "0:a:0");
    const std::vector<std::uint8_t> right =
        files_.FfmpegSound(files_.OpAtomSound(system, 410), "0:a:0");
    const HalvarisSystemInfo& geometry = GeometryOf(system);
    const std::size_t samples = (6 * 48000 * std::size_t(geometry.frameRateDenominator) * 2 +
                                 std::size_t(geometry.frameRateNumerator)) /
                                (2 * std::size_t(geometry.frameRateNumerator));
    std::vector<std::uint8_t> expected(4 * samples, 0);
    for (std::size_t i = 0; i < samples; ++i) {
      for (int byte = 0; byte < 2; ++byte) {
        if (2 * i + 1 < left.size()) expected[4 * i + byte] = left[2 * i + byte];
        if (2 * i + 1 < right.size()) expected[4 * i + 2 + byte] = right[2 * i + byte];
      }
    }
    ExpectPicturesAndSound((card / "CONTENTS/VIDEO" / (clip + ".MXF")).string(),
                           files_.VideoDif(system), expected, 2);
    const Outcome named =
        RunTool({"--clip", clip, "--audio", Out("named.wav"), card.string(), Out("named.yuy2")});
    ASSERT_EQ(named.exitCode, 0) << named.messages;
    EXPECT_THAT(named.messages, HasSubstr("P2 clip " + clip));
    EXPECT_EQ(ReadBytes(Out("named.yuy2")), RawPictures(system));
    EXPECT_TRUE(ReadWav(Out("named.wav")).samples == expected);
  }
  // The first channel's file missing: its place is silence and the pictures are written.
  fs::remove(card / "CONTENTS/AUDIO/0001AB00.MXF");
  const Outcome missing =
      RunTool({"--clip", "0001AB", "--audio", Out("missing.wav"), card.string(), Out("m.yuy2")});
  ASSERT_EQ(missing.exitCode, 0) << missing.messages;
  EXPECT_THAT(missing.messages, HasSubstr("sound channel 1 of clip 0001AB"));
  EXPECT_EQ(ReadBytes(Out("m.yuy2")), RawPictures(1));
  const Wav halfSilent = ReadWav(Out("missing.wav"));
  EXPECT_EQ(halfSilent.channels, 2);
  EXPECT_EQ(halfSilent.samples.size(), 4 * 9610u);

  const Outcome unnamed = RunTool({card.string(), Out("unnamed.yuy2")});
  EXPECT_EQ(unnamed.exitCode, 1);
  EXPECT_THAT(unnamed.messages, HasSubstr("holds 4 clips: name one with --clip NAME"));
  const Outcome unknown = RunTool({"--clip", "9999ZZ", card.string(), Out("unknown.yuy2")});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_THAT(unknown.messages, HasSubstr("9999ZZ"));
  EXPECT_FALSE(fs::exists(Out("unknown.yuy2")));
}

TEST_F(DecodeWithSound, WavIsNeverAnInputFileAndIsLeftAsItWasWhenTheRunFails) {
  const fs::path card = folder_ / "card";
  fs::create_directories(card / "CONTENTS/VIDEO");
  fs::create_directories(card / "CONTENTS/AUDIO");
  fs::copy_file(files_.OpAtomVideo(1), card / "CONTENTS/VIDEO/0001AB.MXF");
  fs::copy_file(files_.OpAtomSound(1, 300), card / "CONTENTS/AUDIO/0001AB00.MXF");
  const std::vector<std::uint8_t> soundFile = ReadBytes(card / "CONTENTS/AUDIO/0001AB00.MXF");
  fs::create_symlink(card / "CONTENTS/AUDIO/0001AB00.MXF", folder_ / "link.wav");
  const Outcome overSound =
      RunTool({"--audio", Out("link.wav"), card.string(), Out("pictures.yuy2")});
  EXPECT_EQ(overSound.exitCode, 1);
  EXPECT_THAT(overSound.messages, HasSubstr("is the same file as a file of the input"));
  EXPECT_EQ(ReadBytes(card / "CONTENTS/AUDIO/0001AB00.MXF"), soundFile);
  const Outcome overVideo = RunTool(
      {"--audio", (card / "CONTENTS/VIDEO/0001AB.MXF").string(), card.string(), Out("p.yuy2")});
  EXPECT_EQ(overVideo.exitCode, 1);
  EXPECT_THAT(overVideo.messages, HasSubstr("is the same file as INPUT"));
  // The clip's metadata file is read to find the sound: neither output may replace it.
  fs::create_directories(card / "CONTENTS/CLIP");
  const fs::path metadata = card / "CONTENTS/CLIP/0001AB.XML";
  const std::string xml =
      "<P2Main><ClipContent><EssenceList><Video/><Audio/></EssenceList></ClipContent></P2Main>";
  WriteBytes(metadata, std::vector<std::uint8_t>(xml.begin(), xml.end()));
  for (const auto& arguments :
       {std::vector<std::string>{"--audio", metadata.string(), card.string(), Out("q.yuy2")},
        std::vector<std::string>{"--format", "yuy2", "--audio", Out("q.wav"), card.string(),
                                 metadata.string()}}) {
    const Outcome overMetadata = RunTool(arguments);
    EXPECT_EQ(overMetadata.exitCode, 1);
    EXPECT_THAT(overMetadata.messages, HasSubstr("is the same file as a file of the input"));
    EXPECT_EQ(ReadBytes(metadata), std::vector<std::uint8_t>(xml.begin(), xml.end()));
  }
  fs::remove(metadata);
  EXPECT_EQ(RunTool({"--audio", Out("same.yuy2"), card.string(), Out("same.yuy2")}).exitCode, 1);

  // An OP1a file cut in its fourth frame: its three whole frames are decoded, with a warning.
  std::vector<std::uint8_t> cut = ReadBytes(files_.Op1a(1));
  cut.resize(cut.size() - 3 * GeometryOf(1).frameBytes);
  WriteBytes(folder_ / "cut.mxf", cut);
  const Outcome kept = RunTool({"--audio", Out("cut.wav"), Out("cut.mxf"), Out("cut.yuy2")});
  EXPECT_EQ(kept.exitCode, 0) << kept.messages;
  EXPECT_THAT(kept.messages, HasSubstr("warning: the file is cut short"));
  EXPECT_EQ(ReadBytes(Out("cut.yuy2")), RawPictures(1, "0-2"));
  EXPECT_EQ(ReadWav(Out("cut.wav")).samples.size(), 4u * (1602 + 1601 + 1602));

  // A run that fails while writing the pictures leaves the old WAV file as it was.
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  WriteBytes(folder_ / "old.wav", old);
  const Outcome failed =
      RunTool({"--audio", Out("old.wav"), "--format", "yuy2", Out("cut.mxf"), "/dev/full"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_THAT(failed.messages, HasSubstr("error: "));
  EXPECT_EQ(ReadBytes(folder_ / "old.wav"), old);
  for (const auto& entry : fs::directory_iterator(folder_)) {
    EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".halvaris-")));
  }
}

TEST_F(DecodeWithSound, AFlippedBitInAFrameElementsLengthLosesNeitherPicturesNorSound) {
  const std::string op1a = files_.Op1a(1);
  const std::vector<std::uint8_t> sound = files_.FfmpegSound(op1a, "0:a:0");
  const std::uint8_t frameLength[4] = {0x83, 0x07, 0x53, 0x00};
  for (int frame : {0, 1}) {
    SCOPED_TRACE(frame);
    std::vector<std::uint8_t> file = ReadBytes(op1a);
    auto at = std::search(file.begin(), file.end(), frameLength, frameLength + 4);
    if (frame == 1) at = std::search(at + 1, file.end(), frameLength, frameLength + 4);
    ASSERT_NE(at, file.end());
    at[1] = 0x17;
    WriteBytes(folder_ / "flipped.mxf", file);
    const Outcome outcome =
        RunTool({"--audio", Out("flipped.wav"), Out("flipped.mxf"), Out("flipped.yuy2")});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.messages;
    EXPECT_THAT(outcome.messages, HasSubstr("gives a damaged length"));
    EXPECT_THAT(outcome.messages, Not(HasSubstr("the essence holds")));
    EXPECT_EQ(ReadBytes(Out("flipped.yuy2")), RawPictures(1));
    EXPECT_TRUE(ReadWav(Out("flipped.wav")).samples == sound);
  }
}

TEST_F(DecodeWithSound, SoundOfAnotherLengthThanThePicturesIsCutOrPaddedToThemAndSaidSo) {
  // GStreamer's MXF writer puts the sound it is given beside the frames, whatever its length.
  if (std::system("command -v gst-launch-1.0 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "GStreamer (gst-launch-1.0) is not installed";
  const std::size_t pictureSamples = 9610;  // six frames at 30000/1001
  for (const auto& [seconds, said] :
       {std::pair<const char*, const char*>{"0.19", "fewer than"}, {"0.21", "more than"}}) {
    SCOPED_TRACE(seconds);
    const std::string raw = Out("sound.raw");
    ASSERT_TRUE(FfmpegFiles::Ffmpeg(
        std::string("-f lavfi -i \"aevalsrc=0.5*sin(300*2*PI*t)|0.5*sin(410*2*PI*t):s=48000:d=") +
        seconds + "\" -f s16le '" + raw + "'"));
    const std::string mxf = Out("gstreamer.mxf");
    const std::string pipeline =
        "gst-launch-1.0 -q filesrc location='" + files_.VideoDif(1) +
        "' blocksize=480000 ! 'video/x-dv,systemstream=(boolean)true,width=(int)1280,"
        "height=(int)1080,framerate=(fraction)30000/1001' ! queue ! mxfmux name=m ! filesink "
        "location='" +
        mxf + "' filesrc location='" + raw +
        "' ! rawaudioparse format=pcm pcm-format=s16le sample-rate=48000 num-channels=2 ! queue "
        "! m.";
    if (std::system(pipeline.c_str()) != 0) GTEST_SKIP() << "GStreamer's mxfmux is not installed";
    const Outcome outcome = RunTool({"--audio", Out("g.wav"), mxf, Out("g.yuy2")});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.messages;
    EXPECT_THAT(outcome.messages, HasSubstr(said));
    EXPECT_THAT(outcome.messages, Not(HasSubstr("missing or marked as damaged")));
    EXPECT_EQ(ReadBytes(Out("g.yuy2")), RawPictures(1));
    const std::vector<std::uint8_t> wav = ReadWav(Out("g.wav")).samples;
    const std::vector<std::uint8_t> sound = ReadBytes(raw);
    ASSERT_EQ(wav.size(), 4 * pictureSamples);
    const std::size_t common = std::min(wav.size(), sound.size());
    EXPECT_TRUE(Slice(wav, 0, common) == Slice(sound, 0, common));
    EXPECT_TRUE(Slice(wav, common, wav.size()) ==
                std::vector<std::uint8_t>(wav.size() - common, 0));
  }
}

TEST_F(DecodeWithSound, WhereNoSoundIsReadTheRunSaysSoAndWritesNoWav) {
  // 720-line frames: their audio blocks are not read.
  const Outcome unread =
      RunTool({"-q", "--audio", Out("a.wav"), files_.VideoDif(2), Out("a.yuy2")});
  EXPECT_EQ(unread.exitCode, 0) << unread.messages;
  EXPECT_THAT(unread.messages, HasSubstr("is not read yet, so no WAV file is written"));
  EXPECT_FALSE(fs::exists(Out("a.wav")));
  // No sound at all: an error, and neither output.
  const Outcome none = RunTool({"-q", "--audio", Out("b.wav"), files_.VideoDif(1), Out("b.yuy2")});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_THAT(none.messages, HasSubstr("the input carries no sound"));
  EXPECT_FALSE(fs::exists(Out("b.wav")));
  EXPECT_FALSE(fs::exists(Out("b.yuy2")));
}

TEST_F(DecodeWithSound, LostSoundIsSilenceCountedInOneWarning) {
  // The audio blocks of frame 3 of a raw DIF stream wiped: that frame's sound is silence, its
  // length the rate's share; the frames before it are as FFmpeg extracts them.
  std::vector<std::uint8_t> stream = ReadBytes(SoundDif(1));
  const std::size_t frameBytes = GeometryOf(1).frameBytes;
  for (std::size_t sequence = 0; sequence < 40; ++sequence) {
    for (std::size_t block = 0; block < 9; ++block) {
      const std::size_t at = 3 * frameBytes + (sequence * 150 + 6 + 16 * block) * 80;
      std::fill(stream.begin() + static_cast<std::ptrdiff_t>(at),
                stream.begin() + static_cast<std::ptrdiff_t>(at + 80), 0xff);
    }
  }
  WriteBytes(folder_ / "wiped.dif", stream);
  const std::vector<std::uint8_t> sound = files_.FfmpegSound(SoundDif(1), "0:a:0");
  const Outcome outcome =
      RunTool({"-q", "--audio", Out("wiped.wav"), Out("wiped.dif"), Out("wiped.yuy2")});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.messages;
  EXPECT_THAT(outcome.messages,
              HasSubstr("warning: 3202 sound samples were missing or marked as damaged"));
  const Wav wav = ReadWav(Out("wiped.wav"));
  const std::size_t before = 4 * (1600 + 1602 + 1602);  // as FFmpeg lays them
  EXPECT_TRUE(Slice(wav.samples, 0, before) == Slice(sound, 0, before));
  EXPECT_TRUE(Slice(wav.samples, before, 4 * 1601) == std::vector<std::uint8_t>(4 * 1601, 0));
  EXPECT_EQ(ReadBytes(Out("wiped.yuy2")), RawPictures(SoundDif(1)));
}

TEST_F(DecodeWithSound, AFrameWhoseSoundElementIsMissingIsSilentAndTheSoundAfterItStaysInPlace) {
  // The sound element of frame 3 of an OP1a file turned into fill: that frame's sound is silence,
  // the frames after it keep their own sound, and --frames from that frame on agrees.
  const std::string op1a = files_.Op1a(1);
  std::vector<std::uint8_t> file = ReadBytes(op1a);
  const std::uint8_t soundKey[13] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x02, 0x01,
                                     0x01, 0x0d, 0x01, 0x03, 0x01, 0x16};
  const std::uint8_t fillKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x01, 0x01, 0x01,
                                    0x03, 0x01, 0x02, 0x10, 0x01, 0x00, 0x00, 0x00};
  auto at = file.begin();
  for (int element = 0; element <= 3; ++element) {
    at = std::search(element == 0 ? at : at + 1, file.end(), soundKey, soundKey + 13);
    ASSERT_NE(at, file.end());
  }
  std::copy(fillKey, fillKey + 16, at);
  WriteBytes(folder_ / "gap.mxf", file);

  const std::vector<std::uint8_t> sound = files_.FfmpegSound(op1a, "0:a:0");
  const Outcome outcome =
      RunTool({"-q", "--audio", Out("gap.wav"), Out("gap.mxf"), Out("gap.yuy2")});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.messages;
  EXPECT_THAT(outcome.messages, HasSubstr("warning: 3202 sound samples were missing"));
  EXPECT_EQ(ReadBytes(Out("gap.yuy2")), RawPictures(1));
  const std::vector<std::uint8_t> wav = ReadWav(Out("gap.wav")).samples;
  const std::size_t before = 4 * (1602 + 1601 + 1602);  // as FFmpeg lays them
  const std::size_t lost = 4 * 1601;
  ASSERT_EQ(wav.size(), sound.size());
  EXPECT_TRUE(Slice(wav, 0, before) == Slice(sound, 0, before));
  EXPECT_TRUE(Slice(wav, before, lost) == std::vector<std::uint8_t>(lost, 0));
  EXPECT_TRUE(Slice(wav, before + lost, sound.size()) == Slice(sound, before + lost, sound.size()));

  ASSERT_EQ(RunTool({"-q", "--audio", Out("tail.wav"), "--frames", "3-", Out("gap.mxf"),
                     Out("tail.yuy2")})
                .exitCode,
            0);
  EXPECT_TRUE(ReadWav(Out("tail.wav")).samples == Slice(wav, before, wav.size()));
}

}  // namespace
}  // namespace halvaris::decode_tool
