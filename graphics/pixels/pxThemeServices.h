#pragma once
// The framework's theme services standing on the visual-style binding, so the program binds the library once and
// every themed drawing follows the binding's theme changes.

// Puts the services in place of the framework's classic-look ones: after InitializeXPThemes and
// StartThemeServices.
void InstallXPThemeServices();
// Puts the classic-look services back when these are installed: before EndThemeServices and FinalizeXPThemes.
void UninstallXPThemeServices();
