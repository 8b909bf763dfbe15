#include "sim_cable.h"

#include "ft.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <thread>

namespace {

// One session's board; the worker writes it while the UI thread may read it.
struct BoardSlot {
    mutable std::mutex mutex;
    SimBoard board;
};

constexpr auto kPaceSlice = std::chrono::milliseconds(10);

std::optional<std::uint64_t> parseCount(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

bool applyOption(SimCableOptions& options, std::string_view token, std::string& error) {
    const std::size_t equals = token.find('=');
    const std::string_view key = token.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view{} : token.substr(equals + 1);
    const bool hasValue = equals != std::string_view::npos;
    if (key == "absent" && !hasValue) {
        options.absent = true;
        return true;
    }
    if (key == "rate" && hasValue) {
        const auto rate = parseCount(value);
        if (rate && *rate > 0) {
            options.rate = *rate;
            return true;
        }
        error = "sim cable option rate needs a whole number of bytes per second above 0, not \"" +
                std::string(value) + "\"";
        return false;
    }
    if (key == "unplug-after" && hasValue) {
        const auto count = parseCount(value);
        if (count) {
            options.unplugAfter = *count;
            return true;
        }
        error = "sim cable option unplug-after needs a whole number of bytes, not \"" + std::string(value) + "\"";
        return false;
    }
    error = "unknown sim cable option \"" + std::string(token) +
            "\" (known: rate=BYTES_PER_SECOND, unplug-after=BYTES, absent)";
    return false;
}

}  // namespace

std::optional<SimCableOptions> SimCableOptions::parse(std::string_view text, std::string& error) {
    SimCableOptions options;
    if (text.empty()) return options;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        if (!applyOption(options, text.substr(start, comma - start), error)) return std::nullopt;
        start = comma + 1;
    }
    return options;
}

struct SimCableBackend::Shared {
    explicit Shared(const SimCableOptions& options) : options(options) {}

    // How many of `wanted` bytes the cable still carries; the rest are lost
    // once the unplug point is reached.
    std::size_t accept(std::size_t wanted) {
        const std::lock_guard lock(mutex);
        std::size_t accepted = wanted;
        if (options.unplugAfter) {
            const std::uint64_t left = *options.unplugAfter - std::min(*options.unplugAfter, wireAccepted);
            accepted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, left));
        }
        wireAccepted += accepted;
        return accepted;
    }

    bool unplugged() const {
        const std::lock_guard lock(mutex);
        return options.unplugAfter && wireAccepted >= *options.unplugAfter;
    }

    std::shared_ptr<const BoardSlot> latestSlot() const {
        const std::lock_guard lock(mutex);
        return latest;
    }

    const SimCableOptions options;
    mutable std::mutex mutex;
    std::uint64_t wireAccepted = 0;       // guarded by mutex
    std::shared_ptr<BoardSlot> latest;    // guarded by mutex
};

namespace {

class SimCableSession : public CableSession {
public:
    SimCableSession(std::shared_ptr<SimCableBackend::Shared> shared, std::shared_ptr<BoardSlot> slot)
        : m_shared(std::move(shared)), m_slot(std::move(slot)) {}

    std::size_t write(std::span<const std::uint8_t> bytes) override {
        const std::size_t accepted = m_shared->accept(bytes.size());
        const std::span<const std::uint8_t> carried = bytes.first(accepted);
        if (m_shared->options.rate == 0) {
            feed(carried);
        } else {
            feedPaced(carried, m_shared->options.rate);
        }
        return accepted;
    }

private:
    void feed(std::span<const std::uint8_t> bytes) {
        const std::lock_guard lock(m_slot->mutex);
        m_slot->board.feed(bytes);
    }

    // A real cable drains at its rate: feed in slices and wait for each, so
    // whoever watches the board sees it fill gradually.
    void feedPaced(std::span<const std::uint8_t> bytes, std::uint64_t rate) {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        const std::size_t slice = static_cast<std::size_t>(std::max<std::uint64_t>(1, rate * kPaceSlice.count() / 1000));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::size_t take = std::min(slice, bytes.size() - done);
            feed(bytes.subspan(done, take));
            done += take;
            const auto due = std::chrono::nanoseconds(static_cast<std::int64_t>(done * 1'000'000'000.0 / rate));
            std::this_thread::sleep_until(start + due);
        }
    }

    std::shared_ptr<SimCableBackend::Shared> m_shared;
    std::shared_ptr<BoardSlot> m_slot;
};

}  // namespace

SimCableBackend::SimCableBackend(SimCableOptions options)
    : m_options(options), m_shared(std::make_shared<Shared>(options)) {}

std::shared_ptr<SimCableBackend> SimCableBackend::create(std::string_view options, std::string& error) {
    const auto parsed = SimCableOptions::parse(options, error);
    if (!parsed) return nullptr;
    return std::make_shared<SimCableBackend>(*parsed);
}

std::unique_ptr<CableSession> SimCableBackend::open(std::string_view description, std::string& failureDetail) {
    if (m_options.absent) {
        failureDetail = kSimCableAbsentText;
        return nullptr;
    }
    if (description != kCableDescription) {
        failureDetail = "no cable named \"" + std::string(description) + "\" (the simulated board is a \"" +
                        kCableDescription + "\")";
        return nullptr;
    }
    if (m_shared->unplugged()) {
        failureDetail = "the simulated USB-Blaster cable has been unplugged";
        return nullptr;
    }
    auto slot = std::make_shared<BoardSlot>();
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->latest = slot;
    }
    return std::make_unique<SimCableSession>(m_shared, std::move(slot));
}

SimReport SimCableBackend::lastReport() const {
    const auto slot = m_shared->latestSlot();
    if (!slot) return SimReport{};
    const std::lock_guard lock(slot->mutex);
    return slot->board.report();
}

std::vector<std::uint8_t> SimCableBackend::lastPayload() const {
    const auto slot = m_shared->latestSlot();
    if (!slot) return {};
    const std::lock_guard lock(slot->mutex);
    const auto payload = slot->board.payload();
    return {payload.begin(), payload.end()};
}

bool SimCableBackend::hasSession() const { return m_shared->latestSlot() != nullptr; }

std::uint64_t SimCableBackend::wireBytesAccepted() const {
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->wireAccepted;
}
