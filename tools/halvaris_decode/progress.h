#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace halvaris::decode_tool {

// Tells the user how a run goes. On a terminal a line that rewrites itself (frames done, frames
// per second, time left) a few times a second; elsewhere (a log, a pipe) nothing until the one
// summary line at the end. Quiet prints nothing at all.
class Progress {
 public:
  // `done` says what became of the frames in the last line ("decoded", "read").
  Progress(std::FILE* stream, bool quiet, bool terminal, std::int64_t totalFrames,
           const char* done = "decoded");

  void FrameDone();

  // Ends the progress line and prints "N frames decoded in S s (F frames/s)".
  void Finish();

  // Clears the progress line so that a warning or error starts on a line of its own.
  void ClearLine();

  std::int64_t FramesDone() const { return done_; }

 private:
  using Clock = std::chrono::steady_clock;
  double SecondsSinceStart() const;

  std::FILE* stream_;
  bool quiet_;
  const char* doneWord_;
  bool terminal_;
  std::int64_t total_;
  std::int64_t done_ = 0;
  Clock::time_point start_;
  Clock::time_point lastShown_;
  bool lineShown_ = false;
  std::size_t shownWidth_ = 0;
};

// "1:05" or "1:02:03".
std::string FormatDuration(double seconds);

// True when `stream` is a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace halvaris::decode_tool
