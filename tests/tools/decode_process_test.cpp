// halvaris-decode as a real process under the faults a user meets: worker threads it cannot
// start, signals at awkward moments, a terminal or its own input where its output should go,
// hostile movies, and inputs that cannot be read out of order. POSIX only.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "child_process.h"
#include "movie_builder.h"
#include "test_files.h"

namespace halvaris::decode_tool {
namespace {

using test_support::ChildProcess;
using test_support::ChildSetup;
using test_support::ReadBytes;
using test_support::ScratchFolder;
using test_support::TestFrame;
using test_support::WriteBytes;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kProgram = HALVARIS_DECODE_PROGRAM;

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  return test_support::Join(parts);
}

// A pipe whose write end a thread feeds, as a program upstream would.
class Feed {
 public:
  Feed() {
    std::signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not end the test program
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read_ = ends[0];
      write_ = ends[1];
    }
  }
  ~Feed() {
    if (writer_.joinable()) writer_.join();
    Close();
    if (read_ >= 0) close(read_);
  }
  int ReadEnd() const { return read_; }
  // Once the child has its copy: the writer then learns when the child stops reading.
  void KeepNoReadEnd() {
    if (read_ >= 0) close(read_);
    read_ = -1;
  }
  // Writes `bytes` on a thread of its own (a pipe holds less than a frame).
  void Send(std::vector<std::uint8_t> bytes) {
    if (writer_.joinable()) writer_.join();
    writer_ = std::thread([this, data = std::move(bytes)] {
      std::size_t at = 0;
      while (at < data.size()) {
        const ssize_t written = write(write_, data.data() + at, data.size() - at);
        if (written <= 0) return;
        at += static_cast<std::size_t>(written);
      }
    });
  }
  void Sent() {
    if (writer_.joinable()) writer_.join();
  }
  void Close() {
    Sent();
    if (write_ >= 0) close(write_);
    write_ = -1;
  }

 private:
  int read_ = -1;
  int write_ = -1;
  std::thread writer_;
};

// Waits up to five seconds for `done`.
template <typename Condition>
bool WaitUntil(Condition done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string Decoded(const ScratchFolder& scratch, const std::string& input,
                    const std::string& name) {
  ChildProcess child(kProgram, ChildSetup({"-q", "--threads", "1", input, scratch / name}));
  EXPECT_TRUE(child.Wait(30) && child.ExitedWith(0)) << child.Messages();
  return scratch / name;
}

TEST(WorkerThreads, ThreadsThatCannotStartStillGiveWholePicturesAndTheRunSucceeds) {
#ifdef HALVARIS_SANITIZED
  GTEST_SKIP() << "an address space limit leaves no room for the sanitizers' shadow memory";
#endif
  ScratchFolder scratch;
  WriteBytes(scratch / "clip.dif",
             Join({TestFrame(1, "detailed"), TestFrame(1, "testsrc2"), TestFrame(1, "detailed")}));
  const auto reference = ReadBytes(Decoded(scratch, scratch / "clip.dif", "reference.yuy2"));
  // Every thread gets a stack of 1 GB: within 1.5 GB of address space the writing thread
  // starts but no decoding thread does; within 0.6 GB no thread at all.
  for (rlim_t addressSpace : {rlim_t{1536} << 20, rlim_t{600} << 20}) {
    SCOPED_TRACE(addressSpace >> 20);
    ChildProcess child(kProgram,
                       ChildSetup({"--threads", "8", scratch / "clip.dif", scratch / "out.yuy2"})
                           .Limit(RLIMIT_STACK, rlim_t{1} << 30)
                           .Limit(RLIMIT_AS, addressSpace));
    ASSERT_TRUE(child.Wait(30));
    EXPECT_TRUE(child.ExitedWith(0)) << child.Status() << "\n" << child.Messages();
    EXPECT_THAT(child.Messages(), HasSubstr("Halvaris: Could not create Decode thread\n"));
    EXPECT_THAT(child.Messages(), HasSubstr("3 frames decoded"));
    EXPECT_EQ(ReadBytes(scratch / "out.yuy2"), reference);
  }
}

// The output file before the run, which an interrupted run must leave as it was.
const std::vector<std::uint8_t> kOldOutput = {'o', 'l', 'd'};

// Every signal whose default action ends a process (those that dump core too).
const int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1, SIGUSR2,
                              SIGALRM, SIGPROF, SIGVTALRM, SIGXCPU, SIGXFSZ};

