#include "report/summary_text.h"

#include <cstdio>

namespace halvaris::decode_tool::report {

namespace {

std::string CountAndShare(std::uint64_t part, std::uint64_t whole) {
  char text[64];
  std::snprintf(text, sizeof text, "%llu (%.1f%%)", static_cast<unsigned long long>(part),
                whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

template <typename T>
std::string Range(const char* name, const std::optional<T>& first, const std::optional<T>& last) {
  if (!first) return std::string("no ") + name;
  return std::string(name) + " " + first->Text() + " to " + last->Text();
}

}  // namespace

std::string SummaryText(const Summary& summary) {
  std::string text = std::to_string(summary.frames) + (summary.frames == 1 ? " frame" : " frames");
  text += ": " + CountAndShare(summary.framesWithFlaggedBlocks, summary.frames) +
          " with flagged blocks, " + CountAndShare(summary.framesWithErrorBlocks, summary.frames) +
          " with errors left in the data, " + std::to_string(summary.framesWithAudioErrors) +
          " with audio error samples";
  if (summary.unfinishedBlocks) {
    text += ", " + std::to_string(*summary.unfinishedBlocks) + " blocks decoded short of their end";
  }
  text += "; " + std::to_string(summary.segments) +
          (summary.segments == 1 ? " segment; " : " segments; ");
  text += Range("timecode", summary.firstTimecode, summary.lastTimecode) + "; " +
          Range("recording time", summary.firstRecorded, summary.lastRecorded) + ".";
  return text;
}

}  // namespace halvaris::decode_tool::report
