#include "summary.h"

#include "spc_file.h"

#include <cstring>

namespace {

// A tag field's text runs to its first NUL; the field always holds one.
template <std::size_t N>
std::string_view fieldText(const char (&field)[N]) {
    return std::string_view(field, ::strnlen(field, N));
}

const char* tagTypeText(std::uint8_t tagType) {
    switch (tagType) {
        case 26: return "ID666\n";
        case 27: return "other\n";
        default: return "Tag error\n";
    }
}

void appendLine(std::string& text, std::string_view label, std::string_view value) {
    text.append(label).append(value).push_back('\n');
}

}  // namespace

void SpcFile::BuildSummary(std::string& text) const {
    text.clear();
    appendLine(text, "Game : ", fieldText(gameTitle));
    appendLine(text, "Title : ", fieldText(songTitle));
    appendLine(text, "Artist : ", fieldText(artist));
    appendLine(text, "Comment : ", fieldText(comment));
    text.append("TagType : ").append(tagTypeText(tagType));
}

void ConvertLfToCrLf(std::string& text) {
    // Built anew rather than inserted in place, so a text full of LFs costs
    // one pass.
    std::string converted;
    converted.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) converted.push_back('\r');
        converted.push_back(text[i]);
    }
    text.swap(converted);
}
