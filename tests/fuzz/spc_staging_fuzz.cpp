// libFuzzer target: any bytes dropped as a file, through the SPC reader, the
// summary and the staging of both variants.

#include "spc_file.h"
#include "staging.h"
#include "summary.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// One scratch file per fuzzing process, removed at exit.
class ScratchFile {
public:
    ScratchFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "travik-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        m_dir = pattern;
        m_path = (m_dir / "dropped").string();
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& write(const std::uint8_t* data, std::size_t size) {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) std::abort();
        return m_path;
    }

private:
    std::filesystem::path m_dir;
    std::string m_path;
};

void checkCrLf(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) std::abort();
    }
}

void checkDrop(const DropResult& result, const SpcFile& spc, const RomImage& rom) {
    checkCrLf(result.infoText);
    if (spc.loaded && rom.size != 0) std::abort();  // never both staged
    if (rom.size != 0) {
        if (rom.size < kRomBlockSize || rom.size > kRomMaxSize) std::abort();
        if (rom.data.size() % kRomBlockSize != 0 || rom.data.size() < static_cast<std::size_t>(rom.size)) {
            std::abort();
        }
    }
    if (spc.loaded) {
        std::string again;
        spc.BuildSummary(again);
        ConvertLfToCrLf(again);
        if (again != result.infoText) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile scratch;
    const std::string& path = scratch.write(data, size);

    SpcFile spc;
    if (spc.Load(path) == 0) {
        std::string text;
        spc.BuildSummary(text);
        ConvertLfToCrLf(text);
        checkCrLf(text);
    }
    RomImage rom;
    for (const bool spcOnly : {false, true}) {
        const DropResult result = stageDroppedFile(path, spcOnly, spc, rom);
        checkDrop(result, spc, rom);
    }

    // The conversion on raw text, with its no-CR-CR-LF rule.
    std::string raw(reinterpret_cast<const char*>(data), size);
    ConvertLfToCrLf(raw);
    checkCrLf(raw);
    std::string twice = raw;
    ConvertLfToCrLf(twice);
    if (twice != raw) std::abort();
    return 0;
}
