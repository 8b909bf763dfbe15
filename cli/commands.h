#pragma once
// The subcommands of travik-cli. Each takes the arguments after its own name
// and returns the process exit code: 0 done, 1 failed, 2 usage error.

#include <span>
#include <string_view>

int runInfo(std::span<const std::string_view> args);
int runUpload(std::span<const std::string_view> args);
int runProbe(std::span<const std::string_view> args);
