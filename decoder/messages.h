#pragma once

#include <mutex>

namespace halvaris {

// Where a decoder tells the user about resource failures (out of memory, a worker that could not
// be started): the callback of the decoder's settings. The filter shows a message box, the
// command-line tools print, tests record. Workers may report at the same time; the callback
// hears them one at a time.
class MessageSink {
 public:
  using Callback = void (*)(void* userData, const char* text, const char* caption);

  MessageSink() = default;
  MessageSink(Callback callback, void* userData) : callback_(callback), userData_(userData) {}
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;

  void Report(const char* text, const char* caption) const {
    if (callback_ == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    callback_(userData_, text, caption);
  }

 private:
  Callback callback_ = nullptr;
  void* userData_ = nullptr;
  mutable std::mutex mutex_;
};

}  // namespace halvaris
