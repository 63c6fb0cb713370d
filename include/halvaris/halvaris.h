/* libhalvaris: DVCPRO HD ("dvh1") frames into packed 4:2:2 "YUY2" pictures.
 *
 * One compressed frame in, one picture out, decoded on up to eight worker threads. The decoder
 * never fails on damaged data (every bit pattern decodes to some picture); the results below
 * report only misuse and resource failures. The library prints nothing and shows nothing: what
 * a user should hear about (a worker thread that could not be started, a buffer that could not
 * be allocated) goes to the message callback of the decoder's settings.
 *
 * Thread safety: the functions without a decoder argument may be called from any thread at any
 * time. A decoder decodes one frame at a time: a second halvaris_decode_frame on the same decoder
 * while one runs (from another thread, or from the decoder's message callback) returns
 * HALVARIS_ERROR_BUSY at once and writes nothing. Different decoders run at the same time without
 * sharing anything but constant tables. */
#ifndef HALVARIS_HALVARIS_H
#define HALVARIS_HALVARIS_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(HALVARIS_SHARED_BUILD)
#define HALVARIS_API __declspec(dllexport)
#elif defined(_WIN32) && defined(HALVARIS_SHARED)
#define HALVARIS_API __declspec(dllimport)
#elif defined(__GNUC__)
#define HALVARIS_API __attribute__((visibility("default")))
#else
#define HALVARIS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results: 0 for success, negative for failure. */
#define HALVARIS_OK 0
/* A null pointer where one is needed, a video system not 1..4, a setting out of range. */
#define HALVARIS_ERROR_INVALID_ARGUMENT (-1)
/* The pitch or the buffer cannot hold the system's coded picture; nothing was written. */
#define HALVARIS_ERROR_PICTURE_TOO_SMALL (-2)
/* Memory for the decoder could not be allocated. */
#define HALVARIS_ERROR_OUT_OF_MEMORY (-3)
/* The picture was written, but not all of it was decoded: a worker's buffers could not be
 * allocated. The message callback has been told what failed. (A worker thread that cannot be
 * started is told too, but its share is decoded on the calling thread.) */
#define HALVARIS_ERROR_INCOMPLETE (-4)
/* The decoder is decoding another frame (on another thread, or this call came from its message
 * callback); nothing was written. Use one decoder per thread, or wait for the other call. */
#define HALVARIS_ERROR_BUSY (-5)

/* A short English description of a result, for example "picture buffer too small". */
HALVARIS_API const char* halvaris_result_text(int result);

/* The library's version as "major.minor.patch", and as (major << 16) | (minor << 8) | patch. */
HALVARIS_API const char* halvaris_version(void);
HALVARIS_API unsigned halvaris_version_number(void);

/* The four video systems. */
#define HALVARIS_SYSTEM_1080_60 1 /* 1080 lines at 59.94 Hz, coded 1280 x 1080 */
#define HALVARIS_SYSTEM_720_60 2  /* 720 lines at 59.94 Hz, coded 960 x 720 */
#define HALVARIS_SYSTEM_1080_50 3 /* 1080 lines at 50 Hz, coded 1440 x 1080 */
#define HALVARIS_SYSTEM_720_50 4  /* 720 lines at 50 Hz, coded 960 x 720 */

typedef struct HalvarisSystemInfo {
  int width;              /* coded luma samples per line */
  int height;             /* coded lines */
  size_t frameBytes;      /* one compressed frame */
  size_t pictureBytes;    /* one packed picture of the coded size, lines of 2 x width bytes */
  int frameRateNumerator; /* compressed frames per second, as a fraction */
  int frameRateDenominator;
  int interlaced; /* 1: a frame holds two fields (the 1080-line systems) */
} HalvarisSystemInfo;

/* Fills `info` for a system 1..4; HALVARIS_ERROR_INVALID_ARGUMENT otherwise. */
HALVARIS_API int halvaris_system_info(int system, HalvarisSystemInfo* info);

/* The system whose compressed frames are exactly `frameBytes` long, or 0 when none is. */
HALVARIS_API int halvaris_system_of_frame_size(uint64_t frameBytes);

