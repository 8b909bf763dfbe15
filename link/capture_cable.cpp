#include "capture_cable.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

// The first failure of a session's capture; written by the worker thread,
// read by whoever asks the backend.
struct CaptureErrorSlot {
    void clear() {
        const std::lock_guard lock(m_mutex);
        m_text.clear();
    }
    void set(std::string message) {
        const std::lock_guard lock(m_mutex);
        if (m_text.empty()) m_text = std::move(message);  // the first failure explains the rest
    }
    std::string get() const {
        const std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string describeErrno(const std::string& what, const std::string& path, int error) {
    return what + " '" + path + "': " + std::strerror(error);
}

std::array<std::uint8_t, 4> littleEndianCount(std::size_t count) {
    const auto value = static_cast<std::uint32_t>(count);
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

class CaptureSession : public CableSession {
public:
    CaptureSession(std::unique_ptr<CableSession> inner, FilePtr file, std::string path,
                   std::shared_ptr<CaptureErrorSlot> error)
        : m_inner(std::move(inner)), m_file(std::move(file)), m_path(std::move(path)),
          m_error(std::move(error)) {}

    ~CaptureSession() override {
        m_inner.reset();  // the cable closes first: the record spans the whole session
        if (std::fclose(m_file.release()) != 0) {
            m_error->set(describeErrno("cannot finish capture file", m_path, errno));
        }
    }

    std::size_t write(std::span<const std::uint8_t> bytes) override {
        record(bytes);
        return m_inner->write(bytes);
    }

private:
    void record(std::span<const std::uint8_t> bytes) {
        const auto count = littleEndianCount(bytes.size());
        const bool ok = std::fwrite(count.data(), 1, count.size(), m_file.get()) == count.size() &&
                        (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), m_file.get()) == bytes.size());
        if (!ok) m_error->set(describeErrno("cannot write capture file", m_path, errno));
    }

    std::unique_ptr<CableSession> m_inner;
    FilePtr m_file;
    std::string m_path;
    std::shared_ptr<CaptureErrorSlot> m_error;
};

long remainingBytes(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, here, SEEK_SET) != 0) return -1;
    return end - here;
}

}  // namespace

CaptureCableBackend::CaptureCableBackend(std::shared_ptr<CableBackend> inner, std::string capturePath)
    : m_inner(std::move(inner)), m_capturePath(std::move(capturePath)),
      m_error(std::make_shared<CaptureErrorSlot>()) {}

std::unique_ptr<CableSession> CaptureCableBackend::open(std::string_view description,
                                                        std::string& failureDetail) {
    std::unique_ptr<CableSession> inner = m_inner->open(description, failureDetail);
    if (!inner) return nullptr;
    m_error->clear();
    FilePtr file(std::fopen(m_capturePath.c_str(), "wb"));
    if (!file) {
        failureDetail = describeErrno("cannot create capture file", m_capturePath, errno);
        m_error->set(failureDetail);
        return nullptr;
    }
    return std::make_unique<CaptureSession>(std::move(inner), std::move(file), m_capturePath, m_error);
}

std::string CaptureCableBackend::captureError() const { return m_error->get(); }

std::optional<CaptureRecords> readCaptureFile(const std::string& path, std::string& error) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = describeErrno("cannot open capture file", path, errno);
        return std::nullopt;
    }
    CaptureRecords records;
    std::array<std::uint8_t, 4> count{};
    for (;;) {
        const std::size_t got = std::fread(count.data(), 1, count.size(), file.get());
        if (got == 0 && std::feof(file.get())) return records;
        if (got != count.size()) break;
        const std::uint32_t size = count[0] | count[1] << 8 | count[2] << 16 |
                                   static_cast<std::uint32_t>(count[3]) << 24;
        // A damaged count must not make us allocate more than the file holds.
        if (static_cast<long>(size) > remainingBytes(file.get())) break;
        std::vector<std::uint8_t>& bytes = records.emplace_back(size);
        if (size != 0 && std::fread(bytes.data(), 1, size, file.get()) != size) break;
    }
    error = std::ferror(file.get()) ? describeErrno("cannot read capture file", path, errno)
                                    : "capture file '" + path + "' ends inside a record";
    return std::nullopt;
}
