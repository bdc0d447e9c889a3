#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "Frame.h"
#include "MediaResult.h"

namespace {

struct SizeCase {
    int32_t width, height;
    int32_t result;
    int32_t rowBytes;
    size_t bytes;
};

class MakeFrameSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(MakeFrameSizes, GiveRowsOfFourBytesPerPixelOrRefuse) {
    const SizeCase& c = GetParam();
    Frame frame;
    frame.width = 99;  // stale contents must not survive
    EXPECT_EQ(MakeFrame(frame, c.width, c.height), c.result);
    EXPECT_EQ(frame.rowBytes, c.rowBytes);
    EXPECT_EQ(frame.pixels.size(), c.bytes);
    if (c.result == kMediaOk) {
        EXPECT_EQ(frame.width, c.width);
        EXPECT_EQ(frame.height, c.height);
        for (uint8_t byte : frame.pixels) ASSERT_EQ(byte, 0);
    } else {
        EXPECT_EQ(frame.width, 0);
        EXPECT_EQ(frame.height, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Frame, MakeFrameSizes,
                         testing::Values(SizeCase{1, 1, kMediaOk, 4, 4}, SizeCase{3, 2, kMediaOk, 12, 24},
                                         SizeCase{640, 480, kMediaOk, 2560, 1228800},
                                         SizeCase{0, 5, kMediaBadArgument, 0, 0},
                                         SizeCase{5, -1, kMediaBadArgument, 0, 0},
                                         SizeCase{16385, 16384, kMediaTooLarge, 0, 0},
                                         SizeCase{INT32_MAX, INT32_MAX, kMediaTooLarge, 0, 0}));

TEST(FramePixel, AddressesRowsRowBytesApart) {
    Frame frame;
    ASSERT_EQ(MakeFrame(frame, 5, 3), kMediaOk);
    frame.rowBytes = 24;  // padded rows
    frame.pixels.resize(72);
    EXPECT_EQ(FramePixel(frame, 0, 0) - frame.pixels.data(), 0);
    EXPECT_EQ(FramePixel(frame, 2, 1) - frame.pixels.data(), 32);
    EXPECT_EQ(FramePixel(frame, 4, 2) - frame.pixels.data(), 64);
}

TEST(PointPixelMapAt, DescribesTheWholeFrame) {
    Frame frame;
    ASSERT_EQ(MakeFrame(frame, 7, 4), kMediaOk);
    PixelMap map;
    std::memset(&map, 0xAA, sizeof map);
    PointPixelMapAt(map, frame);
    // The record is packed: copy fields out before the checks take references.
    Rect bounds = map.bounds;
    int32_t rowBytes = map.rowBytes;
    uint8_t* base = map.baseAddress;
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.right, 7);
    EXPECT_EQ(bounds.bottom, 4);
    EXPECT_EQ(rowBytes, 28);
    for (uint8_t byte : map.unused) EXPECT_EQ(byte, 0);
    EXPECT_EQ(base, frame.pixels.data());
}

TEST(PointPixelMapAt, WritesThroughTheMapLandInTheFrame) {
    Frame frame;
    ASSERT_EQ(MakeFrame(frame, 3, 2), kMediaOk);
    PixelMap map;
    PointPixelMapAt(map, frame);
    uint8_t* pixel = map.baseAddress + 1 * map.rowBytes + 2 * 4;  // (2, 1)
    pixel[0] = 10, pixel[1] = 20, pixel[2] = 30, pixel[3] = 40;
    const uint8_t* seen = FramePixel(frame, 2, 1);
    EXPECT_EQ(seen[0], 10);
    EXPECT_EQ(seen[1], 20);
    EXPECT_EQ(seen[2], 30);
    EXPECT_EQ(seen[3], 40);
}

TEST(FrameIsWhole, NeedsSizeRowsAndStorage) {
    Frame frame;
    EXPECT_FALSE(FrameIsWhole(frame));
    ASSERT_EQ(MakeFrame(frame, 4, 3), kMediaOk);
    EXPECT_TRUE(FrameIsWhole(frame));
    Frame shortRows = frame;
    shortRows.rowBytes = 15;
    EXPECT_FALSE(FrameIsWhole(shortRows));
    Frame missingRow = frame;
    missingRow.pixels.resize(47);
    EXPECT_FALSE(FrameIsWhole(missingRow));
    Frame padded = frame;
    padded.rowBytes = 20;
    padded.pixels.resize(60);
    EXPECT_TRUE(FrameIsWhole(padded));
}

TEST(MediaCodeName, NamesEveryCode) {
    EXPECT_STREQ(MediaCodeName(kMediaOk), "ok");
    EXPECT_STREQ(MediaCodeName(kMediaNotPng), "not a PNG file");
    EXPECT_STREQ(MediaCodeName(kMediaFrameMissing), "frame missing");
    EXPECT_STREQ(MediaCodeName(static_cast<MediaCode>(12345)), "unknown result");
}

}  // namespace
