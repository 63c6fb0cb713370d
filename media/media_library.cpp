// The C interface of include/halvaris/media.h over the readers: every exception stops here and
// becomes a negative result and a line for halvaris_media_last_error.

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "frame_source.h"
#include "halvaris/media.h"
#include "input_file.h"
#include "media_error.h"
#include "mxf/p2_card.h"
#include "system_detection.h"

using halvaris::media::FrameSound;
using halvaris::media::MediaError;
using halvaris::media::MediaErrorCode;
using halvaris::media::OpenedInput;

namespace {

thread_local std::string lastOpenError;

int ResultOf(MediaErrorCode code) {
  switch (code) {
    case MediaErrorCode::CannotRead:
      return HALVARIS_MEDIA_ERROR_CANNOT_READ;
    case MediaErrorCode::NotDvcproHd:
      return HALVARIS_MEDIA_ERROR_NOT_DVCPRO_HD;
    case MediaErrorCode::UnknownSystem:
      return HALVARIS_MEDIA_ERROR_UNKNOWN_SYSTEM;
    case MediaErrorCode::Damaged:
      return HALVARIS_MEDIA_ERROR_DAMAGED;
    case MediaErrorCode::EndOfInput:
      return HALVARIS_MEDIA_ERROR_END_OF_INPUT;
    case MediaErrorCode::ClipNeeded:
      return HALVARIS_MEDIA_ERROR_CLIP_NEEDED;
    case MediaErrorCode::UnknownClip:
      return HALVARIS_MEDIA_ERROR_UNKNOWN_CLIP;
    case MediaErrorCode::NoSound:
      return HALVARIS_MEDIA_ERROR_NO_SOUND;
    case MediaErrorCode::NotSeekable:
      return HALVARIS_MEDIA_ERROR_NOT_SEEKABLE;
  }
  return HALVARIS_MEDIA_ERROR_DAMAGED;
}

// Runs `call`, turning what it throws into a result and `error`'s text.
template <typename Call>
int Guarded(std::string& error, Call&& call) {
  try {
    const int result = call();
    if (result == HALVARIS_MEDIA_OK) error.clear();
    return result;
  } catch (const MediaError& failure) {
    error = failure.what();
    return ResultOf(failure.Code());
  } catch (const std::bad_alloc&) {
    error = "out of memory";
    return HALVARIS_MEDIA_ERROR_OUT_OF_MEMORY;
  } catch (const std::exception& failure) {
    error = failure.what();
    return HALVARIS_MEDIA_ERROR_CANNOT_READ;
  }
}

}  // namespace

struct HalvarisMedia {
  HalvarisMediaSettings settings{};
  std::string path;
  bool card = false;
  std::vector<std::string> clips;  // a card's clips, else the path alone
  std::optional<OpenedInput> input;
  std::unique_ptr<FrameSound> sound;
  halvaris::media::audio::PcmFormat soundFormat;
  halvaris::media::SystemWatch systems;
  // The frame read last: a stream can give it again, and the sound of the frames reads it.
  std::int64_t heldIndex = -1;
  std::vector<std::uint8_t> held;
  std::string error;

  void Warn(const std::string& text) const {
    if (settings.messageCallback != nullptr) {
      settings.messageCallback(settings.messageUserData, text.c_str(), "Halvaris");
    }
  }

  void Open(const std::string& clip) {
    input.reset();
    Settle(halvaris::media::OpenInput(path, settings.system, clip));
  }

  // Takes an opened input, tells its warnings and settles its sound.
  void Settle(OpenedInput opened) {
    sound.reset();
    heldIndex = -1;
    systems = {};
    input = std::move(opened);
    for (const std::string& warning : input->warnings) Warn(warning);
    if (input->source->FrameCount() == 0) return;
    // The sound's format is settled by the first frame (its audio blocks may say it).
    const std::vector<std::uint8_t>& first = Frame(0);
    std::vector<std::string> warnings;
    sound = input->openSound ? input->openSound(warnings) : nullptr;
    for (const std::string& warning : warnings) Warn(warning);
    soundFormat =
        sound ? sound->FormatOf(first.data(), first.size()) : halvaris::media::audio::PcmFormat{};
    if (soundFormat.channels == 0) sound.reset();
  }

