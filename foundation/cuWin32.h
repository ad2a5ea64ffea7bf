// The one way into the Windows headers. Every Windows source includes this file, never <windows.h> or another
// system header of the list below directly.
//
// The A/W mapping macros whose names our classes use for members (DeleteFile, LoadString, DrawText, ...) are
// removed below, so a member of that name stays a member. Win32 calls therefore always name the W function
// explicitly: DeleteFileW, LoadStringW, DrawTextW. A system header missing from the list below is added here,
// before the #undef block, so its macros are removed too.
#pragma once

#ifndef _WIN32
#error "cuWin32.h is for the Windows build only"
#endif

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>
#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>
#include <uxtheme.h>
#include <vsstyle.h>
#include <winspool.h>

#include <string>
#include <string_view>

// Kernel
#undef CopyFile
#undef CreateDirectory
#undef CreateEvent
#undef CreateFile
#undef CreateMutex
#undef DeleteFile
#undef FindFirstFile
#undef FindNextFile
#undef FindResource
#undef FormatMessage
#undef GetCommandLine
#undef GetComputerName
#undef GetCurrentDirectory
#undef GetCurrentTime
#undef GetEnvironmentVariable
#undef GetFileAttributes
#undef GetModuleFileName
#undef GetModuleHandle
#undef GetTempFileName
#undef GetTempPath
#undef GetUserName
#undef LoadLibrary
#undef MoveFile
#undef OpenMutex
#undef RemoveDirectory
#undef ReplaceFile
#undef SetCurrentDirectory
#undef SetFileAttributes
#undef Yield
// User
#undef CreateWindow
#undef DrawText
#undef DrawTextEx
#undef GetClassInfo
#undef GetClassName
#undef GetMessage
#undef GetObject
#undef GetProp
#undef GetWindowText
#undef LoadBitmap
#undef LoadCursor
#undef LoadIcon
#undef LoadImage
#undef LoadMenu
#undef LoadString
#undef MessageBox
#undef PostMessage
#undef RegisterClass
#undef RemoveProp
#undef SendMessage
#undef SetProp
#undef SetWindowText
// GDI
#undef CopyMetaFile
#undef CreateFont
#undef CreateFontIndirect
#undef EnumFonts
#undef GetTextMetrics
#undef StartDoc
#undef TextOut
// Common dialogs and shell
#undef ChooseColor
#undef ChooseFont
#undef ExtractIcon
#undef FindText
#undef GetOpenFileName
#undef GetSaveFileName
#undef PageSetupDlg
#undef PrintDlg
#undef ReplaceText
#undef ShellExecute
// Printing
#undef GetPrinter
#undef SetPrinter

// Multimedia
#undef PlaySound

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

// Text to and from W functions.
inline const wchar_t* WStr(const std::u16string& AText) { return reinterpret_cast<const wchar_t*>(AText.c_str()); }
inline const wchar_t* WStrOrNull(const std::u16string& AText) { return AText.empty() ? nullptr : WStr(AText); }
inline wchar_t* WBuf(std::u16string& ABuffer) { return reinterpret_cast<wchar_t*>(ABuffer.data()); }
inline std::u16string FromWide(const wchar_t* AText) {
  return AText ? std::u16string(reinterpret_cast<const char16_t*>(AText)) : std::u16string();
}
inline std::u16string FromWide(const wchar_t* AText, size_t ALength) {
  return std::u16string(reinterpret_cast<const char16_t*>(AText), ALength);
}
