#pragma once
// A cable for tests: keeps every write as handed over, and accepts bytes
// until an optional byte budget runs out (a pulled cable).

#include "cable.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class RecordingSession : public CableSession {
public:
    // Called on every write before it is accepted, with the write's index.
    std::function<void(std::size_t)> beforeWrite;
    // Bytes the cable still takes; writes beyond it are cut short.
    std::size_t acceptBudget = std::numeric_limits<std::size_t>::max();
    // Set when the session is destroyed (closed), if not null.
    bool* closedFlag = nullptr;

    ~RecordingSession() override {
        if (closedFlag != nullptr) *closedFlag = true;
    }

    std::size_t write(std::span<const std::uint8_t> bytes) override {
        const std::size_t index = writeCount();
        if (beforeWrite) beforeWrite(index);
        const std::lock_guard lock(m_mutex);
        m_writes.emplace_back(bytes.begin(), bytes.end());
        const std::size_t accepted = bytes.size() < acceptBudget ? bytes.size() : acceptBudget;
        acceptBudget -= accepted;
        return accepted;
    }

    std::vector<Bytes> writes() const {
        const std::lock_guard lock(m_mutex);
        return m_writes;
    }
    std::size_t writeCount() const {
        const std::lock_guard lock(m_mutex);
        return m_writes.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_writes;
};

// Hands out RecordingSessions, or fails with a reason.
class RecordingBackend : public CableBackend {
public:
    std::string failWith;  // non-empty: every open fails with this detail
    std::string lastDescription;
    RecordingSession* lastSession = nullptr;  // owned by whoever opened it
    bool lastSessionClosed = false;

    std::unique_ptr<CableSession> open(std::string_view description, std::string& failureDetail) override {
        lastDescription = description;
        if (!failWith.empty()) {
            failureDetail = failWith;
            return nullptr;
        }
        auto session = std::make_unique<RecordingSession>();
        lastSessionClosed = false;
        session->closedFlag = &lastSessionClosed;
        lastSession = session.get();
        return session;
    }
};
