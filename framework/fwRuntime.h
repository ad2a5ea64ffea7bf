// Run-time pieces: read-only registry access, system error texts, date and time, resource streams, system
// libraries bound at run time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuFiles.h"
#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"

// ---------------------------------------------------------------------------------------------------------------
// Registry, read only. Every read of a missing key or value gives false or the default; nothing raises.

class TRegistry : public TObject {
 public:
  explicit TRegistry(HKEY ARootKey = HKEY_CURRENT_USER) : FRootKey(ARootKey) {}
  ~TRegistry() override { CloseKey(); }

  HKEY RootKey() const { return FRootKey; }
  // Closes an open key first.
  void SetRootKey(HKEY AValue);

  // Opens APath (relative to the root) for reading; false when it does not exist.
  bool OpenKeyReadOnly(std::u16string_view APath);
  void CloseKey();
  bool KeyExists(std::u16string_view APath) const;

  bool ValueExists(std::u16string_view AName) const;
  // REG_SZ or REG_EXPAND_SZ (not expanded); an empty name reads the key's default value.
  bool ReadString(std::u16string_view AName, std::u16string& AValue) const;
  std::u16string ReadString(std::u16string_view AName) const;
  // REG_DWORD.
  bool ReadInteger(std::u16string_view AName, uint32_t& AValue) const;
  std::vector<std::u16string> GetKeyNames() const;
  std::vector<std::u16string> GetValueNames() const;

 private:
  HKEY FRootKey;
  HKEY FKey = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------
// System errors (the texts come from SysErrorMessage of cuFiles.h, which also knows WinInet's numbers)

// Raises EOSError with GetLastError's number and text (prefixed by AContext when given).
[[noreturn]] void RaiseLastOSError(std::u16string_view AContext = {});

// ---------------------------------------------------------------------------------------------------------------
// Date and time: TDateTime (cuUtils.h) in local time.

TDateTime Now();
TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour = 0, int AMinute = 0, int ASecond = 0,
                         int AMillisecond = 0);
void DecodeDateTime(TDateTime AValue, int& AYear, int& AMonth, int& ADay, int& AHour, int& AMinute, int& ASecond,
                    int& AMillisecond);
TDateTime SystemTimeToDateTime(const SYSTEMTIME& ATime);
// Patterns: yyyy, yy, mm, dd, hh, nn (minutes), ss, zzz (milliseconds); every other character is copied, and text
// in double quotes is copied without the quotes. "yyyy_mm_dd" gives 2024_03_07.
std::u16string FormatDateTime(std::u16string_view APattern, TDateTime AValue);

// ---------------------------------------------------------------------------------------------------------------
// A read-only stream over a resource of a module (the resource stays in the module's memory).

class TResourceStream : public TStream {
 public:
  // Raises EStreamError when the resource does not exist.
  TResourceStream(HINSTANCE AInstance, std::u16string_view AName, const wchar_t* AType);
  TResourceStream(HINSTANCE AInstance, int AId, const wchar_t* AType);

  size_t Read(void* ABuffer, size_t ACount) override;
  size_t Write(const void* ABuffer, size_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t Size() override { return static_cast<int64_t>(FSize); }

  const uint8_t* Memory() const { return FData; }

 private:
  void Initialize(HINSTANCE AInstance, const wchar_t* AName, const wchar_t* AType, const std::u16string& AShown);

  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  size_t FPosition = 0;
};

// Whether the module has a resource of that name and type.
bool ResourceExists(HINSTANCE AInstance, std::u16string_view AName, const wchar_t* AType);

// ---------------------------------------------------------------------------------------------------------------
// A system library bound at run time (GDI+, the visual styles), so the program also starts where it is missing.
// Plain state: its owner loads and unloads it.

struct TRuntimeLibrary {
  HMODULE Module = nullptr;

  // Loads ALibrary unless loaded, without the system's error box and keeping the floating-point control word
  // (some libraries change it while they load); false when it is missing.
  bool Load(const wchar_t* ALibrary);
  // Frees the library; its bound functions must not be called any more.
  void Unload();
  // Binds AProc to the exported function AName; false (AProc nil) when the library is not loaded or lacks it.
  template <class F>
  bool Bind(F& AProc, const char* AName) const {
    AProc = Module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, AName))) : nullptr;
    return AProc != nullptr;
  }
};
