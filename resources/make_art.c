/* Draws the program's pictures: the icon (a PLC chip at 16, 32 and 48
 * pixels, 32-bit with alpha) and the logo bitmap (87 x 28, 24-bit).
 * Usage: make_art ICON.ico LOGO.bmp */
#include <stdio.h>
#include <string.h>

typedef struct {
  unsigned char b, g, r, a;
} Pixel;

enum { kMaxSide = 96 };
static Pixel canvas[kMaxSide * kMaxSide];
static int side_w, side_h;

static void Clear(int w, int h, Pixel p) {
  side_w = w;
  side_h = h;
  for (int i = 0; i < w * h; ++i) canvas[i] = p;
}

static void Fill(int x0, int y0, int x1, int y1, Pixel p) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (x >= 0 && y >= 0 && x < side_w && y < side_h) canvas[y * side_w + x] = p;
}

/* Glyphs, one string per row, '#' set. */
typedef struct {
  char c;
  int w, h;
  const char* rows[7];
} Glyph;

static const Glyph kSmall[] = {
    {'P', 3, 5, {"###", "#.#", "###", "#..", "#.."}},
    {'L', 3, 5, {"#..", "#..", "#..", "#..", "###"}},
    {'C', 3, 5, {"###", "#..", "#..", "#..", "###"}},
};

