// travik-cli upload: stages FILE as a drop onto the window does, opens the
// cable and runs the matching upload worker on its own thread. Ctrl-C is the
// Stop button: a ROM upload ends after its current block with the closing
// bytes; a second Ctrl-C ends the program at once.

#include "commands.h"

#include "cable_args.h"
#include "cable_choice.h"
#include "capture_cable.h"
#include "ft.h"
#include "sim_cable.h"
#include "spc_file.h"
#include "staging.h"
#include "upload.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kUploadUsage[] =
    "Usage: travik-cli upload [--cable usb|sim[:OPTS]] [--capture OUT] FILE\n"
    "\n"
    "Stages FILE as a drop onto the window would and streams it into the board.\n"
    "ROM images are taken only when a file named Travik.ini is in the current\n"
    "directory; otherwise SPC files only. Ctrl-C stops a ROM upload after its\n"
    "current block.\n"
    "\n"
    "  --cable usb          the USB-Blaster (default)\n"
    "  --cable sim[:OPTS]   the simulated board; OPTS: rate=N,unplug-after=N,absent\n"
    "                       (its report goes to standard output after the upload)\n"
    "  --capture OUT        also record every cable write into OUT\n"
    "\n"
    "Exit status: 0 uploaded, 1 failed or stopped, 2 usage error.\n";

struct UploadOptions {
    std::string cable = "usb";
    std::string capture;
    std::string file;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "travik-cli: upload: %s\n%s", message.c_str(), kUploadUsage);
    return 2;
}

void complain(const std::string& message) {
    std::fprintf(stderr, "travik-cli: upload: %s\n", message.c_str());
}

// Null with `exitCode` set when the command ends here (help or usage error).
std::optional<UploadOptions> parseOptions(std::span<const std::string_view> args, int& exitCode) {
    std::string error;
    std::optional<CableArgs> parsed = parseCableArgs(args, true, error);
    if (!parsed) {
        exitCode = usageError(error);
        return std::nullopt;
    }
    if (parsed->help) {
        std::fputs(kUploadUsage, stdout);
        exitCode = 0;
        return std::nullopt;
    }
    const std::vector<std::string>& operands = parsed->operands;
    if (operands.empty()) {
        exitCode = usageError("no FILE given");
        return std::nullopt;
    }
    if (std::find(operands.begin(), operands.end(), std::string()) != operands.end()) {
        exitCode = usageError("empty file name");
        return std::nullopt;
    }
    if (operands.size() > 1) {
        exitCode = usageError("one FILE only");
        return std::nullopt;
    }
    return UploadOptions{std::move(parsed->cable), std::move(parsed->capture), operands.front()};
}

// True when the capture file would overwrite FILE: opening it truncates it
// before the upload reads it.
bool captureIsTheInput(const UploadOptions& options) {
    if (options.capture.empty()) return false;
    std::error_code error;
    return std::filesystem::exists(options.capture, error) &&
           std::filesystem::equivalent(options.capture, options.file, error);
}

// Ctrl-C while an upload runs. The handler only sets a lock-free flag; the
// waiting main thread turns it into Stop.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) { g_interrupted.store(true); }

class InterruptAsStop {
public:
    InterruptAsStop() {
        g_interrupted.store(false);
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;  // a second Ctrl-C is not held up by a stuck cable
        sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptAsStop() { sigaction(SIGINT, &m_previous, nullptr); }
    InterruptAsStop(const InterruptAsStop&) = delete;
    InterruptAsStop& operator=(const InterruptAsStop&) = delete;

    static bool interrupted() { return g_interrupted.load(); }

private:
    struct sigaction m_previous {};
};

class CliUploadHost : public UploadHost {
public:
    CliUploadHost(FT_HANDLE cable, const RomImage& rom, std::string path)
        : m_cable(cable), m_rom(rom), m_path(std::move(path)), m_drawBar(::isatty(STDERR_FILENO) == 1) {
        m_transfer.store(true);
    }