TEST(Interrupts, EachSignalEndsARunWaitingOnAPipeAtOnceAndLeavesTheOldOutput) {
  ScratchFolder scratch;
  for (int signal : kEndingSignals) {
    SCOPED_TRACE(strsignal(signal));
    WriteBytes(scratch / "out.y4m", kOldOutput);
    Feed feed;
    ChildProcess child(
        kProgram,
        ChildSetup({"-q", "-", scratch / "out.y4m"}).Input(feed.ReadEnd()).Limit(RLIMIT_CORE, 0));
    feed.Send(TestFrame(2));  // one frame, then the pipe stays open
    feed.Sent();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child.Signal(signal);
    ASSERT_TRUE(child.Wait(3)) << "still running a few seconds after the signal";
    EXPECT_TRUE(child.KilledBy(signal)) << child.Status();
    EXPECT_THAT(child.Messages(), EndsWith("halvaris-decode: error: interrupted; " +
                                           scratch / "out.y4m" + " is left as it was\n"));
    EXPECT_EQ(ReadBytes(scratch / "out.y4m"), kOldOutput);
    EXPECT_THAT(scratch.Names(), ::testing::ElementsAre("out.y4m"));
  }
}

// A movie of three 720-line frames with two channels of 16-bit sound at 48 kHz.
std::vector<std::uint8_t> MovieWithSound() {
  test_support::TestTrack sound;
  sound.handler = "soun";
  sound.format = "sowt";
  sound.samples.assign(3 * 801, std::vector<std::uint8_t>{1, 0, 2, 0});
  sound.constantSize = true;
  test_support::TestTrack video;
  video.samples = {TestFrame(2), TestFrame(2, "detailed"), TestFrame(2)};
  std::vector<std::uint8_t> movie = test_support::BuildMovie({sound, video});
  // The builder writes a picture's description: channels, sample size and rate in their places.
  const std::string format = "sowt";
  const auto entry = std::search(movie.begin(), movie.end(), format.begin(), format.end()) - 4;
  entry[24] = 0, entry[25] = 2, entry[26] = 0, entry[27] = 16;
  entry[32] = 0xBB, entry[33] = 0x80, entry[34] = 0, entry[35] = 0;
  return movie;
}

// The pictures go to a pipe that stops being read while the sound is being written to its
// temporary file; the run then ends by a closed pipe (the signal, or the error when the signal is
// ignored) or by a signal. The old WAV file stays, and nothing else is left behind.
TEST(Interrupts, ARunEndedWhileTheWavIsWrittenRemovesItsTemporaryFileAndSaysSo) {
  ScratchFolder scratch;
  WriteBytes(scratch / "clip.mov", MovieWithSound());
  const int kClosedPipe = 0, kClosedPipeIgnored = -1;
  for (int ending : {kClosedPipe, kClosedPipeIgnored, SIGUSR1, SIGALRM, SIGINT}) {
    SCOPED_TRACE(ending);
    WriteBytes(scratch / "out.wav", kOldOutput);
    int pictures[2];
    ASSERT_EQ(pipe2(pictures, O_CLOEXEC), 0);
    ChildSetup setup(
        {"-q", "--format", "yuy2", "--audio", scratch / "out.wav", scratch / "clip.mov", "-"});
    setup.Output(pictures[1]);
    if (ending == kClosedPipeIgnored) setup.Ignore(SIGPIPE);
    ChildProcess child(kProgram, setup);
    close(pictures[1]);
    // The first picture bytes: the WAV file is open under its temporary name by now.
    pollfd ready{pictures[0], POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 10000), 1) << child.Messages();
    char some[4096];
    ASSERT_GT(read(pictures[0], some, sizeof some), 0);
    EXPECT_THAT(scratch.Names(), ::testing::Contains(::testing::StartsWith(".out.wav.halvaris-")));
    if (ending > 0) {
      child.Signal(ending);
    } else {
      close(pictures[0]);
    }
    ASSERT_TRUE(child.Wait(10)) << "still running after the end of its output";
    if (ending > 0) close(pictures[0]);
    if (ending == kClosedPipeIgnored) {
      EXPECT_TRUE(child.ExitedWith(1)) << child.Status();
      EXPECT_THAT(child.Messages(), HasSubstr("cannot write standard output"));
    } else {
      EXPECT_TRUE(child.KilledBy(ending == kClosedPipe ? SIGPIPE : ending)) << child.Status();
      EXPECT_THAT(child.Messages(), EndsWith("halvaris-decode: error: interrupted; " +
                                             scratch / "out.wav" + " is left as it was\n"));
    }
    EXPECT_EQ(ReadBytes(scratch / "out.wav"), kOldOutput);
    EXPECT_THAT(scratch.Names(), ::testing::ElementsAre("clip.mov", "out.wav"));
  }
}

