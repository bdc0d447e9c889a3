// Operations whose native form would fault or read outside the frame:
// each gives its documented value and stays inside the frame.
#include <gtest/gtest.h>

#include "RuntimeSupport.h"

namespace {

// The documented value of a quotient that does not fit: its low 32 bits.
int32_t Low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

TEST(Hazards, QuotientsThatDoNotFitWrap) {
    auto state = NewState();
    TestFrame frame(3, 3);
    frame.At(0, 0)[0] = 1;
    struct Case {
        const char* formula;
        int32_t expected;
    } cases[] = {
        {"(0x80000000)/-1", INT32_MIN},
        {"(0x80000000)%-1", 0},
        {"scl(5,3,2,7,9)", 7},  // ih = il - 1: no division, the offset is 0
        {"scl(2147483647,0,0,0,2147483647)", INT32_MIN},
        {"scl(2147483647,0,2,0,2147483647)", Low32((int64_t{2147483647} * INT32_MIN) / 3)},
        {"scl(0x80000000,0,0xfffffffe,0,0x7ffffffe)", Low32(int64_t{INT32_MIN} * INT32_MAX / -1)},
        {"mix(0x80000000,0,0,-1)", INT32_MIN},
        {"cnv(0x80000000,0,0,0,0,0,0,0,0,-1)", INT32_MIN},  // at (0, 0): byte 1
    };
    for (const Case& c : cases) EXPECT_EQ(EvaluateAt(state.get(), frame, c.formula, 0, 0), c.expected) << c.formula;
}

TEST(Hazards, ByteIndexOutsideThePixelReadsNothing) {
    auto state = NewState();
    TestFrame frame(2, 2);
    for (uint8_t& byte : frame.pixels) byte = 0x77;
    for (const char* formula :
         {"src(0,0,4)", "src(0,0,-1)", "src(1,1,2147483647)", "rad(0,0,4)", "rad1(0,0,-1)", "rad0(5,9,0x80000000)"})
        EXPECT_EQ(EvaluateAt(state.get(), frame, formula, 0, 0), 0) << formula;
    EXPECT_EQ(EvaluateAt(state.get(), frame, "src(0,0,3)", 0, 0), 0x77);
}

TEST(Hazards, FarPositionsTakeTheNearestEdgePixel) {
    auto state = NewState();
    TestFrame frame(3, 2);
    for (int32_t row = 0; row < 2; ++row)
        for (int32_t x = 0; x < 3; ++x) frame.At(x, row)[0] = static_cast<uint8_t>(10 * row + x);
    struct Case {
        const char* formula;
        int32_t expected;
    } cases[] = {
        {"src(-100,0x7fffffff,0)", 0},                               // top left: y counts upwards
        {"src(100,-100,0)", 12},       {"rad(0,100000,0)", 12},      // far right, on the row below the centre
        {"rad(256,100000,0)", 1},                                    // far up: the top row
        {"rad(512,100000,0)", 10},     {"rad(0,0x7fffffff,0)", 10},  // the centre column plus m wraps: far left
    };
    for (const Case& c : cases) EXPECT_EQ(EvaluateAt(state.get(), frame, c.formula, 1, 1), c.expected) << c.formula;
}

TEST(Hazards, ConvolutionOnFramesNarrowerOrLowerThanThree) {
    auto state = NewState();
    struct Case {
        int32_t width, height, x, row;
        int32_t expected;
    } cases[] = {
        {1, 1, 0, 0, 9 * 7},  // every window pixel is the one pixel
        {2, 1, 0, 0, 3 * (7 + 8 + 8)},
        {2, 1, 1, 0, 3 * (7 + 7 + 8)},
        {1, 2, 0, 1, 3 * (7 + 7 + 17)},  // rows -1, 0, 1 clamped to 0, 0, 1
    };
    for (const Case& c : cases) {
        TestFrame frame(c.width, c.height);
        for (int32_t row = 0; row < c.height; ++row)
            for (int32_t x = 0; x < c.width; ++x) frame.At(x, row)[1] = static_cast<uint8_t>(7 + x + 10 * row);
        EXPECT_EQ(EvaluateAt(state.get(), frame, "cnv(1,1,1,1,1,1,1,1,1,1)", c.x, c.row, 1), c.expected)
            << c.width << "x" << c.height << " at " << c.x << "," << c.row;
    }
}

}  // namespace
