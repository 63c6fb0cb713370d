#include "picture_writers.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "interruption.h"
#include "png_encoder.h"
#include "rgb_conversion.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

namespace {

// What an interrupt leaves of a single output file, said before and after it is complete.
void ReportInterrupts(const OutputFile& file) {
  if (file.WrittenDirectly()) {
    interruption::SetReport("interrupted");
  } else {
    interruption::SetReport("interrupted; " + file.Path() +
                            (file.Existed() ? " is left as it was" : " was not written"));
  }
}

void CommitSingleFile(OutputFile& file, const std::string& companionName,
                      const std::function<bool()>& companion) {
  const bool together = companion && !file.WrittenDirectly();
  file.Commit([&] {
    if (together && companion()) {
      interruption::SetReport("interrupted after " + file.Path() + " and " + companionName +
                              " were complete");
      interruption::SetCompanionReport("");
    } else {
      interruption::SetReport("interrupted after " + file.Path() + " was complete");
    }
  });
}

class Yuy2Writer : public PictureWriter {
 public:
  Yuy2Writer(const std::string& path, VideoSystem system)
      : file_(path), bytes_(PictureBytes(system)) {
    ReportInterrupts(file_);
  }
  void Write(const std::uint8_t* picture, std::int64_t) override { file_.Write(picture, bytes_); }
  void Finish() override { CommitSingleFile(file_, companionName_, companion_); }

 private:
  OutputFile file_;
  std::size_t bytes_;
};

// YUV4MPEG2 4:2:2: per frame a "FRAME" line, then the Y, Cb and Cr planes.
class Y4mWriter : public PictureWriter {
 public:
  Y4mWriter(const std::string& path, VideoSystem system, FieldOrder fieldOrder)
      : file_(path), geometry_(GeometryOf(system)) {
    ReportInterrupts(file_);
    const std::string header = Y4mHeader(system, fieldOrder);
    file_.Write(header.data(), header.size());
    const std::size_t lumaBytes = static_cast<std::size_t>(geometry_.width) * geometry_.height;
    planes_.resize(lumaBytes * 2);
  }

  void Write(const std::uint8_t* picture, std::int64_t) override {
    const std::size_t pixels = static_cast<std::size_t>(geometry_.width) * geometry_.height;
    std::uint8_t* luma = planes_.data();
    std::uint8_t* cb = luma + pixels;
    std::uint8_t* cr = cb + pixels / 2;
    for (std::size_t pair = 0; pair < pixels / 2; ++pair) {
      const std::uint8_t* p = picture + 4 * pair;
      luma[2 * pair] = p[0];
      cb[pair] = p[1];
      luma[2 * pair + 1] = p[2];
      cr[pair] = p[3];
    }
    static const char kFrameLine[] = "FRAME\n";
    file_.Write(kFrameLine, sizeof kFrameLine - 1);
    file_.Write(planes_.data(), planes_.size());
  }

  void Finish() override { CommitSingleFile(file_, companionName_, companion_); }

 private:
  OutputFile file_;
  const HalvarisSystemInfo& geometry_;
  std::vector<std::uint8_t> planes_;
};

// The name of a picture, refused when it is the input file (through links too).
std::string PictureName(const std::string& pattern, std::int64_t frameNumber,
                        const FileIdentity& input) {
  const std::string name = NumberedName(pattern, frameNumber);
  if (IdentityOfPath(name).SameFileAs(input)) {
    throw ToolError("the picture of frame " + std::to_string(frameNumber) + " would be called " +
                    name + ", which is the input file; choose other picture names");
  }
  return name;
}

// One PNG file per picture. Each is complete when it appears under its name; a failed or
// interrupted run keeps the pictures written before it.
class PngWriter : public PictureWriter {
 public:
  PngWriter(const OutputSettings& settings)
      : pattern_(settings.path), geometry_(GeometryOf(settings.system)), input_(settings.input) {
    if (settings.path == "-") throw ToolError("PNG pictures cannot go to standard output");
    if (!HasNumberField(pattern_) && settings.frameCount > 1) {
      throw ToolError(
          "PNG output of several frames needs %d in its name (for example frame-%04d.png)"
          ", or --frames N for one frame");
    }
    // Every name the run will write is checked before anything is written.
    for (std::int64_t i = 0; i < settings.frameCount; ++i) {
      PictureName(pattern_, settings.firstFrame + i, input_);
    }
    outputWidth_ = settings.displaySize ? DisplayWidth(settings.system) : geometry_.width;
    rgb_.resize(static_cast<std::size_t>(geometry_.width) * geometry_.height * 3);
    if (outputWidth_ != geometry_.width) {
      scaled_.resize(static_cast<std::size_t>(outputWidth_) * geometry_.height * 3);
    }
    interruption::ReportKeptPictures();
  }

