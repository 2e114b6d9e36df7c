#include "velkit/frame/progress.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace velkit::frame;

namespace {

// Records what the meter draws; "show:", "clear" and "line:" entries.
struct RecordingDisplay : ProgressDisplay {
    bool is_live = true;
    std::size_t columns = 200;
    std::vector<std::string> seen;

    bool live() const override { return is_live; }
    std::size_t width() const override { return columns; }
    void show(const std::string& text) override { seen.push_back("show:" + text); }
    void clear() override { seen.push_back("clear"); }
    void line(const std::string& text) override { seen.push_back("line:" + text); }
};

struct FakeClock {
    double now = 100.0;
    Clock clock() {
        return [this] { return now; };
    }
};

}  // namespace

TEST(ProgressMeter, LiveLineShowsAtOnceThenAtMostTenTimesASecondAndIsClearedAtTheEnd) {
    RecordingDisplay display;
    FakeClock time;
    ProgressMeter meter(display, time.clock());
    meter.begin(4);
    meter.next("a.pdf");
    time.now += 0.05;
    meter.next("b.pdf");  // too soon after the first line
    time.now += 0.15;
    meter.next("c.pdf");
    meter.end();
    EXPECT_EQ(display.seen, (std::vector<std::string>{"show:0 of 4 done, now a.pdf",
                                                      "show:2 of 4 done, now c.pdf, about 1 s left", "clear"}));
}

TEST(ProgressMeter, TimeLeftFollowsThePaceSoFar) {
    RecordingDisplay display;
    FakeClock time;
    ProgressMeter meter(display, time.clock());
    meter.begin(10);
    meter.next("1");
    for (int i = 2; i <= 5; ++i) {
        time.now += 30;  // four items in two minutes: six more take three
        meter.next(std::to_string(i));
    }
    EXPECT_EQ(display.seen.back(), "show:4 of 10 done, now 5, about 3 min left");
}

TEST(ProgressMeter, LogGetsALinePerTenthOfTheWork) {
    RecordingDisplay display;
    display.is_live = false;
    FakeClock time;
    ProgressMeter meter(display, time.clock());
    meter.begin(20);
    for (int i = 0; i < 20; ++i) meter.next("f" + std::to_string(i));
    meter.end();
    ASSERT_EQ(display.seen.size(), 9u);  // at 2, 4, ... 18 done; none at 0 and no clear
    EXPECT_EQ(display.seen.front(), "line:2 of 20 done, now f2, about 1 s left");
    EXPECT_EQ(display.seen.back().rfind("line:18 of 20 done, now f18", 0), 0u);
}

TEST(ProgressMeter, LogGetsALineEveryFewSecondsWhenTheTenthsAreSlow) {
    RecordingDisplay display;
    display.is_live = false;
    FakeClock time;
    ProgressMeter meter(display, time.clock());
    meter.begin(1000);
    meter.next("first");
    time.now += 2;
    meter.next("second");  // 2 s in: nothing yet
    EXPECT_TRUE(display.seen.empty());
    time.now += 4;
    meter.next("third");
    EXPECT_EQ(display.seen, (std::vector<std::string>{"line:2 of 1000 done, now third, about 49 min 54 s left"}));
}

TEST(ProgressMeter, NothingIsShownForEmptyWorkOrAfterTheEnd) {
    RecordingDisplay display;
    ProgressMeter meter(display);
    meter.begin(0);
    meter.next("x");
    meter.end();
    meter.begin(1);
    meter.end();
    meter.next("late");
    EXPECT_TRUE(display.seen.empty());
}

TEST(ProgressMeter, LongLinesAreCutToTheTerminalWidth) {
    RecordingDisplay display;
    display.columns = 20;
    ProgressMeter meter(display);
    meter.begin(3);
    meter.next("a-very-long-file-name.pdf");
    EXPECT_EQ(display.seen.front(), "show:0 of 3 done, now a-\xE2\x80\xA6");  // 20 characters
}

