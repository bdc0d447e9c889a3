// Exact values of variables, operators and functions, grouped by family.
#include <gtest/gtest.h>

#include "Polar.h"
#include "RuntimeSupport.h"

namespace {

struct Case {
    const char* formula;
    int32_t expected;
};

class Values : public ::testing::Test {
protected:
    std::unique_ptr<InstanceState> state = NewState();
    TestFrame frame{120, 120};

    int32_t At(const char* formula, int32_t x = 5, int32_t row = 7, int32_t channel = 0) {
        return EvaluateAt(state.get(), frame, formula, x, row, channel);
    }
    void ExpectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(At(c.formula), c.expected) << c.formula;
    }
};

TEST_F(Values, OperatorsWrapAndNeverFault) {
    ExpectAll({
        {"1,2,3", 3},
        {"2-5", -3},
        {"0x7fffffff+1", INT32_MIN},
        {"65536*65536", 0},
        {"7/0", 0},
        {"7%0", 0},
        {"-7/2", -3},
        {"-7%2", -1},
        {"7%-2", 1},
        {"1<<33", 2},
        {"-1>>28", 15},
        {"-8>>1", 2147483644},
        {"3&&-1", 1},
        {"0||0", 0},
        {"0||-4", 1},
        {"!5", 0},
        {"!0", 1},
        {"~0", -1},
        {"2,3", 3},
        {"0?4:5", 5},
        {"7?4:5", 4},
        {"1?2:0?3:4", 2},
        {"6&3", 2},
        {"6|3", 7},
        {"6^3", 5},
        {"-(0-2147483647-1)", INT32_MIN},
        {"3==3", 1},
        {"3!=3", 0},
        {"-1<0", 1},
        {"2<=2", 1},
        {"2>3", 0},
        {"-2>=-2", 1},
        {"debug", 0},
        {"debug+5", 5},
        // the quotient and remainder that do not fit: the wrapped value, and 0
        {"(0x80000000)/-1", INT32_MIN},
        {"(0x80000000)%-1", 0},
    });
}

TEST_F(Values, PositionAndTimeVariables) {
    state->time = 9;
    state->timeMin = 0;
    state->total = 47;
    EXPECT_EQ(At("x", 5, 0), 5);
    EXPECT_EQ(At("y", 5, 0), 119);
    EXPECT_EQ(At("y", 5, 119), 0);
    ExpectAll({{"X", 120},     {"xmax", 120}, {"xmin", 0}, {"Y", 120}, {"ymax", 120}, {"ymin", 0},
               {"pmin", 0},    {"P", 4},      {"pmax", 4}, {"t", 9},   {"tmin", 0},   {"T", 47},
               {"tmax", 47},   {"total", 47}, {"R", 255},  {"G", 255}, {"B", 255},    {"C", 255},
               {"dmin", -512}, {"dmax", 512}, {"D", 512},  {"mmin", 0}});
    EXPECT_EQ(At("p", 0, 0, 2), 2);
}

TEST_F(Values, SourcePixelAndColourSpaces) {
    struct Pixel {
        uint8_t b, g, r, a;
        const char* formula;
        int32_t expected;
    };
    const Pixel cases[] = {
        {1, 2, 3, 4, "b", 1},         {1, 2, 3, 4, "g0", 2},    {1, 2, 3, 4, "r1", 3},    {1, 2, 3, 4, "a", 4},
        {255, 255, 255, 0, "i", 254}, {0, 0, 255, 0, "u", -19}, {0, 255, 0, 0, "v", -65}, {0, 0, 0, 0, "i1", 0},
        {255, 0, 0, 0, "u0", 55},     {0, 0, 255, 0, "v1", 77},
    };
    for (const Pixel& p : cases) {
        uint8_t* px = frame.At(5, 7);
        px[0] = p.b, px[1] = p.g, px[2] = p.r, px[3] = p.a;
        EXPECT_EQ(At(p.formula), p.expected) << p.formula;
    }
    uint8_t* px = frame.At(5, 7);
    px[0] = 10, px[1] = 20, px[2] = 30, px[3] = 40;
    for (int32_t channel = 0; channel < 4; ++channel) EXPECT_EQ(At("c", 5, 7, channel), 10 * (channel + 1));
}

TEST_F(Values, PolarVariables) {
    struct Polar {
        const char* formula;
        int32_t x, row, expected;
    };
    const Polar cases[] = {
        {"d", 60, 59, 0},    {"d", 60, 58, 256}, {"d", 60, 60, -256}, {"d", 61, 59, 0},
        {"d", 59, 59, -512}, {"d", 70, 49, 128}, {"d", 50, 49, 384},  {"d", 50, 69, -384},
        {"m", 60, 61, 0},    {"m", 63, 65, 5},   {"M", 0, 0, 169},    {"mmax", 0, 0, 169},
    };
    for (const Polar& c : cases) EXPECT_EQ(At(c.formula, c.x, c.row), c.expected) << c.formula;
}

