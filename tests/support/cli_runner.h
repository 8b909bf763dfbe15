#pragma once
// Runs travik-cli (or any program) in a child process, its stdout and stderr
// going to files so that neither can fill up and stall the child.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// The exit code a sanitizer report ends the child with. Its default, 1, would
// pass for an expected failure.
inline constexpr int kSanitizerExitCode = 86;

struct CliCommand {
    std::string program;              // path of the program to run
    std::vector<std::string> args;    // without the program itself
    std::filesystem::path outputs;    // folder for the stdout and stderr files
    std::filesystem::path cwd;        // the child's working directory; empty: this process's
};

struct CliResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    std::string out;
    std::string err;
};

struct CliProcess {
    pid_t pid = -1;  // not above 0 when the child could not be started
    std::filesystem::path outputs;
};

// The environment of this process (LD_PRELOAD, the umockdev testbed and the
// rest come along), with ASAN_OPTIONS and UBSAN_OPTIONS extended so that a
// sanitizer report exits with kSanitizerExitCode.
std::vector<std::string> cliEnvironment();

// Starts the child; finishCli waits for it and reads what it wrote.
CliProcess startCli(const CliCommand& command);
CliResult finishCli(const CliProcess& process);
CliResult runCli(const CliCommand& command);

// The whole content of a file; empty when it cannot be read.
std::string readText(const std::filesystem::path& path);