static const Glyph kLarge[] = {
    {'V', 5, 7, {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'E', 5, 7, {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'M', 5, 7, {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'O', 5, 7, {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'R', 5, 7, {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'A', 5, 7, {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
};

static const Glyph* Find(const Glyph* set, int n, char c) {
  for (int i = 0; i < n; ++i)
    if (set[i].c == c) return &set[i];
  return NULL;
}

/* Draws text with the glyph set at x, y, each glyph pixel scale x scale. */
static void Text(const Glyph* set, int n, const char* text, int x, int y, int scale, Pixel p) {
  for (; *text; ++text) {
    const Glyph* g = Find(set, n, *text);
    if (!g) continue;
    for (int row = 0; row < g->h; ++row)
      for (int col = 0; col < g->w; ++col)
        if (g->rows[row][col] == '#')
          Fill(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale, p);
    x += (g->w + 1) * scale;
  }
}

static int TextWidth(const Glyph* set, int n, const char* text, int scale) {
  int w = 0;
  for (; *text; ++text) {
    const Glyph* g = Find(set, n, *text);
    if (g) w += (g->w + 1) * scale;
  }
  return w > 0 ? w - scale : 0;
}

static const Pixel kClear = {0, 0, 0, 0};
static const Pixel kBody = {0x42, 0x38, 0x30, 0xFF}; /* dark slate */
static const Pixel kEdge = {0x26, 0x20, 0x1A, 0xFF};
static const Pixel kPin = {0xC8, 0xC8, 0xC8, 0xFF}; /* tin */
static const Pixel kWhite = {0xFF, 0xFF, 0xFF, 0xFF};
static const Pixel kGreen = {0x40, 0xD0, 0x30, 0xFF}; /* run LED */
static const Pixel kNavy = {0x68, 0x3A, 0x1F, 0xFF};
static const Pixel kOrange = {0x20, 0x90, 0xF0, 0xFF};

/* A chip seen from above: body, four pins a side, "PLC" and a run LED. */
static void DrawChip(int n) {
  Clear(n, n, kClear);
  int left = n * 22 / 100, right = n - left;
  int top = n * 10 / 100, bottom = n - top;
  int pins = 4;
  int pitch = (bottom - top) / pins;
  int pinH = pitch / 2 > 0 ? pitch / 2 : 1;
  for (int i = 0; i < pins; ++i) {
    int y = top + i * pitch + (pitch - pinH) / 2;
    Fill(left - n * 14 / 100, y, left, y + pinH, kPin);
    Fill(right, y, right + n * 14 / 100, y + pinH, kPin);
  }
  Fill(left, top, right, bottom, kEdge);
  Fill(left + 1, top + 1, right - 1, bottom - 1, kBody);
  int scale = n >= 48 ? 2 : 1;
  if (n >= 32) {
    int w = TextWidth(kSmall, 3, "PLC", scale);
    Text(kSmall, 3, "PLC", (n - w) / 2, (n - 5 * scale) / 2, scale, kWhite);
  }
  int led = n >= 32 ? 2 * scale + 1 : 3;
  Fill(right - 2 - led, bottom - 2 - led, right - 2, bottom - 2, kGreen);
}

static void Put16(FILE* f, unsigned v) {
  fputc((int)(v & 0xFF), f);
  fputc((int)((v >> 8) & 0xFF), f);
}
static void Put32(FILE* f, unsigned long v) {
  Put16(f, (unsigned)(v & 0xFFFF));
  Put16(f, (unsigned)((v >> 16) & 0xFFFF));
}

/* Bytes of one icon image: header, BGRA rows bottom-up, 1-bit AND mask. */
static unsigned long IconImageSize(int n) {
  unsigned long maskRow = (unsigned long)((n + 31) / 32) * 4;
  return 40 + (unsigned long)n * n * 4 + maskRow * n;
}

static void WriteIconImage(FILE* f, int n) {
  DrawChip(n);
  Put32(f, 40);
  Put32(f, (unsigned long)n);
  Put32(f, (unsigned long)n * 2); /* colour rows and mask rows */
  Put16(f, 1);
  Put16(f, 32);
  Put32(f, 0);
  Put32(f, (unsigned long)n * n * 4);
  Put32(f, 0);
  Put32(f, 0);
  Put32(f, 0);
  Put32(f, 0);
  for (int y = n - 1; y >= 0; --y)
    for (int x = 0; x < n; ++x) {
      Pixel p = canvas[y * n + x];
      fputc(p.b, f);
      fputc(p.g, f);
      fputc(p.r, f);
      fputc(p.a, f);
    }
  int maskRow = (n + 31) / 32 * 4;
  for (int y = n - 1; y >= 0; --y) {
    unsigned char row[16];
    memset(row, 0, sizeof row);
    for (int x = 0; x < n; ++x)
      if (canvas[y * n + x].a == 0) row[x / 8] |= (unsigned char)(0x80 >> (x % 8));
    fwrite(row, 1, (size_t)maskRow, f);
  }
}

static int WriteIcon(const char* path) {
  static const int sizes[] = {16, 32, 48};
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  Put16(f, 0);
  Put16(f, 1);
  Put16(f, 3);
  unsigned long offset = 6 + 16 * 3;
  for (int i = 0; i < 3; ++i) {
    fputc(sizes[i], f);
    fputc(sizes[i], f);
    fputc(0, f);
    fputc(0, f);
    Put16(f, 1);
    Put16(f, 32);
    Put32(f, IconImageSize(sizes[i]));
    Put32(f, offset);
    offset += IconImageSize(sizes[i]);
  }
  for (int i = 0; i < 3; ++i) WriteIconImage(f, sizes[i]);
  return fclose(f) == 0;
}

/* The logo: the maker's name in white on navy with an orange rule. */
static int WriteLogo(const char* path) {
  const int w = 87, h = 28;
  Clear(w, h, kNavy);
  int tw = TextWidth(kLarge, 6, "VEMORA", 2);
  Text(kLarge, 6, "VEMORA", (w - tw) / 2, 4, 2, kWhite);
  Fill(4, h - 6, w - 4, h - 4, kOrange);
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  int rowBytes = (w * 3 + 3) / 4 * 4;
  unsigned long pixels = (unsigned long)rowBytes * h;
  fputc('B', f);
  fputc('M', f);
  Put32(f, 14 + 40 + pixels);
  Put32(f, 0);
  Put32(f, 14 + 40);
  Put32(f, 40);
  Put32(f, (unsigned long)w);
  Put32(f, (unsigned long)h);
  Put16(f, 1);
  Put16(f, 24);
  Put32(f, 0);
  Put32(f, pixels);
  Put32(f, 2835);
  Put32(f, 2835);
  Put32(f, 0);
  Put32(f, 0);
  for (int y = h - 1; y >= 0; --y) {
    int x = 0;
    for (; x < w; ++x) {
      Pixel p = canvas[y * w + x];
      fputc(p.b, f);
      fputc(p.g, f);
      fputc(p.r, f);
    }
    for (int pad = w * 3; pad < rowBytes; ++pad) fputc(0, f);
  }
  return fclose(f) == 0;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s ICON.ico LOGO.bmp\n", argv[0]);
    return 2;
  }
  if (!WriteIcon(argv[1])) {
    perror(argv[1]);
    return 1;
  }
  if (!WriteLogo(argv[2])) {
    perror(argv[2]);
    return 1;
  }
  return 0;
}
