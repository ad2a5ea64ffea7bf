// Case-ignoring comparison of text by Unicode simple case folding: one code point to one, so lengths are kept.
#pragma once

#include <cstddef>
#include <string_view>

// The simple case folding of one UTF-16 code unit of the Basic Multilingual Plane.
char16_t FoldCase(char16_t AChar);
// Equal after folding every code unit.
bool SameTextFolded(std::u16string_view A, std::u16string_view B);
// The first position at or after AFrom where AWhat occurs in AText after folding; npos when nowhere.
size_t FindFolded(std::u16string_view AText, std::u16string_view AWhat, size_t AFrom = 0);
