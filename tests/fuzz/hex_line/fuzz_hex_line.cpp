// Formats every line of the hexadecimal view of arbitrary bytes and checks each against the bytes it shows: full
// lines are 64 characters, the last one 48 plus its bytes, pairs and characters in their columns.
#include "document/elements/diDataSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace {
void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr char16_t Digits[] = u"0123456789ABCDEF";
  const std::span<const uint8_t> bytes(data, size);
  const size_t lines = HexLineCount(size);
  Check(lines * HexBytesPerLine >= size && lines * HexBytesPerLine < size + HexBytesPerLine);
  for (size_t n = 0; n < lines; ++n) {
    const std::u16string line = FormatHexLine(bytes, n);
    const size_t count = std::min(HexBytesPerLine, size - n * HexBytesPerLine);
    Check(line.size() == HexTextColumn + count);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t b = bytes[n * HexBytesPerLine + i];
      Check(line[3 * i] == Digits[b >> 4] && line[3 * i + 1] == Digits[b & 15] && line[3 * i + 2] == u' ');
      Check(line[HexTextColumn + i] == (b < 32 ? u'\u00B7' : char16_t(b)));
    }
    for (size_t c = 3 * count; c < HexTextColumn; ++c) Check(line[c] == u' ');
  }
  Check(FormatHexLine(bytes, lines).empty());
  return 0;
}
