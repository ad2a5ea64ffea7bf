// The pixel rules of element pictures: the greyed copy of a disabled command and the blank picture of a data
// element.
#pragma once

#include "graphics/pixels/pxTypes.h"

#include <memory>

// A pixel of a disabled command: grey (61 R + 174 G + 21 B) / 256 with 0.22 of its alpha, rounded. The lists hold
// straight alpha, so the colour needs no division by alpha and a transparent pixel stays transparent.
TColor32 GreyedPixel(TColor32 APixel);

class TCustomBitmap32;

// The picture a data element starts from when it has none: 60 x 40 pixels of red 160, green 160, blue 164.
// Written as the colour value 0xA4A0A0 (blue in the high byte) it is this ARGB value.
constexpr TColor32 BlankImageColor = 0xFFA0A0A4;
constexpr int BlankImageWidth = 60;
constexpr int BlankImageHeight = 40;
std::unique_ptr<TCustomBitmap32> CreateBlankImage();
