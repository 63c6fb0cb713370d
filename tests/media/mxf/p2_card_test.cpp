// P2 card folders assembled from FFmpeg's OP-Atom files: which sound files belong to a clip, and
// the clip's sound read from them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ffmpeg_files.h"
#include "halvaris/media.h"
#include "media_error.h"
#include "mxf/mxf_file.h"
#include "mxf/p2_card.h"

namespace halvaris::media {
namespace {

namespace fs = std::filesystem;
using test_support::FfmpegFiles;
using test_support::ReadBytes;
using test_support::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class P2Card : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FfmpegFiles::Get().TestFolder("card-");
    for (const char* folder : {"VIDEO", "AUDIO", "CLIP", "ICON", "PROXY", "VOICE"})
      fs::create_directories(root_ / "CONTENTS" / folder);
  }

  void AddVideo(const std::string& clip, int system) {
    fs::copy_file(FfmpegFiles::Get().OpAtomVideo(system),
                  root_ / "CONTENTS/VIDEO" / (clip + ".MXF"));
  }
  void AddSound(const std::string& fileName, int hertz) {
    fs::copy_file(FfmpegFiles::Get().OpAtomSound(1, hertz), root_ / "CONTENTS/AUDIO" / fileName);
  }
  void AddClipMetadata(const std::string& clip, int soundChannels) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<P2Main><ClipContent><ClipName>" + clip +
        "</ClipName><Duration>6</Duration><EditUnit>1001/30000</EditUnit><EssenceList><Video>"
        "<VideoFormat>MXF</VideoFormat><Codec>DVCPROHD</Codec></Video>";
    for (int channel = 0; channel < soundChannels; ++channel)
      xml += "<Audio><AudioFormat>MXF</AudioFormat><SamplingRate>48000</SamplingRate></Audio>";
    xml += "</EssenceList></ClipContent></P2Main>\n";
    WriteBytes(root_ / "CONTENTS/CLIP" / (clip + ".XML"),
               std::vector<std::uint8_t>(xml.begin(), xml.end()));
  }
  // Gives the sound file the material package of the clip's video file, as a camera does.
  void ShareMaterialPackage(const std::string& clip, const std::string& soundFile) {
    const auto video = fs::path(root_ / "CONTENTS/VIDEO" / (clip + ".MXF")).string();
    const auto soundPath = root_ / "CONTENTS/AUDIO" / soundFile;
    const mxf::Umid wanted = mxf::MxfFile(OpenByteSource(video)).Packages().materialPackage;
    const mxf::Umid own =
        mxf::MxfFile(OpenByteSource(soundPath.string())).Packages().materialPackage;
    auto bytes = ReadBytes(soundPath);
    for (auto at = std::search(bytes.begin(), bytes.end(), own.begin(), own.end());
         at != bytes.end(); at = std::search(at, bytes.end(), own.begin(), own.end()))
      at = std::copy(wanted.begin(), wanted.end(), at);
    WriteBytes(soundPath, bytes);
  }
  std::string Root() const { return root_.string(); }
  std::vector<std::string> SoundNames(const mxf::P2Clip& clip) const {
    std::vector<std::string> names;
    for (const auto& path : clip.soundPaths) names.push_back(fs::path(path).filename().string());
    return names;
  }

  fs::path root_;
};

