#include "mxf/p2_card.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
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

[[noreturn]] void ThrowAmbiguous(const fs::path& folder, const std::string& name,
                                 std::vector<fs::path> matches) {
  std::sort(matches.begin(), matches.end());
  std::string names;
  for (const fs::path& match : matches)
    names += (names.empty() ? "" : ", ") + match.filename().string();
  throw MediaError(folder.string() + " holds several entries named " + name +
                   " but for the case of their letters (" + names + "); none was taken");
}

// The entry of `folder` named `name`: the one spelt so, else the only one whose name differs from
// it in case alone (cards copied to other file systems may be lowercased), the extension's case
// counting least. Throws MediaError when several remain, as none is more the one asked for.
std::optional<fs::path> ChildNamed(const fs::path& folder, const std::string& name) {
  std::error_code error;
  const fs::path exact = folder / name;
  if (fs::exists(exact, error)) return exact;
  std::vector<fs::path> matches;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (Upper(entry->path().filename().string()) == Upper(name)) matches.push_back(entry->path());
  }
  if (matches.size() > 1) {
    std::vector<fs::path> sameStem;
    for (const fs::path& match : matches) {
      if (match.stem().string() == fs::path(name).stem().string()) sameStem.push_back(match);
    }
    if (sameStem.size() != 1) ThrowAmbiguous(folder, name, matches);
    return sameStem.front();
  }
  if (matches.empty()) return std::nullopt;
  return matches.front();
}

std::optional<fs::path> ContentsFolder(const fs::path& cardRoot, const std::string& name) {
  const auto contents = ChildNamed(cardRoot, "CONTENTS");
  if (!contents) return std::nullopt;
  return ChildNamed(*contents, name);
}

struct ClipMetadata {
  bool present = false;
  std::string path;
  int soundChannels = -1;  // -1 when the file does not list the sound
  std::string nextClip;    // the clip the recording goes on in, when it spans cards
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

// The text of the first `<tag>` element inside [from, to); empty when there is none.
std::string TextOf(const std::string& xml, const std::string& tag, std::size_t from,
                   std::size_t to) {
  const std::size_t at = FindElement(xml, tag, from);
  if (at == std::string::npos || at >= to) return {};
  const std::size_t start = xml.find('>', at);
  const std::size_t end = xml.find('<', start);
  if (start == std::string::npos || end == std::string::npos || end > to) return {};
  return xml.substr(start + 1, end - start - 1);
}

// A recording spread over several cards: each clip's Connection names the next one's global
// clip ID.
std::string NextClipOf(const std::string& xml) {
  const std::size_t connection = FindElement(xml, "Connection", 0);
  const std::size_t connectionEnd = xml.find("</Connection>", connection);
  if (connection == std::string::npos || connectionEnd == std::string::npos) return {};
  const std::size_t next = FindElement(xml, "Next", connection);
  const std::size_t nextEnd = xml.find("</Next>", next);
  if (next == std::string::npos || nextEnd == std::string::npos || nextEnd > connectionEnd)
    return {};
  return TextOf(xml, "GlobalClipID", next, nextEnd);
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
  metadata.path = file->string();
  metadata.nextClip = NextClipOf(xml);
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

// The channel (from 0) that file `name` carries by the naming rule; -1 when it is not named so.
int ChannelOfName(const std::string& clipName, const std::string& name) {
  const std::string upper = Upper(name);
  const std::string prefix = Upper(clipName);
  if (upper.size() != prefix.size() + 6 || upper.compare(0, prefix.size(), prefix) != 0 ||
      upper.compare(prefix.size() + 2, 4, ".MXF") != 0)
    return -1;
  const char tens = upper[prefix.size()];
  const char units = upper[prefix.size() + 1];
  if (tens < '0' || tens > '9' || units < '0' || units > '9') return -1;
  return (tens - '0') * 10 + (units - '0');
}

// Puts `path` in channel `channel` of the clip's sound.
void AddSoundChannel(P2Clip& clip, int channel, const std::string& path) {
  clip.soundPaths.push_back(path);
  clip.soundChannels.push_back(channel);
  clip.soundChannelCount = std::max(clip.soundChannelCount, channel + 1);
}

// Channels below the highest one found that have no file: silence in their place, told by name.
void TellMissingChannels(P2Clip& clip) {
  for (int channel = 0; channel < clip.soundChannelCount; ++channel) {
    if (std::find(clip.soundChannels.begin(), clip.soundChannels.end(), channel) !=
        clip.soundChannels.end())
      continue;
    clip.warnings.push_back("sound channel " + std::to_string(channel + 1) + " of clip " +
                            clip.name + " (CONTENTS/AUDIO/" + ChannelFileName(clip.name, channel) +
                            ") is missing");
  }
}

void FindSoundFiles(P2Clip& clip) {
  const fs::path root(clip.cardRoot);
  const auto soundFolder = ContentsFolder(root, "AUDIO");
  const ClipMetadata metadata = ReadClipMetadata(root, clip.name, clip.warnings);
  clip.metadataPath = metadata.path;
  clip.nextClip = metadata.nextClip;
  if (!clip.nextClip.empty()) {
    clip.warnings.push_back("clip " + clip.name + " goes on in clip " + clip.nextClip +
                            " on another card; only its part on this card is read");
  }

  if (metadata.soundChannels >= 0) {
    clip.soundFoundBy = "the clip's metadata file";
    for (int channel = 0; channel < metadata.soundChannels; ++channel) {
      const std::string name = ChannelFileName(clip.name, channel);
      const auto path = soundFolder ? ChildNamed(*soundFolder, name) : std::nullopt;
      if (path) AddSoundChannel(clip, channel, path->string());
    }
    clip.soundChannelCount = metadata.soundChannels;
    TellMissingChannels(clip);
    return;
  }
  if (!soundFolder) return;

  // Files sharing the video's material package: those named by the naming rule in their
  // channel's place, any others after them in the order of their names.
  const std::optional<Umid> material = MaterialPackageOf(clip.videoPath);
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
      std::vector<fs::path> unnumbered;
      for (const fs::path& path : shared) {
        const int channel = ChannelOfName(clip.name, path.filename().string());
        if (channel >= 0) {
          AddSoundChannel(clip, channel, path.string());
        } else {
          unnumbered.push_back(path);
        }
      }
      TellMissingChannels(clip);
      for (const fs::path& path : unnumbered)
        AddSoundChannel(clip, clip.soundChannelCount, path.string());
      return;
    }
  }

