#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "Progress.h"

namespace {

std::string Captured(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += char(c);
    return text;
}

TEST(DurationText, ShowsMinutesAndSecondsThenHours) {
    struct Case {
        double seconds;
        const char* text;
    };
    for (const Case& c : {Case{0, "0:00"}, Case{6.4, "0:06"}, Case{59.6, "1:00"}, Case{62, "1:02"},
                          Case{3723, "1:02:03"}, Case{-1, "-:--"}, Case{1e12, "-:--"}})
        EXPECT_EQ(DurationText(c.seconds), c.text) << c.seconds;
}

TEST(ProgressTexts, BarCountsRateAndTimeLeft) {
    EXPECT_EQ(ProgressBarText(12, 48, 2.0), "[#######-----------------------] 12/48  6.0 fps  0:06 left");
    EXPECT_EQ(ProgressBarText(0, 48, 0.0), "[------------------------------]  0/48  0.0 fps  -:-- left");
    EXPECT_EQ(ProgressBarText(480, 480, 20.0), "[##############################] 480/480  24.0 fps  0:00 left");
}

TEST(ProgressTexts, LineAndSummary) {
    EXPECT_EQ(ProgressLineText(12, 48, 2.0), "12/48 frames (25%), 6.0 fps, 0:06 left");
    EXPECT_EQ(ProgressSummaryText(48, 2.0), "48 frames in 0:02 (24.0 fps)");
    EXPECT_EQ(ProgressSummaryText(1, 0.5), "1 frame in 0:01 (2.0 fps)");
}

TEST(ProgressLines, OneLinePerTenthThenTheSummary) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Progress progress;
    StartProgress(progress, kProgressLines, out, 20, 100.0);
    for (int32_t done = 1; done <= 20; ++done) UpdateProgress(progress, done, 100.0 + 0.5 * done);
    FinishProgress(progress, 110.0);
    UpdateProgress(progress, 20, 111.0);  // after the end: silent
    std::string expected;
    for (int32_t done = 2; done <= 20; done += 2) expected += ProgressLineText(done, 20, 0.5 * done) + "\n";
    expected += "20 frames in 0:10 (2.0 fps)\n";
    EXPECT_EQ(Captured(out), expected);
    EXPECT_EQ(expected.substr(0, expected.find('\n')), "2/20 frames (10%), 2.0 fps, 0:09 left");
    std::fclose(out);
}

TEST(ProgressBar, RedrawsInPlaceAtMostTenTimesASecond) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Progress progress;
    StartProgress(progress, kProgressBar, out, 4, 0.0);
    UpdateProgress(progress, 1, 1.0);
    UpdateProgress(progress, 2, 1.05);  // too soon: skipped
    UpdateProgress(progress, 3, 1.5);
    UpdateProgress(progress, 4, 1.52);  // the last frame always shows
    FinishProgress(progress, 2.0);
    std::string expected = "\r" + ProgressBarText(1, 4, 1.0) + "\r" + ProgressBarText(3, 4, 1.5) + "\r" +
                           ProgressBarText(4, 4, 1.52) + "\r4 frames in 0:02 (2.0 fps)";
    // The summary is shorter than the bar, so it blanks the bar's tail.
    expected += std::string(ProgressBarText(4, 4, 1.52).size() - 26, ' ') + "\n";
    EXPECT_EQ(Captured(out), expected);
    std::fclose(out);
}

TEST(ProgressQuiet, WritesNothing) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Progress progress;
    StartProgress(progress, kProgressQuiet, out, 10, 0.0);
    for (int32_t done = 1; done <= 10; ++done) UpdateProgress(progress, done, done);
    FinishProgress(progress, 10.0);
    EXPECT_EQ(Captured(out), "");
    std::fclose(out);
}

TEST(ProgressStyleForStderr, QuietWinsAndFilesGetLines) {
    EXPECT_EQ(ProgressStyleForStderr(true), kProgressQuiet);
    // Point stderr at a file for the check, whatever the test runs under.
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fflush(stderr);
    int saved = dup(2);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(dup2(fileno(file), 2), 2);
    ProgressStyle style = ProgressStyleForStderr(false);
    dup2(saved, 2);
    close(saved);
    std::fclose(file);
    EXPECT_EQ(style, kProgressLines);
}

}  // namespace
