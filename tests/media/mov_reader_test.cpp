#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media_error.h"
#include "mov_reader.h"
#include "movie_builder.h"
#include "test_files.h"

namespace halvaris::media {
namespace {

using test_support::BuildMovie;
using test_support::TestTrack;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::uint8_t> Filled(std::size_t bytes, std::uint8_t value) {
  return std::vector<std::uint8_t>(bytes, value);
}

// A movie read from memory, with every sample listed.
struct ReadMovie {
  explicit ReadMovie(std::vector<std::uint8_t> bytes)
      : file("clip.mov", std::move(bytes)), track(ReadMovieVideoTrack(file)) {
    MovieSampleReader reader(file, track);
    MovieSample sample;
    while (reader.Next(sample)) samples.push_back(sample);
  }
  InputFile file;
  MovieVideoTrack track;
  std::vector<MovieSample> samples;
};

std::string ErrorOf(const std::vector<std::uint8_t>& movie) {
  try {
    ReadMovie{movie};
  } catch (const MediaError& error) {
    return error.what();
  }
  return "";
}

TEST(ReadMovieVideoTrack, FollowsChunkRunsAndSkipsAudio) {
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(100, 0xaa), Filled(100, 0xab)};
  TestTrack video;
  for (std::uint8_t i = 0; i < 5; ++i) video.samples.push_back(Filled(1000u + i, i));
  video.samplesPerChunk = {2, 2, 1};  // two runs in the chunk map

  const std::vector<std::uint8_t> file = BuildMovie({audio, video});
  const ReadMovie movie(file);
  EXPECT_EQ(movie.track.format, "dvhp");
  EXPECT_EQ(movie.track.width, 960);
  EXPECT_EQ(movie.track.height, 720);
  EXPECT_EQ(movie.track.system, 2);
  EXPECT_TRUE(movie.track.warnings.empty());
  ASSERT_EQ(movie.samples.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const MovieSample& sample = movie.samples[i];
    EXPECT_EQ(sample.size, 1000u + i);
    ASSERT_LE(sample.offset + sample.size, file.size());
    EXPECT_EQ(file[sample.offset], i);
    EXPECT_EQ(file[sample.offset + sample.size - 1], i);
  }
}

TEST(ReadMovieVideoTrack, Reads64BitOffsetsAndOneSizeForAll) {
  TestTrack video;
  video.format = "dvh5";
  video.width = 1440;
  video.height = 1080;
  video.samples = {Filled(64, 1), Filled(64, 2), Filled(64, 3)};
  video.samplesPerChunk = {1, 2};
  video.wideOffsets = true;
  video.constantSize = true;
  const ReadMovie movie(BuildMovie({video}));
  EXPECT_EQ(movie.track.system, 3);
  ASSERT_EQ(movie.samples.size(), 3u);
  EXPECT_EQ(movie.samples[2].offset, movie.samples[1].offset + 64);
}

TEST(ReadMovieVideoTrack, GeneralCodesTakeTheSystemFromTheFrameSizeAndSaySo) {
  TestTrack video;
  video.format = "dvh1";
  video.width = 1280;
  video.height = 1080;
  video.samples = {Filled(288000, 0)};
  const ReadMovie bySize(BuildMovie({video}));
  EXPECT_EQ(bySize.track.system, 4);
  EXPECT_EQ(bySize.track.systemSource, "the frame size (288000 bytes)");
  video.samples = {Filled(1000, 0)};
  const ReadMovie byWidth(BuildMovie({video}));
  EXPECT_EQ(byWidth.track.system, 1);
  EXPECT_EQ(byWidth.track.systemSource, "the picture width (1280)");
  video.format = "dvh5";
  EXPECT_EQ(ReadMovie(BuildMovie({video})).track.systemSource, "the sample description (\"dvh5\")");
}

TEST(ReadMovieVideoTrack, SaysWhatIsMissingOrDamaged) {
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(10, 0)};
  EXPECT_THAT(ErrorOf(BuildMovie({audio})), HasSubstr("has no video track"));

  TestTrack other;
  other.format = "avc1";
  other.samples = {Filled(10, 0)};
  EXPECT_THAT(ErrorOf(BuildMovie({other})), HasSubstr("holds \"avc1\" video, not DVCPRO HD"));

  EXPECT_THAT(ErrorOf(test_support::Atom("ftyp", Filled(12, 0))),
              HasSubstr("without a movie atom"));

  // A child atom claiming more bytes than the movie atom holds.
  std::vector<std::uint8_t> damaged =
      test_support::Atom("moov", test_support::Atom("trak", Filled(16, 0)));
  damaged[11] = 0x7f;
  EXPECT_THAT(ErrorOf(damaged), HasSubstr("damaged QuickTime movie"));

  TestTrack video;
  video.samples = {Filled(10, 0), Filled(10, 0)};
  auto movie = BuildMovie({video});
  // Cut the table off inside stco: the reader must notice, not read past the atom.
  const std::string stco = "stco";
  const auto at = std::search(movie.begin(), movie.end(), stco.begin(), stco.end());
  ASSERT_NE(at, movie.end());
  *(at + 11) = 200;  // chunk count far beyond the atom
  EXPECT_THAT(ErrorOf(movie), HasSubstr("cut short"));
}

