"""The installed Python module on files FFmpeg makes: frames in a random order decode to the bytes
halvaris-decode writes, sound equals what FFmpeg extracts, and frame descriptions give the timecode
and recording date FFmpeg wrote.

Run by python_test.sh with PYTHONPATH at the installed package and HALVARIS_DECODE, FFMPEG,
HALVARIS_PREFIX and CC in the environment."""

import ctypes
import os
import random
import shutil
import subprocess
import tempfile
import unittest

import numpy

import halvaris

DECODE = os.environ["HALVARIS_DECODE"]
FFMPEG = os.environ["FFMPEG"]
PREFIX = os.environ["HALVARIS_PREFIX"]
CC = os.environ["CC"]

# 1080 lines at 50 Hz: sound is carried in the frames' audio blocks too, and 1920 samples a frame.
SYSTEM = 3
SIZE, RATE, FRAMES = "1440x1080", 25, 6
SAMPLES_PER_FRAME = 48000 // RATE
# FFmpeg writes these into the subcode and video auxiliary packs of every frame.
TIMECODE = "10:20:30:12"
CREATION_TIME = "2024-05-06T07:08:09Z"


def ffmpeg(*arguments):
    subprocess.run([FFMPEG, "-nostdin", "-v", "error", "-y", *arguments], check=True)


def tones(channels):
    """`channels` tones of different pitch, so that channels out of order show."""
    mix = "|".join("0.5*sin(%d*2*PI*t)" % (300 + 110 * channel) for channel in range(channels))
    return ["-f", "lavfi", "-i", "aevalsrc=%s:s=48000:d=%f" % (mix, FRAMES / RATE)]


def extracted_sound(path, channels):
    """FFmpeg's own reading of the sound of `path`, as (samples, channels) 16-bit samples."""
    raw = subprocess.run([FFMPEG, "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0",
                          "-c:a", "pcm_s16le", "-f", "s16le", "-"],
                         check=True, stdout=subprocess.PIPE).stdout
    return numpy.frombuffer(raw, "<i2").reshape(-1, channels)


class Files:
    """The inputs, made once: a raw DIF file with sound in its frames, the same frames in a movie
    and in an OP1a file with two channels, alone in an OP-Atom file, and as the clip of a card
    with one OP-Atom file per sound channel."""

    def __init__(self, folder):
        self.folder = folder
        video = self.path("video.dif")
        stamps = ["-timecode", TIMECODE, "-metadata", "creation_time=" + CREATION_TIME]
        ffmpeg("-f", "lavfi", "-i", "testsrc2=size=%s:rate=%d" % (SIZE, RATE),
               "-frames:v", str(FRAMES), "-c:v", "dvvideo", "-pix_fmt", "yuv422p",
               *stamps, "-f", "dv", video)
        self.raw_dif = self.path("sound.dif")
        # The DV muxer writes the packs anew: it is told the times again.
        ffmpeg("-i", video, *tones(2), "-map", "0:v", "-map", "1:a", "-c:v", "copy",
               "-c:a", "pcm_s16le", *stamps, "-f", "dv", self.raw_dif)
        self.movie = self.path("clip.mov")
        ffmpeg("-i", video, *tones(2), "-map", "0:v", "-map", "1:a", "-c:v", "copy",
               "-c:a", "pcm_s16le", "-f", "mov", self.movie)
        self.op1a = self.path("op1a.mxf")
        ffmpeg("-i", video, *tones(2), "-map", "0:v", "-map", "1:a", "-c:v", "copy",
               "-c:a", "pcm_s16le", "-shortest", "-f", "mxf", self.op1a)
        self.op_atom = self.path("atom.mxf")
        ffmpeg("-i", video, "-c:v", "copy", "-f", "mxf_opatom", self.op_atom)
        self.card = self.path("card")
        for name in ("VIDEO", "AUDIO"):
            os.makedirs(os.path.join(self.card, "CONTENTS", name))
        shutil.copy(self.op_atom, os.path.join(self.card, "CONTENTS", "VIDEO", "0001AB.MXF"))
        self.card_sound = []
        for channel, hertz in enumerate((440, 660)):
            sound = os.path.join(self.card, "CONTENTS", "AUDIO", "0001AB%02d.MXF" % channel)
            ffmpeg("-f", "lavfi", "-i", "sine=frequency=%d:sample_rate=48000" % hertz,
                   "-t", str(FRAMES / RATE), "-c:a", "pcm_s16le", "-f", "mxf_opatom", sound)
            self.card_sound.append(sound)

    def path(self, name):
        return os.path.join(self.folder, name)

    def pictures(self, path):
        """halvaris-decode's pictures of `path`, one bytes object per frame."""
        out = self.path("expected.yuy2")
        subprocess.run([DECODE, "-q", "--format", "yuy2", path, out], check=True)
        with open(out, "rb") as written:
            data = written.read()
        size = len(data) // FRAMES
        return [data[at:at + size] for at in range(0, len(data), size)]


