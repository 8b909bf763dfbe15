// travik-cli info, run as a program from a folder with or without Travik.ini.
#include "media_fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Lists a parameterised case by its name rather than by its bytes.
template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs travik-cli with `args` in `cwd`; stdout and stderr go to files in
// `outputs`, so neither can fill up and stall the child.
CliRun runCli(const std::filesystem::path& cwd, const TempDir& outputs,
              const std::vector<std::string>& args) {
    const std::string outPath = outputs.file("cli.stdout");
    const std::string errPath = outputs.file("cli.stderr");
    std::vector<char*> argv{const_cast<char*>(TRAVIK_CLI_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(cwd.c_str()) != 0) {
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    CliRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

CliRun runCli(const TempDir& cwd, const std::vector<std::string>& args) {
    return runCli(cwd.path(), cwd, args);
}

// One line, ended by a single LF.
bool isOneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

enum class Input { Spc, Rom, Missing, TooLarge, DashName };

struct InfoCase {
    const char* name;
    Input input;
    bool withIni;
    int exitCode;
    const char* out;
    const char* errMentions;  // nullptr: stderr stays empty
};

constexpr char kSpcText[] =
    "Game : Cli Game\r\nTitle : Two\r\nlines\r\nArtist : \r\nComment : \r\nTagType : other\r\n";

class InfoCommand : public testing::TestWithParam<InfoCase> {};

TEST_P(InfoCommand, PrintsTheInformationTextByteForByte) {
    const InfoCase& c = GetParam();
    TempDir dir;
    if (c.withIni) writeFile(dir.file("Travik.ini"), "");
    std::string name = "input.bin";
    switch (c.input) {
        case Input::Spc:
            SpcImage().set(0x23, {27}).set(0x4E, "Cli Game").set(0x2E, "Two\nlines").set(0xD2, {1})
                .writeTo(dir.file(name));
            break;
        case Input::Rom: writeFile(dir.file(name), "no SPC signature here"); break;
        case Input::Missing: name = "missing.bin"; break;
        case Input::TooLarge: writeSparseFile(dir.file(name), 0x800001, {}); break;
        case Input::DashName:
            name = "-rom";
            writeFile(dir.file(name), "ROM bytes");
            break;
    }
    std::vector<std::string> args{"info"};
    if (c.input == Input::DashName) args.push_back("--");
    args.push_back(name);

    const CliRun run = runCli(dir, args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, c.out);
    if (c.errMentions == nullptr) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_TRUE(isOneLine(run.err)) << run.err;
        EXPECT_NE(run.err.find(c.errMentions), std::string::npos) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, InfoCommand,
    testing::Values(
        InfoCase{"SpcWithIni", Input::Spc, true, 0, kSpcText, nullptr},
        InfoCase{"SpcWithoutIni", Input::Spc, false, 0, kSpcText, nullptr},
        InfoCase{"RomWithIni", Input::Rom, true, 0, "ROM ok. Push [Play]", nullptr},
        InfoCase{"RomWithoutIni", Input::Rom, false, 1, "", "Travik.ini"},
        InfoCase{"MissingWithIni", Input::Missing, true, 1, "ROM file not found.",
                 "ROM file not found. (No such file or directory)"},
        InfoCase{"MissingWithoutIni", Input::Missing, false, 1, "", "No such file or directory"},
        InfoCase{"TooLargeWithIni", Input::TooLarge, true, 1, "", "8,388,608"},
        InfoCase{"DashNameAfterDoubleDash", Input::DashName, true, 0, "ROM ok. Push [Play]",
                 nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};

class InfoUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(InfoUsage, ErrorsExitTwoWithUsageOnStderr) {
    TempDir dir;
    writeFile(dir.file("a.bin"), "x");
    writeFile(dir.file("b.bin"), "y");
    const CliRun run = runCli(dir, GetParam().args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Usage: travik-cli info FILE"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Arguments, InfoUsage,
                         testing::Values(UsageCase{"NoFile", {"info"}},
                                         UsageCase{"TwoFiles", {"info", "a.bin", "b.bin"}},
                                         UsageCase{"UnknownOption", {"info", "--verbose", "a.bin"}},
                                         UsageCase{"EmptyName", {"info", ""}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InfoCommand, WorksOnTheSamplesInTheirFolder) {
    TempDir outputs;
    const CliRun rom = runCli(TRAVIK_SAMPLES_DIR, outputs, {"info", "sample.sfc"});
    EXPECT_EQ(rom.exitCode, 0);
    EXPECT_EQ(rom.out, "ROM ok. Push [Play]");
    const CliRun spc = runCli(TRAVIK_SAMPLES_DIR, outputs, {"info", "sample.spc"});
    EXPECT_EQ(spc.exitCode, 0);
    EXPECT_EQ(spc.out.rfind("Game : Travik Sample Sounds\r\n", 0), 0u) << spc.out;
}

TEST(InfoUsage, HelpGoesToStdout) {
    TempDir dir;
    const CliRun run = runCli(dir, {"info", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("Usage: travik-cli info FILE", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
}

}  // namespace