TEST(ReadMovieVideoTrack, SurvivesAnyDamagedByteOfTheMovieAtom) {
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(8, 0)};
  TestTrack video;
  video.samples = {Filled(16, 1), Filled(16, 2), Filled(16, 3)};
  video.samplesPerChunk = {2, 1};
  const std::vector<std::uint8_t> movie = BuildMovie({audio, video});
  const std::string moov = "moov";
  const auto movieAtom = std::search(movie.begin(), movie.end(), moov.begin(), moov.end()) - 4;
  int refused = 0;
  for (auto at = movieAtom; at != movie.end(); ++at) {
    const auto offset = static_cast<std::size_t>(at - movie.begin());
    for (int value : {0x00, 0x01, 0x7f, 0xff}) {
      std::vector<std::uint8_t> damaged = movie;
      damaged[offset] = static_cast<std::uint8_t>(value);
      try {
        const ReadMovie read(damaged);
        EXPECT_LE(read.samples.size(), 3u);
      } catch (const MediaError&) {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 0);
}

// Where the atom of `type` starts (its size field), searching from the end when `last`.
std::size_t AtomAt(const std::vector<std::uint8_t>& movie, const char* type, bool last = false) {
  const std::string code(type, 4);
  const auto at = last ? std::find_end(movie.begin(), movie.end(), code.begin(), code.end())
                       : std::search(movie.begin(), movie.end(), code.begin(), code.end());
  EXPECT_NE(at, movie.end()) << type;
  return static_cast<std::size_t>(at - movie.begin()) - 4;
}

void SetSize(std::vector<std::uint8_t>& movie, std::size_t atom, std::uint32_t size) {
  for (std::size_t i = 0; i < 4; ++i)
    movie[atom + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
}

std::uint32_t SizeAt(const std::vector<std::uint8_t>& movie, std::size_t atom) {
  return static_cast<std::uint32_t>(movie[atom] << 24 | movie[atom + 1] << 16 |
                                    movie[atom + 2] << 8 | movie[atom + 3]);
}

// An audio track and a two-frame video track, in that order.
std::vector<std::uint8_t> AudioAndVideo() {
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(100, 0xaa)};
  TestTrack video;
  video.samples = {Filled(1000, 1), Filled(1000, 2)};
  return BuildMovie({audio, video});
}

TEST(ReadMovieVideoTrack, DamageOutsideWhatTheVideoNeedsIsPassedOverWithAWarning) {
  // User data 8 bytes larger than what is left of the movie atom, as some editors write it.
  std::vector<std::uint8_t> movie = AudioAndVideo();
  const std::vector<std::uint8_t> udta =
      test_support::Atom("udta", test_support::Atom("\xa9nam", Filled(9, 'x')));
  test_support::AppendToMovieAtom(movie, udta);
  const std::size_t userData = movie.size() - udta.size();
  SetSize(movie, userData, SizeAt(movie, userData) + 8);
  EXPECT_EQ(ReadMovie(movie).samples.size(), 2u);

  // An audio track whose media atom cannot be walked.
  movie = AudioAndVideo();
  SetSize(movie, AtomAt(movie, "mdia"), 4);
  const ReadMovie read(movie);
  EXPECT_EQ(read.samples.size(), 2u);
  EXPECT_THAT(read.track.warnings,
              ::testing::ElementsAre("a damaged track was skipped: the mdia atom inside trak has a "
                                     "size of 4 bytes, smaller than its 8-byte header"));
}

TEST(ReadMovieVideoTrack, DamageOnTheWayToTheSamplesIsAnErrorThatSaysWhatIsWrong) {
  std::vector<std::uint8_t> movie = AudioAndVideo();
  const std::size_t stsd = AtomAt(movie, "stsd", true);
  SetSize(movie, stsd, 4);
  std::copy_n("\x1b[2J", 4, movie.begin() + static_cast<std::ptrdiff_t>(stsd) + 4);
  EXPECT_EQ(ErrorOf(movie),
            "damaged QuickTime movie: the \\x1b[2J atom inside stbl has a size of 4 bytes, smaller "
            "than its 8-byte header, so the stbl atom of the video track has no stsd atom");

  // The chunk offsets, last in the sample table, claiming 8 bytes more than the table holds.
  movie = AudioAndVideo();
  const std::size_t stco = AtomAt(movie, "stco", true);
  SetSize(movie, stco, SizeAt(movie, stco) + 8);
  EXPECT_EQ(ErrorOf(movie),
            "damaged QuickTime movie: the stco atom inside stbl claims 28 bytes, but only 20 are "
            "left in stbl");
}

TEST(CheckSampleInFile, NamesTheSampleOutsideTheFile) {
  EXPECT_NO_THROW(CheckSampleInFile({200, 100}, 2, 300));
  try {
    CheckSampleInFile({250, 100}, 3, 300);
    ADD_FAILURE() << "no error";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("sample 3 of the video track"));
    EXPECT_THAT(error.what(), Not(HasSubstr("--frames")));
    EXPECT_EQ(error.ReadableFrames(), 3);
  }
  EXPECT_THROW(CheckSampleInFile({UINT64_MAX - 10, 100}, 0, 300), MediaError);
}

TEST(LooksLikeMovie, KnowsTopLevelAtomsOnly) {
  const auto movie = test_support::Atom("ftyp", Filled(12, 0));
  EXPECT_TRUE(LooksLikeMovie(movie.data(), movie.size()));
  const auto frame = test_support::TestFrame(1);
  EXPECT_FALSE(LooksLikeMovie(frame.data(), frame.size()));
}

}  // namespace
}  // namespace halvaris::media
