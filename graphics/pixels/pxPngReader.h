#pragma once
// Reader of PNG files into 32-bit straight-alpha ARGB (alpha in bits 24-31, then red, green, blue), top row first,
// so the program's own pictures load without GDI+'s codecs. No platform calls. Files are untrusted, as for the
// readers in pxImageFormats.h: nothing is read outside the span, the compressed data is inflated no further than the
// rows the header announces, and MaxImageSide and MaxImagePixels hold before any pixel memory is taken.

#include <cstdint>
#include <span>
#include <vector>

#include "graphics/pixels/pxImageFormats.h"

// Reads every colour type and bit depth the format allows, with tRNS transparency; 16-bit samples give their high
// byte, gamma and colour-profile chunks are ignored. Interlaced files give Unsupported. Every chunk's checksum is
// checked. On any error Width and Height are 0 and Pixels is empty.
TImageFormatError ReadPng(std::span<const uint8_t> data, int32_t& width, int32_t& height,
                          std::vector<uint32_t>& pixels);
