#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QIcon>

// Glyphs drawn in code, so the library carries no image files. Qt derives the disabled state.
namespace HouseGlyphs {
RBX_HOUSE_WIDGETS_EXPORT QIcon search();
RBX_HOUSE_WIDGETS_EXPORT QIcon confirm();
RBX_HOUSE_WIDGETS_EXPORT QIcon calendar();
} // namespace HouseGlyphs
