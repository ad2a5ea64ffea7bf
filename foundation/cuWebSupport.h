// The platform-free half of the update check and the web pages: reading the application-information file (a knot
// tree the vendor's server hands out), localizing its addresses, comparing versions and checking addresses before
// a browser gets them. The download and the commands are in app/cuWeb.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TKnot;

// "The information about the program is not found on the website".
constexpr int IdWebInfoNotFound = 2055;
// "The newer version of the program is available: %1. You currently use the version: %2. ..."
constexpr int IdWebNewerVersion = 2056;
// "Excellent! You have the latest version of the program".
constexpr int IdWebLatestVersion = 2057;

// Downloaded bytes as text: UTF-8 after its byte-order mark, anything else in the ANSI code page.
std::u16string DecodeAppInfo(const void* ABytes, size_t ACount);
// Parses as far as the text goes; what is missing then reads as empty.
void ParseAppInfo(TKnot& AInfo, std::u16string_view AText);

// The product name with every blank removed: the name of the program's knot under "Applications".
std::u16string ApplicationKey(std::u16string_view AProductName);
// Attribute AAttribute of "Applications"/AKey, empty when either is missing.
std::u16string ApplicationAttribute(TKnot& AInfo, std::u16string_view AKey, std::u16string_view AAttribute);
// Attribute AAttribute of "Resources", empty when missing.
std::u16string ResourceAttribute(TKnot& AInfo, std::u16string_view AAttribute);

// The "WebLang" of the first child of "AppLangToWebLang" whose "AppLang" is ALanguage exactly, else that knot's
// "DefaultWebLang".
std::u16string MapAppLangToWebLang(TKnot& AInfo, std::u16string_view ALanguage);
// Every "%lang%" of AAddress replaced by AWebLang.
std::u16string LocalizeWebAddress(std::u16string_view AAddress, std::u16string_view AWebLang);

// Split at commas only: a double-quoted stretch keeps its commas and loses its quotes ("" inside it is one quote);
// blanks stay. An empty text gives no entries.
std::vector<std::u16string> SplitVersionList(std::u16string_view AList);
// Whether some entry, trimmed, is AVersion, trimmed, ignoring case.
bool IsCurrentVersion(const std::vector<std::u16string>& AList, std::u16string_view AVersion);
// The entries trimmed and joined by ", ", as the newer-version message lists them.
std::u16string JoinVersionList(const std::vector<std::u16string>& AList);