  // The naming rule: the clip's name followed by the channel number.
  for (int channel = 0; channel < kMaxSoundChannels; ++channel) {
    const auto path = ChildNamed(*soundFolder, ChannelFileName(clip.name, channel));
    if (path) AddSoundChannel(clip, channel, path->string());
  }
  if (!clip.soundPaths.empty()) clip.soundFoundBy = "the card's naming rule";
  TellMissingChannels(clip);
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

// A channel without a readable file: silence as long as the others. Its absence is told once by
// name, so its samples are not counted as lost again.
class SilentChannel : public audio::PcmSource {
 public:
  explicit SilentChannel(int bitsPerSample) { format_ = {1, bitsPerSample, 48000}; }

  audio::PcmFormat Format() const override { return format_; }
  std::uint64_t SampleCount() const override { return UINT64_MAX; }
  std::uint64_t Read(std::uint64_t, std::size_t count, std::uint8_t* out) override {
    std::memset(out, 0, count * static_cast<std::size_t>(format_.BytesPerFrame()));
    return 0;
  }

 private:
  audio::PcmFormat format_;
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

namespace {

fs::path FindP2ClipVideo(const std::string& cardRoot, const std::string& clipName) {
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
  return *file;
}

}  // namespace

P2Clip FindP2Clip(const std::string& cardRoot, const std::string& clipName) {
  const fs::path file = FindP2ClipVideo(cardRoot, clipName);
  P2Clip clip;
  clip.name = file.stem().string();
  clip.cardRoot = cardRoot;
  clip.videoPath = file.string();
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
      // The video alone: a listing has no need of the clips' sound files.
      MxfFile file(OpenByteSource(FindP2ClipVideo(cardRoot, name).string()));
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
  std::vector<std::unique_ptr<audio::PcmSource>> channels(
      static_cast<std::size_t>(clip.soundChannelCount));
  int bitsPerSample = 0;
  for (std::size_t i = 0; i < clip.soundPaths.size(); ++i) {
    auto& place = channels[static_cast<std::size_t>(clip.soundChannels[i])];
    try {
      place = std::make_unique<SoundFile>(clip.soundPaths[i]);
      if (bitsPerSample == 0) bitsPerSample = place->Format().bitsPerSample;
    } catch (const MediaError& error) {
      warnings.push_back(std::string(error.what()) + "; that sound channel is silence");
    }
  }
  if (bitsPerSample == 0) return nullptr;
  for (auto& channel : channels) {
    if (channel == nullptr) channel = std::make_unique<SilentChannel>(bitsPerSample);
  }
  try {
    return std::make_unique<audio::ChannelJoin>(std::move(channels));
  } catch (const MediaError& error) {
    warnings.push_back(std::string(error.what()) + "; the clip's sound is left out");
    return nullptr;
  }
}

}  // namespace halvaris::media::mxf