TEST_F(Values, TrigonometryAndPolarFunctions) {
    ExpectAll({
        {"cos(0)", 512},       {"cos(512)", -512},   {"sin(256)", 512},     {"sin(128)", 362},
        {"cos(-128)", 362},    {"tan(128)", 1024},   {"tan(256)", 0},       {"tan(768)", 0},
        {"r2x(0,100)", 100},   {"r2x(128,100)", 71}, {"r2y(256,100)", 100}, {"r2y(0,100)", 0},
        {"c2m(3,4)", 5},       {"c2m(-30,40)", 50},  {"c2m(300,400)", 500}, {"c2m(0,5)", 5},
        {"c2m(120,120)", 169}, {"c2d(1,0)", 0},      {"c2d(0,1)", 256},     {"c2d(-1,0)", 512},
        {"c2d(0,-1)", -256},   {"c2d(1,1)", 128},    {"c2d(0,0)", 0},       {"cos(0x80000000)", 512},
    });
}

TEST_F(Values, ArithmeticFunctions) {
    ExpectAll({
        {"min(-1,1)", -1},
        {"max(-1,1)", 1},
        {"abs(-7)", 7},
        {"abs(0x80000000)", INT32_MIN},
        {"add(200,100,255)", 255},
        {"add(1,2,255)", 3},
        {"sub(10,20,0)", 0},
        {"sub(30,20,0)", 10},
        {"dif(3,10)", 7},
        {"dif(10,3)", 7},
        {"sqrt(17)", 4},
        {"sqrt(1)", 1},
        {"sqrt(-5)", -5},
        {"sqrt(2147483647)", 46340},
        {"sqr(3)", 1},
        {"sqr(4)", 2},
        {"sqrt(0)", 0},
        {"scl(512,-511,512,0,120)", 120},
        {"scl(-511,-511,512,0,120)", 0},
        {"mix(0,100,1,4)", 25},
        {"mix(1,2,3,0)", 0},
        {"cnv(0,0,0,0,0,0,0,0,0,0)", 0},
    });
}

TEST_F(Values, SquareRootIsTheFloorForEveryValueUpTo100000) {
    for (int32_t v = 2; v <= 100000; ++v) {
        const std::string formula = "sqrt(" + std::to_string(v) + ")";
        EXPECT_EQ(At(formula.c_str()), static_cast<int32_t>(std::floor(std::sqrt(double(v))))) << v;
    }
}

TEST_F(Values, SlidersMapsAndCells) {
    TestClip clip(1, 1);
    FilterParams params{};
    const int32_t sliders[kSliderCount] = {255, 0, 7, 9, 0, 0, 0, 128};
    std::memcpy(params.sliderValue, sliders, sizeof(sliders));
    PrepareFrame(&clip.record, state.get(), &params);
    ExpectAll({
        {"ctl(3)", 9},
        {"ctl(8)", 0},
        {"ctl(-1)", 0},
        {"val(9,5,10)", 5},
        {"val(-1,5,10)", 5},
        {"val(7,0,255)", 128},
        {"val(0,0,64)", 64},
        {"val(1,0,64)", 0},
        {"map(4,10)", 0},
        {"map(-1,10)", 0},
        {"map(0,77)", 77},
        {"map(0,256)", 256},
        {"map(0,-1)", -1},
        {"put(7,3),get(3)", 7},
        {"put(7,256)", 7},
        {"get(-1)", 0},
        {"get(256)", 0},
    });
}

TEST(Polar, LengthAndAngleStayExactForWideComponents) {
    auto state = NewState();
    // q = 768, vectorTable[768] = 16416: 2^23 + 16416 * 2^7. Both products
    // overflow 32 bits.
    EXPECT_EQ(VectorLength(state.get(), 3 << 21, 4 << 21), 10489856);
    EXPECT_EQ(VectorLength(state.get(), 1 << 30, 1 << 30), (1 << 30) + 27146 * (1 << 14));
    EXPECT_EQ(VectorAngle(state.get(), 1 << 22, 1 << 22), 128);
    EXPECT_EQ(VectorAngle(state.get(), -(1 << 30), 1 << 30), 384);
    EXPECT_EQ(BaseAngle(state.get(), 0, 0), 0);
}

}  // namespace
