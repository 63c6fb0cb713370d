/* A program of someone else's, written in C against the installed libraries: opens an input
 * through libhalvaris-media, reads its frames in a shuffled order (each read once, backwards
 * as often as not), decodes them with libhalvaris and writes the pictures in frame order; given a
 * third name, writes there the sound of all the frames, read later half first. */
#include <halvaris/halvaris.h>
#include <halvaris/media.h>
#include <stdio.h>
#include <stdlib.h>

static void Fail(const char* what, const char* why) {
  fprintf(stderr, "media_consumer: %s: %s\n", what, why);
  exit(1);
}

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    fprintf(stderr, "usage: media_consumer INPUT PICTURES.yuy2 [SOUND.raw]\n");
    return 2;
  }
  HalvarisMedia* media = NULL;
  if (halvaris_media_open(argv[1], NULL, &media) != HALVARIS_MEDIA_OK)
    Fail(argv[1], halvaris_media_last_error(NULL));
  HalvarisMediaInfo info;
  if (halvaris_media_info(media, &info) != HALVARIS_MEDIA_OK)
    Fail("info", halvaris_media_last_error(media));
  if (info.frameCount <= 0) Fail(argv[1], "no frames");

  HalvarisDecoder* decoder = NULL;
  if (halvaris_decoder_create(NULL, &decoder) != HALVARIS_OK) Fail("decoder", "not made");
  const size_t count = (size_t)info.frameCount;
  const size_t pictureBytes = 2 * (size_t)info.width * (size_t)info.height;
  uint8_t* pictures = malloc(count * pictureBytes);
  uint8_t* frame = malloc(info.frameBytes);
  size_t* order = malloc(count * sizeof *order);
  if (!pictures || !frame || !order) Fail("memory", "not enough");
  for (size_t i = 0; i < count; ++i) order[i] = i;
  unsigned seed = 12345;
  for (size_t i = count; i > 1; --i) { /* Fisher-Yates with a fixed seed */
    seed = seed * 1103515245u + 12345u;
    const size_t j = (seed >> 16) % i;
    const size_t held = order[i - 1];
    order[i - 1] = order[j];
    order[j] = held;
  }
  for (size_t i = 0; i < count; ++i) {
    size_t frameBytes = 0;
    if (halvaris_media_read_frame(media, (int64_t)order[i], frame, info.frameBytes, &frameBytes) !=
        HALVARIS_MEDIA_OK)
      Fail("frame", halvaris_media_last_error(media));
    if (halvaris_decode_frame(decoder, info.system, frame, frameBytes,
                              pictures + order[i] * pictureBytes, 2 * info.width,
                              pictureBytes) != HALVARIS_OK)
      Fail("decode", "failed");
  }
  FILE* out = fopen(argv[2], "wb");
  if (!out || fwrite(pictures, pictureBytes, count, out) != count || fclose(out) != 0)
    Fail(argv[2], "cannot write");
  if (argc == 4) {
    if (info.soundChannels == 0) Fail(argv[1], "no sound");
    const int64_t half = info.frameCount / 2;
    int64_t earlier = 0, later = 0, got = 0;
    if (halvaris_media_read_sound(media, 0, half, NULL, 0, &earlier) != HALVARIS_MEDIA_OK ||
        halvaris_media_read_sound(media, half, info.frameCount - half, NULL, 0, &later) !=
            HALVARIS_MEDIA_OK)
      Fail("sound count", halvaris_media_last_error(media));
    const size_t sampleFrameBytes = (size_t)info.soundChannels * (size_t)(info.soundBits / 8);
    uint8_t* sound = malloc((size_t)(earlier + later) * sampleFrameBytes + 1);
    if (!sound) Fail("memory", "not enough");
    if (halvaris_media_read_sound(media, half, info.frameCount - half,
                                  sound + (size_t)earlier * sampleFrameBytes,
                                  (size_t)later * sampleFrameBytes, &got) != HALVARIS_MEDIA_OK ||
        got != later)
      Fail("later sound", halvaris_media_last_error(media));
    if (halvaris_media_read_sound(media, 0, half, sound, (size_t)earlier * sampleFrameBytes,
                                  &got) != HALVARIS_MEDIA_OK ||
        got != earlier)
      Fail("earlier sound", halvaris_media_last_error(media));
    FILE* soundFile = fopen(argv[3], "wb");
    const size_t soundBytes = (size_t)(earlier + later) * sampleFrameBytes;
    if (!soundFile || fwrite(sound, 1, soundBytes, soundFile) != soundBytes ||
        fclose(soundFile) != 0)
      Fail(argv[3], "cannot write");
    free(sound);
  }
  halvaris_decoder_destroy(decoder);
  halvaris_media_close(media);
  free(order);
  free(frame);
  free(pictures);
  printf("libhalvaris-media: %s, %lld frames of system %d\n", info.description,
         (long long)info.frameCount, info.system);
  return 0;
}
