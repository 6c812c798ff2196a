// The English texts as the program's resources hold them: read from res/lang/en-US.rc itself,
// so that an assertion on an English text checks the table the program ships.
#pragma once

#include "Ports.h"

#include <map>
#include <string>

namespace quelvant::test {

// The STRINGTABLE of a resource script, by the name or number before each text: escapes
// (\n, \t, \\, "") decoded, UTF-8 read.
std::map<std::string, std::wstring> ReadStringTable(const std::string& path);

// The texts of res/lang/en-US.rc, each by its resource id's name.
class EnglishTexts final : public core::TextSource {
public:
    std::wstring Text(core::TextId id) override;
    static const std::map<std::string, std::wstring>& Table();
};

// The text of an id in English.
std::wstring English(core::TextId id);

} // namespace quelvant::test
