#include "EnglishTexts.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quelvant::test {

namespace {

std::wstring FromUtf8(const std::string& bytes) {
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t code = more == 0 ? lead : lead & (0x3F >> more);
        for (int k = 1; k <= more && i + k < bytes.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        }
        text += static_cast<wchar_t>(code);
        i += 1 + more;
    }
    return text;
}

// The quoted text that starts at `at` (its opening quote), decoded.
std::string Unquote(const std::string& line, std::size_t at) {
    std::string text;
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            if (i + 1 < line.size() && line[i + 1] == '"') {
                text += '"';
                ++i;
                continue;
            }
            return text;
        }
        if (line[i] == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            text += next == 'n' ? '\n' : next == 't' ? '\t' : next;
            continue;
        }
        text += line[i];
    }
    throw std::runtime_error("unterminated text: " + line);
}

} // namespace

std::map<std::string, std::wstring> ReadStringTable(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::map<std::string, std::wstring> table;
    std::string line;
    bool inTable = false;
    bool inBlock = false;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "STRINGTABLE") {
            inTable = true;
        } else if (inTable && first == "BEGIN") {
            inBlock = true;
        } else if (inBlock && first == "END") {
            inTable = inBlock = false;
        } else if (inBlock && !first.empty() && line.find('"') != std::string::npos) {
            table[first] = FromUtf8(Unquote(line, line.find('"')));
        }
    }
    return table;
}

const std::map<std::string, std::wstring>& EnglishTexts::Table() {
    static const auto table = ReadStringTable(QUELVANT_SOURCE_DIR "/res/lang/en-US.rc");
    return table;
}

std::wstring EnglishTexts::Text(core::TextId id) {
    static constexpr const char* kNames[] = {
#define QUELVANT_TEXT_NAME(name, id) #id,
        QUELVANT_TEXTS(QUELVANT_TEXT_NAME)
#undef QUELVANT_TEXT_NAME
    };
    const auto found = Table().find(kNames[static_cast<std::size_t>(id)]);
    return found != Table().end() ? found->second : std::wstring();
}

std::wstring English(core::TextId id) {
    static EnglishTexts texts;
    return texts.Text(id);
}

} // namespace quelvant::test