#define HALVARIS_FIELD_ORDER_UNKNOWN 0
#define HALVARIS_FIELD_ORDER_TOP_FIRST 1
#define HALVARIS_FIELD_ORDER_BOTTOM_FIRST 2

/* What the header block and the video auxiliary data at the start of a frame say about it. */
typedef struct HalvarisFrameFacts {
  int difHeader;  /* 1: the data begin with the header block of a DIF sequence */
  int system;     /* 1..4, or 0 when the data do not name a DVCPRO HD system */
  int fieldOrder; /* HALVARIS_FIELD_ORDER_... */
  int sourceType; /* STYPE of the video source pack, or -1 when there is none */
} HalvarisFrameFacts;

/* The bytes at the start of a frame that halvaris_detect_system reads; fewer give what they can. */
#define HALVARIS_DETECT_BYTES 480

/* Reads the start of a compressed frame. Returns its system (1..4), or 0 when the data do not
 * name a DVCPRO HD system (not DIF data, or DV of another kind). `facts` may be NULL. */
HALVARIS_API int halvaris_detect_system(const uint8_t* data, size_t dataBytes,
                                        HalvarisFrameFacts* facts);

/* What a compressed frame says about itself, read without decoding it: the status of every
 * video DIF block, the timecode, the recording date and time, the picture's description and the
 * audio samples marked as errors. Every item the frame may lack has a flag that says whether it
 * was found; a missing item is never given as zero values. */

/* The status (STA) of a video DIF block: how the device that wrote the frame dealt with its
 * macroblock. 0 is an undamaged block; the concealed values say the device replaced the
 * macroblock; the error values say the damaged data were passed on as they were. */
#define HALVARIS_STA_CLASS_NONE 0
#define HALVARIS_STA_CLASS_CONCEALED_PREVIOUS 1    /* replaced from the previous frame: 0x2, 0xA */
#define HALVARIS_STA_CLASS_CONCEALED_NEXT 2        /* replaced from the next frame: 0x4, 0xC */
#define HALVARIS_STA_CLASS_CONCEALED_UNSPECIFIED 3 /* replaced by means not said: 0x6, 0xE */
#define HALVARIS_STA_CLASS_ERROR 4                 /* errors left in the data: 0x7, 0xF */
#define HALVARIS_STA_CLASS_RESERVED 5              /* the other values */

/* The class of a STA value 0..15 (HALVARIS_STA_CLASS_...); RESERVED for values outside 0..15. */
HALVARIS_API int halvaris_sta_class(int sta);

/* Sets of STA values, bit n for value n, for halvaris_mark_damage. */
#define HALVARIS_STA_CONCEALED_MASK 0x5454u /* 0x2, 0x4, 0x6, 0xA, 0xC, 0xE */
#define HALVARIS_STA_ERROR_MASK 0x8080u     /* 0x7, 0xF */

#define HALVARIS_MAX_DIF_CHANNELS 4
#define HALVARIS_MAX_DIF_SEQUENCES 12 /* per channel */
#define HALVARIS_MAX_SOUND_CHANNELS 8

typedef struct HalvarisTimecode {
  int present; /* 0: the frame holds no readable timecode pack, and the fields below are 0 */
  int hours, minutes, seconds, frames;
  int dropFrame; /* 1: drop-frame counting */
  /* The 720-line systems count pairs of frames (two frames share one value); this bit of the pack
   * tells the frames of a pair apart where the recording device sets it (field mark bit: the
   * second frame of a pair). -1 in the 1080-line systems. */
  int framePairFlag;
} HalvarisTimecode;

typedef struct HalvarisRecordingTime {
  int hasDate; /* 0: no readable date; year, month and day are then 0 */
  int year;    /* four digits: the pack's two digits, 69..99 taken as 19xx, the rest as 20xx */
  int month, day;
  int hasTime; /* 0: no readable time of day; hours, minutes and seconds are then 0 */
  int hours, minutes, seconds;
  int frames; /* -1 when the pack gives none */
} HalvarisRecordingTime;

