#pragma once
// Read-only access to a regular file for the media readers. Dropped paths are
// untrusted: a FIFO, a device node, a socket or a directory is refused, so a
// read can neither block nor run forever, and every read is bounded by the
// caller's buffer rather than by the size the file system reported.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Owns one file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens for reading without following the open into a wait: O_NONBLOCK keeps
// a FIFO without a writer from blocking. Not yet checked for being regular.
UniqueFd openForReading(const char* path);

class RegularFile {
public:
    // Opens `path`; on failure the result is not open and `whyNot`, when
    // given, gets the reason as Linux tells it.
    static RegularFile open(const std::string& path, std::string* whyNot = nullptr);

    bool isOpen() const { return m_fd.get() >= 0; }
    // The size the file system reported at open time.
    std::uint64_t size() const { return m_size; }
    // Fills `buffer` from `offset` on, stopping early at the end of the file.
    // Returns the count of bytes read, or nothing on a read error (`whyNot`
    // then says what Linux reported).
    std::optional<std::size_t> readAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                                      std::string* whyNot = nullptr) const;

private:
    UniqueFd m_fd;
    std::uint64_t m_size = 0;
};
