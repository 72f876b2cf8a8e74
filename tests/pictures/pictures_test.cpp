// The embedded pictures and the icon, read as the program and the system will
// read them: the PNGs through libpng, the icon by its directory and bitmap
// header.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

struct Picture {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int colourType = -1;
  int bitDepth = 0;
  std::vector<png_byte> rgb;  // filled only for 8-bit RGB
};

struct Rgb {
  int r, g, b;
};

std::string ResourcePath(const char* name) { return std::string(CORVASTA_RESOURCES_DIR) + "/" + name; }

// Decodes into *picture (which outlives the jump libpng makes on an error);
// returns an empty text, or why the file could not be read.
std::string ReadPng(const std::string& path, Picture* picture) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot open " + path;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::fclose(file);
    return "libpng could not start";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return "libpng rejected " + path;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  png_get_IHDR(png, info, &picture->width, &picture->height, &picture->bitDepth, &picture->colourType, nullptr,
               nullptr, nullptr);
  if (picture->colourType == PNG_COLOR_TYPE_RGB && picture->bitDepth == 8) {
    picture->rgb.resize(static_cast<size_t>(picture->width) * picture->height * 3);
    std::vector<png_bytep> rows(picture->height);
    for (png_uint_32 y = 0; y < picture->height; ++y) rows[y] = &picture->rgb[static_cast<size_t>(y) * picture->width * 3];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return {};
}

Rgb PixelAt(const Picture& picture, png_uint_32 x, png_uint_32 y) {
  const png_byte* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
  return {p[0], p[1], p[2]};
}

bool IsBlack(Rgb c) { return c.r < 60 && c.g < 60 && c.b < 60; }
bool IsGreen(Rgb c) { return c.g > c.r + 60 && c.g > c.b + 40; }
bool IsRed(Rgb c) { return c.r > c.g + 100 && c.r > c.b + 100; }
bool IsWhite(Rgb c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Counts the pixels of rows [top, bottom) that satisfy test.
template <typename Test>
int CountPixels(const Picture& picture, png_uint_32 top, png_uint_32 bottom, Test test) {
  int count = 0;
  for (png_uint_32 y = top; y < bottom; ++y)
    for (png_uint_32 x = 0; x < picture.width; ++x) count += test(PixelAt(picture, x, y)) ? 1 : 0;
  return count;
}

size_t DistinctColours(const std::vector<png_byte>& rgb) {
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(uint32_t{rgb[i]} << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  return colours.size();
}

void ExpectRgbOfSize(const Picture& picture, png_uint_32 width, png_uint_32 height) {
  EXPECT_EQ(picture.colourType, PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(picture.bitDepth, 8);
  EXPECT_EQ(picture.width, width);
  EXPECT_EQ(picture.height, height);
  ASSERT_EQ(picture.rgb.size(), static_cast<size_t>(width) * height * 3);
  EXPECT_GE(DistinctColours(picture.rgb), 16u) << "the picture looks blank";
}

uint32_t Little(const std::vector<unsigned char>& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

TEST(Pictures, StartPictureHasBlackCapitalsAboveGreenWordsOnLightGrey) {
  Picture picture;
  ASSERT_EQ(ReadPng(ResourcePath("start_picture.png"), &picture), "");
  ExpectRgbOfSize(picture, 210, 166);
  if (picture.rgb.empty()) return;
  const png_uint_32 middle = picture.height / 2;
  EXPECT_GT(CountPixels(picture, 0, middle, IsBlack), 500) << "no black capitals in the upper half";
  EXPECT_EQ(CountPixels(picture, middle, picture.height, IsBlack), 0) << "black below the rule";
  EXPECT_GT(CountPixels(picture, middle, picture.height, IsGreen), 500) << "no green symbol and words below";
  EXPECT_EQ(CountPixels(picture, 0, middle - 10, IsGreen), 0) << "green among the capitals";
  for (png_uint_32 y : {0u, picture.height - 1}) {
    for (png_uint_32 x : {0u, picture.width - 1}) {
      const Rgb corner = PixelAt(picture, x, y);
      EXPECT_TRUE(corner.r == corner.g && corner.g == corner.b && corner.r >= 200 && corner.r < 255)
          << "corner " << x << "," << y << " is not light grey";
    }
  }
}

TEST(Pictures, RunningPictureHasRedGearsOnAGreenHousingOnWhite) {
  Picture picture;
  ASSERT_EQ(ReadPng(ResourcePath("running_picture.png"), &picture), "");
  ExpectRgbOfSize(picture, 200, 158);
  if (picture.rgb.empty()) return;
  EXPECT_GT(CountPixels(picture, 0, picture.height, IsGreen), 4000);
  EXPECT_GT(CountPixels(picture, 0, picture.height, IsRed), 2000);
  for (png_uint_32 y : {0u, picture.height - 1})
    for (png_uint_32 x : {0u, picture.width - 1}) EXPECT_TRUE(IsWhite(PixelAt(picture, x, y))) << x << "," << y;
}

TEST(Pictures, IconHoldsOne128By128ImageWith24BitColourAndItsMask) {
  std::ifstream file(ResourcePath("corvasta.ico"), std::ios::binary);
  const std::vector<unsigned char> ico((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GE(ico.size(), 6u + 16u + 40u);
  EXPECT_EQ(Little(ico, 0, 2), 0u);  // reserved
  EXPECT_EQ(Little(ico, 2, 2), 1u);  // icon, not cursor
  ASSERT_EQ(Little(ico, 4, 2), 1u) << "image count";

  EXPECT_EQ(ico[6], 128);  // width
  EXPECT_EQ(ico[7], 128);  // height
  EXPECT_EQ(ico[8], 0);    // no palette
  EXPECT_EQ(Little(ico, 10, 2), 1u);   // planes
  EXPECT_EQ(Little(ico, 12, 2), 24u);  // bits per pixel
  const uint32_t bytes = Little(ico, 14, 4);
  const uint32_t offset = Little(ico, 18, 4);
  const uint32_t colourBytes = 128 * 128 * 3;
  const uint32_t maskBytes = 128 * 16;
  ASSERT_EQ(bytes, 40 + colourBytes + maskBytes);
  ASSERT_EQ(static_cast<size_t>(offset) + bytes, ico.size()) << "the image must end the file";

  EXPECT_EQ(Little(ico, offset, 4), 40u);                       // BITMAPINFOHEADER
  EXPECT_EQ(static_cast<int32_t>(Little(ico, offset + 4, 4)), 128);
  EXPECT_EQ(static_cast<int32_t>(Little(ico, offset + 8, 4)), 256);  // colour and mask
  EXPECT_EQ(Little(ico, offset + 12, 2), 1u);
  EXPECT_EQ(Little(ico, offset + 14, 2), 24u);
  EXPECT_EQ(Little(ico, offset + 16, 4), 0u);  // BI_RGB

  const auto colourStart = ico.begin() + offset + 40;
  const std::vector<unsigned char> colour(colourStart, colourStart + colourBytes);
  EXPECT_GE(DistinctColours(colour), 16u) << "the icon looks blank";
  int opaque = 0;
  for (uint32_t i = 0; i < maskBytes; ++i)
    for (int bit = 0; bit < 8; ++bit) opaque += (ico[offset + 40 + colourBytes + i] >> bit & 1) ? 0 : 1;
  EXPECT_GT(opaque, 128 * 128 / 2) << "the mask hides most of the icon";
  EXPECT_LT(opaque, 128 * 128) << "the mask leaves no corner transparent";
}

}  // namespace
