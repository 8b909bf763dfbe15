#include "regular_file.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string describeNonRegular(mode_t mode) {
    if (S_ISDIR(mode)) return std::strerror(EISDIR);
    if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
    if (S_ISCHR(mode)) return "a character device, not a regular file";
    if (S_ISBLK(mode)) return "a block device, not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    return "not a regular file";
}

}  // namespace

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (m_fd >= 0) ::close(m_fd);
}

UniqueFd openForReading(const char* path) {
    return UniqueFd(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

namespace {

// True when a stat call succeeded on a regular file; otherwise says why not.
bool statSaysRegular(int statResult, const struct stat& info, std::string* whyNot) {
    if (statResult != 0) {
        if (whyNot) *whyNot = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        if (whyNot) *whyNot = describeNonRegular(info.st_mode);
        return false;
    }
    return true;
}

}  // namespace

RegularFile RegularFile::open(const std::string& path, std::string* whyNot) {
    RegularFile file;
    // Opening a device node can act on the device (a watchdog, a modem line),
    // so anything not regular is refused before open; the fstat below still
    // catches a path swapped in between.
    struct stat before {};
    if (!statSaysRegular(::stat(path.c_str(), &before), before, whyNot)) return file;
    UniqueFd fd = openForReading(path.c_str());
    if (fd.get() < 0) {
        if (whyNot) *whyNot = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (!statSaysRegular(::fstat(fd.get(), &info), info, whyNot)) return file;
    file.m_fd = std::move(fd);
    file.m_size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

std::optional<std::size_t> RegularFile::readAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                                               std::string* whyNot) const {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::pread(m_fd.get(), buffer.data() + done, buffer.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got == 0) break;  // end of file
        if (got < 0) {
            if (errno == EINTR) continue;
            if (whyNot) *whyNot = std::strerror(errno);
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}
