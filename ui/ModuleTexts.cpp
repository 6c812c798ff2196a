#include "ModuleTexts.h"

#include "afxwin.h"
#include "resource.h"

#include <iterator>

namespace quelvant::ui {

std::wstring LoadText(core::TextId id) {
    static constexpr UINT kIds[] = {
#define QUELVANT_TEXT_ID(name, id) id,
        QUELVANT_TEXTS(QUELVANT_TEXT_ID)
#undef QUELVANT_TEXT_ID
    };
    static_assert(std::size(kIds) == core::kTextCount);
    // Whole, however long: the loader hands out the resource's own text and its length.
    return AfxLoadString(kIds[static_cast<std::size_t>(id)]);
}

} // namespace quelvant::ui
