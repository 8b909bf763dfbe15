// The shared test support: the child-process runner, the scratch folder and
// the pattern bytes the other test folders build on.

#include "cli_runner.h"
#include "pattern_bytes.h"
#include "scratch_dir.h"
#include "working_directory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

// Sets or clears an environment variable for one test and puts it back.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvironmentVariable() {
        if (m_old) ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else ::unsetenv(m_name.c_str());
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

CliCommand shell(const ScratchDir& outputs, const std::string& script, std::filesystem::path cwd = {}) {
    return {"/bin/sh", {"-c", script}, outputs.path(), std::move(cwd)};
}

TEST(CliRunner, CapturesExitCodeStdoutAndStderrApart) {
    const ScratchDir dir;
    const CliResult run = runCli(shell(dir, "printf out; printf err >&2; exit 3"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "out");
    EXPECT_EQ(run.err, "err");
}

TEST(CliRunner, PassesEachArgumentUnsplit) {
    const ScratchDir dir;
    const CliResult run = runCli(CliCommand{
        "/bin/sh", {"-c", "printf '[%s]' \"$@\"", "sh", "two words", "", "'quoted'"}, dir.path(), {}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "[two words][]['quoted']");
}

TEST(CliRunner, RunsInTheGivenFolderOrElseInOurs) {
    const ScratchDir outputs;
    const ScratchDir elsewhere;
    const CliResult there = runCli(shell(outputs, "pwd -P", elsewhere.path()));
    EXPECT_EQ(there.out, std::filesystem::canonical(elsewhere.path()).string() + "\n");
    const WorkingDirectory here(elsewhere.path());
    const CliResult inherited = runCli(shell(outputs, "pwd -P"));
    EXPECT_EQ(inherited.out, std::filesystem::canonical(elsewhere.path()).string() + "\n");
}

TEST(CliRunner, ChildThatDoesNotExitNormallyHasNoExitCode) {
    const ScratchDir dir;
    EXPECT_EQ(runCli(shell(dir, "kill -KILL $$")).exitCode, -1);
}

TEST(CliRunner, ChildThatCannotStartExits127) {
    const ScratchDir dir;
    EXPECT_EQ(runCli(CliCommand{(dir.path() / "no-such-program").string(), {}, dir.path(), {}}).exitCode, 127);
    EXPECT_EQ(runCli(shell(dir, "true", dir.path() / "no-such-folder")).exitCode, 127);
}

TEST(CliRunner, StartedChildCanBeWaitedForLater) {
    const ScratchDir dir;
    const CliProcess process = startCli(shell(dir, "sleep 0.1; exit 4"));
    ASSERT_GT(process.pid, 0);
    const CliResult run = finishCli(process);
    EXPECT_EQ(run.exitCode, 4);
}

// A sanitizer report must not pass for an expected exit 1: the child gets
// its own exit code on top of whatever options were there, and the rest of
// the environment (a preload, say) comes along unchanged.
TEST(CliRunner, ChildGetsTheSanitizerExitCodeAndTheRestOfOurEnvironment) {
    const std::string exitCode = "exitcode=" + std::to_string(kSanitizerExitCode);
    const struct {
        const char* name;
        const char* asan;
        const char* ubsan;
        std::string expected;
    } cases[] = {
        {"none set", nullptr, nullptr, exitCode + "|" + exitCode},
        {"empty", "", "", exitCode + "|" + exitCode},
        {"kept", "verify_asan_link_order=0", "print_stacktrace=1",
         "verify_asan_link_order=0:" + exitCode + "|print_stacktrace=1:" + exitCode},
    };
    const ScratchDir dir;
    const EnvironmentVariable preload("TRAVIK_SUPPORT_TEST_MARK", "carried");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EnvironmentVariable asan("ASAN_OPTIONS", c.asan);
        const EnvironmentVariable ubsan("UBSAN_OPTIONS", c.ubsan);
        const CliResult run = runCli(shell(
            dir, "printf '%s|%s' \"$ASAN_OPTIONS\" \"$UBSAN_OPTIONS\"; printf %s \"$TRAVIK_SUPPORT_TEST_MARK\" >&2"));
        EXPECT_EQ(run.out, c.expected);
        EXPECT_EQ(run.err, "carried");
    }
}

TEST(ScratchDir, IsFreshPerInstanceAndGoesWithItsContent) {
    std::filesystem::path first;
    std::filesystem::path second;
    {
        const ScratchDir a;
        const ScratchDir b;
        first = a.path();
        second = b.path();
        EXPECT_NE(first, second);
        EXPECT_TRUE(std::filesystem::is_directory(first));
        EXPECT_TRUE(std::filesystem::is_empty(first));
        EXPECT_NE(first.filename().string().find("ScratchDir_IsFreshPerInstanceAndGoesWithItsContent"),
                  std::string::npos)
            << first;
        std::filesystem::create_directories(a.path() / "sub" / "deeper");
        a.write("sub/deeper/file.bin", {1, 2, 3});
        // Its own permissions taken away, as a test of unreadable folders does.
        ASSERT_EQ(::chmod(b.path().c_str(), 0), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
}

TEST(ScratchDir, WriteStoresTheBytesAndReturnsThePath) {
    const ScratchDir dir;
    const std::vector<std::uint8_t> bytes = {0, 0xFF, 0x1A, 0};
    const std::string path = dir.write("data.bin", bytes);
    EXPECT_EQ(path, dir.file("data.bin"));
    EXPECT_EQ(std::filesystem::path(path).parent_path(), dir.path());
    EXPECT_EQ(readText(path), std::string("\0\xFF\x1A\0", 4));
    dir.write("data.bin", {7});  // rewriting truncates
    EXPECT_EQ(readText(path), "\x07");
    EXPECT_THROW(dir.write("no-such-folder/data.bin", bytes), std::runtime_error);
}

TEST(PatternBytes, AreTheSequenceTheTestsWereWrittenAgainst) {
    // The generator the copies in each folder used, unchanged.
    EXPECT_EQ(patternBytes(6, 0), (std::vector<std::uint8_t>{0x3C, 0x5E, 0x81, 0xB4, 0x0C, 0x5E}));
    EXPECT_EQ(patternBytes(0, 5), std::vector<std::uint8_t>{});
    EXPECT_EQ(patternBytes(100, 9), patternBytes(100, 9));
    EXPECT_NE(patternBytes(100, 9), patternBytes(100, 10));
    const std::vector<std::uint8_t> bytes = patternBytes(4096, 1);
    const std::vector<std::uint8_t> shorter = patternBytes(4000, 1);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), bytes.begin()));  // a prefix, not a new sequence
    // No block of 256 repeats at a shift of one block.
    EXPECT_FALSE(std::equal(bytes.begin(), bytes.begin() + 256, bytes.begin() + 256));
}

}  // namespace
