#include "cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

extern char** environ;

namespace {

const char kOutName[] = "cli.stdout";
const char kErrName[] = "cli.stderr";

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

std::vector<std::string> cliEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        if (!text.starts_with("ASAN_OPTIONS=") && !text.starts_with("UBSAN_OPTIONS=")) environment.emplace_back(text);
    }
    const std::string exitCode = "exitcode=" + std::to_string(kSanitizerExitCode);
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* current = std::getenv(name);
        const std::string options = current != nullptr && *current != '\0' ? std::string(current) + ":" : "";
        environment.push_back(std::string(name) + "=" + options + exitCode);
    }
    return environment;
}

CliProcess startCli(const CliCommand& command) {
    // Everything the child needs is made before the fork.
    std::vector<std::string> args = command.args;
    args.insert(args.begin(), command.program);
    std::vector<char*> argv = pointersTo(args);
    std::vector<std::string> environment = cliEnvironment();
    std::vector<char*> envp = pointersTo(environment);
    const std::string out = (command.outputs / kOutName).string();
    const std::string err = (command.outputs / kErrName).string();
    const std::string cwd = command.cwd.string();

    CliProcess process{-1, command.outputs};
    process.pid = ::fork();
    if (process.pid == 0) {
        const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 ||
            (!cwd.empty() && ::chdir(cwd.c_str()) != 0)) {
            ::_exit(127);
        }
        if (outFd > 2) ::close(outFd);
        if (errFd > 2) ::close(errFd);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return process;
}

CliResult finishCli(const CliProcess& process) {
    CliResult result;
    int status = 0;
    if (process.pid > 0 && ::waitpid(process.pid, &status, 0) == process.pid && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = readText(process.outputs / kOutName);
    result.err = readText(process.outputs / kErrName);
    return result;
}

CliResult runCli(const CliCommand& command) { return finishCli(startCli(command)); }

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