TEST_F(P2Card, WithoutRecordsTheNamingRuleFindsTheChannelsInOrder) {
  AddVideo("0001AB", 1);
  AddSound("0001AB01.MXF", 880);
  AddSound("0001AB00.MXF", 440);
  AddSound("0001AB03.MXF", 660);  // after a gap: channel 3 is missing, channel 4 keeps its place
  AddSound("0002CD00.MXF", 550);
  ASSERT_TRUE(mxf::IsP2CardRoot(Root()));
  const mxf::P2Clip clip = mxf::FindP2Clip(Root(), "0001AB");
  EXPECT_EQ(clip.soundFoundBy, "the card's naming rule");
  EXPECT_THAT(SoundNames(clip), ElementsAre("0001AB00.MXF", "0001AB01.MXF", "0001AB03.MXF"));
  ASSERT_EQ(clip.warnings.size(), 1u);
  EXPECT_THAT(clip.warnings[0], HasSubstr("sound channel 3 of clip 0001AB (CONTENTS/AUDIO/"
                                          "0001AB02.MXF) is missing"));

  // The sound: the files side by side, as FFmpeg decodes each of them, silence in the missing
  // channel's place.
  std::vector<std::string> warnings;
  auto sound = mxf::OpenP2Sound(clip, warnings);
  ASSERT_NE(sound, nullptr);
  EXPECT_THAT(warnings, ::testing::IsEmpty());
  EXPECT_EQ(sound->Format().channels, 4);
  std::vector<std::uint8_t> samples(sound->SampleCount() * 8);
  EXPECT_EQ(sound->Read(0, sound->SampleCount(), samples.data()), 0u);
  FfmpegFiles& files = FfmpegFiles::Get();
  const auto first = files.FfmpegSound(clip.soundPaths[0], "0:a");
  const auto second = files.FfmpegSound(clip.soundPaths[1], "0:a");
  const auto fourth = files.FfmpegSound(clip.soundPaths[2], "0:a");
  ASSERT_EQ(first.size(), sound->SampleCount() * 2);
  for (std::size_t i = 0; i < sound->SampleCount(); ++i) {
    for (std::size_t byte = 0; byte < 2; ++byte) {
      ASSERT_EQ(samples[8 * i + byte], first[2 * i + byte]) << i;
      ASSERT_EQ(samples[8 * i + 2 + byte], second[2 * i + byte]) << i;
      ASSERT_EQ(samples[8 * i + 4 + byte], 0) << i;
      ASSERT_EQ(samples[8 * i + 6 + byte], fourth[2 * i + byte]) << i;
    }
  }
}

TEST_F(P2Card, AMissingChannelFileIsSilenceInItsPlaceWhicheverItIs) {
  AddVideo("0001AB", 1);
  for (const char* name : {"0001AB00.MXF", "0001AB02.MXF", "0001AB03.MXF"}) AddSound(name, 440);
  AddClipMetadata("0001AB", 4);
  const mxf::P2Clip listed = mxf::FindP2Clip(Root(), "0001AB");
  EXPECT_THAT(listed.warnings, ElementsAre(HasSubstr("sound channel 2 of clip 0001AB")));
  std::vector<std::string> warnings;
  auto sound = mxf::OpenP2Sound(listed, warnings);
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(sound->Format().channels, 4);
  std::vector<std::uint8_t> samples(sound->SampleCount() * 8);
  sound->Read(0, sound->SampleCount(), samples.data());
  const auto tone = FfmpegFiles::Get().FfmpegSound(listed.soundPaths[2], "0:a");
  ASSERT_EQ(tone.size(), sound->SampleCount() * 2);
  bool secondSilent = true;
  bool fourthRight = true;
  for (std::size_t i = 0; i < sound->SampleCount(); ++i) {
    secondSilent = secondSilent && samples[8 * i + 2] == 0 && samples[8 * i + 3] == 0;
    fourthRight =
        fourthRight && samples[8 * i + 6] == tone[2 * i] && samples[8 * i + 7] == tone[2 * i + 1];
  }
  EXPECT_TRUE(secondSilent);
  EXPECT_TRUE(fourthRight);

  // Without the metadata file and without the first channel's file: still four channels.
  fs::remove(root_ / "CONTENTS/CLIP/0001AB.XML");
  fs::rename(root_ / "CONTENTS/AUDIO/0001AB00.MXF", root_ / "CONTENTS/AUDIO/0001AB01.MXF");
  const mxf::P2Clip named = mxf::FindP2Clip(Root(), "0001AB");
  EXPECT_THAT(named.warnings, ElementsAre(HasSubstr("sound channel 1 of clip 0001AB")));
  sound = mxf::OpenP2Sound(named, warnings);
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(sound->Format().channels, 4);
}

