#include "mxf/p2_card.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

#include "media_error.h"
#include "mxf/dv_track.h"
#include "mxf/mxf_file.h"
#include "mxf/sound_track.h"

namespace halvaris::media::mxf {

namespace {

namespace fs = std::filesystem;

// A clip's metadata file is a page of XML; anything larger is not one.
constexpr std::uintmax_t kMaxClipMetadataBytes = 4u * 1024u * 1024u;
// Channel numbers are two digits.
constexpr int kMaxSoundChannels = 100;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The entry of `folder` named `name`, whatever the case of either.
std::optional<fs::path> ChildNamed(const fs::path& folder, const std::string& name) {
  std::error_code error;
  const fs::path exact = folder / name;
  if (fs::exists(exact, error)) return exact;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (Upper(entry->path().filename().string()) == Upper(name)) return entry->path();
  }
  return std::nullopt;
}

std::optional<fs::path> ContentsFolder(const fs::path& cardRoot, const std::string& name) {
  const auto contents = ChildNamed(cardRoot, "CONTENTS");
  if (!contents) return std::nullopt;
  return ChildNamed(*contents, name);
}

struct ClipMetadata {
  bool present = false;
  int soundChannels = -1;  // -1 when the file does not list the sound
};

// The text between `<tag ...>` and `</tag>`, searched from `from`; npos when absent.
std::size_t FindElement(const std::string& xml, const std::string& tag, std::size_t from) {
  const std::string open = "<" + tag;
  for (std::size_t at = xml.find(open, from); at != std::string::npos;
       at = xml.find(open, at + 1)) {
    const char after = at + open.size() < xml.size() ? xml[at + open.size()] : '\0';
    if (after == '>' || after == ' ' || after == '/' || after == '\t' || after == '\n' ||
        after == '\r')
      return at;
  }
  return std::string::npos;
}

// The clip metadata file names the clip's essence: one Video and one Audio element per channel
// inside EssenceList.
ClipMetadata ReadClipMetadata(const fs::path& cardRoot, const std::string& clipName,
                              std::vector<std::string>& warnings) {
  ClipMetadata metadata;
  const auto clipFolder = ContentsFolder(cardRoot, "CLIP");
  if (!clipFolder) return metadata;
  const auto file = ChildNamed(*clipFolder, clipName + ".XML");
  if (!file) return metadata;
  std::error_code error;
  const std::uintmax_t size = fs::file_size(*file, error);
  if (error || size > kMaxClipMetadataBytes) {
    warnings.push_back(file->string() + " cannot be read as a clip's metadata file");
    return metadata;
  }
  std::ifstream in(*file, std::ios::binary);
  const std::string xml((std::istreambuf_iterator<char>(in)), {});
  metadata.present = true;
  const std::size_t list = FindElement(xml, "EssenceList", 0);
  const std::size_t listEnd = xml.find("</EssenceList>");
  if (list == std::string::npos || listEnd == std::string::npos || listEnd < list) {
    warnings.push_back(file->string() + " does not list the clip's essence");
    return metadata;
  }
  int count = 0;
  for (std::size_t at = FindElement(xml, "Audio", list); at != std::string::npos && at < listEnd;
       at = FindElement(xml, "Audio", at + 1)) {
    ++count;
  }
  metadata.soundChannels = std::min(count, kMaxSoundChannels);
  return metadata;
}

std::optional<Umid> MaterialPackageOf(const fs::path& path) {
  try {
    MxfFile file(OpenByteSource(path.string()));
    if (file.Packages().hasMaterialPackage) return file.Packages().materialPackage;
  } catch (const MediaError&) {
  }
  return std::nullopt;
}

std::string ChannelFileName(const std::string& clipName, int channel) {
  const char digits[3] = {static_cast<char>('0' + channel / 10),
                          static_cast<char>('0' + channel % 10), '\0'};
  return clipName + digits + ".MXF";
}

void FindSoundFiles(P2Clip& clip) {
  const fs::path root(clip.cardRoot);
  const auto soundFolder = ContentsFolder(root, "AUDIO");
  const ClipMetadata metadata = ReadClipMetadata(root, clip.name, clip.warnings);
  const std::optional<Umid> material = MaterialPackageOf(clip.videoPath);

  if (metadata.soundChannels >= 0) {
    clip.soundFoundBy = "the clip's metadata file";
    for (int channel = 0; channel < metadata.soundChannels; ++channel) {
      const std::string name = ChannelFileName(clip.name, channel);
      const auto path = soundFolder ? ChildNamed(*soundFolder, name) : std::nullopt;
      if (!path) {
        clip.warnings.push_back("sound channel " + std::to_string(channel + 1) + " of clip " +
                                clip.name + " (CONTENTS/AUDIO/" + name + ") is missing");
        continue;
      }
      clip.soundPaths.push_back(path->string());
    }
    return;
  }
  if (!soundFolder) return;

  // Files sharing the video's material package, in the order of their names.
  if (material) {
    std::vector<fs::path> shared;
    std::error_code error;
    for (fs::directory_iterator entry(*soundFolder, error), end; !error && entry != end;
         entry.increment(error)) {
      if (Upper(entry->path().extension().string()) != ".MXF") continue;
      if (MaterialPackageOf(entry->path()) == material) shared.push_back(entry->path());
    }
    std::sort(shared.begin(), shared.end());
    if (!shared.empty()) {
      clip.soundFoundBy = "the material package its files share";
      for (const fs::path& path : shared) clip.soundPaths.push_back(path.string());
      return;
    }
  }

  // The naming rule: the clip's name followed by the channel number, from 00 without a gap.
  for (int channel = 0; channel < kMaxSoundChannels; ++channel) {
    const auto path = ChildNamed(*soundFolder, ChannelFileName(clip.name, channel));
    if (!path) break;
    clip.soundPaths.push_back(path->string());
  }
  if (!clip.soundPaths.empty()) clip.soundFoundBy = "the card's naming rule";
}

// A sound track that owns the file it reads.
class SoundFile : public audio::PcmSource {
 public:
  explicit SoundFile(const std::string& path)
      : file_(std::make_unique<MxfFile>(OpenByteSource(path))), track_(*file_, Open(*file_)) {}