typedef struct HalvarisFrameDescription {
  int system;   /* as asked for */
  int complete; /* 0: the data were shorter than the system's frame; blocks past the end are
                   counted nowhere, and items found only there are missing */

  /* Video DIF blocks per STA value, per channel and DIF sequence, over the sequences that carry
   * the picture (sequencesOfChannel[c] of channel c, in the order stored; the 720-line systems
   * store two channels). */
  int difChannels;
  int sequencesOfChannel[HALVARIS_MAX_DIF_CHANNELS];
  uint16_t blocksBySta[HALVARIS_MAX_DIF_CHANNELS][HALVARIS_MAX_DIF_SEQUENCES][16];
  uint32_t totalBySta[16]; /* the same over the whole frame */
  uint32_t videoBlocks;    /* video DIF blocks counted */
  uint32_t flaggedBlocks;  /* STA not 0 */
  uint32_t concealedPreviousBlocks, concealedNextBlocks, concealedUnspecifiedBlocks;
  uint32_t concealedBlocks; /* the three above together */
  uint32_t errorBlocks;
  uint32_t reservedBlocks;

  HalvarisTimecode timecode;                /* subcode timecode pack */
  HalvarisRecordingTime videoRecordingTime; /* video auxiliary recording date and time packs */
  HalvarisRecordingTime subcodeRecordingTime;

  /* Video auxiliary source pack. */
  int hasSource;
  int sourceType; /* STYPE */
  int fiftyHz;    /* the 50/60 flag: 1 for 50 Hz */
  /* Video auxiliary source control pack. */
  int hasSourceControl;
  int recordingStart; /* 1: the pack marks this frame as the first of a recording (REC ST) */
  int recordingMode;  /* REC MODE, 0..3 (0: original recording) */
  int displayMode;    /* DISP, 0..7: 0 is 4:3, 2 is 16:9 full frame */
  int frameFlag;      /* FF: 1 when both fields are output, 0 when one field is output twice */
  int firstField;     /* FS: with FF set, 1 when field 1 comes first */
  int frameChange;    /* FC: 0 when the picture is the same as the previous frame's */
  int interlaced;     /* IL */
  int fieldOrder;     /* HALVARIS_FIELD_ORDER_..., from FF and FS */

  /* Sound in the audio DIF blocks (1080-line systems; soundRead is 0 in the 720-line systems,
   * whose audio blocks are not read). A channel's samples are those its audio source pack gives
   * (0: the channel's blocks hold no source pack for 16-bit 48 kHz sound); error samples are
   * samples holding the error code 0x8000. */
  int soundRead;
  int soundChannels; /* channels up to the last one with a source pack */
  uint32_t soundSamples[HALVARIS_MAX_SOUND_CHANNELS];
  uint32_t soundErrorSamples[HALVARIS_MAX_SOUND_CHANNELS];
  uint32_t soundErrorSamplesTotal;
} HalvarisFrameDescription;

/* Reads what a compressed frame of `system` (1..4) says about itself into `description`, without
 * decoding it. Fast: it reads the status byte of each video block, the subcode and auxiliary
 * blocks and the audio blocks. HALVARIS_ERROR_INVALID_ARGUMENT for a system not 1..4 or a null
 * `description` (or null `frame` with bytes); damaged or short data are described, never
 * refused. */
HALVARIS_API int halvaris_describe_frame(int system, const uint8_t* frame, size_t frameBytes,
                                         HalvarisFrameDescription* description);

/* Paints, in a decoded picture of the frame (packed YUY2 as halvaris_decode_frame writes it), the
 * macroblocks whose video DIF block's STA value is in `staMask` (bit n for value n, for example
 * HALVARIS_STA_CONCEALED_MASK | HALVARIS_STA_ERROR_MASK) in one colour (luma, blue and red
 * colour difference); the rest of the picture is left alone. Returns the number of macroblocks
 * painted, or a negative result as halvaris_decode_frame (nothing is then written). */
HALVARIS_API int halvaris_mark_damage(int system, const uint8_t* frame, size_t frameBytes,
                                      unsigned staMask, uint8_t* picture, ptrdiff_t pitch,
                                      size_t pictureBytes, uint8_t luma, uint8_t blueDifference,
                                      uint8_t redDifference);

