#include "media_fixtures.h"

#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeFile(const std::string& path, std::string_view text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

void writeSparseFile(const std::string& path, std::uint64_t size, std::initializer_list<Marker> markers) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (const Marker& marker : markers) {
        if (marker.offset < size) {
            ok = ok && ::pwrite(fd, &marker.value, 1, static_cast<off_t>(marker.offset)) == 1;
        }
    }
    ok = (::close(fd) == 0) && ok;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

SpcImage::SpcImage() : m_bytes(kFullSize, 0) { set(0, "SNES-SPC700 Sound File Data v0.30"); }

SpcImage& SpcImage::set(std::size_t offset, std::string_view text) {
    if (offset + text.size() > m_bytes.size()) throw std::out_of_range("SpcImage::set");
    std::copy(text.begin(), text.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

SpcImage& SpcImage::set(std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    if (offset + bytes.size() > m_bytes.size()) throw std::out_of_range("SpcImage::set");
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

SpcImage& SpcImage::set(std::size_t offset, const Bytes& bytes) {
    if (offset + bytes.size() > m_bytes.size()) throw std::out_of_range("SpcImage::set");
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

SpcImage& SpcImage::fill(std::size_t offset, std::size_t count, std::uint8_t value) {
    if (offset + count > m_bytes.size()) throw std::out_of_range("SpcImage::fill");
    std::fill_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, value);
    return *this;
}

SpcImage& SpcImage::resize(std::size_t size) {
    m_bytes.resize(size, 0);
    return *this;
}
