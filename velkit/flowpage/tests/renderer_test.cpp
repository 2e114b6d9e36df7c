#include "renderer.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <fstream>
#include <string>

using namespace velkit::flowpage;

namespace {

// A scratch folder with executable scripts, put first on PATH while a test runs.
class ScratchPath : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/flowpage_renderer_XXXXXX";
        folder_ = ::mkdtemp(pattern);
        const char* path = std::getenv("PATH");
        old_path_ = path ? path : "";
        ::setenv("PATH", (folder_ + ":" + old_path_).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", old_path_.c_str(), 1);
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }
    void script(const std::string& name, const std::string& body, mode_t mode = 0755) {
        std::string path = folder_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), mode);
    }
    std::string folder_;
    std::string old_path_;
};

}  // namespace

TEST_F(ScratchPath, ArgumentsArriveOneByOneWithoutAShell) {
    script("echoargs", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$OUT\"");
    std::string out = folder_ + "/out.txt";
    ::setenv("OUT", out.c_str(), 1);
    ChildOutcome outcome = run_program("echoargs", {"-i", "a b;$(touch x)'.mmd", "-o", "*.svg"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.description, "");
    std::ifstream in(out);
    std::string seen((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(seen, "[-i][a b;$(touch x)'.mmd][-o][*.svg]");
    EXPECT_NE(::access((folder_ + "/x").c_str(), F_OK), 0);
}

TEST_F(ScratchPath, FailuresNameTheCommandAndStatus) {
    script("fails", "exit 3");
    ChildOutcome failed = run_program("fails", {"-i", "in put.mmd"});
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.description, "command 'fails -i 'in put.mmd'' exited with status 3");

    script("killed", "kill -9 $$");
    EXPECT_EQ(run_program("killed", {}).status, 128 + 9);

    ChildOutcome missing = run_program("flowpage-no-such-program", {"-i", "x"});
    EXPECT_EQ(missing.status, 127);
    EXPECT_NE(missing.description.find("not found on PATH"), std::string::npos);

    // Found on PATH but not a program the system can start.
    std::ofstream(folder_ + "/garbage") << "\x7f" "ELF not really";
    ::chmod((folder_ + "/garbage").c_str(), 0755);
    EXPECT_EQ(run_program("garbage", {}).status, 127);
}

TEST_F(ScratchPath, LookupWantsAnExecutableFile) {
    script("plain", "true", 0644);
    ::mkdir((folder_ + "/adir").c_str(), 0755);
    std::string path = folder_ + ":" + folder_ + "/more";
    EXPECT_FALSE(find_executable("plain", path.c_str()));
    EXPECT_FALSE(find_executable("adir", path.c_str()));
    ::mkdir((folder_ + "/more").c_str(), 0755);
    script("more/plain", "true");
    EXPECT_EQ(find_executable("plain", path.c_str()), folder_ + "/more/plain");
    EXPECT_TRUE(find_executable("sh", nullptr));
}

TEST(CommandLine, QuotesOnlyWhatAShellWouldRead) {
    EXPECT_EQ(command_line("mmdc", {"-i", "in/a.mmd", "-o", "out dir/it's.svg"}),
              "mmdc -i in/a.mmd -o 'out dir/it'\\''s.svg'");
    EXPECT_EQ(command_line("mmdc", {""}), "mmdc ''");
}

TEST_F(ScratchPath, CapturedOutputAndItsErrorLine) {
    script("noisy", "echo 'Generating single mermaid chart'; echo 'Error: Parse error on line 2:' >&2; "
                    "echo '    at renderMermaid (index.js:480)' >&2; exit 1");
    ChildOutcome outcome = run_program("noisy", {}, ChildOutput::kCaptured);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("Generating single mermaid chart\n"), std::string::npos);
    EXPECT_NE(outcome.output.find("at renderMermaid"), std::string::npos);
    EXPECT_EQ(first_error_line(outcome.output), "Parse error on line 2:");
}

TEST(FirstErrorLine, FallsBackToTheLastLine) {
    EXPECT_EQ(first_error_line("one\n\n  two  \n\n"), "two");
    EXPECT_EQ(first_error_line("x\nTypeError: y\nError: z\n"), "z");
    EXPECT_EQ(first_error_line("ok /tmp/test_error_1/out-1.svg\nTypeError: y\nlast\n"), "TypeError: y");
    EXPECT_EQ(first_error_line(""), "");
    EXPECT_EQ(first_error_line("Error: Parse error on line 2:\nA --> ((\n-----^\nExpecting 'SEMI', got 'PS'\n"),
              "Parse error on line 2: Expecting 'SEMI', got 'PS'");
}

namespace {

// True once no process has this id (a killed process that was reaped).
bool gone_within(pid_t pid, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
        ::usleep(20 * 1000);
    }
    return false;
}

pid_t pid_in(const std::string& path, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        std::ifstream in(path);
        pid_t pid = 0;
        if (in >> pid && pid > 0) return pid;
        ::usleep(20 * 1000);
    }
    return 0;
}

}  // namespace

