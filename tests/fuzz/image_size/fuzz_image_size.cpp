// Reads the pixel size of arbitrary bytes as every readable type, and the picture header the GDI+ route checks:
// the sanitizers catch any read outside the input; a result of true must carry two sides above 0 while false
// leaves no side at 0 or below, and a header passes only with both sides and all its frames within the limits.
#include "document/elements/diDataSupport.h"
#include "graphics/pixels/pxImageSize.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  for (TDataType type = 0; type < DataTypeCount; ++type) {
    TImageSize result;
    const bool ok = GetImageSize(bytes, type, result, {32, 32});
    if (result.Width <= 0 || result.Height <= 0)
      std::abort();
    if (ok && (type == dtOther || type == dtEmf || type == dtWmf || type >= dtTif))
      std::abort();
  }
  TPictureHeader header;
  const TImageFormatError error = ReadPictureHeader(bytes, header);
  const bool within = header.Width > 0 && header.Height > 0 && WithinImageLimits(header);
  if ((error == TImageFormatError::None && !within) || (error == TImageFormatError::TooLarge && within))
    std::abort();
  if ((error == TImageFormatError::Unsupported) != (header.Format == TPictureFormat::Unknown))
    std::abort();
  return 0;
}