TEST(Interrupts, AnInterruptedReportIsRemovedAndNamedWithTheOldOneLeftAsItWas) {
  ScratchFolder scratch;
  WriteBytes(scratch / "old.csv", kOldOutput);
  for (const char* output : {"", "out.y4m"}) {  // the facts only, and with the pictures
    SCOPED_TRACE(output);
    Feed feed;
    std::vector<std::string> arguments = {"-q", "--report", scratch / "old.csv", "-"};
    if (*output != '\0') arguments.push_back(scratch / output);
    ChildProcess child(kProgram, ChildSetup(arguments).Input(feed.ReadEnd()));
    feed.Send(TestFrame(2));  // one frame, then the pipe stays open
    feed.Sent();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child.Signal(SIGINT);
    ASSERT_TRUE(child.Wait(3)) << "still running a few seconds after the signal";
    EXPECT_TRUE(child.KilledBy(SIGINT)) << child.Status();
    EXPECT_THAT(child.Messages(), EndsWith("; " + scratch / "old.csv" + " is left as it was\n"));
    EXPECT_EQ(ReadBytes(scratch / "old.csv"), kOldOutput);
    EXPECT_THAT(scratch.Names(), ::testing::ElementsAre("old.csv"));
  }
}

TEST(Interrupts, ASignalWhileAFifoWaitsForAWriterEndsTheRun) {
  ScratchFolder scratch;
  ASSERT_EQ(mkfifo((scratch / "input.dif").c_str(), 0600), 0);
  ChildProcess child(kProgram, ChildSetup({"-q", scratch / "input.dif", scratch / "out.y4m"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  child.Signal(SIGTERM);
  ASSERT_TRUE(child.Wait(3)) << "still running a few seconds after the signal";
  EXPECT_TRUE(child.KilledBy(SIGTERM)) << child.Status();
  EXPECT_THAT(child.Messages(), EndsWith("halvaris-decode: error: interrupted\n"));
  EXPECT_THAT(scratch.Names(), ::testing::ElementsAre("input.dif"));
}

TEST(Interrupts, AnInterruptAsTheInputEndsAtAFrameBoundaryIsNotLost) {
  ScratchFolder scratch;
  Feed feed;
  ChildProcess child(kProgram, ChildSetup({"-q", "-", scratch / "out.yuy2"}).Input(feed.ReadEnd()));
  feed.Send(Join({TestFrame(2), TestFrame(2, "detailed")}));
  feed.Sent();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // both frames decoded by now
  child.Signal(SIGINT);
  feed.Close();  // the end of the input, right behind the interrupt
  ASSERT_TRUE(child.Wait(3));
  EXPECT_TRUE(child.KilledBy(SIGINT)) << child.Status() << "\n" << child.Messages();
  EXPECT_THAT(child.Messages(), HasSubstr("interrupted"));
  EXPECT_THAT(scratch.Names(), ::testing::IsEmpty());
}

TEST(Interrupts, AnInterruptedPictureSequenceKeepsItsCompletePicturesAndSaysHowMany) {
  ScratchFolder scratch;
  Feed feed;
  ChildProcess child(kProgram, ChildSetup({"-q", "-", scratch / "f%d.png"}).Input(feed.ReadEnd()));
  feed.Send(Join({TestFrame(2), TestFrame(2, "detailed")}));
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(scratch / "f1.png"); }));
  child.Signal(SIGINT);
  ASSERT_TRUE(child.Wait(3));
  EXPECT_TRUE(child.KilledBy(SIGINT)) << child.Status();
  EXPECT_THAT(child.Messages(),
              EndsWith("halvaris-decode: error: interrupted; 2 complete pictures were kept\n"));
  EXPECT_THAT(scratch.Names(), ::testing::ElementsAre("f0.png", "f1.png"));
  for (const char* name : {"f0.png", "f1.png"}) {
    const auto png = ReadBytes(scratch / name);
    ASSERT_GT(png.size(), 20u);
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND") << name;
  }
}

