// Packed data comes from documents and the clipboard: any bytes either unpack within the limit or raise the
// decompression error, never a crash, a hang or a larger output.
#include "foundation/cuUtils.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int64_t FuzzLimit = int64_t(1) << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream source, unpacked;
  source.WriteBuffer(data, size);
  try {
    DecompressStream(source, unpacked, FuzzLimit);
  } catch (const EDecompressionError&) {
    return 0;
  }
  if (unpacked.Size() > FuzzLimit || unpacked.Position() != 0) std::abort();
  // What unpacks must pack and unpack back to itself.
  TMemoryStream repacked, again;
  CompressStream(unpacked, repacked);
  DecompressStream(repacked, again, FuzzLimit);
  if (again.Size() != unpacked.Size() ||
      (unpacked.Size() && std::memcmp(again.Memory(), unpacked.Memory(), static_cast<size_t>(unpacked.Size())) != 0))
    std::abort();
  return 0;
}