  void RequireClip() const {
    if (!input) {
      throw MediaError(
          path + " holds " + std::to_string(clips.size()) + " clips and none is selected",
          MediaErrorCode::ClipNeeded);
    }
  }

  const std::vector<std::uint8_t>& Frame(std::int64_t index) {
    RequireClip();
    if (index == heldIndex) return held;
    const std::int64_t count = input->source->FrameCount();
    if (count >= 0 && index >= count) {
      throw MediaError(input->name + " has " + std::to_string(count) + " frames: frame " +
                           std::to_string(index) + " lies past its end",
                       MediaErrorCode::EndOfInput);
    }
    input->source->SkipTo(index);
    heldIndex = -1;
    if (!input->source->ReadFrame(held)) {
      throw MediaError(input->name + " ends before frame " + std::to_string(index),
                       MediaErrorCode::EndOfInput);
    }
    const std::string otherSystem = systems.Check(held.data(), held.size(), index);
    if (!otherSystem.empty()) throw MediaError(input->name + ": " + otherSystem);
    heldIndex = index;
    return held;
  }

  int ReadSound(std::int64_t firstFrame, std::int64_t frameCount, std::uint8_t* buffer,
                std::size_t bufferBytes, std::int64_t* samples) {
    RequireClip();
    if (!sound) {
      throw MediaError(input->name + " has no sound that is read", MediaErrorCode::NoSound);
    }
    std::vector<std::uint8_t> out;
    std::uint64_t silenced = 0;
    const std::int64_t count = input->source->FrameCount();
    if (count >= 0 && firstFrame + frameCount > count) {
      throw MediaError(input->name + " has " + std::to_string(count) + " frames: frames " +
                           std::to_string(firstFrame) + " to " +
                           std::to_string(firstFrame + frameCount - 1) + " run past its end",
                       MediaErrorCode::EndOfInput);
    }
    for (std::int64_t index = firstFrame; index < firstFrame + frameCount; ++index) {
      if (sound->ReadsFrames()) {
        const std::vector<std::uint8_t>& frame = Frame(index);
        silenced += sound->AppendSamples(index, frame.data(), frame.size(), out);
      } else {
        silenced += sound->AppendSamples(index, nullptr, 0, out);
      }
    }
    const auto frameBytes = static_cast<std::size_t>(soundFormat.BytesPerFrame());
    *samples = static_cast<std::int64_t>(out.size() / frameBytes);
    if (buffer == nullptr && bufferBytes == 0) return HALVARIS_MEDIA_OK;
    if (buffer == nullptr || bufferBytes < out.size()) {
      error = "the buffer holds " + std::to_string(bufferBytes) + " bytes; the sound of frames " +
              std::to_string(firstFrame) + " to " + std::to_string(firstFrame + frameCount - 1) +
              " needs " + std::to_string(out.size());
      return HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL;
    }
    std::copy(out.begin(), out.end(), buffer);
    if (silenced > 0) {
      Warn(std::to_string(silenced) + " sound samples of frames " + std::to_string(firstFrame) +
           " to " + std::to_string(firstFrame + frameCount - 1) +
           " were missing or marked as damaged and are silence (each channel's counted)");
    }
    return HALVARIS_MEDIA_OK;
  }
};

namespace {

int OpenMedia(const HalvarisMediaSettings* settings, HalvarisMedia** opened,
              const std::function<void(HalvarisMedia&)>& openInput) {
  auto media = std::unique_ptr<HalvarisMedia>(new (std::nothrow) HalvarisMedia);
  if (!media) return HALVARIS_MEDIA_ERROR_OUT_OF_MEMORY;
  return Guarded(lastOpenError, [&] {
    if (settings != nullptr) media->settings = *settings;
    if (media->settings.system < 0 || media->settings.system > 4) {
      lastOpenError = "the system to force is " + std::to_string(media->settings.system) +
                      ", not 1, 2, 3 or 4 (or 0)";
      return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
    }
    media->settings.clip = nullptr;  // the caller's string is not kept
    openInput(*media);
    *opened = media.release();
    return HALVARIS_MEDIA_OK;
  });
}

}  // namespace