TEST_F(P2Card, ClipNamesDifferingInCaseAloneAreToldApartOrRefused) {
  AddVideo("0001AB", 1);
  fs::copy_file(FfmpegFiles::Get().OpAtomVideo(4), root_ / "CONTENTS/VIDEO/0001ab.mxf");
  AddSound("0001ab00.MXF", 440);
  EXPECT_EQ(fs::path(mxf::FindP2Clip(Root(), "0001ab").videoPath).filename(), "0001ab.mxf");
  EXPECT_EQ(fs::path(mxf::FindP2Clip(Root(), "0001AB").videoPath).filename(), "0001AB.MXF");
  try {
    mxf::FindP2Clip(Root(), "0001Ab");
    FAIL() << "a clip was taken from two that differ in case alone";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("0001AB.MXF, 0001ab.mxf"));
  }

  // A recording going on on another card: this card's part, with the next clip named.
  AddClipMetadata("0001AB", 0);
  auto xml = ReadBytes(root_ / "CONTENTS/CLIP/0001AB.XML");
  const std::string connection =
      "<Relation><Connection><Top><GlobalClipID>TOP1</GlobalClipID></Top><Next><GlobalClipID>"
      "060A2B340101010501010D43130000000123456789ABCDEF</GlobalClipID></Next></Connection>"
      "</Relation>";
  const std::string end = "</ClipContent>";
  auto at = std::search(xml.begin(), xml.end(), end.begin(), end.end());
  xml.insert(at, connection.begin(), connection.end());
  WriteBytes(root_ / "CONTENTS/CLIP/0001AB.XML", xml);
  const mxf::P2Clip spanned = mxf::FindP2Clip(Root(), "0001AB");
  EXPECT_THAT(spanned.warnings,
              ElementsAre(HasSubstr("goes on in clip "
                                    "060A2B340101010501010D43130000000123456789ABCDEF")));
}

TEST_F(P2Card, TheClipMetadataFileDecidesHowManyChannelsTheClipHas) {
  AddVideo("0001AB", 1);
  AddSound("0001AB00.MXF", 440);
  AddSound("0001AB01.MXF", 880);
  AddClipMetadata("0001AB", 3);
  const mxf::P2Clip clip = mxf::FindP2ClipOfVideoFile(Root() + "/CONTENTS/VIDEO/0001AB.MXF");
  EXPECT_EQ(clip.name, "0001AB");
  EXPECT_EQ(clip.soundFoundBy, "the clip's metadata file");
  EXPECT_THAT(SoundNames(clip), ElementsAre("0001AB00.MXF", "0001AB01.MXF"));
  ASSERT_EQ(clip.warnings.size(), 1u);
  EXPECT_THAT(clip.warnings[0], HasSubstr("sound channel 3 of clip 0001AB"));
}

TEST_F(P2Card, FilesSharingTheMaterialPackageBelongToTheClipWhateverTheirNames) {
  AddVideo("0001AB", 1);
  AddSound("RENAMED1.MXF", 880);
  AddSound("RENAMED0.MXF", 440);
  AddSound("0001AB00.MXF", 550);  // by its name the clip's, but of another recording
  ShareMaterialPackage("0001AB", "RENAMED0.MXF");
  ShareMaterialPackage("0001AB", "RENAMED1.MXF");
  const mxf::P2Clip clip = mxf::FindP2Clip(Root(), "0001AB");
  EXPECT_EQ(clip.soundFoundBy, "the material package its files share");
  EXPECT_THAT(SoundNames(clip), ElementsAre("RENAMED0.MXF", "RENAMED1.MXF"));

  // Files named by the naming rule keep their channel's place; an odd name does not go first.
  AddVideo("0002CD", 4);
  for (const char* name : {"0002CD01.MXF", "0002CD00.MXF", "!EXTRA.MXF"}) {
    AddSound(name, 660);
    ShareMaterialPackage("0002CD", name);
  }
  const mxf::P2Clip second = mxf::FindP2Clip(Root(), "0002CD");
  EXPECT_THAT(SoundNames(second), ElementsAre("0002CD00.MXF", "0002CD01.MXF", "!EXTRA.MXF"));
  EXPECT_THAT(second.soundChannels, ElementsAre(0, 1, 2));
}