/* A decoder runs at most this many workers. */
#define HALVARIS_MAX_WORKERS 8

/* Worker threads for this machine: the processors this process may run on, 1..8. */
HALVARIS_API int halvaris_default_worker_count(void);

#define HALVARIS_THREADS_POOL 0     /* workers live as long as the decoder and wait between waves */
#define HALVARIS_THREADS_PER_WAVE 1 /* fresh threads for every wave of every frame */

/* Receives what the user should be told: `text` (one line, English) and `caption` (the
 * product's name). Called only from inside halvaris_decode_frame, on any of the decoder's threads
 * (the caller's or a worker), one call at a time per decoder; the decode waits for it.
 * The callback may show or record the message, and use other decoders. It must not wait for the
 * thread that called halvaris_decode_frame, nor for anything that thread holds. A decode on the
 * same decoder from inside the callback returns HALVARIS_ERROR_BUSY. halvaris_decoder_destroy on
 * the same decoder from inside the callback is carried out when the running decode returns. */
typedef void (*HalvarisMessageCallback)(void* userData, const char* text, const char* caption);

typedef struct HalvarisSettings {
  int workerCount;   /* 1..HALVARIS_MAX_WORKERS; 0 for halvaris_default_worker_count() */
  int threadingMode; /* HALVARIS_THREADS_... */
  HalvarisMessageCallback messageCallback; /* NULL: messages are dropped */
  void* messageUserData;
} HalvarisSettings;

/* Fills `settings` with the defaults: one worker per processor, a pool, no callback. */
HALVARIS_API void halvaris_default_settings(HalvarisSettings* settings);

typedef struct HalvarisDecoder HalvarisDecoder;

/* Creates a decoder; `settings` NULL means the defaults. On failure *decoder is NULL. */
HALVARIS_API int halvaris_decoder_create(const HalvarisSettings* settings,
                                         HalvarisDecoder** decoder);

/* Ends the decoder's threads and frees it; NULL is allowed. Called while a decode on the decoder
 * runs (from its message callback, say), it returns at once and the decoder is freed as that
 * decode returns; until then the callback may still be called. */
HALVARIS_API void halvaris_decoder_destroy(HalvarisDecoder* decoder);

/* The decoder's worker count after clamping, 1..8. */
HALVARIS_API int halvaris_decoder_worker_count(const HalvarisDecoder* decoder);

/* Decodes one compressed frame of `system` into `picture`: packed YUY2 (bytes Y0 Cb Y1 Cr per
 * pixel pair), top line first, `pitch` bytes from one line to the next (at least 2 x the coded
 * width), `pictureBytes` bytes available (at least pitch x (height - 1) + 2 x width). Only the
 * coded picture is written; padding at the ends of lines is left alone. Bottom-up pictures are
 * not written: a negative pitch returns HALVARIS_ERROR_INVALID_ARGUMENT.
 * Returns HALVARIS_ERROR_BUSY, writing nothing, when the decoder is decoding another frame.
 * A frame shorter than the system's size decodes as if the missing bytes were zero; bytes past
 * the system's size are ignored. */
HALVARIS_API int halvaris_decode_frame(HalvarisDecoder* decoder, int system, const uint8_t* frame,
                                       size_t frameBytes, uint8_t* picture, ptrdiff_t pitch,
                                       size_t pictureBytes);

/* halvaris_decode_frame that also counts, in `unfinishedBlocks` (may be NULL), the blocks whose
 * codes ran out of bits before an end of block, after every pass over the spare bits of their
 * macroblock and video segment: damage that no STA value announced. The picture is the same. */
HALVARIS_API int halvaris_decode_frame_counting(HalvarisDecoder* decoder, int system,
                                                const uint8_t* frame, size_t frameBytes,
                                                uint8_t* picture, ptrdiff_t pitch,
                                                size_t pictureBytes, uint32_t* unfinishedBlocks);

#ifdef __cplusplus
}
#endif

#endif /* HALVARIS_HALVARIS_H */
