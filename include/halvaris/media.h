/* libhalvaris-media: DVCPRO HD frames and their sound out of the files that hold them.
 *
 * Opens a raw DIF stream, a QuickTime movie, an MXF file (OP1a or OP-Atom, frame- or
 * clip-wrapped), a P2 card's folder or a card clip's video file, settles the video system, and
 * hands out compressed frames (ready for halvaris_decode_frame of <halvaris/halvaris.h>) and
 * the sound of any range of frames. The library prints nothing: results are 0 or a negative
 * HALVARIS_MEDIA_ERROR_..., halvaris_media_last_error says what is wrong and where in one line,
 * and warnings (damage passed over, a sound track left out) go to the settings' message
 * callback.
 *
 * Thread safety: a media handle is used by one thread at a time; different handles share
 * nothing. */
#ifndef HALVARIS_MEDIA_H
#define HALVARIS_MEDIA_H

#include <stddef.h>
#include <stdint.h>

#include "halvaris/halvaris.h"

#if defined(_WIN32) && defined(HALVARIS_MEDIA_SHARED_BUILD)
#define HALVARIS_MEDIA_API __declspec(dllexport)
#elif defined(_WIN32) && defined(HALVARIS_MEDIA_SHARED)
#define HALVARIS_MEDIA_API __declspec(dllimport)
#elif defined(__GNUC__)
#define HALVARIS_MEDIA_API __attribute__((visibility("default")))
#else
#define HALVARIS_MEDIA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results: 0 for success, negative for failure. The first two are halvaris.h's own. */
#define HALVARIS_MEDIA_OK 0
/* A null pointer where one is needed, a system not 0..4, a negative frame number or count. */
#define HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT HALVARIS_ERROR_INVALID_ARGUMENT
#define HALVARIS_MEDIA_ERROR_OUT_OF_MEMORY HALVARIS_ERROR_OUT_OF_MEMORY
/* The file or folder does not exist or cannot be opened, or a read failed. */
#define HALVARIS_MEDIA_ERROR_CANNOT_READ (-100)
/* The input is none of the containers read here, or holds DV of another kind than DVCPRO HD. */
#define HALVARIS_MEDIA_ERROR_NOT_DVCPRO_HD (-101)
/* Nothing in the input tells the video system: force one in the settings. */
#define HALVARIS_MEDIA_ERROR_UNKNOWN_SYSTEM (-102)
/* The input's structure is damaged or unsupported where it matters (an index that points past
 * the file, a frame cut short, a system that changes part-way). */
#define HALVARIS_MEDIA_ERROR_DAMAGED (-103)
/* The frame asked for lies past the end of the input. */
#define HALVARIS_MEDIA_ERROR_END_OF_INPUT (-104)
/* The buffer cannot hold what was asked for; nothing was written, and the size it needs was. */
#define HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL (-105)
/* A card of several clips was opened without naming one: list them, then select one. */
#define HALVARIS_MEDIA_ERROR_CLIP_NEEDED (-106)
/* The settings name a clip the card does not hold, or the input is not a card. */
#define HALVARIS_MEDIA_ERROR_UNKNOWN_CLIP (-107)
/* The input has no sound that is read (none at all, or audio blocks of a 720-line system). */
#define HALVARIS_MEDIA_ERROR_NO_SOUND (-108)
/* A stream (a pipe, standard input) was asked for a frame before one already read past. */
#define HALVARIS_MEDIA_ERROR_NOT_SEEKABLE (-109)

/* A short English description of a result, for example "buffer too small". */
HALVARIS_MEDIA_API const char* halvaris_media_result_text(int result);

typedef struct HalvarisMediaSettings {
  int system;       /* 1..4 forces the video system; 0 (the default): what the input says */
  const char* clip; /* the clip of a P2 card to open, or NULL; copied by halvaris_media_open */
  HalvarisMessageCallback messageCallback; /* warnings, one line each; NULL: dropped */
  void* messageUserData;
} HalvarisMediaSettings;

/* Fills `settings` with the defaults: system from the input, no clip, no callback. */
HALVARIS_MEDIA_API void halvaris_media_default_settings(HalvarisMediaSettings* settings);

#define HALVARIS_MEDIA_CONTAINER_RAW_DIF 1
#define HALVARIS_MEDIA_CONTAINER_MOVIE 2
#define HALVARIS_MEDIA_CONTAINER_MXF 3
#define HALVARIS_MEDIA_CONTAINER_P2_CLIP 4 /* a clip of a card: its video and sound files */

