// The Windows half of the appearance themes: the built-in theme from the program's resources, other themes from
// files beside the program, and the installed screen fonts.
#pragma once

#include "document/model/diThemes.h"

#include <string>
#include <string_view>

class TElementMessages;

// The description from the RCDATA resource APrefix + "Info", the atlas from APrefix + "Image".
void LoadThemeFromResource(TSheetTheme& ATheme, std::u16string_view APrefix);
// The description from the file, the atlas from the same name with the extension ".png".
void LoadThemeFromFile(TSheetTheme& ATheme, const std::u16string& AFileName);

// The folder of other themes: the program's folder + "Themes\".
std::u16string GetThemeFolder();
// "Default" (any case) is the built-in theme; another name is GetThemeFolder() + name + ".txt". A theme that
// cannot be read falls back to the built-in one; the reason goes to AMessages (when given) as a warning and is
// returned (empty when the named theme loaded).
std::u16string LoadTheme(TSheetTheme& ATheme, const std::u16string& AName, TElementMessages* AMessages = nullptr);
// The installed screen fonts.
bool IsScreenFontInstalled(std::u16string_view AName);
