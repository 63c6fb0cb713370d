#include "progress.h"

#include <algorithm>
#include <cmath>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace halvaris::decode_tool {

Progress::Progress(std::FILE* stream, bool quiet, bool terminal, std::int64_t totalFrames,
                   const char* done)
    : stream_(stream),
      quiet_(quiet),
      doneWord_(done),
      terminal_(terminal),
      total_(totalFrames),
      start_(Clock::now()),
      lastShown_(start_ - std::chrono::seconds(1)) {}  // the first frame is shown at once

double Progress::SecondsSinceStart() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

void Progress::FrameDone() {
  ++done_;
  if (quiet_ || !terminal_) return;
  const Clock::time_point now = Clock::now();
  if (now - lastShown_ < std::chrono::milliseconds(250) && done_ != total_) return;
  lastShown_ = now;
  const double seconds = SecondsSinceStart();
  const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
  std::string line = "frame " + std::to_string(done_);
  if (total_ > 0) line += "/" + std::to_string(total_);
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, ", %.1f frames/s", rate);
  line += rateText;
  if (total_ > 0 && rate > 0)
    line += ", " + FormatDuration(static_cast<double>(total_ - done_) / rate) + " left";
  // Spaces rather than an erase sequence: older Windows consoles print escape sequences as text.
  const std::size_t width = line.size();
  if (line.size() < shownWidth_) line.append(shownWidth_ - line.size(), ' ');
  shownWidth_ = width;
  std::fprintf(stream_, "\r%s", line.c_str());
  std::fflush(stream_);
  lineShown_ = true;
}

void Progress::ClearLine() {
  if (!lineShown_) return;
  std::fprintf(stream_, "\r%s\r", std::string(shownWidth_, ' ').c_str());
  shownWidth_ = 0;
  lineShown_ = false;
}

void Progress::Finish() {
  if (quiet_) return;
  ClearLine();
  const double seconds = SecondsSinceStart();
  const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
  std::fprintf(stream_, "halvaris-decode: %lld frame%s %s in %.2f s (%.1f frames/s)\n",
               static_cast<long long>(done_), done_ == 1 ? "" : "s", doneWord_, seconds, rate);
  std::fflush(stream_);
}

std::string FormatDuration(double seconds) {
  const long long total = std::llround(std::max(seconds, 0.0));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace halvaris::decode_tool
