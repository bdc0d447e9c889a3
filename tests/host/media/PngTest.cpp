#include <gtest/gtest.h>

#include <csetjmp>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "MediaResult.h"
#include "MediaTestSupport.h"
#include "Png.h"

namespace {

// A PNG as a test writes it with libpng directly, in any colour type.
struct PngImage {
    int width = 0, height = 0, bitDepth = 8, colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<uint8_t> rows;  // packed rows as stored, height * rowBytes
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;  // tRNS for palette images
    bool transparentColor = false;       // tRNS for gray and RGB images
    png_color_16 transparent = {};
};

bool WritePngRows(png_structp png, png_infop info, FILE* file, const PngImage* image, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(image->width), png_uint_32(image->height), image->bitDepth, image->colorType,
                 image->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!image->palette.empty()) png_set_PLTE(png, info, image->palette.data(), int(image->palette.size()));
    if (!image->paletteAlpha.empty())
        png_set_tRNS(png, info, image->paletteAlpha.data(), int(image->paletteAlpha.size()), nullptr);
    if (image->transparentColor) png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16p>(&image->transparent));
    png_write_info(png, info);
    if (image->interlaced) png_set_interlace_handling(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

bool WriteTestPng(const std::string& path, const PngImage& image) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    size_t rowBytes = image.rows.size() / size_t(image.height);
    std::vector<png_bytep> rows;
    for (int y = 0; y < image.height; ++y)
        rows.push_back(const_cast<png_bytep>(image.rows.data()) + size_t(y) * rowBytes);
    bool written = WritePngRows(png, info, file, &image, rows.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && written;
}

std::vector<Bgra> AllPixels(const Frame& frame) {
    std::vector<Bgra> pixels;
    for (int32_t y = 0; y < frame.height; ++y)
        for (int32_t x = 0; x < frame.width; ++x) pixels.push_back(PixelAt(frame, x, y));
    return pixels;
}

TEST(PngRoundTrip, RgbaIsExact) {
    ScratchFolder folder;
    Frame written = NumberedFrame(13, 7, 3);
    SetPixelAt(written, 0, 0, Bgra{1, 2, 3, 0});  // colour under full transparency is kept
    SetPixelAt(written, 12, 6, Bgra{255, 255, 255, 255});
    std::string message;
    ASSERT_EQ(WritePng((folder / "frame.png").c_str(), written, message), kMediaOk) << message;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"frame.png"});

    Frame read;
    ASSERT_EQ(ReadPng((folder / "frame.png").c_str(), read, message), kMediaOk) << message;
    EXPECT_EQ(read.width, 13);
    EXPECT_EQ(read.height, 7);
    EXPECT_EQ(read.rowBytes, 52);
    EXPECT_EQ(read.pixels, written.pixels);
}

TEST(PngRoundTrip, PaddedRowsAreWrittenWithoutThePadding) {
    ScratchFolder folder;
    Frame padded = NumberedFrame(3, 2, 0);
    Frame packed = padded;
    padded.rowBytes = 16;
    padded.pixels.assign(32, 0xEE);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) SetPixelAt(padded, x, y, PixelAt(packed, x, y));
    std::string message;
    ASSERT_EQ(WritePng((folder / "p.png").c_str(), padded, message), kMediaOk) << message;
    Frame read;
    ASSERT_EQ(ReadPng((folder / "p.png").c_str(), read, message), kMediaOk) << message;
    EXPECT_EQ(read.pixels, packed.pixels);
}

struct ReadCase {
    const char* name;
    PngImage image;
    std::vector<Bgra> expected;  // row by row
};

PngImage Image(int width, int height, int bitDepth, int colorType, std::vector<uint8_t> rows) {
    PngImage image;
    image.width = width, image.height = height, image.bitDepth = bitDepth, image.colorType = colorType;
    image.rows = std::move(rows);
    return image;
}