  audio::PcmFormat Format() const override { return track_.Format(); }
  std::uint64_t SampleCount() const override { return track_.SampleCount(); }
  std::uint64_t Read(std::uint64_t first, std::size_t count, std::uint8_t* out) override {
    return track_.Read(first, count, out);
  }

 private:
  static const EssenceTrack& Open(MxfFile& file) {
    const auto tracks = SoundTracksOf(file);
    if (tracks.empty()) throw MediaError(file.Name() + " holds no sound track");
    return *tracks.front();
  }

  std::unique_ptr<MxfFile> file_;
  SoundTrack track_;
};

}  // namespace

bool IsP2CardRoot(const std::string& path) {
  std::error_code error;
  if (!fs::is_directory(path, error)) return false;
  const auto video = ContentsFolder(path, "VIDEO");
  return video && fs::is_directory(*video, error);
}

std::vector<std::string> P2ClipNames(const std::string& cardRoot) {
  std::vector<std::string> names;
  const auto video = ContentsFolder(cardRoot, "VIDEO");
  if (!video) return names;
  std::error_code error;
  for (fs::directory_iterator entry(*video, error), end; !error && entry != end;
       entry.increment(error)) {
    if (Upper(entry->path().extension().string()) == ".MXF")
      names.push_back(entry->path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

P2Clip FindP2Clip(const std::string& cardRoot, const std::string& clipName) {
  const auto video = ContentsFolder(cardRoot, "VIDEO");
  const auto file = video ? ChildNamed(*video, clipName + ".MXF") : std::nullopt;
  if (!file) {
    std::string known;
    for (const std::string& name : P2ClipNames(cardRoot))
      known += (known.empty() ? "" : ", ") + name;
    throw MediaError(
        "the card at " + cardRoot + " has no clip " + clipName +
            (known.empty() ? std::string(" (it has no clips)") : " (its clips: " + known + ")"),
        MediaErrorCode::UnknownClip);
  }
  P2Clip clip;
  clip.name = file->stem().string();
  clip.cardRoot = cardRoot;
  clip.videoPath = file->string();
  FindSoundFiles(clip);
  return clip;
}

P2Clip FindP2ClipOfVideoFile(const std::string& videoPath) {
  const fs::path path = fs::absolute(fs::path(videoPath));
  const fs::path videoFolder = path.parent_path();
  const fs::path contents = videoFolder.parent_path();
  if (Upper(videoFolder.filename().string()) != "VIDEO" ||
      Upper(contents.filename().string()) != "CONTENTS") {
    throw MediaError(videoPath + " does not lie in the CONTENTS/VIDEO folder of a P2 card");
  }
  return FindP2Clip(contents.parent_path().string(), path.stem().string());
}

std::vector<P2ClipSummary> ListP2Clips(const std::string& cardRoot) {
  std::vector<P2ClipSummary> clips;
  for (const std::string& name : P2ClipNames(cardRoot)) {
    P2ClipSummary summary;
    summary.name = name;
    try {
      MxfFile file(OpenByteSource(FindP2Clip(cardRoot, name).videoPath));
      DvTrack track(file, 0);
      summary.frames = track.FrameCount();
      summary.system = track.System();
    } catch (const MediaError& error) {
      summary.problem = error.what();
    }
    clips.push_back(summary);
  }
  return clips;
}

std::unique_ptr<audio::PcmSource> OpenP2Sound(const P2Clip& clip,
                                              std::vector<std::string>& warnings) {
  std::vector<std::unique_ptr<audio::PcmSource>> channels;
  for (const std::string& path : clip.soundPaths) {
    try {
      channels.push_back(std::make_unique<SoundFile>(path));
    } catch (const MediaError& error) {
      warnings.push_back(std::string(error.what()) + "; that sound channel is left out");
    }
  }
  if (channels.empty()) return nullptr;
  try {
    return std::make_unique<audio::ChannelJoin>(std::move(channels));
  } catch (const MediaError& error) {
    warnings.push_back(std::string(error.what()) + "; the clip's sound is left out");
    return nullptr;
  }
}

}  // namespace halvaris::media::mxf