  void Write(const std::uint8_t* picture, std::int64_t frameNumber) override {
    if (kept_ > 0 && !HasNumberField(pattern_)) {
      throw ToolError(
          "PNG output of several frames needs %d in its name (for example frame-%04d.png)");
    }
    // Checked again as it is written: the input may be a stream of unknown length.
    const std::string name = PictureName(pattern_, frameNumber, input_);
    ConvertYuy2ToRgb(picture, geometry_.width, geometry_.height, rgb_.data());
    const std::uint8_t* rgb = rgb_.data();
    if (!scaled_.empty()) {
      ScaleRgbLines(rgb_.data(), geometry_.width, geometry_.height, scaled_.data(), outputWidth_);
      rgb = scaled_.data();
    }
    const std::vector<std::uint8_t> png = EncodePng(rgb, outputWidth_, geometry_.height);
    OutputFile file(name);
    file.Write(png.data(), png.size());
    file.Commit([] { interruption::PictureKept(); });
    if (kept_ == 0) firstName_ = name;
    lastName_ = name;
    ++kept_;
  }

  void Finish() override {}

  std::string FailureNote() const override {
    if (kept_ == 0) return "; no picture was written";
    if (kept_ == 1) return "; 1 complete picture was kept (" + firstName_ + ")";
    return "; " + std::to_string(kept_) + " complete pictures were kept (" + firstName_ + " to " +
           lastName_ + ")";
  }

 private:
  std::string pattern_;
  const HalvarisSystemInfo& geometry_;
  FileIdentity input_;
  int outputWidth_ = 0;
  std::vector<std::uint8_t> rgb_;
  std::vector<std::uint8_t> scaled_;
  std::int64_t kept_ = 0;
  std::string firstName_, lastName_;
};

// Finds the first "%d" or "%0Nd"; `start` and `end` bound it, `width` is N.
bool FindNumberField(const std::string& pattern, std::size_t& start, std::size_t& end, int& width) {
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    std::size_t j = i + 1;
    int digits = 0;
    while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])) &&
           digits < 2) {
      ++j;
      ++digits;
    }
    if (j < pattern.size() && pattern[j] == 'd' && (digits == 0 || pattern[i + 1] == '0')) {
      start = i;
      end = j + 1;
      width = digits == 0 ? 0 : std::atoi(pattern.substr(i + 1, j - i - 1).c_str());
      return true;
    }
  }
  return false;
}

}  // namespace

bool HasNumberField(const std::string& pattern) {
  std::size_t start = 0, end = 0;
  int width = 0;
  return FindNumberField(pattern, start, end, width);
}

std::string NumberedName(const std::string& pattern, std::int64_t frameNumber) {
  std::size_t start = 0, end = 0;
  int width = 0;
  if (!FindNumberField(pattern, start, end, width)) return pattern;
  std::string number = std::to_string(frameNumber);
  if (static_cast<int>(number.size()) < width) {
    number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
  }
  return pattern.substr(0, start) + number + pattern.substr(end);
}

int DisplayWidth(VideoSystem system) {
  return GeometryOf(system).height == 1080 ? 1920 : 1280;
}

std::string Y4mHeader(VideoSystem system, FieldOrder fieldOrder) {
  const HalvarisSystemInfo& geometry = GeometryOf(system);
  // Frame rates: a 1080-line frame holds two fields, a 720-line frame is one picture.
  static const char* const kRates[4] = {"30000:1001", "60000:1001", "25:1", "50:1"};
  // Pixel aspect ratios that show 1280x1080 and 1440x1080 as 1920x1080, 960x720 as 1280x720.
  static const char* const kAspects[4] = {"3:2", "4:3", "4:3", "4:3"};
  char interlacing = 'p';
  if (geometry.height == 1080) interlacing = fieldOrder == FieldOrder::BottomFirst ? 'b' : 't';
  return "YUV4MPEG2 W" + std::to_string(geometry.width) + " H" + std::to_string(geometry.height) +
         " F" + kRates[system - 1] + " I" + interlacing + " A" + kAspects[system - 1] + " C422\n";
}

std::unique_ptr<PictureWriter> MakePictureWriter(const OutputSettings& settings) {
  if (settings.displaySize && settings.format != OutputFormat::Png) {
    throw ToolError(
        "--display-size applies to PNG output only (YUV4MPEG2 carries the aspect ratio)");
  }
  switch (settings.format) {
    case OutputFormat::Yuy2:
      return std::make_unique<Yuy2Writer>(settings.path, settings.system);
    case OutputFormat::Y4m:
      return std::make_unique<Y4mWriter>(settings.path, settings.system, settings.fieldOrder);
    case OutputFormat::Png:
    case OutputFormat::FromName:
      break;
  }
  return std::make_unique<PngWriter>(settings);
}

}  // namespace halvaris::decode_tool
