// Frames whose rows are not packed: FFmpeg's, whose pitch the plug-in reads
// from FFmpeg's frame records, and the frame it refuses when it cannot.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "FilterInstance.h"
#include "Frame.h"
#include "HostRows.h"
#include "MediaTestSupport.h"

extern "C" {
#include <libavfilter/version.h>
#include <libavutil/frame.h>
}

namespace {

void SetText(FilterInstance& instance, int32_t index, const char* text) { SetParamValue(instance, index, &text); }

AVFrame Record(const void* plane, int32_t width, int32_t height, int32_t pitch, int format = AV_PIX_FMT_BGRA) {
    AVFrame record;
    std::memset(&record, 0, sizeof record);
    record.data[0] = static_cast<uint8_t*>(const_cast<void*>(plane));
    record.linesize[0] = pitch;
    record.width = width;
    record.height = height;
    record.format = format;
    return record;
}

uintptr_t Word(const void* address) { return reinterpret_cast<uintptr_t>(address); }

TEST(Frei0rHostRows, FindsTheNearestRecordOfEachPlane) {
    const int32_t w = 101, h = 7;
    std::vector<uint8_t> in(512 * h), out(512 * h);
    const uint8_t* outLast = out.data() + 448 * (h - 1);  // bottom row first
    const AVFrame inRecord = Record(in.data(), w, h, 448);
    const AVFrame outRecord = Record(out.data(), w, h, 448);
    const AVFrame farInRecord = Record(in.data(), w, h, 512);
    const AVFrame flipped = Record(outLast, w, h, -448);
    const AVFrame otherSize = Record(in.data(), w + 1, h, 448);
    const AVFrame otherHeight = Record(in.data(), w, h + 1, 448);
    const AVFrame otherFormat = Record(in.data(), w, h, 448, AV_PIX_FMT_RGBA);
    const AVFrame tooNarrow = Record(in.data(), w, h, 400);
    const AVFrame unaligned = Record(in.data(), w, h, 406);
    // Words that are no record: nothing, small numbers, unmapped and
    // misaligned addresses, the planes themselves.
    const std::vector<uintptr_t> junk = {
        0, 1, 4096, Word(in.data()) + 3, uintptr_t{1} << 47, ~uintptr_t{0} - 7, Word(in.data()), Word(out.data())};

    struct Case {
        const char* what;
        std::vector<uintptr_t> words;
        const uint8_t* outPlane;
        bool found;
        int64_t inPitch, outPitch;
    };
    const Case cases[] = {
        {"both, among junk",
         {junk[0], junk[1], Word(&inRecord), junk[2], junk[3], Word(&outRecord), junk[4]},
         out.data(),
         true,
         448,
         448},
        {"the nearest of two records of a plane",
         {Word(&outRecord), Word(&inRecord), Word(&farInRecord)},
         out.data(),
         true,
         448,
         448},
        {"a frame stored bottom row first", {Word(&flipped), Word(&inRecord)}, outLast, true, 448, -448},
        {"the output's record missing", {Word(&inRecord), junk[5], junk[6], junk[7]}, out.data(), false, 0, 0},
        {"records of another size, height or format",
         {Word(&otherSize), Word(&otherHeight), Word(&otherFormat), Word(&outRecord)},
         out.data(),
         false,
         0,
         0},
        {"a pitch narrower than the row, or not whole pixels",
         {Word(&tooNarrow), Word(&unaligned), Word(&outRecord)},
         out.data(),
         false,
         0,
         0},
        {"no words", {}, out.data(), false, 0, 0},
    };
    for (const Case& c : cases) {
        FrameRows rows{-1, -1};
        EXPECT_EQ(FindFrameRows(c.words.data(), c.words.size(), in.data(), c.outPlane, w, h, &rows), c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(rows.inPitch, c.inPitch) << c.what;
            EXPECT_EQ(rows.outPitch, c.outPitch) << c.what;
        } else {
            EXPECT_EQ(rows.inPitch, -1) << c.what << ": left as it was";
        }
    }
}

// The records as FFmpeg's frei0r filter holds them: in the frame of the
// function that calls the plug-in, a few words above the plug-in's own.
TEST(Frei0rHostRows, FindsTheRecordsOfItsCallersFrame) {
    std::vector<uint8_t> in(448 * 3), out(448 * 3);
    AVFrame* volatile records[2];  // held on the stack as FFmpeg holds them
    AVFrame inRecord = Record(in.data(), 101, 3, 448), outRecord = Record(out.data(), 101, 3, 448);
    records[0] = &inRecord;
    records[1] = &outRecord;
    FrameRows rows;
    EXPECT_TRUE(FindLibavfilterRows(__builtin_frame_address(0), in.data(), out.data(), 101, 3, &rows));
    EXPECT_EQ(rows.inPitch, 448);
    EXPECT_EQ(rows.outPitch, 448);
    EXPECT_FALSE(FindLibavfilterRows(__builtin_frame_address(0), in.data(), in.data() + 1, 101, 3, &rows));
    EXPECT_NE(records[0], nullptr);
}

TEST(Frei0rHostRows, TellsFfmpegsFrei0rFilterFromOtherHosts) {
    int local = 0;
    EXPECT_EQ(ClassifyCaller(&local), HostCaller::kPacked) << "the stack";
    EXPECT_EQ(ClassifyCaller(reinterpret_cast<const void*>(&ClassifyCaller)), HostCaller::kPacked) << "this program";
    const std::string name = "libavfilter.so." + std::to_string(LIBAVFILTER_VERSION_MAJOR);
    void* filters = dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(filters, nullptr) << name;
    EXPECT_EQ(ClassifyCaller(dlsym(filters, "avfilter_graph_alloc")), HostCaller::kLibavfilter);
    EXPECT_EQ(ClassifyCaller(&local), HostCaller::kPacked) << "the stack, libavfilter loaded";
    EXPECT_EQ(ClassifyCaller(reinterpret_cast<const void*>(&dlopen)), HostCaller::kPacked) << "another library";
}

// Rows padded, or stored bottom row first, in and out: the same pixels as
// packed frames, and the padding left alone.
TEST(Frei0rInstance, RendersRowsAnyDistanceApartAsPackedOnes) {
    struct Case {
        int32_t width, height;
        int32_t inPadding, outPadding;  // bytes after each row
        bool inFlipped, outFlipped, inPlace;
    };
    const Case cases[] = {
        {1, 5, 60, 60, false, false, false},   {7, 6, 36, 4, false, false, false},
        {101, 7, 44, 44, false, false, false}, {101, 7, 44, 108, true, false, false},
        {33, 4, 60, 60, false, true, false},   {101, 7, 44, 44, false, false, true},
        {16, 3, 0, 0, false, false, false},
    };
    const uint8_t kPaddingByte = 0xAB;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        auto packed = MakeFilterInstance(c.width, c.height);
        auto padded = MakeFilterInstance(c.width, c.height);
        ASSERT_TRUE(packed && padded);
        for (FilterInstance* instance : {packed.get(), padded.get()}) {
            SetText(*instance, kParamFormula0 + 1, "g+x*3+y");
            SetText(*instance, kParamFormula0 + 2, "src(x+1,y-1,0)");
            SetText(*instance, kParamFormula0 + 3, "cnv(1,2,1,2,4,2,1,2,1,16)");
        }
        const Frame source = NumberedFrame(c.width, c.height, 3);
        const size_t rowBytes = size_t(c.width) * 4;
        std::vector<uint32_t> expected(size_t(c.width) * c.height);
        RenderInstanceFrame(*packed, 0, reinterpret_cast<const uint32_t*>(source.pixels.data()), expected.data());

        // Lays rows `padding` bytes apart, the first at the bottom when flipped.
        auto layOut = [&](int32_t padding, bool flipped, std::vector<uint8_t>& bytes, int64_t& pitch) -> uint8_t* {
            const int64_t apart = int64_t(rowBytes) + padding;
            bytes.assign(size_t(apart) * c.height, kPaddingByte);
            pitch = flipped ? -apart : apart;
            return bytes.data() + (flipped ? apart * (c.height - 1) : 0);
        };
        std::vector<uint8_t> inBytes, outBytes;
        FrameRows rows;
        uint8_t* in = layOut(c.inPadding, c.inFlipped, inBytes, rows.inPitch);
        for (int32_t y = 0; y < c.height; ++y)
            std::memcpy(in + y * rows.inPitch, source.pixels.data() + y * source.rowBytes, rowBytes);
        uint8_t* out = in;
        if (c.inPlace)
            rows.outPitch = rows.inPitch;
        else
            out = layOut(c.outPadding, c.outFlipped, outBytes, rows.outPitch);
        RenderInstanceRows(*padded, 0, reinterpret_cast<const uint32_t*>(in), reinterpret_cast<uint32_t*>(out), rows);

        const std::vector<uint8_t>& written = c.inPlace ? inBytes : outBytes;
        const int32_t padding = c.inPlace ? c.inPadding : c.outPadding;
        for (int32_t y = 0; y < c.height; ++y) {
            EXPECT_EQ(std::memcmp(out + y * rows.outPitch, &expected[size_t(y) * c.width], rowBytes), 0) << "row " << y;
            const uint8_t* after = out + y * rows.outPitch + rowBytes;
            for (int32_t k = 0; k < padding; ++k) ASSERT_EQ(after[k], kPaddingByte) << "row " << y << " padding " << k;
        }
        EXPECT_EQ(written.size(), (rowBytes + padding) * c.height);
    }
}

TEST(Frei0rInstance, RefusesFramesOfUnknownRowsOnceAndLeavesThemBlack) {
    auto instance = MakeFilterInstance(101, 3);
    ASSERT_TRUE(instance);
    std::vector<uint32_t> out(101 * 3 + 1, 0xFFFFFFFFu);
    testing::internal::CaptureStderr();
    RefuseUnknownRows(*instance, out.data());
    RefuseUnknownRows(*instance, out.data());
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages,
              "fablix: FFmpeg pads the rows of frames 101 pixels wide and the plug-in cannot find their layout: it "
              "leaves them black; pad the width to a multiple of 16 before the filter and crop it after, as in "
              "\"pad=112:ih,frei0r=...,crop=101:ih:0:0\"\n");
    for (size_t k = 0; k < 101 * 3; ++k) ASSERT_EQ(out[k], 0u) << k;
    EXPECT_EQ(out.back(), 0xFFFFFFFFu) << "past the frame";
}

}  // namespace
