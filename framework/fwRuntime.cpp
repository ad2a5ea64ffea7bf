#include "framework/fwRuntime.h"

#include <cfenv>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------------------------------------------
// TRegistry

void TRegistry::SetRootKey(HKEY AValue) {
  CloseKey();
  FRootKey = AValue;
}

bool TRegistry::OpenKeyReadOnly(std::u16string_view APath) {
  CloseKey();
  std::u16string path(APath);
  return RegOpenKeyExW(FRootKey, WStr(path), 0, KEY_READ, &FKey) == ERROR_SUCCESS || (FKey = nullptr, false);
}

void TRegistry::CloseKey() {
  if (FKey) RegCloseKey(FKey);
  FKey = nullptr;
}

bool TRegistry::KeyExists(std::u16string_view APath) const {
  std::u16string path(APath);
  HKEY key = nullptr;
  if (RegOpenKeyExW(FKey ? FKey : FRootKey, WStr(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool TRegistry::ValueExists(std::u16string_view AName) const {
  if (!FKey) return false;
  std::u16string name(AName);
  return RegQueryValueExW(FKey, WStr(name), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool TRegistry::ReadString(std::u16string_view AName, std::u16string& AValue) const {
  if (!FKey) return false;
  std::u16string name(AName);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(FKey, WStr(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::u16string buffer(size / sizeof(char16_t) + 1, u'\0');
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
  if (RegQueryValueExW(FKey, WStr(name), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
      ERROR_SUCCESS)
    return false;
  buffer.resize(bytes / sizeof(char16_t));
  while (!buffer.empty() && buffer.back() == u'\0') buffer.pop_back();
  AValue = std::move(buffer);
  return true;
}

std::u16string TRegistry::ReadString(std::u16string_view AName) const {
  std::u16string value;
  ReadString(AName, value);
  return value;
}

bool TRegistry::ReadInteger(std::u16string_view AName, uint32_t& AValue) const {
  if (!FKey) return false;
  std::u16string name(AName);
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExW(FKey, WStr(name), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return false;
  AValue = value;
  return true;
}

std::vector<std::u16string> TRegistry::GetKeyNames() const {
  std::vector<std::u16string> names;
  if (!FKey) return names;
  wchar_t buffer[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    LONG result = RegEnumKeyExW(FKey, i, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.push_back(FromWide(buffer, length));
  }
  return names;
}

std::vector<std::u16string> TRegistry::GetValueNames() const {
  std::vector<std::u16string> names;
  if (!FKey) return names;
  wchar_t buffer[16384];
  for (DWORD i = 0;; ++i) {
    DWORD length = 16384;
    LONG result = RegEnumValueW(FKey, i, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.push_back(FromWide(buffer, length));
  }
  return names;
}

// ---------------------------------------------------------------------------------------------------------------
// Error texts

void RaiseLastOSError(std::u16string_view AContext) {
  DWORD code = GetLastError();
  std::u16string text = SysErrorMessage(code);
  if (!AContext.empty()) text = std::u16string(AContext) + u": " + text;
  throw EOSError(text, code);
}

// ---------------------------------------------------------------------------------------------------------------
// Date and time

namespace {

// Days from 0001-01-01 (day 0) to the given date, proleptic Gregorian.
int64_t DaysFromCivil(int AYear, int AMonth, int ADay) {
  int64_t y = AYear - (AMonth <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (AMonth + (AMonth > 2 ? -3 : 9)) + 2) / 5 + ADay - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t ADays, int& AYear, int& AMonth, int& ADay) {
  ADays += 719468;
  int64_t era = (ADays >= 0 ? ADays : ADays - 146096) / 146097;
  int64_t doe = ADays - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  ADay = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  AMonth = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  AYear = static_cast<int>(yoe + era * 400 + (AMonth <= 2 ? 1 : 0));
}

constexpr int64_t kEpochOffset = 25569;  // days from 1899-12-30 to 1970-01-01

}  // namespace

TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond, int AMillisecond) {
  double days = static_cast<double>(DaysFromCivil(AYear, AMonth, ADay) + kEpochOffset);
  double time = (((AHour * 60.0 + AMinute) * 60.0 + ASecond) * 1000.0 + AMillisecond) / 86400000.0;
  return days + time;
}

void DecodeDateTime(TDateTime AValue, int& AYear, int& AMonth, int& ADay, int& AHour, int& AMinute, int& ASecond,
                    int& AMillisecond) {
  int64_t ms = static_cast<int64_t>(std::llround(AValue * 86400000.0));
  int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  int64_t rest = ms - days * 86400000;
  CivilFromDays(days - kEpochOffset, AYear, AMonth, ADay);
  AHour = static_cast<int>(rest / 3600000);
  AMinute = static_cast<int>(rest / 60000 % 60);
  ASecond = static_cast<int>(rest / 1000 % 60);
  AMillisecond = static_cast<int>(rest % 1000);
}

TDateTime SystemTimeToDateTime(const SYSTEMTIME& ATime) {
  return EncodeDateTime(ATime.wYear, ATime.wMonth, ATime.wDay, ATime.wHour, ATime.wMinute, ATime.wSecond,
                        ATime.wMilliseconds);
}

TDateTime Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return SystemTimeToDateTime(now);
}

std::u16string FormatDateTime(std::u16string_view APattern, TDateTime AValue) {
  int year, month, day, hour, minute, second, ms;
  DecodeDateTime(AValue, year, month, day, hour, minute, second, ms);
  std::u16string out;
  auto number = [&out](int AValue, int ADigits) {
    std::u16string digits = IntToStr(AValue);
    if (static_cast<int>(digits.size()) < ADigits) out.append(ADigits - digits.size(), u'0');
    out += digits;
  };
  auto starts = [&APattern](size_t APos, std::u16string_view AToken) {
    if (APos + AToken.size() > APattern.size()) return false;
    for (size_t i = 0; i < AToken.size(); ++i)
      if (LowCaseAscii(APattern[APos + i]) != AToken[i]) return false;
    return true;
  };
  size_t i = 0;
  while (i < APattern.size()) {
    if (APattern[i] == u'"') {
      size_t end = APattern.find(u'"', i + 1);
      if (end == std::u16string_view::npos) end = APattern.size();
      out.append(APattern.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (starts(i, u"yyyy")) {
      number(year, 4);
      i += 4;
    } else if (starts(i, u"yy")) {
      number(year % 100, 2);
      i += 2;
    } else if (starts(i, u"mm")) {
      number(month, 2);
      i += 2;
    } else if (starts(i, u"dd")) {
      number(day, 2);
      i += 2;
    } else if (starts(i, u"hh")) {
      number(hour, 2);
      i += 2;
    } else if (starts(i, u"nn")) {
      number(minute, 2);
      i += 2;
    } else if (starts(i, u"ss")) {
      number(second, 2);
      i += 2;
    } else if (starts(i, u"zzz")) {
      number(ms, 3);
      i += 3;
    } else {
      out += APattern[i++];
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------------------------
// Resources

TResourceStream::TResourceStream(HINSTANCE AInstance, std::u16string_view AName, const wchar_t* AType) {
  std::u16string name(AName);
  Initialize(AInstance, WStr(name), AType, name);
}

TResourceStream::TResourceStream(HINSTANCE AInstance, int AId, const wchar_t* AType) {
  Initialize(AInstance, MAKEINTRESOURCEW(AId), AType, IntToStr(AId));
}

void TResourceStream::Initialize(HINSTANCE AInstance, const wchar_t* AName, const wchar_t* AType,
                                 const std::u16string& AShown) {
  HRSRC info = FindResourceW(AInstance, AName, AType);
  HGLOBAL res = info ? LoadResource(AInstance, info) : nullptr;
  FData = res ? static_cast<const uint8_t*>(LockResource(res)) : nullptr;
  if (!FData) throw EStreamError(u"Resource not found: " + AShown);
  FSize = SizeofResource(AInstance, info);
}

size_t TResourceStream::Read(void* ABuffer, size_t ACount) {
  size_t n = FPosition < FSize ? std::min(ACount, FSize - FPosition) : 0;
  if (n) std::memcpy(ABuffer, FData + FPosition, n);
  FPosition += n;
  return n;
}

size_t TResourceStream::Write(const void*, size_t) { throw EStreamError(u"A resource stream cannot be written"); }

int64_t TResourceStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int64_t base = AOrigin == TSeekOrigin::soBeginning ? 0
                 : AOrigin == TSeekOrigin::soCurrent ? static_cast<int64_t>(FPosition)
                                                     : static_cast<int64_t>(FSize);
  int64_t target = base + AOffset;
  if (target < 0) throw EStreamError(u"Seek before the start of a resource stream");
  FPosition = static_cast<size_t>(target);
  return target;
}

bool ResourceExists(HINSTANCE AInstance, std::u16string_view AName, const wchar_t* AType) {
  std::u16string name(AName);
  return FindResourceW(AInstance, WStr(name), AType) != nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// TRuntimeLibrary

bool TRuntimeLibrary::Load(const wchar_t* ALibrary) {
  if (Module) return true;
  const UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  std::fenv_t fpu;
  std::fegetenv(&fpu);
  Module = LoadLibraryW(ALibrary);
  std::fesetenv(&fpu);
  SetErrorMode(oldMode);
  return Module != nullptr;
}

void TRuntimeLibrary::Unload() {
  if (Module) FreeLibrary(Module);
  Module = nullptr;
}
