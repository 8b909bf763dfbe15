#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

std::string folderLabel() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string label = "travik";
    if (test != nullptr) label = label + "_" + test->test_suite_name() + "_" + test->name();
    for (char& c : label) {
        if (c == '/') c = '_';
    }
    return label;
}

}  // namespace

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::path(testing::TempDir()) / (folderLabel() + "_XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder " + pattern);
    m_path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    // A test may have taken the folder's own permissions away.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::string ScratchDir::write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = file(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}