    std::atomic<bool>& transferFlag() override { return m_transfer; }
    FT_HANDLE cable() override { return m_cable; }
    std::span<const std::uint8_t> romData() override { return m_rom.data; }
    std::int32_t romSize() override { return m_rom.size; }
    std::string pathText() override { return m_path; }

    void setProgress(int position) override {
        if (!m_drawBar) return;
        constexpr int kWidth = 40;
        const int filled = position * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     kWidth - filled, "", position);
        std::fflush(stderr);
        m_barOnScreen = true;
    }

    void showMessage(const std::string& text) override {
        endBarLine();
        complain(text);
        m_failed.store(true);
    }

    void endBarLine() {
        if (m_barOnScreen) std::fputc('\n', stderr);
        m_barOnScreen = false;
    }

    bool failed() const { return m_failed.load(); }

private:
    std::atomic<bool> m_transfer;
    std::atomic<bool> m_failed{false};
    FT_HANDLE m_cable;
    const RomImage& m_rom;
    std::string m_path;
    const bool m_drawBar;
    bool m_barOnScreen = false;  // worker thread only, then read after the join
};

// Runs the worker on its own thread; the calling thread waits for it and
// passes Ctrl-C on as Stop. True when Ctrl-C came while it ran.
bool runWorker(CliUploadHost& host, int (*worker)(UploadHost&)) {
    const InterruptAsStop interrupts;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread thread([&] {
        worker(host);
        const std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    bool interrupted = false;
    {
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
            if (!interrupted && InterruptAsStop::interrupted()) {
                interrupted = true;
                host.transferFlag().store(false);  // Stop
            }
        }
    }
    thread.join();
    host.endBarLine();
    return interrupted;  // a Ctrl-C after the worker ended stopped nothing
}

}  // namespace

int runUpload(std::span<const std::string_view> args) {
    int exitCode = 0;
    const std::optional<UploadOptions> options = parseOptions(args, exitCode);
    if (!options) return exitCode;
    if (captureIsTheInput(*options)) {
        complain("--capture '" + options->capture + "' is the input file '" + options->file +
                 "'; refusing to overwrite it");
        return 2;
    }

    std::string error;
    const std::optional<CableChoice> choice = chooseCable(options->cable, options->capture, error);
    if (!choice) return usageError(error);

    SpcFile spc;
    RomImage rom;
    const DropResult staged = stageDroppedFile(options->file, spcOnlyVariant(), spc, rom);
    if (!staged.staged()) {
        complain(options->file + ": " + staged.reason());
        return 1;
    }

    selectCableBackend(choice->backend);
    FT_HANDLE raw = nullptr;
    if (FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &raw) != FT_OK) {
        if (choice->capture && !choice->capture->captureError().empty()) {
            complain(choice->capture->captureError());  // the board may well be there
            return 1;
        }
        const std::string& detail = lastOpenFailureDetail();
        complain(detail.empty() ? std::string(kNotConnectedText)
                                : std::string(kNotConnectedText) + " (" + detail + ")");
        return 1;
    }
    CableHandle cable(raw);
    CliUploadHost host(cable.get(), rom, options->file);
    const bool stopped = runWorker(host, spc.loaded ? SpcUploadThread : RomUploadThread);
    cable.reset();  // the worker has returned: nothing writes any more

    bool failed = host.failed();
    if (choice->capture && !choice->capture->captureError().empty()) {
        complain(choice->capture->captureError());
        failed = true;
    }
    if (choice->sim) {
        const std::string report = formatSimReport(choice->sim->lastReport());
        std::fwrite(report.data(), 1, report.size(), stdout);
        std::fflush(stdout);
    }
    if (stopped && !spc.loaded) {
        complain("stopped by Ctrl-C after the current block");
        failed = true;
    }
    return failed ? 1 : 0;
}
