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
    root_ =
        FfmpegFiles::Get().Folder() /
        (std::string("card-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
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
  AddSound("0001AB03.MXF", 660);  // after a gap: not the clip's
  AddSound("0002CD00.MXF", 550);
  ASSERT_TRUE(mxf::IsP2CardRoot(Root()));
  const mxf::P2Clip clip = mxf::FindP2Clip(Root(), "0001AB");
  EXPECT_EQ(clip.soundFoundBy, "the card's naming rule");
  EXPECT_THAT(SoundNames(clip), ElementsAre("0001AB00.MXF", "0001AB01.MXF"));

  // The sound: both files side by side, as FFmpeg decodes each of them.
  std::vector<std::string> warnings;
  auto sound = mxf::OpenP2Sound(clip, warnings);
  ASSERT_NE(sound, nullptr);
  EXPECT_THAT(warnings, ::testing::IsEmpty());
  EXPECT_EQ(sound->Format().channels, 2);
  std::vector<std::uint8_t> samples(sound->SampleCount() * 4);
  EXPECT_EQ(sound->Read(0, sound->SampleCount(), samples.data()), 0u);
  FfmpegFiles& files = FfmpegFiles::Get();
  const auto left = files.FfmpegSound(clip.soundPaths[0], "0:a");
  const auto right = files.FfmpegSound(clip.soundPaths[1], "0:a");
  ASSERT_EQ(left.size(), sound->SampleCount() * 2);
  for (std::size_t i = 0; i < sound->SampleCount(); ++i) {
    ASSERT_EQ(samples[4 * i], left[2 * i]) << i;
    ASSERT_EQ(samples[4 * i + 1], left[2 * i + 1]) << i;
    ASSERT_EQ(samples[4 * i + 2], right[2 * i]) << i;
    ASSERT_EQ(samples[4 * i + 3], right[2 * i + 1]) << i;
  }
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
  halvaris_default_media_settings(&settings);
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
