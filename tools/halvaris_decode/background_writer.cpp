#include "background_writer.h"

#include <system_error>

namespace halvaris::decode_tool {

BackgroundWriter::BackgroundWriter(PictureWriter& writer, std::size_t pictureBytes, int pictures)
    : writer_(writer), slots_(static_cast<std::size_t>(pictures)) {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    slots_[i].picture.resize(pictureBytes);
    free_.push_back(i);
  }
  try {
    thread_ = std::thread(&BackgroundWriter::WriteQueued, this);
  } catch (const std::system_error&) {
    // No thread to be had (a memory limit, a thread limit): pictures are written as they come.
    writesInline_ = true;
  }
}

BackgroundWriter::~BackgroundWriter() {
  Stop(true);
}

std::uint8_t* BackgroundWriter::NextPicture() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty() || error_; });
  if (error_) std::rethrow_exception(error_);
  current_ = free_.front();
  free_.pop_front();
  return slots_[current_].picture.data();
}

void BackgroundWriter::Submit(std::int64_t frameNumber) {
  if (writesInline_) {
    writer_.Write(slots_[current_].picture.data(), frameNumber);
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(current_);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[current_].frameNumber = frameNumber;
  queued_.push_back(current_);
  changed_.notify_all();
}

void BackgroundWriter::Finish() {
  Stop(false);
  if (error_) std::rethrow_exception(error_);
  writer_.Finish();
}

void BackgroundWriter::WriteQueuedPictures() {
  if (writesInline_ || !thread_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return (queued_.empty() && !writing_) || error_ || stopping_; });
}

void BackgroundWriter::Stop(bool dropQueued) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    if (dropQueued) queued_.clear();
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void BackgroundWriter::WriteQueued() {
  for (;;) {
    std::size_t slot = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queued_.empty() || stopping_; });
      if (queued_.empty()) return;
      slot = queued_.front();
      queued_.pop_front();
      writing_ = true;
    }
    try {
      writer_.Write(slots_[slot].picture.data(), slots_[slot].frameNumber);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      writing_ = false;
      error_ = std::current_exception();
      queued_.clear();
      changed_.notify_all();
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    writing_ = false;
    free_.push_back(slot);
    changed_.notify_all();
  }
}

}  // namespace halvaris::decode_tool
