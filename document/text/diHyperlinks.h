// Links in text: a word that starts with a known scheme and "://" (or ":\\") is a web or file address, and its
// characters get text attributes that carry the link. There is no link object; a link is only those attributes.
//
// Indexes here are 0-based and a word is the half-open stretch [AStart, AFinish) of its text.
#pragma once

#include "document/model/diTextorAttributes.h"

#include <cstddef>
#include <functional>
#include <string_view>

class TParagraph;

// Words end at TAB, space, double quote, "<" and ">"; every other character, any above 255 too, is part of a word.
bool IsLinkSeparator(char16_t C);

// From AStart on, the index of the first character that is a separator (AWantSeparator) or is not one; npos when
// there is none.
size_t FindSeparator(std::u16string_view AText, size_t AStart, bool AWantSeparator);

// AStart moves to the first character at or after it that is no separator; when there is one, AFinish becomes the
// index of the separator after the word, or the text's length. False when no word is left.
bool NextWord(std::u16string_view AText, size_t& AStart, size_t& AFinish);

// Whether the word [AStart, AFinish) of AText is a link: 7 to 2057 characters, beginning with "http", "https",
// "ftp", "file" or "url", then "://" or ":\\", then at least one character. Only ASCII letters compare without
// regard to case.
bool IsURL(std::u16string_view AText, size_t AStart, size_t AFinish);

// The attributes an address found in the text gets; nil gives it the default text attributes.
using TLinkAttributesFunc = std::function<TTextAttributes*(std::u16string_view AURL)>;

// Runs while AParagraph is laid out: every stretch of it between embedded elements falls back to the default text
// attributes, so that a link that is none any more loses its look, and each address in it takes the attributes
// AAttributesOf gives for its text. A link never spans an element.
void FindLinks(TParagraph* AParagraph, const TLinkAttributesFunc& AAttributesOf);
