/* Writes the stand-in firmware image: a seeded pseudo-random byte pattern.
 * Every 256-byte block differs from every other, so a block that is sent
 * twice, skipped or put in the wrong place shows up when the received image
 * is compared with this one.  Usage: make_placeholder OUT LENGTH [SEED] */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s OUT LENGTH [SEED]\n", argv[0]);
    return 2;
  }
  unsigned long length = strtoul(argv[2], NULL, 0);
  unsigned long seed = argc > 3 ? strtoul(argv[3], NULL, 0) : 0x5EED1234UL;
  FILE* out = fopen(argv[1], "wb");
  if (!out) {
    perror(argv[1]);
    return 1;
  }
  unsigned int state = (unsigned int)seed ? (unsigned int)seed : 1u;
  for (unsigned long i = 0; i < length; ++i) {
    /* xorshift32 */
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    if (fputc((int)(state >> 24), out) == EOF) {
      perror(argv[1]);
      fclose(out);
      return 1;
    }
  }
  return fclose(out) == 0 ? 0 : 1;
}