TEST(Terminals, ATerminalOnStandardInputIsRefusedLikeOneOnStandardOutput) {
  ScratchFolder scratch;
  int terminal = -1, device = -1;
  ASSERT_EQ(openpty(&terminal, &device, nullptr, nullptr, nullptr), 0);
  ChildProcess child(kProgram, ChildSetup({"-", scratch / "out.y4m"}).Input(device));
  const bool ended = child.Wait(3);
  close(device);
  close(terminal);
  ASSERT_TRUE(ended) << "waited for the terminal";
  EXPECT_TRUE(child.ExitedWith(1));
  EXPECT_THAT(child.Messages(), HasSubstr("error: standard input is a terminal"));
  EXPECT_THAT(scratch.Names(), ::testing::IsEmpty());
}

TEST(SameFile, StandardOutputAppendedToTheInputIsRefused) {
  ScratchFolder scratch;
  WriteBytes(scratch / "clip.dif", TestFrame(2));
  const int append = open((scratch / "clip.dif").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ChildProcess child(kProgram,
                     ChildSetup({"--format", "yuy2", scratch / "clip.dif", "-"}).Output(append));
  close(append);
  ASSERT_TRUE(child.Wait(10));
  EXPECT_TRUE(child.ExitedWith(1)) << child.Status();
  EXPECT_THAT(child.Messages(), HasSubstr("error: standard output is the input file itself"));
  EXPECT_EQ(ReadBytes(scratch / "clip.dif"), TestFrame(2));
}

// A movie of `frames` real frames in one chunk, described by a table of one size for all.
std::vector<std::uint8_t> MovieOf(const std::vector<std::vector<std::uint8_t>>& frames) {
  test_support::TestTrack video;
  video.samples = frames;
  video.constantSize = true;
  return test_support::BuildMovie({video});
}

void SetBig32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::size_t Find(const std::vector<std::uint8_t>& bytes, const char* text) {
  const std::string code(text);
  return static_cast<std::size_t>(
      std::search(bytes.begin(), bytes.end(), code.begin(), code.end()) - bytes.begin());
}

TEST(Memory, HostileMoviesDoNotMakeTheProgramGrow) {
  ScratchFolder scratch;
  const std::vector<std::uint8_t> frame = TestFrame(2);
  const std::vector<std::uint8_t> plain = MovieOf({frame, frame});
  WriteBytes(scratch / "plain.mov", plain);

  // A 480 KB movie whose tables claim 16,777,216 frames in its one chunk.
  std::vector<std::uint8_t> claims = plain;
  SetBig32(claims, Find(claims, "stsz") + 12, 16u << 20);
  SetBig32(claims, Find(claims, "stsc") + 16, 16u << 20);
  WriteBytes(scratch / "claims.mov", claims);

  // A sparse file whose movie atom holds 500 MB of nothing before its track.
  const std::size_t moov = Find(plain, "moov") - 4;
  const std::uint64_t hole = 500u << 20;
  {
    std::vector<std::uint8_t> head(plain.begin(),
                                   plain.begin() + static_cast<std::ptrdiff_t>(moov));
    std::vector<std::uint8_t> atoms(plain.begin() + static_cast<std::ptrdiff_t>(moov) + 8,
                                    plain.end());
    std::vector<std::uint8_t> header(16);
    SetBig32(header, 0, static_cast<std::uint32_t>(8 + 8 + hole + atoms.size()));
    std::copy_n("moov", 4, header.begin() + 4);
    SetBig32(header, 8, static_cast<std::uint32_t>(8 + hole));
    std::copy_n("free", 4, header.begin() + 12);
    std::ofstream out(scratch / "sparse.mov", std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()),
              static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(header.data()), 16);
    out.seekp(static_cast<std::streamoff>(hole), std::ios::cur);
    out.write(reinterpret_cast<const char*>(atoms.data()),
              static_cast<std::streamsize>(atoms.size()));
  }

  auto peak = [&](const std::string& movie, int expectedExit) {
    ChildProcess child(kProgram,
                       ChildSetup({"-q", "--threads", "1", scratch / movie, scratch / "out.yuy2"}));
    EXPECT_TRUE(child.Wait(60)) << movie;
    EXPECT_TRUE(child.ExitedWith(expectedExit)) << movie << ": " << child.Messages();
    return child.PeakKilobytes();
  };
  const long baseline = peak("plain.mov", 0);
  EXPECT_LT(peak("claims.mov", 1), baseline + 64 * 1024);
  EXPECT_LT(peak("sparse.mov", 0), baseline + 64 * 1024);
}

