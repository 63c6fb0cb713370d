"""The installed Python module on files FFmpeg makes: frames in a random order decode to the bytes
halvaris-decode writes, and sound equals what FFmpeg extracts.

Run by python_test.sh with PYTHONPATH at the installed package and HALVARIS_DECODE, FFMPEG and
HALVARIS_PREFIX in the environment."""

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

# 1080 lines at 50 Hz: sound is carried in the frames' audio blocks too, and 1920 samples a frame.
SYSTEM = 3
SIZE, RATE, FRAMES = "1440x1080", 25, 6
SAMPLES_PER_FRAME = 48000 // RATE


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
        ffmpeg("-f", "lavfi", "-i", "testsrc2=size=%s:rate=%d" % (SIZE, RATE),
               "-frames:v", str(FRAMES), "-c:v", "dvvideo", "-pix_fmt", "yuv422p", "-f", "dv",
               video)
        self.raw_dif = self.path("sound.dif")
        ffmpeg("-i", video, *tones(2), "-map", "0:v", "-map", "1:a", "-c:v", "copy",
               "-c:a", "pcm_s16le", "-f", "dv", self.raw_dif)
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
            # The OP-Atom video file has no sound of its own.
            self.assertRaises(halvaris.Error, media.read_sound, 0, 1)
        self.assertRaises(ValueError, media.read_frame, 0)


if __name__ == "__main__":
    unittest.main()
