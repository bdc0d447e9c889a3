#include <gtest/gtest.h>

#include <set>

#include "BuiltInMedia.h"
#include "MediaResult.h"
#include "MediaTestSupport.h"

namespace {

constexpr Bgra kWhite{255, 255, 255, 255};
constexpr Bgra kBlack{0, 0, 0, 255};
constexpr Bgra kOrange{0, 128, 255, 255};

class TestImage : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MakeTestImage(image), kMediaOk); }
    Frame image;
};

TEST_F(TestImage, IsVgaSizedAndOpaque) {
    EXPECT_EQ(image.width, 640);
    EXPECT_EQ(image.height, 480);
    EXPECT_EQ(image.rowBytes, 2560);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) ASSERT_EQ(PixelAt(image, x, y)[3], 255) << x << "," << y;
}

TEST_F(TestImage, IsTheSameEveryTime) {
    Frame again;
    ASSERT_EQ(MakeTestImage(again), kMediaOk);
    EXPECT_EQ(again.pixels, image.pixels);
}

TEST_F(TestImage, BarsAreFlatWithHardEdgesBetweenThem) {
    const Bgra bars[8] = {kWhite,
                          {0, 255, 255, 255},
                          {255, 255, 0, 255},
                          {0, 255, 0, 255},
                          {255, 0, 255, 255},
                          {0, 0, 255, 255},
                          {255, 0, 0, 255},
                          kBlack};
    for (int32_t y : {0, 80, 159}) {
        for (int32_t x = 0; x < 640; ++x) ASSERT_EQ(PixelAt(image, x, y), bars[x / 80]) << x << "," << y;
    }
    // The row below the bars already belongs to the gradient.
    EXPECT_NE(PixelAt(image, 40, 160), bars[0]);
}

TEST_F(TestImage, HueRunsAcrossAndDarkensDownwards) {
    // Along the gradient's top row red stays full while green climbs
    // strictly to yellow; then red falls away.
    EXPECT_EQ(PixelAt(image, 0, 160), (Bgra{0, 0, 255, 255}));
    for (int32_t x = 1; x <= 106; ++x) {
        ASSERT_GT(PixelAt(image, x, 160)[1], PixelAt(image, x - 1, 160)[1]) << x;
        ASSERT_EQ(PixelAt(image, x, 160)[2], 255) << x;
    }
    EXPECT_EQ(PixelAt(image, 213, 160), (Bgra{0, 255, 0, 255}));  // hue 511: green
    EXPECT_EQ(PixelAt(image, 427, 160), (Bgra{255, 0, 0, 255}));  // hue 1024: blue
    for (int32_t y = 161; y < 320; ++y) ASSERT_LE(PixelAt(image, 0, y)[2], PixelAt(image, 0, y - 1)[2]) << y;
    EXPECT_EQ(PixelAt(image, 0, 319), kBlack);

    std::set<Bgra> colours;
    for (int32_t y = 160; y < 320; ++y)
        for (int32_t x = 0; x < 640; ++x) colours.insert(PixelAt(image, x, y));
    EXPECT_GT(colours.size(), 20000u);
}

TEST_F(TestImage, CheckerAndDiscHaveHardEdges) {
    EXPECT_EQ(PixelAt(image, 19, 330), kWhite);
    EXPECT_EQ(PixelAt(image, 20, 330), kBlack);
    EXPECT_EQ(PixelAt(image, 19, 340), kBlack);  // the next row of squares starts at 340
    EXPECT_EQ(PixelAt(image, 160, 400), kOrange);
    EXPECT_EQ(PixelAt(image, 224, 400), kOrange);  // rim of the disc of radius 64
    EXPECT_NE(PixelAt(image, 225, 400), kOrange);
    EXPECT_EQ(PixelAt(image, 160, 336), kOrange);
    EXPECT_NE(PixelAt(image, 160, 335), kOrange);
}