TEST_F(P2Card, ACardListsItsClipsWithFramesAndSystemsAndNamesThemWhenAClipIsMissing) {
  AddVideo("0001AB", 1);
  AddVideo("0002CD", 4);
  WriteBytes(root_ / "CONTENTS/VIDEO/0003EF.MXF", {1, 2, 3});
  const auto clips = mxf::ListP2Clips(Root());
  ASSERT_EQ(clips.size(), 3u);
  EXPECT_EQ(clips[0].name, "0001AB");
  EXPECT_EQ(clips[0].frames, 6);
  EXPECT_EQ(clips[0].system, 1);
  EXPECT_EQ(clips[1].system, 4);
  EXPECT_EQ(clips[2].frames, -1);
  EXPECT_THAT(clips[2].problem, HasSubstr("not an MXF file"));
  try {
    mxf::FindP2Clip(Root(), "0009ZZ");
    FAIL() << "a missing clip was found";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("0001AB, 0002CD, 0003EF"));
  }
  EXPECT_THROW(mxf::FindP2ClipOfVideoFile(FfmpegFiles::Get().OpAtomVideo(1)), MediaError);
}

TEST_F(P2Card, ThroughTheCInterfaceACardOfSeveralClipsOpensForItsClipsToBeListedThenChosen) {
  AddVideo("0001AB", 1);
  AddVideo("0002CD", 4);
  HalvarisMedia* media = nullptr;
  ASSERT_EQ(halvaris_media_open(Root().c_str(), nullptr, &media), HALVARIS_MEDIA_OK)
      << halvaris_media_last_error(nullptr);
  ASSERT_EQ(halvaris_media_clip_count(media), 2);
  EXPECT_STREQ(halvaris_media_clip_name(media, 1), "0002CD");
  HalvarisMediaInfo info;
  EXPECT_EQ(halvaris_media_info(media, &info), HALVARIS_MEDIA_ERROR_CLIP_NEEDED);
  EXPECT_THAT(halvaris_media_last_error(media), HasSubstr("2 clips"));
  ASSERT_EQ(halvaris_media_select_clip(media, 1), HALVARIS_MEDIA_OK);
  ASSERT_EQ(halvaris_media_info(media, &info), HALVARIS_MEDIA_OK);
  EXPECT_EQ(info.system, 4);
  EXPECT_EQ(info.container, HALVARIS_MEDIA_CONTAINER_P2_CLIP);
  EXPECT_EQ(info.frameCount, 6);
  halvaris_media_close(media);

  HalvarisMediaSettings settings;
  halvaris_media_default_settings(&settings);
  settings.clip = "0009ZZ";
  EXPECT_EQ(halvaris_media_open(Root().c_str(), &settings, &media),
            HALVARIS_MEDIA_ERROR_UNKNOWN_CLIP);
  EXPECT_THAT(halvaris_media_last_error(nullptr), HasSubstr("0001AB, 0002CD"));
  settings.clip = "0001AB";
  ASSERT_EQ(halvaris_media_open(Root().c_str(), &settings, &media), HALVARIS_MEDIA_OK);
  ASSERT_EQ(halvaris_media_info(media, &info), HALVARIS_MEDIA_OK);
  EXPECT_EQ(info.system, 1);
  halvaris_media_close(media);
}

}  // namespace
}  // namespace halvaris::media
