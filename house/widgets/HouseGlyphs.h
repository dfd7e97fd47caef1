#pragma once

#include <QIcon>

// Glyphs drawn in code, so the library carries no image files. Qt derives the disabled state.
namespace HouseGlyphs {
QIcon search();
QIcon confirm();
} // namespace HouseGlyphs
