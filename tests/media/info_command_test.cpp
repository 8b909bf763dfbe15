// travik-cli info, run as a program from a folder with or without Travik.ini.
#include "cli_runner.h"
#include "media_fixtures.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// Lists a parameterised case by its name rather than by its bytes.
template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// Runs travik-cli with `args` in `cwd`; stdout and stderr go to files in
// `outputs`.
CliResult runCli(const std::filesystem::path& cwd, const ScratchDir& outputs,
                 const std::vector<std::string>& args) {
    return ::runCli(CliCommand{TRAVIK_CLI_PATH, args, outputs.path(), cwd});
}

CliResult runCli(const ScratchDir& cwd, const std::vector<std::string>& args) {
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
    ScratchDir dir;
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

    const CliResult run = runCli(dir, args);
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
    ScratchDir dir;
    writeFile(dir.file("a.bin"), "x");
    writeFile(dir.file("b.bin"), "y");
    const CliResult run = runCli(dir, GetParam().args);
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
    ScratchDir outputs;
    const CliResult rom = runCli(TRAVIK_SAMPLES_DIR, outputs, {"info", "sample.sfc"});
    EXPECT_EQ(rom.exitCode, 0);
    EXPECT_EQ(rom.out, "ROM ok. Push [Play]");
    const CliResult spc = runCli(TRAVIK_SAMPLES_DIR, outputs, {"info", "sample.spc"});
    EXPECT_EQ(spc.exitCode, 0);
    EXPECT_EQ(spc.out.rfind("Game : Travik Sample Sounds\r\n", 0), 0u) << spc.out;
}

TEST(InfoUsage, HelpGoesToStdout) {
    ScratchDir dir;
    const CliResult run = runCli(dir, {"info", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("Usage: travik-cli info FILE", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
}

}  // namespace
