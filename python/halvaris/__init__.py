"""DVCPRO HD frames, pictures and sound from Python, over libhalvaris and libhalvaris-media.

    import halvaris
    with halvaris.open("clip.mxf") as media:
        picture = media.decode_frame(0)         # numpy uint8, (height, 2 x width), packed YUY2
        sound = media.read_sound(0, 10)         # numpy int16 or int32, (samples, channels)
        about = media.describe_frame(0)         # a dict: what the frame says about itself

Errors raise halvaris.Error, whose text is the library's own line.

describe_frame(i) reads frame i without decoding it and gives a plain dict:
    timecode        None, or {"text": "hh:mm:ss:ff" (";" before ff when drop-frame), "hours",
                    "minutes", "seconds", "frames", "drop_frame", "frame_pair_flag" (-1 in the
                    1080-line systems)}
    recorded        the recording date and time of the video auxiliary packs, else the subcode's;
                    None when neither holds one. {"date": "yyyy-mm-dd" or None, "time":
                    "hh:mm:ss" or None, "year", "month", "day", "hours", "minutes", "seconds"
                    (0 where missing), "frames" (None when not given), "source": "video" or
                    "subcode"}
    video_blocks, flagged_blocks, concealed_blocks, concealed_previous_blocks,
    concealed_next_blocks, concealed_unspecified_blocks, error_blocks, reserved_blocks
                    video DIF block counts by status (STA)
    blocks_by_sta   16 counts, one per STA value, over the whole frame
    recording_start, display_mode
                    from the source control pack; None without one
    field_order     "top first", "bottom first" or None
    sound_error_samples
                    error samples per sound channel; None where the frame's sound is not read
                    (the 720-line systems)
    complete        False when the frame was shorter than its system's
"""

import ctypes
import fractions
import os

import numpy

__all__ = ["Error", "Media", "open"]


class Error(Exception):
    """A failed call; `result` is the library's negative result code."""

    def __init__(self, message, result):
        super().__init__(message)
        self.result = result


_MESSAGE_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p)

_END_OF_INPUT = -104
_BUFFER_TOO_SMALL = -105


class _SystemInfo(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("frameBytes", ctypes.c_size_t),
        ("pictureBytes", ctypes.c_size_t),
        ("frameRateNumerator", ctypes.c_int),
        ("frameRateDenominator", ctypes.c_int),
        ("interlaced", ctypes.c_int),
    ]


class _MediaSettings(ctypes.Structure):
    _fields_ = [
        ("system", ctypes.c_int),
        ("clip", ctypes.c_char_p),
        ("messageCallback", _MESSAGE_CALLBACK),
        ("messageUserData", ctypes.c_void_p),
    ]


class _MediaInfo(ctypes.Structure):
    _fields_ = [
        ("container", ctypes.c_int),
        ("system", ctypes.c_int),
        ("frameCount", ctypes.c_int64),
        ("seekable", ctypes.c_int),
        ("frameBytes", ctypes.c_size_t),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("frameRateNumerator", ctypes.c_int),
        ("frameRateDenominator", ctypes.c_int),
        ("interlaced", ctypes.c_int),
        ("fieldOrder", ctypes.c_int),
        ("displayAspectNumerator", ctypes.c_int),
        ("displayAspectDenominator", ctypes.c_int),
        ("soundChannels", ctypes.c_int),
        ("soundBits", ctypes.c_int),
        ("soundRate", ctypes.c_int),
        ("description", ctypes.c_char_p),
    ]


_MAX_DIF_CHANNELS = 4
_MAX_DIF_SEQUENCES = 12
_MAX_SOUND_CHANNELS = 8
_STA_VALUES = 16


class _Timecode(ctypes.Structure):
    _fields_ = [
        ("present", ctypes.c_int),
        ("hours", ctypes.c_int),
        ("minutes", ctypes.c_int),
        ("seconds", ctypes.c_int),
        ("frames", ctypes.c_int),
        ("dropFrame", ctypes.c_int),
        ("framePairFlag", ctypes.c_int),
    ]


class _RecordingTime(ctypes.Structure):
    _fields_ = [
        ("hasDate", ctypes.c_int),
        ("year", ctypes.c_int),
        ("month", ctypes.c_int),
        ("day", ctypes.c_int),
        ("hasTime", ctypes.c_int),
        ("hours", ctypes.c_int),
        ("minutes", ctypes.c_int),
        ("seconds", ctypes.c_int),
        ("frames", ctypes.c_int),
    ]


