// Build-time tool: draws the splash picture and writes it as a JPEG, embedded in
// a C source for Res.so. Usage: make_splash OUTPUT.c VERSION_TEXT [OUTPUT.jpg]
// jpeglib.h needs size_t and FILE declared before it.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 260;
constexpr int kScale = 3;  // drawn at three times the size, then averaged down for smooth edges

struct Rgb {
  double r, g, b;
};

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h) {}
  int width() const { return w_; }
  int height() const { return h_; }
  Rgb& at(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }
  void Blend(int x, int y, Rgb c, double alpha) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    Rgb& p = at(x, y);
    p.r += (c.r - p.r) * alpha;
    p.g += (c.g - p.g) * alpha;
    p.b += (c.b - p.b) * alpha;
  }

 private:
  int w_, h_;
  std::vector<Rgb> px_;
};

// A 5 x 7 font for the few letters the splash needs; '#' is ink.
const std::map<char, std::vector<std::string>>& Font() {
  static const std::map<char, std::vector<std::string>> font = {
      {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
      {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
      {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
      {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
      {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
      {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
      {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
      {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
      {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
      {'d', {"....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"}},
      {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
      {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
      {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
      {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
      {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
      {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
      {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
      {'t', {".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."}},
      {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
      {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
      {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
      {'f', {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."}},
      {'g', {".....", ".####", "#...#", "#...#", ".####", "....#", ".###."}},
      {'w', {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."}},
      {'p', {".....", ".....", "####.", "#...#", "####.", "#....", "#...."}},
      {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
      {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
      {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
      {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
      {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
      {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
      {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
      {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
      {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
      {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
      {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
      {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
  };
  return font;
}

int TextWidth(const std::string& text, int cell) {
  return static_cast<int>(text.size()) * 6 * cell - cell;
}

// Each font pixel is a cell x cell square with slightly rounded corners.
void DrawText(Canvas& c, const std::string& text, int x0, int y0, int cell, Rgb color, double alpha) {
  const auto& font = Font();
  int x = x0;
  for (char ch : text) {
    auto it = font.find(ch);
    if (it != font.end()) {
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (it->second[row][col] == '#')
            for (int dy = 0; dy < cell; ++dy)
              for (int dx = 0; dx < cell; ++dx) c.Blend(x + col * cell + dx, y0 + row * cell + dy, color, alpha);
    }
    x += 6 * cell;
  }
}

void FillRoundRect(Canvas& c, int x0, int y0, int w, int h, int radius, Rgb color, double alpha) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const int cx = std::clamp(x, x0 + radius, x0 + w - 1 - radius);
      const int cy = std::clamp(y, y0 + radius, y0 + h - 1 - radius);
      const double d = std::hypot(x - cx, y - cy);
      if (d <= radius) c.Blend(x, y, color, alpha);
    }
}

void FillTriangle(Canvas& c, double ax, double ay, double bx, double by, double cx, double cy, Rgb color) {
  const int minx = static_cast<int>(std::min({ax, bx, cx})), maxx = static_cast<int>(std::max({ax, bx, cx}));
  const int miny = static_cast<int>(std::min({ay, by, cy})), maxy = static_cast<int>(std::max({ay, by, cy}));
  auto edge = [](double x0, double y0, double x1, double y1, double x, double y) {
    return (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0);
  };
  for (int y = miny; y <= maxy; ++y)
    for (int x = minx; x <= maxx; ++x) {
      const double e0 = edge(ax, ay, bx, by, x, y), e1 = edge(bx, by, cx, cy, x, y), e2 = edge(cx, cy, ax, ay, x, y);
      if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0)) c.Blend(x, y, color, 1.0);
    }
}

Canvas Draw(const std::string& version) {
  const int s = kScale;
  Canvas c(kWidth * s, kHeight * s);
  // Night-blue to teal gradient with a soft diagonal light band.
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      const double t = static_cast<double>(y) / c.height();
      Rgb p{13 + (28 - 13) * t, 27 + (110 - 27) * t, 58 + (140 - 58) * t};
      const double band = std::exp(-std::pow((x - 0.9 * y - 0.35 * c.width()) / (0.18 * c.width()), 2));
      p.r += 30 * band;
      p.g += 40 * band;
      p.b += 45 * band;
      c.at(x, y) = p;
    }
  // The logo: a rounded tile holding a film strip and a play mark.
  const Rgb white{245, 248, 252}, orange{255, 153, 51}, dark{20, 34, 64};
  FillRoundRect(c, 28 * s, 40 * s, 96 * s, 96 * s, 18 * s, orange, 1.0);
  FillRoundRect(c, 40 * s, 58 * s, 72 * s, 60 * s, 6 * s, dark, 1.0);
  for (int i = 0; i < 6; ++i) {
    FillRoundRect(c, (44 + i * 11) * s, 61 * s, 7 * s, 6 * s, 1 * s, white, 0.9);
    FillRoundRect(c, (44 + i * 11) * s, 109 * s, 7 * s, 6 * s, 1 * s, white, 0.9);
  }
  FillTriangle(c, 66 * s, 74 * s, 66 * s, 102 * s, 90 * s, 88 * s, white);
  // Title, version and maker.
  DrawText(c, "Video To", 142 * s, 46 * s, 4 * s, white, 1.0);
  DrawText(c, "Plim Converter", 142 * s, 84 * s, 3 * s, white, 1.0);
  DrawText(c, "Version " + version, 143 * s, 118 * s, 2 * s, orange, 1.0);
  FillRoundRect(c, 28 * s, 160 * s, (kWidth - 56) * s, 2 * s, 0, white, 0.35);
  DrawText(c, "Please wait . . .", 28 * s, 178 * s, 2 * s, white, 0.85);
  const std::string maker = "Quorvan Soft";
  DrawText(c, maker, (kWidth - 28) * s - TextWidth(maker, 2 * s), 226 * s, 2 * s, white, 0.7);
  return c;
}

std::vector<unsigned char> Downsample(Canvas& big) {
  std::vector<unsigned char> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb sum{0, 0, 0};
      for (int dy = 0; dy < kScale; ++dy)
        for (int dx = 0; dx < kScale; ++dx) {
          const Rgb& p = big.at(x * kScale + dx, y * kScale + dy);
          sum.r += p.r;
          sum.g += p.g;
          sum.b += p.b;
        }
      const double n = kScale * kScale;
      unsigned char* out = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
      out[0] = static_cast<unsigned char>(std::clamp(sum.r / n, 0.0, 255.0));
      out[1] = static_cast<unsigned char>(std::clamp(sum.g / n, 0.0, 255.0));
      out[2] = static_cast<unsigned char>(std::clamp(sum.b / n, 0.0, 255.0));
    }
  return rgb;
}

std::vector<unsigned char> EncodeJpeg(const std::vector<unsigned char>& rgb) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 92, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(&rgb[static_cast<size_t>(cinfo.next_scanline) * kWidth * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<unsigned char> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_splash OUTPUT.c VERSION_TEXT [OUTPUT.jpg]\n");
    return 2;
  }
  Canvas big = Draw(argv[2]);
  const std::vector<unsigned char> jpeg = EncodeJpeg(Downsample(big));
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) return 1;
  std::fprintf(out, "/* Generated by make_splash: the splash picture \"ImgFlash\". */\n");
  std::fprintf(out, "const unsigned long vtpc_img_flash_size = %zuUL;\n", jpeg.size());
  std::fprintf(out, "const unsigned char vtpc_img_flash[] = {");
  for (size_t i = 0; i < jpeg.size(); ++i) std::fprintf(out, "%s%u,", i % 20 == 0 ? "\n" : "", jpeg[i]);
  std::fprintf(out, "\n};\n");
  if (std::fclose(out) != 0) return 1;
  if (argc > 3) {
    FILE* raw = std::fopen(argv[3], "wb");
    if (!raw) return 1;
    std::fwrite(jpeg.data(), 1, jpeg.size(), raw);
    std::fclose(raw);
  }
  return 0;
}
