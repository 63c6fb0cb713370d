#include "frame_pipeline.h"

#include <cstdlib>
#include <new>
#include <string>
#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "tool_error.h"

namespace halvaris::decode_tool {

void FramePipeline::FreeMemory::operator()(std::uint8_t* memory) const {
  std::free(memory);
}

// On Linux in 2 MiB pages where the system gives them: a macroblock writes 16 picture lines, each
// on a page of its own with 4 KiB pages, so a segment slot's 80 lines took more address
// translations than the first-level table holds, and each fresh 4 KiB page a fault of its own.
// halvaris-decode was 5 to 7% faster with them.
FramePipeline::Picture FramePipeline::MakePicture(std::size_t bytes) {
#if defined(__linux__)
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, rounded);
  if (memory != nullptr) madvise(memory, rounded, MADV_HUGEPAGE);  // a wish; fine if refused
#else
  void* memory = std::malloc(bytes);
#endif
  if (memory == nullptr) throw std::bad_alloc();
  return Picture(static_cast<std::uint8_t*>(memory));
}

FramePipeline::FramePipeline(PictureWriter& writer, VideoSystem system, int decoders,
                             HalvarisMessageCallback messageCallback, void* messageUserData,
                             DecodeCall decode)
    : writer_(writer), system_(system), decode_(decode), geometry_(GeometryOf(system)) {
  const int wanted = decoders > 0 ? decoders : halvaris_default_worker_count();
  const int count = wanted > HALVARIS_MAX_WORKERS ? HALVARIS_MAX_WORKERS : wanted;
  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  settings.workerCount = 1;
  settings.messageCallback = messageCallback;
  settings.messageUserData = messageUserData;
  for (int i = 0; i < count; ++i) {
    UniqueDecoder decoder;
    const int result = CreateDecoder(&settings, decoder);
    if (result != HALVARIS_OK)
      throw ToolError(std::string("cannot start the decoder: ") + halvaris_result_text(result));
    decoders_.push_back(std::move(decoder));
  }
  // Every decoder busy, one picture being written and one waiting for the writer.
  slots_.resize(decoders_.size() + 2);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    slots_[i].picture = MakePicture(geometry_.pictureBytes);
    free_.push_back(i);
  }
  StartThreads(messageCallback, messageUserData);
}

void FramePipeline::StartThreads(HalvarisMessageCallback messageCallback, void* messageUserData) {
  // Room first: growing the vector cannot then throw once a thread runs, which would leave a
  // running thread for the destructor of a half-made pipeline.
  threads_.reserve(decoders_.size() + 1);
  try {
    for (const UniqueDecoder& decoder : decoders_) {
      threads_.emplace_back(&FramePipeline::DecodeQueued, this, decoder.get());
    }
    threads_.emplace_back(&FramePipeline::WriteDecoded, this);
  } catch (const std::system_error&) {  // no thread to be had, or no memory for one
    Stop();
    threads_.clear();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = false;
      inline_ = true;
    }
    if (messageCallback)
      messageCallback(messageUserData, "Could not create Decode thread", "Halvaris");
  }
}

FramePipeline::~FramePipeline() {
  Stop();
}

ToolError FramePipeline::FrameFailure(std::int64_t frameNumber, int decoderResult) {
  return ToolError(
      "frame " + std::to_string(frameNumber) +
      " could not be decoded: " + halvaris_result_text(decoderResult) +
      (decoderResult == HALVARIS_ERROR_INCOMPLETE ? " (see the decoder's message above)" : ""));
}

void FramePipeline::CountUnfinishedBlocks(CountingDecodeCall decode, FrameWritten written) {
  countingDecode_ = decode;
  written_ = std::move(written);
}

