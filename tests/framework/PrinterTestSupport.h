// A PostScript printer on FILE: that tests install into the Wine prefix and take away again. Jobs must name their
// output file: a FILE: job without one waits for the user to type a name.
#pragma once

extern const wchar_t* const PostScriptDriver;

// Installs APrinter with Wine's PostScript driver and the generic PPD and makes it the default printer; false, with
// the system's error code left in GetLastError, when that fails.
bool InstallTestPrinter(const wchar_t* APrinter);
// Removes APrinter when it is there (a run before may have left it behind).
void RemoveTestPrinter(const wchar_t* APrinter);
