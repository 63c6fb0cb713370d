#include "frame_pipeline.h"

#include <string>
#include <system_error>

#include "tool_error.h"

namespace halvaris::decode_tool {

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
    HalvarisDecoder* decoder = nullptr;
    const int result = halvaris_decoder_create(&settings, &decoder);
    if (result != HALVARIS_OK) {
      for (HalvarisDecoder* made : decoders_) halvaris_decoder_destroy(made);
      throw ToolError(std::string("cannot start the decoder: ") + halvaris_result_text(result));
    }
    decoders_.push_back(decoder);
  }
  // Every decoder busy, one picture being written and one waiting for the writer.
  slots_.resize(decoders_.size() + 2);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    slots_[i].picture.resize(geometry_.pictureBytes);
    free_.push_back(i);
  }
  try {
    for (HalvarisDecoder* decoder : decoders_) {
      threads_.emplace_back(&FramePipeline::DecodeQueued, this, decoder);
    }
    threads_.emplace_back(&FramePipeline::WriteDecoded, this);
  } catch (const std::system_error&) {
    Stop();
    for (HalvarisDecoder* decoder : decoders_) halvaris_decoder_destroy(decoder);
    throw ToolError("cannot start the decoding threads");
  }
}

FramePipeline::~FramePipeline() {
  Stop();
  for (HalvarisDecoder* decoder : decoders_) halvaris_decoder_destroy(decoder);
}

bool FramePipeline::Writable(int decoderResult) {
  return decoderResult == HALVARIS_OK || decoderResult == HALVARIS_ERROR_INCOMPLETE;
}

void FramePipeline::Decode(std::vector<std::uint8_t>& frame, std::int64_t frameNumber) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty() || error_; });
  if (error_) std::rethrow_exception(error_);
  const std::size_t index = free_.front();
  free_.pop_front();
  Slot& slot = slots_[index];
  slot.frame.swap(frame);
  frame.clear();
  slot.frameNumber = frameNumber;
  slot.state = State::Queued;
  toDecode_.push_back(index);
  toWrite_.push_back(index);
  changed_.notify_all();
}

void FramePipeline::Finish() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return toWrite_.empty() || error_; });
  }
  Stop();
  if (error_) std::rethrow_exception(error_);
  writer_.Finish();
}

void FramePipeline::DecodeQueued(HalvarisDecoder* decoder) {
  const std::ptrdiff_t pitch = 2 * geometry_.width;
  for (;;) {
    Slot* slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !toDecode_.empty(); });
      if (stopping_) return;
      slot = &slots_[toDecode_.front()];
      toDecode_.pop_front();
      slot->state = State::Decoding;
    }
    const int result = decode_(decoder, system_, slot->frame.data(), slot->frame.size(),
                               slot->picture.data(), pitch, slot->picture.size());
    std::lock_guard<std::mutex> lock(mutex_);
    slot->result = result;
    slot->state = State::Decoded;
    changed_.notify_all();
  }
}

void FramePipeline::WriteDecoded() {
  for (;;) {
    std::size_t index;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] {
        return stopping_ || (!toWrite_.empty() && slots_[toWrite_.front()].state == State::Decoded);
      });
      if (stopping_) return;
      index = toWrite_.front();
    }
    Slot& slot = slots_[index];
    if (!Writable(slot.result)) {
      std::lock_guard<std::mutex> lock(mutex_);
      Fail(std::make_exception_ptr(ToolError("the decoder refused frame " +
                                             std::to_string(slot.frameNumber) + ": " +
                                             halvaris_result_text(slot.result))));
      return;
    }
    try {
      writer_.Write(slot.picture.data(), slot.frameNumber);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      Fail(std::current_exception());
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    toWrite_.pop_front();
    slot.state = State::Free;
    free_.push_back(index);
    changed_.notify_all();
  }
}

void FramePipeline::Fail(std::exception_ptr error) {
  error_ = error;
  stopping_ = true;  // nothing after the failed frame is decoded or written
  toDecode_.clear();
  toWrite_.clear();
  changed_.notify_all();
}

void FramePipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

}  // namespace halvaris::decode_tool
