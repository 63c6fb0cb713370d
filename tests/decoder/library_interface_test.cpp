// The public C interface as a caller sees it: pictures at any pitch, argument checks, detection
// and the messages that reach the caller's callback.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "halvaris/halvaris.h"
#include "test_frames.h"
#include "test_hooks.h"

// The decoder allocates its per-worker buffers with new (std::nothrow); this test program can make
// those allocations fail.
std::atomic<bool> failNothrowArrays{false};

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failNothrowArrays) return nullptr;
  try {
    return ::operator new[](size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace halvaris {
namespace {

struct Decoder {
  explicit Decoder(int workers, int mode = HALVARIS_THREADS_POOL,
                   HalvarisMessageCallback callback = nullptr, void* userData = nullptr) {
    HalvarisSettings settings;
    halvaris_default_settings(&settings);
    settings.workerCount = workers;
    settings.threadingMode = mode;
    settings.messageCallback = callback;
    settings.messageUserData = userData;
    EXPECT_EQ(halvaris_decoder_create(&settings, &handle), HALVARIS_OK);
  }
  ~Decoder() { halvaris_decoder_destroy(handle); }
  HalvarisDecoder* handle = nullptr;
};

TEST(LibraryInterface, PaddedLinesHoldTheSamePictureAndThePaddingIsLeftAlone) {
  for (int system : {1, 2, 3, 4}) {
    SCOPED_TRACE(system);
    const std::vector<std::uint8_t> frame = testing::ReadTestFrame(system, "detailed");
    const std::vector<std::uint8_t> reference = testing::DecodePicture(frame, system);
    ASSERT_FALSE(reference.empty());
    HalvarisSystemInfo info;
    ASSERT_EQ(halvaris_system_info(system, &info), HALVARIS_OK);
    const std::size_t line = 2 * static_cast<std::size_t>(info.width);
    const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(line) + 70;  // odd padding
    const std::size_t bytes = static_cast<std::size_t>(pitch) * (info.height - 1) + line;
    std::vector<std::uint8_t> picture(bytes, 0x5C);
    Decoder decoder(3);
    ASSERT_EQ(halvaris_decode_frame(decoder.handle, system, frame.data(), frame.size(),
                                    picture.data(), pitch, picture.size()),
              HALVARIS_OK);
    for (int y = 0; y < info.height; ++y) {
      const auto* row = picture.data() + static_cast<std::size_t>(y) * pitch;
      ASSERT_TRUE(std::equal(row, row + line, reference.begin() + y * line)) << "line " << y;
      if (y + 1 < info.height) {
        ASSERT_TRUE(std::all_of(row + line, row + pitch, [](std::uint8_t b) { return b == 0x5C; }));
      }
    }
  }
}

TEST(LibraryInterface, MisuseIsAnsweredWithResultsNotCrashes) {
  HalvarisDecoder* decoder = nullptr;
  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  settings.workerCount = 9;
  EXPECT_EQ(halvaris_decoder_create(&settings, &decoder), HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(decoder, nullptr);
  settings.workerCount = 0;
  settings.threadingMode = 7;
  EXPECT_EQ(halvaris_decoder_create(&settings, &decoder), HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_decoder_create(nullptr, nullptr), HALVARIS_ERROR_INVALID_ARGUMENT);

  Decoder defaults(0);
  EXPECT_EQ(halvaris_decoder_worker_count(defaults.handle), halvaris_default_worker_count());
  std::vector<std::uint8_t> picture(1280 * 2 * 1080);
  const std::uint8_t frame[80] = {};
  EXPECT_EQ(halvaris_decode_frame(nullptr, 1, frame, 80, picture.data(), 2560, picture.size()),
            HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(
      halvaris_decode_frame(defaults.handle, 0, frame, 80, picture.data(), 2560, picture.size()),
      HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(
      halvaris_decode_frame(defaults.handle, 1, nullptr, 80, picture.data(), 2560, picture.size()),
      HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_decode_frame(defaults.handle, 1, frame, 80, picture.data(), 2560,
                                  picture.size() - 1),
            HALVARIS_ERROR_PICTURE_TOO_SMALL);
  EXPECT_EQ(
      halvaris_decode_frame(defaults.handle, 3, frame, 80, picture.data(), 2560, picture.size()),
      HALVARIS_ERROR_PICTURE_TOO_SMALL);  // 1440 pixels do not fit in 2560 bytes
  EXPECT_STRNE(halvaris_result_text(HALVARIS_ERROR_PICTURE_TOO_SMALL),
               halvaris_result_text(HALVARIS_ERROR_INCOMPLETE));
  // A bottom-up picture (the last line first, a negative pitch) is not a size problem.
  EXPECT_EQ(halvaris_decode_frame(defaults.handle, 1, frame, 80,
                                  picture.data() + picture.size() - 2560, -2560, picture.size()),
            HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_STRNE(halvaris_result_text(HALVARIS_ERROR_BUSY), halvaris_result_text(12345));
}

TEST(LibraryInterface, DetectionReadsTheSystemAndFieldOrderOfEveryTestFrame) {
  for (int system : {1, 2, 3, 4}) {
    const std::vector<std::uint8_t> frame = testing::ReadTestFrame(system);
    HalvarisFrameFacts facts;
    EXPECT_EQ(halvaris_detect_system(frame.data(), frame.size(), &facts), system);
    EXPECT_EQ(facts.difHeader, 1);
    EXPECT_EQ(halvaris_detect_system(frame.data(), HALVARIS_DETECT_BYTES, nullptr), system);
    EXPECT_EQ(halvaris_system_of_frame_size(frame.size()), system);
  }
  // The header block alone says it is DIF but not which DVCPRO HD system.
  const std::vector<std::uint8_t> frame = testing::ReadTestFrame(1);
  HalvarisFrameFacts facts;
  EXPECT_EQ(halvaris_detect_system(frame.data(), 80, &facts), 0);
  EXPECT_EQ(facts.difHeader, 1);
  EXPECT_EQ(halvaris_detect_system(frame.data() + 1, 600, &facts), 0);
  EXPECT_EQ(facts.difHeader, 0);
  EXPECT_EQ(halvaris_system_of_frame_size(144000), 0);  // DV at 25 Mb/s
}

TEST(LibraryInterface, FailuresReachTheCallerThroughTheCallbackAndTheResult) {
  std::vector<std::string> heard;
  const HalvarisMessageCallback record = [](void* userData, const char* text, const char* caption) {
    static_cast<std::vector<std::string>*>(userData)->push_back(std::string(caption) + ": " + text);
  };
  const std::vector<std::uint8_t> frame = testing::ReadTestFrame(2);
  const std::vector<std::uint8_t> reference = testing::DecodePicture(frame, 2);
  std::vector<std::uint8_t> picture(960 * 2 * 720);

  // A thread that cannot be started is told, and its share decoded all the same.
  Decoder decoder(2, HALVARIS_THREADS_PER_WAVE, record, &heard);
  test_hooks::FailThreadStarts(0);
  EXPECT_EQ(halvaris_decode_frame(decoder.handle, 2, frame.data(), frame.size(), picture.data(),
                                  1920, picture.size()),
            HALVARIS_OK);
  test_hooks::FailThreadStarts(-1);
  EXPECT_EQ(heard, std::vector<std::string>{"Halvaris: Could not create Decode thread"});
  EXPECT_EQ(picture, reference);

  // Buffers that cannot be allocated leave segments undecoded, and the result says so.
  heard.clear();
  Decoder starved(2, HALVARIS_THREADS_POOL, record, &heard);
  failNothrowArrays = true;
  const int result = halvaris_decode_frame(starved.handle, 2, frame.data(), frame.size(),
                                           picture.data(), 1920, picture.size());
  failNothrowArrays = false;
  EXPECT_EQ(result, HALVARIS_ERROR_INCOMPLETE);
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard[0], "Halvaris: Could not allocate Halvaris DCT buffers");
  EXPECT_EQ(halvaris_decode_frame(starved.handle, 2, frame.data(), frame.size(), picture.data(),
                                  1920, picture.size()),
            HALVARIS_OK);
  EXPECT_EQ(picture, reference);
}

// Runs `body` on a thread of its own; a body still running after 30 seconds (a decoder that
// hangs) ends the test program rather than leaving it waiting forever.
template <typename Body>
void WithinTimeLimit(Body body) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  std::thread runner([&] {
    body();
    done.set_value();
  });
  if (finished.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fputs("the decoder hangs: the test did not finish in 30 seconds\n", stderr);
    std::fflush(stderr);
    std::_Exit(1);
  }
  runner.join();
}

// A decode held inside its message callback (a pool thread that cannot be started is told on the
// calling thread, before any picture byte is written), while the callback and another thread try
// the same decoder.
struct HeldDecode {
  HalvarisDecoder* decoder = nullptr;
  std::vector<std::uint8_t> frame;
  int fromCallback = 1;
  int fromOtherThread = 1;
  int callbacks = 0;

  int Decode(std::vector<std::uint8_t>& picture) const {
    picture.assign(960 * 2 * 720, 0);
    return halvaris_decode_frame(decoder, 2, frame.data(), frame.size(), picture.data(), 1920,
                                 picture.size());
  }
};

TEST(LibraryInterface, OneDecoderDecodesOneFrameAtATimeAndRefusesEveryOtherCallerAsBusy) {
  WithinTimeLimit([] {
    HeldDecode held;
    held.frame = testing::ReadTestFrame(2, "detailed");
    const std::vector<std::uint8_t> reference = testing::DecodePicture(held.frame, 2);
    const HalvarisMessageCallback tryAgain = [](void* userData, const char*, const char*) {
      HeldDecode& tried = *static_cast<HeldDecode*>(userData);
      ++tried.callbacks;
      std::vector<std::uint8_t> other;
      tried.fromCallback = tried.Decode(other);
      tried.fromOtherThread = std::async(std::launch::async, [&tried] {
                               std::vector<std::uint8_t> picture;
                               return tried.Decode(picture);
                             }).get();
    };
    for (int mode : {HALVARIS_THREADS_POOL, HALVARIS_THREADS_PER_WAVE}) {
      SCOPED_TRACE(mode);
      Decoder decoder(4, mode, tryAgain, &held);
      held.decoder = decoder.handle;
      held.callbacks = 0;
      std::vector<std::uint8_t> picture;
      test_hooks::FailThreadStarts(0);
      EXPECT_EQ(held.Decode(picture), HALVARIS_OK);
      test_hooks::FailThreadStarts(-1);
      EXPECT_EQ(held.callbacks, 1);
      EXPECT_EQ(held.fromCallback, HALVARIS_ERROR_BUSY);
      EXPECT_EQ(held.fromOtherThread, HALVARIS_ERROR_BUSY);
      EXPECT_EQ(picture, reference);
      // The refusals leave the decoder as it was for the next frame.
      EXPECT_EQ(held.Decode(picture), HALVARIS_OK);
      EXPECT_EQ(picture, reference);
    }
  });
}

// A callback that destroys its decoder, on the calling thread (a thread that cannot be started)
// or on a worker (buffers that cannot be allocated): the decode ends normally and frees the
// decoder as it returns (the sanitizer builds see a use after free or a leak otherwise).
TEST(LibraryInterface, DecoderDestroyedFromItsOwnCallbackIsFreedAsTheDecodeReturns) {
  WithinTimeLimit([] {
    const std::vector<std::uint8_t> frame = testing::ReadTestFrame(2);
    const HalvarisMessageCallback destroy = [](void* userData, const char*, const char*) {
      halvaris_decoder_destroy(*static_cast<HalvarisDecoder**>(userData));
    };
    std::vector<std::uint8_t> picture(960 * 2 * 720);
    for (bool onWorker : {false, true}) {
      SCOPED_TRACE(onWorker);
      HalvarisDecoder* decoder = nullptr;
      HalvarisSettings settings;
      halvaris_default_settings(&settings);
      settings.workerCount = 3;
      settings.messageCallback = destroy;
      settings.messageUserData = &decoder;
      ASSERT_EQ(halvaris_decoder_create(&settings, &decoder), HALVARIS_OK);
      if (onWorker) {
        failNothrowArrays = true;  // every worker, the pool threads included, tells its failure
      } else {
        test_hooks::FailThreadStarts(0);
      }
      const int result = halvaris_decode_frame(decoder, 2, frame.data(), frame.size(),
                                               picture.data(), 1920, picture.size());
      failNothrowArrays = false;
      test_hooks::FailThreadStarts(-1);
      EXPECT_EQ(result, onWorker ? HALVARIS_ERROR_INCOMPLETE : HALVARIS_OK);
    }
  });
}

}  // namespace
}  // namespace halvaris