class _FrameDescription(ctypes.Structure):
    _fields_ = [
        ("system", ctypes.c_int),
        ("complete", ctypes.c_int),
        ("difChannels", ctypes.c_int),
        ("sequencesOfChannel", ctypes.c_int * _MAX_DIF_CHANNELS),
        ("blocksBySta",
         ctypes.c_uint16 * _STA_VALUES * _MAX_DIF_SEQUENCES * _MAX_DIF_CHANNELS),
        ("totalBySta", ctypes.c_uint32 * _STA_VALUES),
        ("videoBlocks", ctypes.c_uint32),
        ("flaggedBlocks", ctypes.c_uint32),
        ("concealedPreviousBlocks", ctypes.c_uint32),
        ("concealedNextBlocks", ctypes.c_uint32),
        ("concealedUnspecifiedBlocks", ctypes.c_uint32),
        ("concealedBlocks", ctypes.c_uint32),
        ("errorBlocks", ctypes.c_uint32),
        ("reservedBlocks", ctypes.c_uint32),
        ("timecode", _Timecode),
        ("videoRecordingTime", _RecordingTime),
        ("subcodeRecordingTime", _RecordingTime),
        ("hasSource", ctypes.c_int),
        ("sourceType", ctypes.c_int),
        ("fiftyHz", ctypes.c_int),
        ("hasSourceControl", ctypes.c_int),
        ("recordingStart", ctypes.c_int),
        ("recordingMode", ctypes.c_int),
        ("displayMode", ctypes.c_int),
        ("frameFlag", ctypes.c_int),
        ("firstField", ctypes.c_int),
        ("frameChange", ctypes.c_int),
        ("interlaced", ctypes.c_int),
        ("fieldOrder", ctypes.c_int),
        ("soundRead", ctypes.c_int),
        ("soundChannels", ctypes.c_int),
        ("soundSamples", ctypes.c_uint32 * _MAX_SOUND_CHANNELS),
        ("soundErrorSamples", ctypes.c_uint32 * _MAX_SOUND_CHANNELS),
        ("soundErrorSamplesTotal", ctypes.c_uint32),
    ]


_FIELD_ORDERS = {1: "top first", 2: "bottom first"}


def _timecode(timecode):
    if not timecode.present:
        return None
    separator = ";" if timecode.dropFrame else ":"
    return {
        "text": "%02d:%02d:%02d%s%02d" % (timecode.hours, timecode.minutes, timecode.seconds,
                                          separator, timecode.frames),
        "hours": timecode.hours, "minutes": timecode.minutes, "seconds": timecode.seconds,
        "frames": timecode.frames, "drop_frame": bool(timecode.dropFrame),
        "frame_pair_flag": timecode.framePairFlag,
    }


def _recorded(video, subcode):
    for source, recording in (("video", video), ("subcode", subcode)):
        if recording.hasDate or recording.hasTime:
            break
    else:
        return None
    return {
        "date": ("%04d-%02d-%02d" % (recording.year, recording.month, recording.day)
                 if recording.hasDate else None),
        "time": ("%02d:%02d:%02d" % (recording.hours, recording.minutes, recording.seconds)
                 if recording.hasTime else None),
        "year": recording.year, "month": recording.month, "day": recording.day,
        "hours": recording.hours, "minutes": recording.minutes, "seconds": recording.seconds,
        "frames": recording.frames if recording.frames >= 0 else None,
        "source": source,
    }


def _description(about):
    return {
        "timecode": _timecode(about.timecode),
        "recorded": _recorded(about.videoRecordingTime, about.subcodeRecordingTime),
        "video_blocks": about.videoBlocks,
        "flagged_blocks": about.flaggedBlocks,
        "concealed_blocks": about.concealedBlocks,
        "concealed_previous_blocks": about.concealedPreviousBlocks,
        "concealed_next_blocks": about.concealedNextBlocks,
        "concealed_unspecified_blocks": about.concealedUnspecifiedBlocks,
        "error_blocks": about.errorBlocks,
        "reserved_blocks": about.reservedBlocks,
        "blocks_by_sta": list(about.totalBySta),
        "recording_start": bool(about.recordingStart) if about.hasSourceControl else None,
        "display_mode": about.displayMode if about.hasSourceControl else None,
        "field_order": _FIELD_ORDERS.get(about.fieldOrder),
        "sound_error_samples": (list(about.soundErrorSamples[:about.soundChannels])
                                if about.soundRead else None),
        "complete": bool(about.complete),
    }


