// Unicode simple case folding: each code point folds to one code point of the same UTF-16 length, so a folded
// text keeps every position and a match found in folded text is a match in the original.
#pragma once

#include <cstddef>
#include <string_view>

// The Unicode version the folding table was derived from.
const char* UnicodeDataVersion();

// The simple case folding of C; code points without one, and values that are no code points, stay.
char32_t FoldCase(char32_t C);

// A letter (general categories L*) or a decimal digit (Nd), the same on every build and in every locale.
bool IsLetterOrDigit(char32_t C);

// Equal after folding, code point by code point. Lone surrogates compare as themselves.
bool SameTextFolded(std::u16string_view A, std::u16string_view B);

// The first position from AFrom where APattern occurs in AText when both are folded; npos when absent. A match
// starts on a code point, never between the halves of a surrogate pair. An empty pattern is found at AFrom.
size_t FindFolded(std::u16string_view AText, std::u16string_view APattern, size_t AFrom = 0);