typedef struct HalvarisMediaInfo {
  int container;      /* HALVARIS_MEDIA_CONTAINER_... */
  int system;         /* 1..4 */
  int64_t frameCount; /* -1 for a stream, whose end is known only when it is reached */
  int seekable;       /* 1: frames and sound in any order; 0: a stream, read forwards only */
  size_t frameBytes;  /* the system's compressed frame: enough for any halvaris_media_read_frame */
  int width;          /* the coded picture, as halvaris_system_info gives it */
  int height;
  int frameRateNumerator; /* frames per second, as a fraction */
  int frameRateDenominator;
  int interlaced;             /* 1: each frame holds two fields */
  int fieldOrder;             /* HALVARIS_FIELD_ORDER_... (from the first frame) */
  int displayAspectNumerator; /* the picture's shape on screen (16:9) */
  int displayAspectDenominator;
  int soundChannels;       /* 0: no sound is read */
  int soundBits;           /* 16 or 24 */
  int soundRate;           /* samples per second */
  const char* description; /* what the input is, one line; lives as long as the handle */
} HalvarisMediaInfo;

typedef struct HalvarisMedia HalvarisMedia;

/* Opens `path`: a raw DIF file ("-" is standard input), a movie, an MXF file, a P2 card folder
 * (the one holding CONTENTS) or a card clip's video file (its sound files come with it).
 * `settings` NULL means the defaults. A card with one clip opens that clip; a card of several
 * opened without settings.clip still opens, so that halvaris_media_clip_count and
 * halvaris_media_clip_name list its clips, but every other call returns
 * HALVARIS_MEDIA_ERROR_CLIP_NEEDED until halvaris_media_select_clip chooses one.
 * On failure *media is NULL and halvaris_media_last_error(NULL) tells why. */
HALVARIS_MEDIA_API int halvaris_media_open(const char* path, const HalvarisMediaSettings* settings,
                                           HalvarisMedia** media);

/* The same for a file held in memory (copied): a raw DIF stream, a movie or an MXF file. */
HALVARIS_MEDIA_API int halvaris_media_open_memory(const uint8_t* bytes, size_t byteCount,
                                                  const HalvarisMediaSettings* settings,
                                                  HalvarisMedia** media);

/* The clips of a card (sorted by name), else 1. */
HALVARIS_MEDIA_API int halvaris_media_clip_count(const HalvarisMedia* media);

/* The name of clip 0..count-1 ("0001AB"); for an input that is not a card, its path. NULL when
 * `clip` is out of range. Lives as long as the handle. */
HALVARIS_MEDIA_API const char* halvaris_media_clip_name(const HalvarisMedia* media, int clip);

/* Makes clip 0..count-1 of a card the one read (any clip, any number of times). */
HALVARIS_MEDIA_API int halvaris_media_select_clip(HalvarisMedia* media, int clip);

/* Fills `info` for the clip being read. */
HALVARIS_MEDIA_API int halvaris_media_info(const HalvarisMedia* media, HalvarisMediaInfo* info);

/* Copies the compressed frame `index` (from 0) into `buffer`; *frameBytes receives its length
 * (at most info.frameBytes; a movie's or a stream's last frame may be shorter, and decodes with
 * the rest as zeros). Frames may be read in any order, backwards too, except from a stream:
 * there `index` must not lie before the frame read last (which can be read again).
 * A buffer smaller than the frame gives HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL with the length
 * needed in *frameBytes. */
HALVARIS_MEDIA_API int halvaris_media_read_frame(HalvarisMedia* media, int64_t index,
                                                 uint8_t* buffer, size_t bufferBytes,
                                                 size_t* frameBytes);

/* What compressed frame `index` says about itself, read without decoding it: the frame as
 * halvaris_media_read_frame gives it, described by halvaris_describe_frame (block status,
 * timecode, recording date and time, the picture's description, audio error samples). The same
 * rule for the order of frames as halvaris_media_read_frame. */
HALVARIS_MEDIA_API int halvaris_media_describe_frame(HalvarisMedia* media, int64_t index,
                                                     HalvarisFrameDescription* description);

/* Writes the sound of frames [firstFrame, firstFrame + frameCount): interleaved signed
 * little-endian samples of info.soundBits, info.soundChannels to a sample frame. *samples
 * receives the sample frames written (one sample of every channel). Samples the input marks as
 * damaged or lacks are written as silence and told to the message callback. A NULL buffer with
 * bufferBytes 0 only counts: *samples receives the sample frames the range holds. Any range,
 * in any order, except from a stream: the frames' sound is read from the frames themselves,
 * with the same rule as halvaris_media_read_frame. HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL gives
 * the count needed in *samples. Frames past the end give HALVARIS_MEDIA_ERROR_END_OF_INPUT. */
HALVARIS_MEDIA_API int halvaris_media_read_sound(HalvarisMedia* media, int64_t firstFrame,
                                                 int64_t frameCount, uint8_t* buffer,
                                                 size_t bufferBytes, int64_t* samples);

/* What went wrong in the last failed call on `media`, in one line naming the input, and where
 * (frame, offset) when known; "" when nothing has. With NULL: the last failed
 * halvaris_media_open or halvaris_media_open_memory of the calling thread. */
HALVARIS_MEDIA_API const char* halvaris_media_last_error(const HalvarisMedia* media);

/* Closes the files and frees the handle; NULL is allowed. */
HALVARIS_MEDIA_API void halvaris_media_close(HalvarisMedia* media);

#ifdef __cplusplus
}
#endif

#endif /* HALVARIS_MEDIA_H */
