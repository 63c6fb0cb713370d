#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "halvaris/halvaris.hpp"
#include "media_names.h"
#include "picture_writers.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

// Frames in flight: several frames decode at the same time, each on a decoder of its own with a
// single worker, so the workers never wait for one another inside a frame and two cores decode
// nearly twice as many frames as one. The caller's thread only reads frames; one more thread hands
// the pictures to the writer in input order. A frame's picture is written only when its decoder
// says the whole picture was decoded; a frame that was not stops the pipeline before anything
// after it is written. When the threads cannot be started (a memory or thread limit), the decoders'
// callback hears "Could not create Decode thread" once and every frame is decoded and written on
// the caller's thread instead.
class FramePipeline {
 public:
  // How a frame is decoded: halvaris_decode_frame, or a stand-in in tests.
  using DecodeCall = int (*)(HalvarisDecoder* decoder, int system, const std::uint8_t* frame,
                             std::size_t frameBytes, std::uint8_t* picture, std::ptrdiff_t pitch,
                             std::size_t pictureBytes);

  // halvaris_decode_frame_counting, or a decode that does more (paints the damage) and counts.
  using CountingDecodeCall = int (*)(HalvarisDecoder* decoder, int system,
                                     const std::uint8_t* frame, std::size_t frameBytes,
                                     std::uint8_t* picture, std::ptrdiff_t pitch,
                                     std::size_t pictureBytes, std::uint32_t* unfinishedBlocks);
  // Hears of every picture written, in input order, on the thread that writes it: the frame's
  // number, its compressed bytes and the blocks its decode left short of an end of block.
  using FrameWritten =
      std::function<void(std::int64_t frameNumber, const std::vector<std::uint8_t>& frame,
                         std::uint32_t unfinishedBlocks)>;

  // Starts `decoders` (1..8; 0 for one per processor) decoding threads and the writing thread. The
  // decoders tell what the user should hear through `messageCallback`, from their own threads.
  // Throws ToolError when a decoder cannot be made.
  FramePipeline(PictureWriter& writer, VideoSystem system, int decoders,
                HalvarisMessageCallback messageCallback, void* messageUserData,
                DecodeCall decode = halvaris_decode_frame);
  // Without Finish(), frames not yet written are dropped; the writer then removes its output.
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // From now on decodes with `decode` and tells `written` of each frame written; called before
  // the first Decode().
  void CountUnfinishedBlocks(CountingDecodeCall decode, FrameWritten written);

  // Queues `frame` as frame `frameNumber` of the input, taking its bytes; `frame` comes back as a
  // buffer of the pipeline's to read the next frame into, still holding an earlier frame's bytes
  // (a frame source resizes it to what it reads, so a buffer of the right size is neither cleared
  // nor filled with zeros first). Waits while every slot is busy.
  // Throws what stopped the pipeline: the writer's error, or a ToolError naming a refused frame.
  void Decode(std::vector<std::uint8_t>& frame, std::int64_t frameNumber);

  // Waits until every queued frame is written, then completes the writer; throws as Decode.
  void Finish();

  // Waits until the frames queued so far are decoded and written, or the pipeline has failed,
  // without completing the writer: when the run fails for another reason, the pictures before
  // the failure still reach a writer that keeps them (a picture sequence). Throws nothing.
  void WriteDecodedPictures();

  // The error of a frame whose decoder result is not HALVARIS_OK.
  static ToolError FrameFailure(std::int64_t frameNumber, int decoderResult);

 private:
  enum class State { Free, Queued, Decoding, Decoded };
  struct FreeMemory {
    void operator()(std::uint8_t* memory) const;
  };
  // Not cleared when made: the decoder writes every byte of a picture it reports whole, and only
  // those are written out. Its pages are first touched by a decoding thread, in parallel, instead
  // of all by the caller's thread before the first frame.
  using Picture = std::unique_ptr<std::uint8_t[], FreeMemory>;
  static Picture MakePicture(std::size_t bytes);
  struct Slot {
    std::vector<std::uint8_t> frame;
    Picture picture;
    std::int64_t frameNumber = 0;
    int result = HALVARIS_OK;
    std::uint32_t unfinishedBlocks = 0;
    State state = State::Free;
  };

  void StartThreads(HalvarisMessageCallback messageCallback, void* messageUserData);
  int DecodeSlot(HalvarisDecoder* decoder, Slot& slot, const std::vector<std::uint8_t>& frame);
  void DecodeQueued(HalvarisDecoder* decoder);
  void WriteDecoded();
  void Fail(std::exception_ptr error);  // with the mutex held
  void NotifyEveryone();
  void Stop();

  PictureWriter& writer_;
  const VideoSystem system_;
  const DecodeCall decode_;
  CountingDecodeCall countingDecode_ = nullptr;
  FrameWritten written_;
  const HalvarisSystemInfo& geometry_;
  std::vector<UniqueDecoder> decoders_;
  std::vector<Slot> slots_;
  std::deque<std::size_t> free_;
  std::deque<std::size_t> toDecode_;  // in input order
  std::deque<std::size_t> toWrite_;   // in input order, decoded or not
  bool stopping_ = false;
  bool inline_ = false;  // no threads: Decode() decodes and writes each frame itself
  std::exception_ptr error_;
  std::mutex mutex_;
  // Each kind of thread waits on its own condition, so that a change wakes only the thread that
  // can act on it: a queued frame one decoder, the first picture in order the writer, a freed
  // slot the caller's thread. Stopping and failing wake everyone.
  std::condition_variable frameQueued_;
  std::condition_variable firstDecoded_;
  std::condition_variable slotFreed_;
  std::vector<std::thread> threads_;
};

}  // namespace halvaris::decode_tool
