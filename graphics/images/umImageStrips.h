// The program's image strips stored as PNG: decoded as DecodePicture does (PNG without GDI+'s codecs, whose library
// would load at every start) and cut into an image list.
#pragma once

#include "foundation/cuStreams.h"
#include "foundation/cuWin32.h"

// Decodes APng (its whole content) and cuts it as AddImageStripPixels does; raises EStreamError when it cannot be
// decoded.
void AddImageStripPng(TStream& APng, HIMAGELIST AImageList);
