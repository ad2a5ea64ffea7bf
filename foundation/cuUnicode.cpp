#include "foundation/cuUnicode.h"

#include <string_view>

char16_t FoldCase(char16_t C) {
  // The alphabets the editor's languages use: Latin, Latin-1, Greek and Cyrillic capitals.
  if ((C >= u'A' && C <= u'Z') || (C >= 0x00C0 && C <= 0x00DE && C != 0x00D7)) return C + 32;
  if ((C >= 0x0391 && C <= 0x03AB && C != 0x03A2)) return C + 32;
  if (C >= 0x0410 && C <= 0x042F) return C + 32;
  if (C >= 0x0400 && C <= 0x040F) return C + 80;
  return C;
}

bool SameTextFolded(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (FoldCase(A[i]) != FoldCase(B[i])) return false;
  return true;
}

size_t FindFolded(std::u16string_view AText, std::u16string_view AWhat, size_t AFrom) {
  if (AWhat.size() > AText.size()) return std::u16string_view::npos;
  for (size_t i = AFrom; i + AWhat.size() <= AText.size(); ++i)
    if (SameTextFolded(AText.substr(i, AWhat.size()), AWhat)) return i;
  return std::u16string_view::npos;
}