extern "C" {

const char* halvaris_media_result_text(int result) {
  switch (result) {
    case HALVARIS_MEDIA_OK:
      return "success";
    case HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT:
      return "invalid argument";
    case HALVARIS_MEDIA_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case HALVARIS_MEDIA_ERROR_CANNOT_READ:
      return "cannot open or read the input";
    case HALVARIS_MEDIA_ERROR_NOT_DVCPRO_HD:
      return "not DVCPRO HD";
    case HALVARIS_MEDIA_ERROR_UNKNOWN_SYSTEM:
      return "the video system is not known";
    case HALVARIS_MEDIA_ERROR_DAMAGED:
      return "damaged input";
    case HALVARIS_MEDIA_ERROR_END_OF_INPUT:
      return "past the end of the input";
    case HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL:
      return "buffer too small";
    case HALVARIS_MEDIA_ERROR_CLIP_NEEDED:
      return "a clip must be chosen";
    case HALVARIS_MEDIA_ERROR_UNKNOWN_CLIP:
      return "no such clip";
    case HALVARIS_MEDIA_ERROR_NO_SOUND:
      return "no sound";
    case HALVARIS_MEDIA_ERROR_NOT_SEEKABLE:
      return "a stream cannot go back";
    default:
      return "unknown result";
  }
}

void halvaris_media_default_settings(HalvarisMediaSettings* settings) {
  if (settings == nullptr) return;
  *settings = HalvarisMediaSettings{};
}

int halvaris_media_open(const char* path, const HalvarisMediaSettings* settings,
                        HalvarisMedia** media) {
  if (media != nullptr) *media = nullptr;
  if (path == nullptr || media == nullptr) {
    lastOpenError = "halvaris_media_open needs a path and a place for the handle";
    return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  }
  const std::string clip = settings != nullptr && settings->clip != nullptr ? settings->clip : "";
  return OpenMedia(settings, media, [&](HalvarisMedia& m) {
    m.path = path;
    m.card = halvaris::media::IsCardFolder(m.path);
    m.clips = m.card ? halvaris::media::mxf::P2ClipNames(m.path) : std::vector<std::string>{m.path};
    // A card of several clips opens unselected, so that its clips can be listed.
    if (m.card && clip.empty() && m.clips.size() != 1) return;
    m.Open(m.card && clip.empty() ? m.clips.front() : clip);
  });
}

int halvaris_media_open_memory(const uint8_t* bytes, size_t byteCount,
                               const HalvarisMediaSettings* settings, HalvarisMedia** media) {
  if (media != nullptr) *media = nullptr;
  if ((bytes == nullptr && byteCount > 0) || media == nullptr) {
    lastOpenError = "halvaris_media_open_memory needs the bytes and a place for the handle";
    return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  }
  return OpenMedia(settings, media, [&](HalvarisMedia& m) {
    m.path = "memory";
    m.clips = {m.path};
    auto file = std::make_unique<halvaris::media::InputFile>(
        m.path, std::vector<std::uint8_t>(bytes, bytes + byteCount));
    m.Settle(halvaris::media::OpenInput(std::move(file), m.settings.system));
  });
}

int halvaris_media_clip_count(const HalvarisMedia* media) {
  return media != nullptr ? static_cast<int>(media->clips.size()) : 0;
}

const char* halvaris_media_clip_name(const HalvarisMedia* media, int clip) {
  if (media == nullptr || clip < 0 || clip >= static_cast<int>(media->clips.size())) return nullptr;
  return media->clips[static_cast<std::size_t>(clip)].c_str();
}

int halvaris_media_select_clip(HalvarisMedia* media, int clip) {
  if (media == nullptr) return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  if (clip < 0 || clip >= static_cast<int>(media->clips.size())) {
    media->error = "clip " + std::to_string(clip) + " of " + std::to_string(media->clips.size()) +
                   " does not exist";
    return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  }
  return Guarded(media->error, [&] {
    if (!media->card) return HALVARIS_MEDIA_OK;  // the one clip is open already
    media->Open(media->clips[static_cast<std::size_t>(clip)]);
    return HALVARIS_MEDIA_OK;
  });
}

int halvaris_media_info(const HalvarisMedia* media, HalvarisMediaInfo* info) {
  if (media == nullptr || info == nullptr) return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  HalvarisMedia& self = const_cast<HalvarisMedia&>(*media);
  return Guarded(self.error, [&] {
    self.RequireClip();
    const OpenedInput& input = *self.input;
    const HalvarisSystemInfo& geometry = halvaris::media::GeometryOf(input.system);
    *info = HalvarisMediaInfo{};
    info->container = static_cast<int>(input.container) + HALVARIS_MEDIA_CONTAINER_RAW_DIF;
    info->system = input.system;
    info->frameCount = input.source->FrameCount();
    info->seekable = input.source->Seekable() ? 1 : 0;
    info->frameBytes = geometry.frameBytes;
    info->width = geometry.width;
    info->height = geometry.height;
    info->frameRateNumerator = geometry.frameRateNumerator;
    info->frameRateDenominator = geometry.frameRateDenominator;
    info->interlaced = geometry.interlaced;
    info->fieldOrder = input.fieldOrder == halvaris::media::FieldOrder::TopFirst
                           ? HALVARIS_FIELD_ORDER_TOP_FIRST
                       : input.fieldOrder == halvaris::media::FieldOrder::BottomFirst
                           ? HALVARIS_FIELD_ORDER_BOTTOM_FIRST
                           : HALVARIS_FIELD_ORDER_UNKNOWN;
    info->displayAspectNumerator = 16;
    info->displayAspectDenominator = 9;
    info->soundChannels = self.soundFormat.channels;
    info->soundBits = self.soundFormat.channels > 0 ? self.soundFormat.bitsPerSample : 0;
    info->soundRate = self.soundFormat.channels > 0 ? self.soundFormat.sampleRate : 0;
    info->description = input.description.c_str();
    return HALVARIS_MEDIA_OK;
  });
}

int halvaris_media_read_frame(HalvarisMedia* media, int64_t index, uint8_t* buffer,
                              size_t bufferBytes, size_t* frameBytes) {
  if (media == nullptr) return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  if (index < 0 || frameBytes == nullptr || (buffer == nullptr && bufferBytes > 0)) {
    media->error = "halvaris_media_read_frame needs a frame number from 0 and a place for the size";
    return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  }
  return Guarded(media->error, [&] {
    const std::vector<std::uint8_t>& frame = media->Frame(index);
    *frameBytes = frame.size();
    if (buffer == nullptr || bufferBytes < frame.size()) {
      media->error = "the buffer holds " + std::to_string(bufferBytes) + " bytes; frame " +
                     std::to_string(index) + " needs " + std::to_string(frame.size());
      return HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, frame.data(), frame.size());
    return HALVARIS_MEDIA_OK;
  });
}

int halvaris_media_describe_frame(HalvarisMedia* media, int64_t index,
                                  HalvarisFrameDescription* description) {
  if (media == nullptr) return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  if (index < 0 || description == nullptr) {
    media->error =
        "halvaris_media_describe_frame needs a frame number from 0 and a description to fill";
    return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  }
  return Guarded(media->error, [&] {
    const std::vector<std::uint8_t>& frame = media->Frame(index);
    // Refuses only a system outside 1..4, which an opened input never has.
    halvaris_describe_frame(media->input->system, frame.data(), frame.size(), description);
    return HALVARIS_MEDIA_OK;
  });
}

int halvaris_media_read_sound(HalvarisMedia* media, int64_t firstFrame, int64_t frameCount,
                              uint8_t* buffer, size_t bufferBytes, int64_t* samples) {
  if (media == nullptr) return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  if (firstFrame < 0 || frameCount < 0 || samples == nullptr ||
      (buffer == nullptr && bufferBytes > 0)) {
    media->error =
        "halvaris_media_read_sound needs frame numbers from 0, a count from 0 and a place for the "
        "number of samples";
    return HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT;
  }
  *samples = 0;
  return Guarded(media->error, [&] {
    return media->ReadSound(firstFrame, frameCount, buffer, bufferBytes, samples);
  });
}

const char* halvaris_media_last_error(const HalvarisMedia* media) {
  return media != nullptr ? media->error.c_str() : lastOpenError.c_str();
}

void halvaris_media_close(HalvarisMedia* media) {
  delete media;
}

}  // extern "C"
