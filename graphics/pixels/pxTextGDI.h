#pragma once
// Text on GDI for the bitmaps: measuring with a bitmap's font where the bitmap has no surface of its own yet, on
// a shared 8 x 8 bitmap made at start-up.

#include <string_view>

#include "foundation/cuWin32.h"

// The extent of AText in AFont on the shared measuring context.
SIZE MeasureTextOnSharedContext(HFONT AFont, std::u16string_view AText);

// Start and end of the unit: the shared measuring bitmap.
void InitializeTextGDI();
void FinalizeTextGDI();
