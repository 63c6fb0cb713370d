#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "picture_writers.h"

namespace halvaris::decode_tool {

// Writes pictures on a thread of its own, so that the next frame decodes while the last one is
// converted and written (writing a 1080-line picture costs about as much as decoding it).
// Pictures reach the writer in the order they were submitted. The writer is used only by that
// thread until Finish() returns; an error it throws comes back from NextPicture() or Finish().
// When no thread can be started, Submit() writes each picture itself.
class BackgroundWriter {
 public:
  BackgroundWriter(PictureWriter& writer, std::size_t pictureBytes, int pictures = 3);
  // Without Finish(), pictures not yet written are dropped; the writer then removes its output.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // A buffer for the next picture; waits while every buffer is queued for writing.
  std::uint8_t* NextPicture();

  // Queues the buffer from the last NextPicture() for writing.
  void Submit(std::int64_t frameNumber);

  // Waits until every queued picture is written and completes the writer.
  void Finish();

  // Waits until every queued picture is written (or the writer has failed), without completing
  // the writer: when the run fails, pictures decoded before the failure still reach a writer
  // that keeps them (a picture sequence). Throws nothing.
  void WriteQueuedPictures();

 private:
  struct Slot {
    std::vector<std::uint8_t> picture;
    std::int64_t frameNumber = 0;
  };
  void WriteQueued();
  void Stop(bool dropQueued);

  PictureWriter& writer_;
  std::vector<Slot> slots_;
  std::deque<std::size_t> free_;
  std::deque<std::size_t> queued_;
  std::size_t current_ = 0;
  bool stopping_ = false;
  bool writesInline_ = false;
  bool writing_ = false;  // the thread is writing a picture taken from the queue
  std::exception_ptr error_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace halvaris::decode_tool