TEST_F(TestImage, RampsClimbFromBlackToFull) {
    struct Ramp {
        int32_t y;
        Bgra full;
    };
    for (const Ramp& ramp :
         {Ramp{350, kWhite}, Ramp{410, {0, 0, 255, 255}}, Ramp{440, {0, 255, 0, 255}}, Ramp{470, {255, 0, 0, 255}}}) {
        EXPECT_EQ(PixelAt(image, 320, ramp.y), kBlack) << ramp.y;
        EXPECT_EQ(PixelAt(image, 639, ramp.y), ramp.full) << ramp.y;
        for (int32_t x = 321; x < 640; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_GE(PixelAt(image, x, ramp.y)[size_t(c)], PixelAt(image, x - 1, ramp.y)[size_t(c)]);
    }
}

// Where the moving square starts in a row it crosses; hue pixels always
// have one channel at 0, so white belongs to the square alone.
int32_t SquareLeft(const Frame& frame) {
    for (int32_t x = 0; x < frame.width; ++x)
        if (PixelAt(frame, x, 80) == kWhite) return x;
    return -1;
}

int32_t BandLength(const Frame& frame) {
    int32_t length = 0;
    while (length < frame.width && PixelAt(frame, length, 345) == kWhite) ++length;
    return length;
}

TEST(TestClip, FramesAreClipSizedAndOutsideIndicesRefused) {
    EXPECT_EQ(kTestClipFrames, 48);
    EXPECT_EQ(kTestClipRate, 24);
    Frame frame;
    for (int32_t index : {0, 47}) {
        ASSERT_EQ(MakeTestClipFrame(index, frame), kMediaOk);
        EXPECT_EQ(frame.width, 640);
        EXPECT_EQ(frame.height, 360);
    }
    for (int32_t index : {-1, 48}) {
        EXPECT_EQ(MakeTestClipFrame(index, frame), kMediaBadArgument);
        EXPECT_TRUE(frame.pixels.empty());
    }
}

TEST(TestClip, EveryFrameMovesAndIsReproducible) {
    Frame previous, frame, again;
    ASSERT_EQ(MakeTestClipFrame(0, previous), kMediaOk);
    EXPECT_EQ(SquareLeft(previous), 32);
    EXPECT_EQ(BandLength(previous), 13);
    for (int32_t index = 1; index < kTestClipFrames; ++index) {
        ASSERT_EQ(MakeTestClipFrame(index, frame), kMediaOk);
        ASSERT_NE(frame.pixels, previous.pixels) << index;
        EXPECT_EQ(SquareLeft(frame), SquareLeft(previous) + 11) << index;
        EXPECT_GT(BandLength(frame), BandLength(previous)) << index;
        previous = frame;
    }
    EXPECT_EQ(BandLength(previous), 640);
    ASSERT_EQ(MakeTestClipFrame(30, frame), kMediaOk);
    ASSERT_EQ(MakeTestClipFrame(30, again), kMediaOk);
    EXPECT_EQ(frame.pixels, again.pixels);
}

TEST(TestClip, GradientScrollsAndDiscBounces) {
    Frame first, later;
    ASSERT_EQ(MakeTestClipFrame(0, first), kMediaOk);
    ASSERT_EQ(MakeTestClipFrame(12, later), kMediaOk);
    // 32 hue steps a frame: 12 frames on, x = 0 shows hue 384, halfway
    // from yellow to green.
    EXPECT_EQ(PixelAt(later, 0, 0), (Bgra{0, 255, 127, 255}));
    EXPECT_EQ(PixelAt(first, 0, 0), (Bgra{0, 0, 255, 255}));
    // The disc is at its highest (y 140) at frame 12 and lowest (y 260) at 0.
    const Bgra dark{20, 20, 20, 255};
    EXPECT_EQ(PixelAt(first, 480, 260), dark);
    EXPECT_NE(PixelAt(first, 480, 140), dark);
    EXPECT_EQ(PixelAt(later, 408, 140), dark);
    EXPECT_NE(PixelAt(later, 408, 260), dark);
}

TEST(HuePixel, SextantsMeetAtThePrimaries) {
    struct Case {
        int32_t hue, value;
        Bgra expected;
    };
    for (const Case& c :
         {Case{0, 255, {0, 0, 255, 255}}, Case{256, 255, {0, 255, 255, 255}}, Case{512, 255, {0, 255, 0, 255}},
          Case{768, 255, {255, 255, 0, 255}}, Case{1024, 255, {255, 0, 0, 255}}, Case{1280, 255, {255, 0, 255, 255}},
          Case{1536, 255, {0, 0, 255, 255}}, Case{-256, 255, {255, 0, 255, 255}}, Case{128, 255, {0, 128, 255, 255}},
          Case{0, 128, {0, 0, 128, 255}}, Case{256, 0, {0, 0, 0, 255}}}) {
        uint8_t pixel[4];
        HuePixel(c.hue, c.value, pixel);
        EXPECT_EQ((Bgra{pixel[0], pixel[1], pixel[2], pixel[3]}), c.expected) << c.hue << " " << c.value;
    }
}

}  // namespace