int FramePipeline::DecodeSlot(HalvarisDecoder* decoder, Slot& slot,
                              const std::vector<std::uint8_t>& frame) {
  const std::ptrdiff_t pitch = 2 * geometry_.width;
  if (countingDecode_ != nullptr) {
    return countingDecode_(decoder, system_, frame.data(), frame.size(), slot.picture.get(), pitch,
                           geometry_.pictureBytes, &slot.unfinishedBlocks);
  }
  return decode_(decoder, system_, frame.data(), frame.size(), slot.picture.get(), pitch,
                 geometry_.pictureBytes);
}

void FramePipeline::Decode(std::vector<std::uint8_t>& frame, std::int64_t frameNumber) {
  if (inline_) {
    Slot& slot = slots_.front();
    const int result = DecodeSlot(decoders_.front().get(), slot, frame);
    // A picture that was not wholly decoded is never written.
    if (result != HALVARIS_OK) throw FrameFailure(frameNumber, result);
    writer_.Write(slot.picture.get(), frameNumber);
    if (written_) written_(frameNumber, frame, slot.unfinishedBlocks);
    return;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    slotFreed_.wait(lock, [this] { return !free_.empty() || error_; });
    if (error_) std::rethrow_exception(error_);
    const std::size_t index = free_.front();
    free_.pop_front();
    Slot& slot = slots_[index];
    slot.frame.swap(frame);
    slot.frameNumber = frameNumber;
    slot.state = State::Queued;
    toDecode_.push_back(index);
    toWrite_.push_back(index);
  }
  frameQueued_.notify_one();
}

void FramePipeline::Finish() {
  if (inline_) {
    writer_.Finish();
    return;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    slotFreed_.wait(lock, [this] { return toWrite_.empty() || error_; });
  }
  Stop();
  if (error_) std::rethrow_exception(error_);
  writer_.Finish();
}

void FramePipeline::WriteDecodedPictures() {
  if (inline_) return;
  std::unique_lock<std::mutex> lock(mutex_);
  slotFreed_.wait(lock, [this] { return toWrite_.empty() || error_ || stopping_; });
}

void FramePipeline::DecodeQueued(HalvarisDecoder* decoder) {
  for (;;) {
    Slot* slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      frameQueued_.wait(lock, [this] { return stopping_ || !toDecode_.empty(); });
      if (stopping_) return;
      slot = &slots_[toDecode_.front()];
      toDecode_.pop_front();
      slot->state = State::Decoding;
    }
    const int result = DecodeSlot(decoder, *slot, slot->frame);
    bool first;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->result = result;
      slot->state = State::Decoded;
      // The writer waits for the first picture in input order only.
      first = !toWrite_.empty() && &slots_[toWrite_.front()] == slot;
    }
    if (first) firstDecoded_.notify_one();
  }
}

void FramePipeline::WriteDecoded() {
  for (;;) {
    std::size_t index;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      firstDecoded_.wait(lock, [this] {
        return stopping_ || (!toWrite_.empty() && slots_[toWrite_.front()].state == State::Decoded);
      });
      if (stopping_) return;
      index = toWrite_.front();
    }
    Slot& slot = slots_[index];
    if (slot.result != HALVARIS_OK) {  // a picture not wholly decoded is never written
      std::lock_guard<std::mutex> lock(mutex_);
      Fail(std::make_exception_ptr(FrameFailure(slot.frameNumber, slot.result)));
      return;
    }
    try {
      writer_.Write(slot.picture.get(), slot.frameNumber);
      if (written_) written_(slot.frameNumber, slot.frame, slot.unfinishedBlocks);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      Fail(std::current_exception());
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      toWrite_.pop_front();
      slot.state = State::Free;
      free_.push_back(index);
    }
    slotFreed_.notify_one();
  }
}

void FramePipeline::Fail(std::exception_ptr error) {
  error_ = error;
  stopping_ = true;  // nothing after the failed frame is decoded or written
  toDecode_.clear();
  toWrite_.clear();
  NotifyEveryone();
}

void FramePipeline::NotifyEveryone() {
  frameQueued_.notify_all();
  firstDecoded_.notify_all();
  slotFreed_.notify_all();
}

void FramePipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    NotifyEveryone();
  }
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

}  // namespace halvaris::decode_tool