// The program starts a helper in a session of its own, as a renderer starts
// its browser, and then hangs.
constexpr const char* kHangsWithHelper =
    "setsid sh -c 'echo $$ > \"$PIDS.tmp\"; mv \"$PIDS.tmp\" \"$PIDS\"; exec sleep 300' & sleep 300";

TEST_F(ScratchPath, ATimeLimitEndsTheProgramAndWhatItStarted) {
    script("hangs", kHangsWithHelper);
    std::string pids = folder_ + "/pids";
    ::setenv("PIDS", pids.c_str(), 1);
    ChildLimits limits;
    limits.seconds = 1;
    ChildOutcome outcome = run_program("hangs", {"-i", "x"}, ChildOutput::kCaptured, limits);
    EXPECT_TRUE(outcome.timed_out);
    EXPECT_EQ(outcome.status, 124);
    EXPECT_EQ(outcome.description, "command 'hangs -i x' timed out after 1 s");
    pid_t helper = pid_in(pids, 1000);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(gone_within(helper, 2000)) << "the helper outlived the program";
}

TEST_F(ScratchPath, NothingOutlivesAKilledParent) {
    script("hangs", kHangsWithHelper);
    std::string pids = folder_ + "/pids";
    ::setenv("PIDS", pids.c_str(), 1);
    pid_t parent = ::fork();
    if (parent == 0) {
        run_program("hangs", {}, ChildOutput::kCaptured);
        ::_exit(0);
    }
    pid_t helper = pid_in(pids, 5000);
    ::kill(parent, SIGKILL);
    ::waitpid(parent, nullptr, 0);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(gone_within(helper, 3000)) << "the renderer's helper outlived a killed flowpage";
}

TEST_F(ScratchPath, RunsInTheWorkingFolderGiven) {
    script("where", "pwd");
    std::string work = folder_ + "/work";
    ::mkdir(work.c_str(), 0755);
    ChildLimits limits;
    limits.working_folder = work;
    ChildOutcome outcome = run_program("where", {}, ChildOutput::kCaptured, limits);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, work + "\n");
    limits.working_folder = folder_ + "/missing";
    EXPECT_EQ(run_program("where", {}, ChildOutput::kCaptured, limits).status, 127);
}

TEST_F(ScratchPath, WaitingIsCalledNowAndThenAndCanEndTheProgram) {
    // The program writes a file after a while; the hook sees it appear.
    script("writes", "sleep 0.6; echo drawn > \"$1\"; sleep 0.6");
    std::string written = folder_ + "/out.svg";
    int calls = 0;
    bool seen_before_end = false;
    ChildLimits limits;
    limits.waiting = [&] {
        ++calls;
        seen_before_end = seen_before_end || ::access(written.c_str(), F_OK) == 0;
        return false;
    };
    ChildOutcome outcome = run_program("writes", {written}, ChildOutput::kCaptured, limits);
    EXPECT_EQ(outcome.status, 0);
    // About four times a second, never a busy loop.
    EXPECT_GE(calls, 2);
    EXPECT_LE(calls, 40);
    EXPECT_TRUE(seen_before_end);

    script("hangs", kHangsWithHelper);
    std::string pids = folder_ + "/pids";
    ::setenv("PIDS", pids.c_str(), 1);
    limits.waiting = [&] { return ::access(pids.c_str(), F_OK) == 0; };
    outcome = run_program("hangs", {}, ChildOutput::kCaptured, limits);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(outcome.status, 130);
    pid_t helper = pid_in(pids, 1000);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(gone_within(helper, 2000)) << "the helper outlived the program";
}
