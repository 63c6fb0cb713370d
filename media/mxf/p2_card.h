#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/pcm_source.h"
#include "system_detection.h"

namespace halvaris::media::mxf {

// A clip of a P2 camera card: an OP-Atom video file under CONTENTS/VIDEO and one OP-Atom file per
// sound channel under CONTENTS/AUDIO, tied together by the clip's name (six characters, the sound
// files adding the channel number 00, 01, ...), the clip's metadata file under CONTENTS/CLIP and
// the material package the files share.
struct P2Clip {
  std::string name;      // "0001AB"
  std::string cardRoot;  // the folder holding CONTENTS
  std::string videoPath;
  std::vector<std::string> soundPaths;  // in channel order
  std::string soundFoundBy;             // how the sound files were found, for the user
  std::vector<std::string> warnings;
};

// True when `path` is a card's root folder: it holds CONTENTS with a VIDEO folder inside (names
// are matched without regard to case, as cards copied to other file systems may be lowercased).
bool IsP2CardRoot(const std::string& path);

// The clips of a card: the names of its video files, sorted.
std::vector<std::string> P2ClipNames(const std::string& cardRoot);

// Finds clip `clipName` of the card at `cardRoot` and its sound files: through the clip's
// metadata file where it is present, else through the material package the files share, else by
// the naming rule. Throws MediaError when the card has no such clip.
P2Clip FindP2Clip(const std::string& cardRoot, const std::string& clipName);

// The same for a clip named by its video file (CONTENTS/VIDEO/NAME.MXF of a card). Throws
// MediaError when the file does not lie in a card's VIDEO folder.
P2Clip FindP2ClipOfVideoFile(const std::string& videoPath);

// One line per clip for a listing: name, frames, system.
struct P2ClipSummary {
  std::string name;
  std::int64_t frames = -1;  // -1 when the video file cannot be read
  VideoSystem system = 0;
  std::string problem;  // why the video file could not be read
};
std::vector<P2ClipSummary> ListP2Clips(const std::string& cardRoot);

// The clip's sound: its channel files side by side. Files that cannot be read are passed over
// with a warning in `warnings`; returns nullptr when none can.
std::unique_ptr<audio::PcmSource> OpenP2Sound(const P2Clip& clip,
                                              std::vector<std::string>& warnings);

}  // namespace halvaris::media::mxf
