#include "diagram_drawer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "diagram_cache.hpp"

using namespace velkit::flowpage;

namespace {

std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A renderer in-process: a batch draws its blocks in order and stops at the
// first that holds "bad"; "-o" of an .svg draws the one diagram. "lost"
// leaves its output out without failing, "picture" draws the error picture.
class StandIn : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/flowpage_drawer_XXXXXX";
        folder_ = ::mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    static std::string drawing_of(const std::string& source) {
        if (source.find("picture") != std::string::npos) return "<svg aria-roledescription=\"error\">Syntax error in text</svg>";
        return "<svg id=\"my-svg\">" + source + "</svg>";
    }

    ChildOutcome render(const std::vector<std::string>& args, double seconds, const Waiting& waiting = [] {}) {
        calls.push_back(args[1]);
        limits.push_back(seconds);
        if (cannot_start_) return {127, "command 'mmdc' not found on PATH (status 127)", ""};
        if (hang_) return {124, "command 'mmdc' timed out after " + std::to_string(seconds) + " s", "", true};
        // Like the real renderer, it is given names it can open: plain ASCII,
        // relative to the work folder it runs in.
        for (const auto& arg : args) {
            for (char c : arg) {
                if (static_cast<unsigned char>(c) >= 0x80 || c == '/') return {1, "failed", "Error: cannot open " + arg};
            }
        }
        std::string input = read(folder_ + "/" + args[1]);
        std::string output = folder_ + "/" + args[3];
        if (output.size() > 3 && output.substr(output.size() - 3) == ".md") {
            std::string stem = output.substr(0, output.size() - 3);
            int n = 0;
            size_t at = 0;
            while ((at = input.find("```mermaid\n", at)) != std::string::npos) {
                size_t end = input.find("```\n", at + 11);
                std::string block = input.substr(at + 11, end - at - 11);
                at = end + 4;
                ++n;
                if (block.find("bad") != std::string::npos) return {1, "failed", "Found\nError: Parse error in " + block};
                if (block.find("lost") != std::string::npos) continue;
                std::ofstream(stem + "-" + std::to_string(n) + ".svg") << drawing_of(block);
                waiting();  // the drawer looks while the batch runs
            }
            return {0};
        }
        if (input.find("bad") != std::string::npos) return {1, "failed", "Error: alone " + input};
        if (input.find("lost") == std::string::npos) std::ofstream(output) << drawing_of(input);
        return {0};
    }

    std::vector<Drawing> draw(const std::vector<DiagramJob>& jobs) {
        DiagramDrawer drawer(folder_, [this](const std::vector<std::string>& args, double seconds,
                                             const Waiting& waiting) { return render(args, seconds, waiting); }, 10);
        drawer.report_to([this](size_t settled, size_t now) { reports.emplace_back(settled, now); });
        return drawer.draw(jobs);
    }

    std::string folder_;
    std::vector<std::string> calls;
    std::vector<double> limits;
    std::vector<std::pair<size_t, size_t>> reports;  // (settled, now) as the drawer told them
    bool hang_ = false;
    bool cannot_start_ = false;
};

}  // namespace

TEST_F(StandIn, OneBatchForAllDiagrams) {
    std::vector<Drawing> drawings = draw({{"graph A\n"}, {"graph B\n"}, {"graph C"}});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].find("batch-1.md"), std::string::npos);
    for (const auto& [drawing, letter] : {std::pair{drawings[0], "A"}, {drawings[1], "B"}, {drawings[2], "C"}}) {
        EXPECT_TRUE(drawing.drawn);
        EXPECT_NE(drawing.svg.find(std::string("graph ") + letter), std::string::npos);
    }
}

TEST_F(StandIn, BatchRestartsAfterAFailingDiagram) {
    std::vector<Drawing> drawings =
        draw({{"graph A\n"}, {"bad one\n"}, {"graph C\n"}, {"bad two\n"},
              {"graph E\n"}});
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_TRUE(drawings[0].drawn && drawings[2].drawn && drawings[4].drawn);
    EXPECT_FALSE(drawings[1].drawn);
    EXPECT_EQ(drawings[1].problem, "Parse error in bad one");
    EXPECT_EQ(drawings[3].problem, "Parse error in bad two");
    EXPECT_NE(drawings[4].svg.find("graph E"), std::string::npos);
}

TEST_F(StandIn, MissingBatchOutputAndUnbatchableTextsAreDrawnAlone) {
    std::vector<Drawing> drawings = draw({{"graph A\n"},
                                          {"graph B\nA:::\n"},  // would end the batch's block early
                                          {"graph lost\n"}});
    ASSERT_EQ(calls, (std::vector<std::string>{"batch-1.md", "single-2.mmd", "single-3.mmd"}));
    // The time limit grows with the diagrams a process draws.
    EXPECT_EQ(limits, (std::vector<double>{20, 10, 10}));
    EXPECT_TRUE(drawings[0].drawn && drawings[1].drawn);
    EXPECT_FALSE(drawings[2].drawn) << "the stand-in leaves 'lost' undrawn alone as well";
    EXPECT_TRUE(drawings[2].output_missing);
}