def _load(name):
    # The copy installed beside this package (prefix/lib/python3/dist-packages/halvaris is three
    # folders below prefix/lib) first, then whatever the system's loader finds. The decoder is
    # loaded globally so that the media library's need of it is met by the same copy.
    lib = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
    beside = os.path.join(lib, name)
    return ctypes.CDLL(beside if os.path.exists(beside) else name, mode=ctypes.RTLD_GLOBAL)


def _declare(library, name, result, *arguments):
    function = getattr(library, name)
    function.restype = result
    function.argtypes = list(arguments)


_decoder = _load("libhalvaris.so.1")
_media = _load("libhalvaris-media.so.1")

_MEDIA_POINTER = ctypes.c_void_p
_declare(_decoder, "halvaris_result_text", ctypes.c_char_p, ctypes.c_int)
_declare(_decoder, "halvaris_system_info", ctypes.c_int, ctypes.c_int, ctypes.POINTER(_SystemInfo))
_declare(_decoder, "halvaris_decoder_create", ctypes.c_int, ctypes.c_void_p,
         ctypes.POINTER(ctypes.c_void_p))
_declare(_decoder, "halvaris_decoder_destroy", None, ctypes.c_void_p)
_declare(_decoder, "halvaris_decode_frame", ctypes.c_int, ctypes.c_void_p, ctypes.c_int,
         ctypes.c_char_p, ctypes.c_size_t, ctypes.c_void_p, ctypes.c_ssize_t, ctypes.c_size_t)
_declare(_media, "halvaris_media_default_settings", None, ctypes.POINTER(_MediaSettings))
_declare(_media, "halvaris_media_open", ctypes.c_int, ctypes.c_char_p,
         ctypes.POINTER(_MediaSettings), ctypes.POINTER(_MEDIA_POINTER))
_declare(_media, "halvaris_media_clip_count", ctypes.c_int, _MEDIA_POINTER)
_declare(_media, "halvaris_media_clip_name", ctypes.c_char_p, _MEDIA_POINTER, ctypes.c_int)
_declare(_media, "halvaris_media_info", ctypes.c_int, _MEDIA_POINTER, ctypes.POINTER(_MediaInfo))
_declare(_media, "halvaris_media_read_frame", ctypes.c_int, _MEDIA_POINTER, ctypes.c_int64,
         ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t))
_declare(_media, "halvaris_media_read_sound", ctypes.c_int, _MEDIA_POINTER, ctypes.c_int64,
         ctypes.c_int64, ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_int64))
_declare(_media, "halvaris_media_describe_frame", ctypes.c_int, _MEDIA_POINTER, ctypes.c_int64,
         ctypes.POINTER(_FrameDescription))
_declare(_media, "halvaris_media_last_error", ctypes.c_char_p, _MEDIA_POINTER)
_declare(_media, "halvaris_media_close", None, _MEDIA_POINTER)


def _text(raw):
    return raw.decode("utf-8", "replace") if raw else ""