std::vector<ReadCase> ReadCases() {
    std::vector<ReadCase> cases;
    cases.push_back({"gray8",
                     Image(3, 1, 8, PNG_COLOR_TYPE_GRAY, {0, 100, 255}),
                     {{0, 0, 0, 255}, {100, 100, 100, 255}, {255, 255, 255, 255}}});
    // 4-bit samples 0, 5, 15 widen to 0, 85, 255.
    cases.push_back({"gray4",
                     Image(3, 1, 4, PNG_COLOR_TYPE_GRAY, {0x05, 0xF0}),
                     {{0, 0, 0, 255}, {85, 85, 85, 255}, {255, 255, 255, 255}}});
    cases.push_back({"grayAlpha",
                     Image(2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {50, 7, 200, 255}),
                     {{50, 50, 50, 7}, {200, 200, 200, 255}}});
    {
        PngImage image = Image(2, 1, 8, PNG_COLOR_TYPE_GRAY, {100, 101});
        image.transparentColor = true;
        image.transparent.gray = 100;
        cases.push_back({"grayTransparentColor", image, {{100, 100, 100, 0}, {101, 101, 101, 255}}});
    }
    cases.push_back({"rgb8",
                     Image(2, 2, 8, PNG_COLOR_TYPE_RGB, {10, 20, 30, 200, 100, 0, 0, 0, 1, 255, 254, 253}),
                     {{30, 20, 10, 255}, {0, 100, 200, 255}, {1, 0, 0, 255}, {253, 254, 255, 255}}});
    cases.push_back({"rgba8", Image(1, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, {1, 2, 3, 4}), {{3, 2, 1, 4}}});
    // Samples that are multiples of 257 map to exact 8-bit values.
    cases.push_back(
        {"rgb16",
         Image(2, 1, 16, PNG_COLOR_TYPE_RGB, {0xFF, 0xFF, 0x80, 0x80, 0x01, 0x01, 0x00, 0x00, 0x40, 0x40, 0xFE, 0xFE}),
         {{1, 128, 255, 255}, {254, 64, 0, 255}}});
    {
        PngImage image = Image(3, 1, 8, PNG_COLOR_TYPE_PALETTE, {1, 0, 2});
        image.palette = {{255, 0, 0}, {0, 128, 255}, {9, 8, 7}};
        cases.push_back({"palette", image, {{255, 128, 0, 255}, {0, 0, 255, 255}, {7, 8, 9, 255}}});
        // tRNS shorter than the palette: the entries past it are opaque.
        image.paletteAlpha = {0, 77};
        cases.push_back({"paletteTransparent", image, {{255, 128, 0, 77}, {0, 0, 255, 0}, {7, 8, 9, 255}}});
    }
    {
        PngImage image = Image(2, 1, 2, PNG_COLOR_TYPE_PALETTE, {0x30});  // indices 0 and 3
        image.palette = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {40, 50, 60}};
        cases.push_back({"palette2bit", image, {{1, 1, 1, 255}, {60, 50, 40, 255}}});
    }
    {
        PngImage image =
            Image(3, 2, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
        image.interlaced = true;
        cases.push_back({"rgbInterlaced",
                         image,
                         {{3, 2, 1, 255},
                          {6, 5, 4, 255},
                          {9, 8, 7, 255},
                          {12, 11, 10, 255},
                          {15, 14, 13, 255},
                          {18, 17, 16, 255}}});
    }
    return cases;
}

class PngReadColourTypes : public testing::TestWithParam<ReadCase> {};

TEST_P(PngReadColourTypes, GiveBgraWithAlpha255WhereTheImageHasNone) {
    const ReadCase& c = GetParam();
    ScratchFolder folder;
    std::string path = folder / "in.png";
    ASSERT_TRUE(WriteTestPng(path, c.image));
    Frame frame;
    std::string message;
    ASSERT_EQ(ReadPng(path.c_str(), frame, message), kMediaOk) << message;
    EXPECT_EQ(frame.width, c.image.width);
    EXPECT_EQ(frame.height, c.image.height);
    EXPECT_EQ(AllPixels(frame), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Png, PngReadColourTypes, testing::ValuesIn(ReadCases()),
                         [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST(PngReadErrors, MissingFileCannotBeOpened) {
    ScratchFolder folder;
    std::string path = folder / "absent.png";
    Frame frame = NumberedFrame(2, 2, 0);
    std::string message;
    EXPECT_EQ(ReadPng(path.c_str(), frame, message), kMediaCannotOpen);
    EXPECT_EQ(message, "cannot open '" + path + "': No such file or directory");
    EXPECT_TRUE(frame.pixels.empty());
    EXPECT_EQ(frame.width, 0);
}

TEST(PngReadErrors, OtherFilesAreNotPng) {
    ScratchFolder folder;
    struct Case {
        const char* name;
        std::string contents;
    };
    for (const Case& c : {Case{"x.txt", "just some words\n"}, Case{"empty.png", ""}, Case{"short.png", "\x89PNG"}}) {
        folder.WriteFile(c.name, c.contents);
        std::string path = folder / c.name;
        Frame frame;
        std::string message;
        EXPECT_EQ(ReadPng(path.c_str(), frame, message), kMediaNotPng) << c.name;
        EXPECT_EQ(message, "'" + path + "' is not a PNG file");
    }
}

TEST(PngReadErrors, FolderCannotBeOpened) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "dir.png");
    Frame frame;
    std::string message;
    EXPECT_EQ(ReadPng((folder / "dir.png").c_str(), frame, message), kMediaCannotOpen);
    EXPECT_EQ(message, "cannot open '" + (folder / "dir.png") + "': Is a directory");
}

TEST(PngReadErrors, TruncatedFileIsDamaged) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "whole.png").c_str(), NumberedFrame(40, 30, 1), message), kMediaOk);
    std::string whole = ReadWholeFile(folder / "whole.png");
    for (size_t keep : {size_t(20), size_t(60), whole.size() - 20}) {
        folder.WriteFile("cut.png", whole.substr(0, keep));
        Frame frame;
        EXPECT_EQ(ReadPng((folder / "cut.png").c_str(), frame, message), kMediaBadData) << keep;
        EXPECT_EQ(message.rfind("'" + (folder / "cut.png") + "' is damaged: ", 0), 0u) << message;
        EXPECT_TRUE(frame.pixels.empty());
    }
}