TEST(ProgressScope, InstallsTheSinkAndEndsItWhenAnErrorLeavesTheLoop) {
    RecordingDisplay display;
    ProgressMeter meter(display);
    {
        ProgressScope scope(meter);
        try {
            ItemProgress progress(2);
            progress.next("a");
            throw std::runtime_error("stop");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(display.seen, (std::vector<std::string>{"show:0 of 2 done, now a", "clear"}));
        EXPECT_EQ(&current_progress(), &meter);
    }
    EXPECT_NE(&current_progress(), &meter);
    ItemProgress unobserved(5);  // the default sink takes reports and shows nothing
    unobserved.next("b");
    EXPECT_EQ(display.seen.size(), 2u);
}

TEST(ProgressMeter, LiveStepShowsAtOnceThenItsShareAFewTimesASecondAndIsClearedAtTheEnd) {
    RecordingDisplay display;
    FakeClock time;
    ProgressMeter meter(display, time.clock());
    meter.begin(3);
    meter.next("last.png");
    meter.begin_step("Saving the report (3 pages)");  // in place of the item line, at once
    for (int percent = 1; percent <= 4; ++percent) {
        time.now += 0.125;
        meter.step_share(percent / 100.0);
    }
    meter.step_share(1.0);  // too soon after the last line
    meter.end();
    meter.step_share(0.5);  // after its end
    EXPECT_EQ(display.seen, (std::vector<std::string>{"show:0 of 3 done, now last.png", "clear",
                                                      "show:Saving the report (3 pages)",
                                                      "show:Saving the report (3 pages), 2% done, about 13 s left",
                                                      "show:Saving the report (3 pages), 4% done, about 12 s left",
                                                      "clear"}));
}

TEST(ProgressMeter, LogGetsALineWhenAStepStartsThenEveryFewSeconds) {
    RecordingDisplay display;
    display.is_live = false;
    FakeClock time;
    ProgressMeter meter(display, time.clock());
    {
        StepProgress saving("Saving the report (300 sheets)", meter);
        for (int percent = 1; percent <= 100; ++percent) {
            time.now += 0.125;  // 12.5 seconds in all
            saving.share(percent / 100.0);
        }
    }
    EXPECT_EQ(display.seen, (std::vector<std::string>{"line:Saving the report (300 sheets)",
                                                      "line:Saving the report (300 sheets), 40% done, about 8 s left",
                                                      "line:Saving the report (300 sheets), 80% done, about 3 s left"}));
    EXPECT_EQ(step_text("x", 0.29, std::nullopt), "x, 29% done");
    // A step that cannot tell its share shows what it is only.
    EXPECT_EQ(step_text("Saving the report (1 page)", std::nullopt, std::nullopt), "Saving the report (1 page)");
}

TEST(ProgressText, Durations) {
    const std::pair<double, const char*> cases[] = {
        {0.2, "1 s"}, {59.2, "1 min"}, {61, "1 min 1 s"}, {3599, "59 min 59 s"}, {3600, "1 h 0 min"},
        {7830, "2 h 11 min"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(duration_text(seconds), text) << seconds;
}

TEST(ProgressText, CutsAtCharacterBoundaries) {
    EXPECT_EQ(fit_columns("abc", 3), "abc");
    EXPECT_EQ(fit_columns("abcd", 3), "ab\xE2\x80\xA6");
    // "äöüß" is four characters in eight bytes: cut after two characters
    EXPECT_EQ(fit_columns("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", 3), "\xC3\xA4\xC3\xB6\xE2\x80\xA6");
    EXPECT_EQ(fit_columns("\xC3\xA4\xC3\xB6\xC3\xBC", 3), "\xC3\xA4\xC3\xB6\xC3\xBC");
    EXPECT_EQ(fit_columns("abc", 0), "");
    EXPECT_EQ(progress_text(0, 7, "", std::nullopt), "0 of 7 done");
}