def ctypes_layout(structure, prefix="", base=0):
    """{member: (offset, size)} of a ctypes structure, nested members named "outer.inner"."""
    layout = {}
    for name, kind in structure._fields_:
        member = getattr(structure, name)
        layout[prefix + name] = (base + member.offset, member.size)
        if issubclass(kind, ctypes.Structure):
            layout.update(ctypes_layout(kind, prefix + name + ".", base + member.offset))
    return layout


def c_layout(folder, type_name, members):
    """The same, as the C compiler lays out `type_name` of the installed header."""
    source = os.path.join(folder, "layout.c")
    program = os.path.join(folder, "layout")
    with open(source, "w") as out:
        out.write("#include <stddef.h>\n#include <stdio.h>\n#include <halvaris/halvaris.h>\n"
                  "int main(void) {\n")
        out.write('  printf("sizeof %%zu 0\\n", sizeof(%s));\n' % type_name)
        for member in members:
            out.write('  printf("%s %%zu %%zu\\n", offsetof(%s, %s), sizeof(((%s*)0)->%s));\n'
                      % (member, type_name, member, type_name, member))
        out.write("  return 0;\n}\n")
    subprocess.run([CC, "-I", os.path.join(PREFIX, "include"), "-o", program, source], check=True)
    printed = subprocess.run([program], check=True, stdout=subprocess.PIPE, text=True).stdout
    return {name: (int(offset), int(size))
            for name, offset, size in (line.split() for line in printed.splitlines())}


class HalvarisModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="halvaris-python-")
        cls.files = Files(cls.scratch)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_the_installed_module_loads_the_installed_libraries(self):
        self.assertTrue(halvaris.__file__.startswith(PREFIX))
        for library in (halvaris._decoder, halvaris._media):
            self.assertTrue(library._name.startswith(PREFIX), library._name)

    def test_frames_in_a_random_order_decode_as_halvaris_decode_decodes_them(self):
        inputs = {"raw DIF": self.files.raw_dif, "movie": self.files.movie,
                  "OP1a": self.files.op1a, "OP-Atom": self.files.op_atom,
                  "card": self.files.card}
        order = list(range(FRAMES)) * 2
        random.Random(17).shuffle(order)
        for kind, path in inputs.items():
            with self.subTest(kind), halvaris.open(path) as media:
                self.assertEqual((media.system, media.frame_count), (SYSTEM, FRAMES))
                expected = self.files.pictures(path)
                for index in order:
                    picture = media.decode_frame(index)
                    self.assertEqual(picture.dtype, numpy.uint8)
                    self.assertEqual(picture.shape, (1080, 2 * 1440))
                    self.assertEqual(picture.tobytes(), expected[index], "frame %d" % index)

    def test_sound_of_any_frames_equals_what_ffmpeg_extracts(self):
        card_channels = [extracted_sound(path, 1) for path in self.files.card_sound]
        inputs = {"raw DIF": (self.files.raw_dif, extracted_sound(self.files.raw_dif, 2)),
                  "movie": (self.files.movie, extracted_sound(self.files.movie, 2)),
                  "OP1a": (self.files.op1a, extracted_sound(self.files.op1a, 2)),
                  "card": (self.files.card, numpy.hstack(card_channels))}
        for kind, (path, expected) in inputs.items():
            with self.subTest(kind), halvaris.open(path) as media:
                whole = media.read_sound(0, FRAMES)
                self.assertEqual(whole.dtype, numpy.int16)
                numpy.testing.assert_array_equal(whole, expected[:FRAMES * SAMPLES_PER_FRAME])
                # A later range on its own, read after the whole.
                part = media.read_sound(4, 2)
                numpy.testing.assert_array_equal(part, whole[4 * SAMPLES_PER_FRAME:])

    def test_the_frame_description_is_laid_out_as_the_c_compiler_lays_it_out(self):
        expected = ctypes_layout(halvaris._FrameDescription)
        expected["sizeof"] = (ctypes.sizeof(halvaris._FrameDescription), 0)
        self.assertEqual(c_layout(self.scratch, "HalvarisFrameDescription", list(expected)[:-1]),
                         expected)

    def test_descriptions_give_the_timecode_and_recording_date_ffmpeg_wrote_in_any_order(self):
        order = list(range(FRAMES)) * 2
        random.Random(29).shuffle(order)
        hours, minutes, seconds, first_frame = (int(part) for part in TIMECODE.split(":"))
        date, time = CREATION_TIME.rstrip("Z").split("T")
        for kind, path in {"raw DIF": self.files.raw_dif, "OP-Atom": self.files.op_atom}.items():
            with self.subTest(kind), halvaris.open(path) as media:
                described = {}
                for index in order:
                    description = media.describe_frame(index)
                    # Read again after other frames, the same.
                    self.assertEqual(description, described.setdefault(index, description))
                for index, description in described.items():
                    self.assertEqual(description["timecode"], {
                        "text": "%02d:%02d:%02d:%02d" % (hours, minutes, seconds,
                                                         first_frame + index),
                        "hours": hours, "minutes": minutes, "seconds": seconds,
                        "frames": first_frame + index, "drop_frame": False,
                        "frame_pair_flag": -1}, "frame %d" % index)
                    recorded = description["recorded"]
                    self.assertEqual((recorded["date"], recorded["time"], recorded["source"]),
                                     (date, time, "video"), "frame %d" % index)
                    self.assertTrue(description["complete"])
                    self.assertEqual(description["flagged_blocks"], 0)
                    self.assertEqual(description["blocks_by_sta"][0], description["video_blocks"])
                    self.assertGreater(description["video_blocks"], 0)
                    self.assertEqual(description["sound_error_samples"],
                                     [0, 0] if kind == "raw DIF" else [])

    def test_failures_raise_the_libraries_line(self):
        missing = os.path.join(self.scratch, "missing.mxf")
        with self.assertRaises(halvaris.Error) as raised:
            halvaris.open(missing)
        self.assertIn("missing.mxf", str(raised.exception))
        self.assertLess(raised.exception.result, 0)
        with halvaris.open(self.files.op_atom) as media:
            with self.assertRaises(halvaris.Error) as raised:
                media.read_frame(FRAMES)
            self.assertNotEqual(str(raised.exception), "")
            self.assertRaises(halvaris.Error, media.describe_frame, FRAMES)
            # The OP-Atom video file has no sound of its own.
            self.assertRaises(halvaris.Error, media.read_sound, 0, 1)
        self.assertRaises(ValueError, media.read_frame, 0)
        self.assertRaises(ValueError, media.describe_frame, 0)


if __name__ == "__main__":
    unittest.main()