TEST_F(StandIn, AHungBatchFailsItsDiagramsOnceWithoutRetries) {
    hang_ = true;
    std::vector<Drawing> drawings = draw({{"graph A\n"}, {"graph B\n"}, {"graph C\nA:::\n"}});
    ASSERT_EQ(calls.size(), 2u) << "a batch that timed out is not drawn again one by one";
    for (const Drawing& drawing : drawings) {
        EXPECT_FALSE(drawing.drawn);
        EXPECT_NE(drawing.problem.find("timed out after"), std::string::npos) << drawing.problem;
    }
}

TEST_F(StandIn, ARendererThatCannotRunIsToldApartFromAFailedDiagram) {
    cannot_start_ = true;
    std::vector<Drawing> drawings = draw({{"graph A\n"}, {"graph B\n"}, {"graph C\nA:::\n"}});
    EXPECT_EQ(calls.size(), 1u) << "once it cannot start, it is not started again";
    for (const Drawing& drawing : drawings) {
        EXPECT_EQ(drawing.problem.rfind("the renderer cannot run: ", 0), 0u) << drawing.problem;
    }
}

TEST_F(StandIn, ErrorPictureIsAFailure) {
    std::vector<Drawing> drawings = draw({{"picture\n"}, {"graph B\n"}});
    EXPECT_FALSE(drawings[0].drawn);
    EXPECT_EQ(drawings[0].problem, "Syntax error in text");
    EXPECT_TRUE(drawings[1].drawn);
}

TEST(FitsInBatch, LinesThatWouldEndTheBlock) {
    EXPECT_TRUE(fits_in_batch("graph LR\n A:::cls --> B\n"));
    EXPECT_FALSE(fits_in_batch("graph LR\n A --> B:::\n"));
    EXPECT_FALSE(fits_in_batch("note ```  \n"));
    EXPECT_FALSE(fits_in_batch("  \n"));
}

TEST(DiagramCache, KeyedByTextRendererAndOptionsAndPruned) {
    char pattern[] = "/tmp/flowpage_cache_XXXXXX";
    std::string folder = std::string(::mkdtemp(pattern)) + "/cache";
    DiagramCache cache(folder, "renderer 1", "options");
    EXPECT_NE(cache.key("graph A"), DiagramCache(folder, "renderer 2", "options").key("graph A"));
    EXPECT_NE(cache.key("graph A"), DiagramCache(folder, "renderer 1", "other").key("graph A"));
    EXPECT_NE(cache.key("graph A"), cache.key("graph B"));
    EXPECT_FALSE(cache.find(cache.key("graph A")));
    cache.store(cache.key("graph A"), "<svg>A</svg>");
    EXPECT_EQ(cache.find(cache.key("graph A")), "<svg>A</svg>");

    DiagramCache next(folder, "renderer 1", "options");
    next.store(next.key("graph B"), "<svg>B</svg>");
    next.prune();
    EXPECT_FALSE(DiagramCache(folder, "renderer 1", "options").find(next.key("graph A")));
    EXPECT_TRUE(DiagramCache(folder, "renderer 1", "options").find(next.key("graph B")));
    std::system(("rm -rf '" + folder.substr(0, folder.size() - 6) + "'").c_str());
}

TEST_F(StandIn, ProgressCountsTheDrawingsABatchHasWrittenWhileItRuns) {
    draw({{"graph A\n"}, {"graph B\n"}, {"bad C\n"}, {"graph D\n"}, {"graph lost\n"}});
    ASSERT_EQ(calls, (std::vector<std::string>{"batch-1.md", "batch-2.md", "single-5.mmd"}));
    using Report = std::pair<size_t, size_t>;
    EXPECT_EQ(reports, (std::vector<Report>{
                           {0, 0}, {1, 1}, {2, 2},  // batch 1 starts with A; A and B appear; it stops at C
                           {3, 3}, {4, 4},          // C failed; batch 2 starts with D; D appears, "lost" does not
                           {4, 4},                  // "lost" drawn alone
                           {5, 5}}));               // all settled
}

TEST_F(StandIn, ProgressNeverGoesBack) {
    // A batch that hangs settles every diagram it held at once.
    hang_ = true;
    draw({{"graph A\n"}, {"graph B\n"}, {"graph C\n"}});
    using Report = std::pair<size_t, size_t>;
    EXPECT_EQ(reports, (std::vector<Report>{{0, 0}, {3, 3}}));
}
