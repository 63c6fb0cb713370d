#pragma once

// MXF, DIF and sound files made by FFmpeg for the tests, once per test process, in a scratch
// folder of the process removed at exit (ctest runs the cases side by side).

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "test_files.h"

namespace halvaris::test_support {

struct SystemSource {
  int system;
  const char* size;
  const char* rate;
};

inline double RateOf(const SystemSource& source) {
  const std::string rate = source.rate;
  const auto slash = rate.find('/');
  return slash == std::string::npos
             ? std::stod(rate)
             : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
}

inline const SystemSource kSystems[4] = {
    {1, "1280x1080", "30000/1001"},
    {2, "960x720", "60000/1001"},
    {3, "1440x1080", "25"},
    {4, "960x720", "50"},
};

class FfmpegFiles {
 public:
  static FfmpegFiles& Get() {
    static FfmpegFiles files;
    return files;
  }

  const std::filesystem::path& Folder() const { return folder_; }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // An empty folder of the running test inside the scratch folder, named `prefix` + its name.
  std::filesystem::path TestFolder(const std::string& prefix = "") const {
    const std::filesystem::path folder =
        folder_ / (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
  }

  // Runs `ffmpeg -nostdin -v error -y ARGUMENTS`; true when it succeeded.
  static bool Ffmpeg(const std::string& arguments) {
    const std::string command = std::string(FFMPEG_PROGRAM) + " -nostdin -v error -y " + arguments;
    return std::system(command.c_str()) == 0;
  }

  // Six frames of system `system` as raw DIF without sound: the frames every wrapping of the test
  // holds.
  std::string VideoDif(int system) {
    return Make("video" + std::to_string(system) + ".dif", [&](const std::string& out) {
      const SystemSource& s = kSystems[system - 1];
      return Ffmpeg(std::string("-f lavfi -i testsrc2=size=") + s.size + ":rate=" + s.rate +
                    " -frames:v 6 -c:v dvvideo -pix_fmt yuv422p -f dv '" + out + "'");
    });
  }

  // Raw DIF with two channels of sound in its audio blocks, as FFmpeg's DV writer lays them.
  std::string SoundDif(int system) {
    return Make("sound" + std::to_string(system) + ".dif", [&](const std::string& out) {
      const SystemSource& s = kSystems[system - 1];
      return Ffmpeg(std::string("-f lavfi -i testsrc2=size=") + s.size + ":rate=" + s.rate + " " +
                    Tones(2, 6.0 / RateOf(s)) + " -frames:v 6 -c:v dvvideo -pix_fmt yuv422p " +
                    "-c:a pcm_s16le -f dv '" + out + "'");
    });
  }

  // The frames of VideoDif with `channels` channels of sound of `codec` in one OP1a file.
  std::string Op1a(int system, int channels = 2, const std::string& codec = "pcm_s16le") {
    const std::string name =
        "op1a" + std::to_string(system) + "-" + std::to_string(channels) + codec + ".mxf";
    const std::string dif = VideoDif(system);
    return Make(name, [&](const std::string& out) {
      return Ffmpeg("-i '" + dif + "' " + Tones(channels, 1.0) +
                    " -map 0:v -map 1:a -c:v copy -c:a " + codec + " -shortest -f mxf '" + out +
                    "'");
    });
  }

  // The frames of VideoDif alone in an OP-Atom file (clip-wrapped, as FFmpeg writes it).
  std::string OpAtomVideo(int system) {
    const std::string dif = VideoDif(system);
    return Make("atom" + std::to_string(system) + ".mxf", [&](const std::string& out) {
      return Ffmpeg("-i '" + dif + "' -c:v copy -f mxf_opatom '" + out + "'");
    });
  }

  // One channel of sound, a tone of `hertz`, in an OP-Atom file lasting the six frames of system.
  std::string OpAtomSound(int system, int hertz, const std::string& codec = "pcm_s16le") {
    const std::string name =
        "atom-sound" + std::to_string(system) + "-" + std::to_string(hertz) + codec + ".mxf";
    const SystemSource& s = kSystems[system - 1];
    return Make(name, [&](const std::string& out) {
      return Ffmpeg("-f lavfi -i \"sine=frequency=" + std::to_string(hertz) +
                    ":sample_rate=48000\" -t " + std::to_string(6.0 / RateOf(s)) + " -c:a " +
                    codec + " -f mxf_opatom '" + out + "'");
    });
  }

  // What FFmpeg itself decodes from the sound of `input` (stream `stream`, or all of them mixed
  // into one interleaved stream when empty) as raw little-endian samples.
  std::vector<std::uint8_t> FfmpegSound(const std::string& input, const std::string& map,
                                        const std::string& codec = "pcm_s16le") {
    const std::string out = Path("extracted.raw");
    std::filesystem::remove(out);
    const std::string format = codec == "pcm_s24le" ? "s24le" : "s16le";
    if (!Ffmpeg("-i '" + input + "' -map " + map + " -c:a " + codec + " -f " + format + " '" + out +
                "'"))
      return {};
    return ReadBytes(out);
  }

 private:
  FfmpegFiles() {
    folder_ = std::filesystem::temp_directory_path() /
              ("halvaris-mxf-tests-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  ~FfmpegFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  template <typename Maker>
  std::string Make(const std::string& name, Maker maker) {
    const std::string path = Path(name);
    if (!std::filesystem::exists(path) && !maker(path)) std::filesystem::remove(path);
    return path;
  }

  // `channels` tones of different pitch, so that channels out of order show.
  static std::string Tones(int channels, double seconds) {
    std::string expressions;
    for (int channel = 0; channel < channels; ++channel) {
      if (channel > 0) expressions += "|";
      expressions += "0.5*sin(" + std::to_string(300 + 110 * channel) + "*2*PI*t)";
    }
    return "-f lavfi -i \"aevalsrc=" + expressions + ":s=48000:d=" + std::to_string(seconds) + "\"";
  }

  std::filesystem::path folder_;
};

}  // namespace halvaris::test_support
