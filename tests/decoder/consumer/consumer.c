/* A program of someone else's, written in C against the installed library: decodes one frame
 * file and writes the picture with padded lines, then without the padding. */
#include <halvaris/halvaris.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: consumer FRAME.dif PICTURE.yuy2\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (!in) return 3;
  static uint8_t frame[600000];
  const size_t frameBytes = fread(frame, 1, sizeof frame, in);
  fclose(in);

  HalvarisFrameFacts facts;
  const int system = halvaris_detect_system(frame, frameBytes, &facts);
  HalvarisSystemInfo info;
  if (halvaris_system_info(system, &info) != HALVARIS_OK) return 4;

  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  settings.workerCount = 2;
  HalvarisDecoder* decoder = NULL;
  if (halvaris_decoder_create(&settings, &decoder) != HALVARIS_OK) return 5;
  const ptrdiff_t pitch = 2 * info.width + 64;
  uint8_t* picture = malloc((size_t)pitch * (size_t)info.height);
  const int result = halvaris_decode_frame(decoder, system, frame, frameBytes, picture, pitch,
                                           (size_t)pitch * (size_t)info.height);
  halvaris_decoder_destroy(decoder);
  if (result != HALVARIS_OK) {
    fprintf(stderr, "%s\n", halvaris_result_text(result));
    return 6;
  }
  FILE* out = fopen(argv[2], "wb");
  if (!out) return 7;
  for (int line = 0; line < info.height; ++line) {
    fwrite(picture + (size_t)line * (size_t)pitch, 1, 2 * (size_t)info.width, out);
  }
  fclose(out);
  free(picture);
  printf("libhalvaris %s, system %d\n", halvaris_version(), system);
  return 0;
}