TEST(PngReadErrors, CorruptImageDataIsDamaged) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "whole.png").c_str(), NumberedFrame(40, 30, 1), message), kMediaOk);
    std::string bytes = ReadWholeFile(folder / "whole.png");
    size_t data = bytes.find("IDAT");
    ASSERT_NE(data, std::string::npos);
    for (size_t i = data + 8; i < data + 40; ++i) bytes[i] = char(bytes[i] ^ 0x5A);
    folder.WriteFile("bad.png", bytes);
    Frame frame;
    EXPECT_EQ(ReadPng((folder / "bad.png").c_str(), frame, message), kMediaBadData);
    EXPECT_TRUE(frame.pixels.empty());
}

// The bytes of a valid PNG whose header claims width x height, its CRC mended.
std::string WithDeclaredSize(std::string bytes, uint32_t width, uint32_t height) {
    const size_t header = bytes.find("IHDR");
    for (int i = 0; i < 4; ++i) {
        bytes[header + 4 + size_t(i)] = char(width >> (24 - 8 * i));
        bytes[header + 8 + size_t(i)] = char(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + header), 17);
    for (int i = 0; i < 4; ++i) bytes[header + 17 + size_t(i)] = char(crc >> (24 - 8 * i));
    return bytes;
}

TEST(PngReadErrors, ASizeTheFileCannotHoldIsRefusedBeforeAllocating) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "small.png").c_str(), NumberedFrame(1, 1, 0), message), kMediaOk);
    const std::string small = ReadWholeFile(folder / "small.png");
    const std::pair<uint32_t, uint32_t> sizes[] = {{16384, 16384}, {100000, 100000}, {200, 200}};
    for (const auto& [width, height] : sizes) {
        folder.WriteFile("claims.png", WithDeclaredSize(small, width, height));
        Frame frame;
        EXPECT_EQ(ReadPng((folder / "claims.png").c_str(), frame, message), kMediaBadData) << width;
        EXPECT_EQ(message, "'" + (folder / "claims.png") + "' is damaged: it declares " + std::to_string(width) +
                               " x " + std::to_string(height) + " pixels, more than its " +
                               std::to_string(small.size()) + " bytes can hold");
        EXPECT_TRUE(frame.pixels.empty());
    }
}

TEST(PngReadErrors, TheSizeCheckPassesTheMostCompressiblePicture) {
    ScratchFolder folder;
    std::string message;
    Frame black;
    ASSERT_EQ(MakeFrame(black, 2000, 1500), kMediaOk);
    ASSERT_EQ(WritePng((folder / "black.png").c_str(), black, message), kMediaOk);
    Frame frame;
    EXPECT_EQ(ReadPng((folder / "black.png").c_str(), frame, message), kMediaOk) << message;
    EXPECT_TRUE(frame.pixels == black.pixels);
}

TEST(PngWriteErrors, UnwritableFolderLeavesNothing) {
    ScratchFolder folder;
    folder.WriteFile("blocker", "a file where a folder should be");
    std::string path = folder / "blocker/out.png";
    std::string message;
    EXPECT_EQ(WritePng(path.c_str(), NumberedFrame(4, 4, 0), message), kMediaCannotWrite);
    EXPECT_EQ(message, "cannot write '" + path + "': Not a directory");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"blocker"});
}

TEST(PngWriteErrors, FailedRenameKeepsWhatWasThereAndLeavesNoTemporary) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "taken.png");
    folder.WriteFile("taken.png/inside", "kept");
    std::string message;
    EXPECT_EQ(WritePng((folder / "taken.png").c_str(), NumberedFrame(4, 4, 0), message), kMediaCannotWrite);
    EXPECT_EQ(message.rfind("cannot write '" + (folder / "taken.png") + "': ", 0), 0u) << message;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"taken.png"});
    EXPECT_EQ(ReadWholeFile(folder / "taken.png/inside"), "kept");
}

TEST(PngWriteErrors, FrameWithoutStorageIsRefused) {
    ScratchFolder folder;
    Frame broken = NumberedFrame(4, 4, 0);
    broken.pixels.resize(10);
    std::string message;
    EXPECT_EQ(WritePng((folder / "out.png").c_str(), broken, message), kMediaBadArgument);
    EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