class Media:
    """An opened input: a raw DIF file, a movie, an MXF file, or a clip of a P2 card."""

    def __init__(self, path, clip=None, system=0, messages=None):
        """Opens `path`; `clip` names the clip of a card that holds several, `system` (1..4)
        forces the video system, and `messages` (a function of one string) hears the library's
        warnings, which are otherwise dropped."""
        self._handle = None
        self._decoder = None
        settings = _MediaSettings()
        _media.halvaris_media_default_settings(ctypes.byref(settings))
        settings.system = system
        settings.clip = os.fsencode(clip) if clip is not None else None
        # Kept for as long as the handle may call it.
        self._callback = _MESSAGE_CALLBACK(
            lambda _, text, caption: messages(_text(text)) if messages else None)
        settings.messageCallback = self._callback
        handle = _MEDIA_POINTER()
        result = _media.halvaris_media_open(os.fsencode(path), ctypes.byref(settings),
                                            ctypes.byref(handle))
        if result != 0:
            raise Error(_text(_media.halvaris_media_last_error(None)), result)
        self._handle = handle
        info = _MediaInfo()
        self._check(_media.halvaris_media_info(self._handle, ctypes.byref(info)))
        self._info = info
        geometry = _SystemInfo()
        self._check(_decoder.halvaris_system_info(info.system, ctypes.byref(geometry)))
        self._geometry = geometry
        self.description = _text(info.description)

    # What the input holds.
    @property
    def system(self):
        """The video system, 1..4."""
        return self._info.system

    @property
    def frame_count(self):
        """The number of frames, or -1 for a stream, whose end is known when it is reached."""
        return self._info.frameCount

    @property
    def width(self):
        return self._geometry.width

    @property
    def height(self):
        return self._geometry.height

    @property
    def frame_rate(self):
        return fractions.Fraction(self._info.frameRateNumerator, self._info.frameRateDenominator)

    @property
    def sound_channels(self):
        """0 when the input has no sound that is read."""
        return self._info.soundChannels

    @property
    def sound_bits(self):
        return self._info.soundBits

    @property
    def sound_rate(self):
        return self._info.soundRate

    @property
    def clips(self):
        """The clip names of a card, or the input's path for anything else."""
        handle = self._open_handle()
        return [_text(_media.halvaris_media_clip_name(handle, clip))
                for clip in range(_media.halvaris_media_clip_count(handle))]

    def read_frame(self, index):
        """The compressed frame `index` (from 0), as bytes; any order."""
        buffer = ctypes.create_string_buffer(self._info.frameBytes)
        length = ctypes.c_size_t()
        self._check(_media.halvaris_media_read_frame(self._open_handle(), index, buffer,
                                                     len(buffer), ctypes.byref(length)))
        return buffer.raw[:length.value]

    def describe_frame(self, index):
        """What frame `index` says about itself, read without decoding it: a dict (see the
        module's text); any order."""
        about = _FrameDescription()
        self._check(_media.halvaris_media_describe_frame(self._open_handle(), index,
                                                         ctypes.byref(about)))
        return _description(about)

    def decode_frame(self, index):
        """The picture of frame `index`: a uint8 array of (height, 2 x width), packed YUY2."""
        frame = self.read_frame(index)
        picture = numpy.empty((self._geometry.height, 2 * self._geometry.width), numpy.uint8)
        result = _decoder.halvaris_decode_frame(
            self._frame_decoder(), self._info.system, frame, len(frame),
            picture.ctypes.data_as(ctypes.c_void_p), picture.strides[0], picture.nbytes)
        if result != 0:
            raise Error("frame %d could not be decoded: %s"
                        % (index, _text(_decoder.halvaris_result_text(result))), result)
        return picture

    def read_sound(self, first, count):
        """The sound of frames [first, first + count): an array of (samples, channels), int16
        for 16-bit sound and int32 for 24-bit sound (the stored values, not scaled)."""
        handle = self._open_handle()
        samples = ctypes.c_int64()
        self._check(_media.halvaris_media_read_sound(handle, first, count, None, 0,
                                                     ctypes.byref(samples)))
        channels = self._info.soundChannels
        sample_bytes = self._info.soundBits // 8
        buffer = numpy.empty(samples.value * channels * sample_bytes, numpy.uint8)
        self._check(_media.halvaris_media_read_sound(
            handle, first, count, buffer.ctypes.data_as(ctypes.c_void_p), buffer.nbytes,
            ctypes.byref(samples)))
        stored = buffer[:samples.value * channels * sample_bytes]
        if sample_bytes == 2:
            return stored.view("<i2").astype(numpy.int16).reshape(-1, channels)
        # Three bytes a sample: sign-extended into 32 bits.
        triples = stored.reshape(-1, 3).astype(numpy.int32)
        values = triples[:, 0] | (triples[:, 1] << 8) | (triples[:, 2] << 16)
        values = numpy.where(values >= 1 << 23, values - (1 << 24), values).astype(numpy.int32)
        return values.reshape(-1, channels)

    def close(self):
        """Closes the input and frees the decoder; calling it again does nothing."""
        if self._decoder is not None:
            _decoder.halvaris_decoder_destroy(self._decoder)
            self._decoder = None
        if self._handle is not None:
            _media.halvaris_media_close(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def __del__(self):
        self.close()

    def _open_handle(self):
        if self._handle is None:
            raise ValueError("the input is closed")
        return self._handle

    def _check(self, result):
        if result != 0:
            raise Error(_text(_media.halvaris_media_last_error(self._handle)), result)

    def _frame_decoder(self):
        if self._decoder is None:
            decoder = ctypes.c_void_p()
            result = _decoder.halvaris_decoder_create(None, ctypes.byref(decoder))
            if result != 0:
                raise Error("the decoder could not be made: "
                            + _text(_decoder.halvaris_result_text(result)), result)
            self._decoder = decoder
        return self._decoder


def open(path, clip=None, system=0, messages=None):  # noqa: A001 (the module's entry, like io.open)
    """Opens a raw DIF file, a movie, an MXF file, a P2 card folder or a card clip's video file."""
    return Media(path, clip, system, messages)
