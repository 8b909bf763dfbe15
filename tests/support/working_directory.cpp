#include "working_directory.h"

WorkingDirectory::WorkingDirectory(const std::filesystem::path& dir) : m_previous(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}
