#pragma once
// An UploadHost for tests: a staged ROM, a path, and a log of what the
// worker showed, with the number of cable writes made at each point.

#include "upload.h"

#include "recording_cable.h"

#include <mutex>
#include <string>
#include <vector>

class FakeUploadHost : public UploadHost {
public:
    struct Shown {
        std::string text;
        std::size_t writesBefore;
    };

    // Writes are counted at each message when `cable` is a RecordingSession.
    explicit FakeUploadHost(CableSession* cable)
        : m_cable(cable), m_recorder(dynamic_cast<RecordingSession*>(cable)) {
        m_flag = true;
    }

    std::vector<std::uint8_t> rom;
    std::int32_t staged = 0;
    std::string path;

    std::atomic<bool>& transferFlag() override { return m_flag; }
    FT_HANDLE cable() override { return m_cable; }
    std::span<const std::uint8_t> romData() override { return rom; }
    std::int32_t romSize() override { return staged; }
    std::string pathText() override { return path; }
    void setProgress(int position) override {
        const std::lock_guard lock(m_mutex);
        m_progress.push_back(position);
    }
    void showMessage(const std::string& text) override {
        const std::lock_guard lock(m_mutex);
        m_messages.push_back({text, m_recorder == nullptr ? 0 : m_recorder->writeCount()});
    }

    std::vector<int> progress() const {
        const std::lock_guard lock(m_mutex);
        return m_progress;
    }
    std::vector<Shown> messages() const {
        const std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    std::atomic<bool> m_flag;
    CableSession* m_cable;
    RecordingSession* m_recorder;
    mutable std::mutex m_mutex;
    std::vector<int> m_progress;
    std::vector<Shown> m_messages;
};