TEST(Inputs, AMovieOnStandardInputIsReadLikeAFileAndAPipeIsNamedByItsPath) {
  ScratchFolder scratch;
  const std::vector<std::uint8_t> frame = TestFrame(2);
  WriteBytes(scratch / "clip.mov", MovieOf({frame}));
  WriteBytes(scratch / "clip.dif", frame);

  const int movie = open((scratch / "clip.mov").c_str(), O_RDONLY | O_CLOEXEC);
  ChildProcess fromRedirect(
      kProgram, ChildSetup({"--format", "yuy2", "-", scratch / "movie.yuy2"}).Input(movie));
  close(movie);
  ASSERT_TRUE(fromRedirect.Wait(30));
  EXPECT_TRUE(fromRedirect.ExitedWith(0)) << fromRedirect.Messages();
  EXPECT_THAT(fromRedirect.Messages(), HasSubstr("standard input: QuickTime movie"));
  EXPECT_EQ(ReadBytes(scratch / "movie.yuy2"),
            ReadBytes(Decoded(scratch, scratch / "clip.dif", "raw.yuy2")));

  // Process substitution: /dev/fd/3 is a pipe, read as a stream and named as given.
  for (const char* name : {"clip.mov", "clip.dif"}) {
    Feed feed;
    feed.Send(ReadBytes(scratch / name));
    ChildProcess child(kProgram,
                       ChildSetup({"/dev/fd/3", scratch / "piped.yuy2"}).Pass(feed.ReadEnd(), 3));
    feed.KeepNoReadEnd();
    feed.Close();
    ASSERT_TRUE(child.Wait(30));
    EXPECT_THAT(child.Messages(), Not(HasSubstr("standard input"))) << name;
    if (std::string(name) == "clip.mov") {
      EXPECT_TRUE(child.ExitedWith(1));
      EXPECT_THAT(child.Messages(),
                  HasSubstr("error: /dev/fd/3 is a QuickTime movie, which can only be "
                            "read from a file"));
    } else {
      EXPECT_TRUE(child.ExitedWith(0)) << child.Messages();
      EXPECT_THAT(child.Messages(), HasSubstr("/dev/fd/3: raw DIF stream"));
    }
  }
}

TEST(Inputs, ASegmentOfAStreamIsRefusedBeforeAnythingIsWritten) {
  ScratchFolder scratch;
  Feed feed;
  ChildProcess child(
      kProgram, ChildSetup({"--segment", "1", "-", scratch / "out.yuy2"}).Input(feed.ReadEnd()));
  feed.KeepNoReadEnd();
  feed.Send(TestFrame(2));
  feed.Close();
  ASSERT_TRUE(child.Wait(30));
  EXPECT_TRUE(child.ExitedWith(1)) << child.Status();
  EXPECT_THAT(child.Messages(),
              HasSubstr("error: --segment reads the input twice (first to find where the segment "
                        "is), but standard input is a stream, read once"));
  EXPECT_THAT(scratch.Names(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace halvaris::decode_tool
