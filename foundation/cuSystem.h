// Runtime base of the whole program: root object, class references, method delegates, exceptions,
// formatting, encodings and small string helpers. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------------------------------------------
// Root object

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// ---------------------------------------------------------------------------------------------------------------
// Class references and virtual constructors.
//
// A class reference points at a static descriptor: name, parent descriptor, factory. A family of classes fixes
// its base and constructor arguments once: using TCodeWriterClass = TClassRef<TCodeWriter>;

template <class TBase, class... TArgs>
class TClassInfo {
 public:
  using TFactory = TBase* (*)(TArgs...);

  constexpr TClassInfo(std::u16string_view AName, const TClassInfo* AParent, TFactory AFactory)
      : FName(AName), FParent(AParent), FFactory(AFactory) {}
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  std::u16string_view Name() const { return FName; }
  const TClassInfo* Parent() const { return FParent; }
  bool IsAbstract() const { return FFactory == nullptr; }

  // True for this class itself and for every class it derives from.
  bool InheritsFrom(const TClassInfo* AClass) const {
    for (const TClassInfo* c = this; c; c = c->FParent)
      if (c == AClass) return true;
    return false;
  }

  // The new object belongs to the caller (usually handed on at once to a parent node or a unique_ptr).
  TBase* Create(TArgs... AArgs) const;

 private:
  std::u16string_view FName;
  const TClassInfo* FParent;
  TFactory FFactory;
};

template <class TBase, class... TArgs>
using TClassRef = const TClassInfo<TBase, TArgs...>*;

// Factory for TClassInfo: ClassFactory<TXmlCodeWriter, TCodeWriter>.
template <class T, class TBase, class... TArgs>
TBase* ClassFactory(TArgs... AArgs) {
  return new T(std::forward<TArgs>(AArgs)...);
}

// ---------------------------------------------------------------------------------------------------------------
// Method delegates: an object and one of its member functions. Two delegates are equal when they name the same
// object and the same member, which is what handler lists need to find and remove a handler.

namespace cu_detail {
template <auto F>
struct TMethodTag {
  static inline char Id = 0;  // one distinct address per bound function
};

template <class TPtr>
struct TMemberTraits;
template <class C, class R, class... A>
struct TMemberTraits<R (C::*)(A...)> {
  using TClass = C;
  using TSignature = R(A...);
};
template <class C, class R, class... A>
struct TMemberTraits<R (C::*)(A...) const> {
  using TClass = const C;
  using TSignature = R(A...);
};
template <class C, class R, class... A>
struct TMemberTraits<R (*)(C*, A...)> {
  using TClass = C;
  using TSignature = R(A...);
};
}  // namespace cu_detail

template <class TSig>
class TMethod;

template <class R, class... A>
class TMethod<R(A...)> {
 public:
  using TThunk = R (*)(void*, A...);

  TMethod() = default;
  TMethod(std::nullptr_t) {}
  TMethod(void* AData, TThunk AThunk, const void* ATag) : FData(AData), FThunk(AThunk), FTag(ATag) {}

  explicit operator bool() const { return FThunk != nullptr; }
  bool Assigned() const { return FThunk != nullptr; }
  void* Data() const { return FData; }

  R operator()(A... AArgs) const { return FThunk(FData, std::forward<A>(AArgs)...); }

  friend bool operator==(const TMethod& L, const TMethod& R_) { return L.FData == R_.FData && L.FTag == R_.FTag; }
  friend bool operator==(const TMethod& L, std::nullptr_t) { return !L.FThunk; }

 private:
  void* FData = nullptr;
  TThunk FThunk = nullptr;
  const void* FTag = nullptr;
};

// MakeMethod<&TClass::Member>(obj) binds a member function to an object;
// MakeMethod<&Function>(context) binds a free function whose first parameter is the context pointer.
template <auto F>
auto MakeMethod(typename cu_detail::TMemberTraits<decltype(F)>::TClass* AObject) {
  using TTraits = cu_detail::TMemberTraits<decltype(F)>;
  using TObj = typename TTraits::TClass;
  return [AObject]<class R, class... A>(R (*)(A...)) {
    auto thunk = [](void* AData, A... AArgs) -> R {
      TObj* obj = static_cast<TObj*>(AData);
      if constexpr (std::is_member_function_pointer_v<decltype(F)>)
        return (obj->*F)(std::forward<A>(AArgs)...);
      else
        return F(obj, std::forward<A>(AArgs)...);
    };
    return TMethod<R(A...)>(const_cast<void*>(static_cast<const void*>(AObject)), +thunk,
                            &cu_detail::TMethodTag<F>::Id);
  }(static_cast<typename TTraits::TSignature*>(nullptr));
}

// ---------------------------------------------------------------------------------------------------------------
// Exceptions: failures of programming or of the system. Bad user data never raises.

class Exception : public std::exception {
 public:
  explicit Exception(std::u16string AMessage);
  const std::u16string& Message() const { return FMessage; }
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::u16string FMessage;
  std::string FWhat;
};

// Misuse by the calling code: a bad index, a node moved under its own descendant, an abstract class created.
class EProgrammingError : public Exception {
 public:
  using Exception::Exception;
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be opened, read, written, moved or deleted; AErrorCode is the system's error number.
class EFileError : public EStreamError {
 public:
  EFileError(std::u16string AMessage, uint32_t AErrorCode)
      : EStreamError(std::move(AMessage)), FErrorCode(AErrorCode) {}
  uint32_t ErrorCode() const { return FErrorCode; }

 private:
  uint32_t FErrorCode;
};

// A system call failed; AErrorCode is the system's error number.
class EOSError : public Exception {
 public:
  EOSError(std::u16string AMessage, uint32_t AErrorCode) : Exception(std::move(AMessage)), FErrorCode(AErrorCode) {}
  uint32_t ErrorCode() const { return FErrorCode; }

 private:
  uint32_t FErrorCode;
};

class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

template <class TBase, class... TArgs>
TBase* TClassInfo<TBase, TArgs...>::Create(TArgs... AArgs) const {
  if (!FFactory) throw EProgrammingError(u"Cannot create an instance of the abstract class " + std::u16string(FName));
  return FFactory(std::forward<TArgs>(AArgs)...);
}

// ---------------------------------------------------------------------------------------------------------------
// Format: printf-style %s %d %u %x %X %c %%, with "-", "0", width and precision ("%.3s" cuts a string,
// "%.4d" pads with zeros). A directive that does not fit its argument, or a missing argument, raises EConvertError.

class TFormatArg {
 public:
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char16_t>,
                                      int> = 0>
  TFormatArg(T AValue) : FKind(std::is_signed_v<T> ? kSigned : kUnsigned), FInt(static_cast<int64_t>(AValue)) {}
  TFormatArg(bool AValue) : FKind(kSigned), FInt(AValue ? 1 : 0) {}
  TFormatArg(char16_t AValue) : FKind(kChar), FInt(AValue) {}
  TFormatArg(const char16_t* AValue) : FKind(kString), FStr(AValue ? AValue : u"") {}
  TFormatArg(const std::u16string& AValue) : FKind(kString), FStr(AValue) {}
  TFormatArg(std::u16string_view AValue) : FKind(kString), FStr(AValue) {}

  enum TKind { kSigned, kUnsigned, kChar, kString };
  TKind Kind() const { return FKind; }
  int64_t AsInt() const { return FInt; }
  std::u16string_view AsString() const { return FStr; }

 private:
  TKind FKind;
  int64_t FInt = 0;
  std::u16string_view FStr;
};

std::u16string Format(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs);

// ---------------------------------------------------------------------------------------------------------------
// Encodings. Decoders never raise: invalid UTF-8 and lone surrogates become U+FFFD.

std::u16string Utf8ToUtf16(std::string_view AText);
std::u16string Utf8ToUtf16(const void* ABytes, size_t ACount);
// Decodes into ADest, which has room for ACount characters; returns the number written.
size_t Utf8ToUtf16(const void* ABytes, size_t ACount, char16_t* ADest);
std::string Utf16ToUtf8(std::u16string_view AText);
// Appends the UTF-8 form of AText to ADest.
void AppendUtf8(std::string& ADest, std::u16string_view AText);

// Decodes the character at AByte (AByte < AEnd) into one or two UTF-16 units and moves AByte past it; a bad
// sequence gives U+FFFD for its longest valid start. Returns the number of units written.
inline size_t DecodeUtf8Char(const uint8_t*& AByte, const uint8_t* AEnd, char16_t* AUnits) {
  const uint8_t b = *AByte++;
  if (b < 0x80) {
    AUnits[0] = b;
    return 1;
  }
  uint32_t cp;
  int need;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
  if (b >= 0xC2 && b <= 0xDF) {
    cp = b & 0x1F;
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    cp = b & 0x0F;
    need = 2;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;  // no encoded surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    cp = b & 0x07;
    need = 3;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    AUnits[0] = 0xFFFD;
    return 1;
  }
  for (int k = 0; k < need; ++k) {
    if (AByte >= AEnd || *AByte < lo || *AByte > hi) {
      AUnits[0] = 0xFFFD;
      return 1;
    }
    cp = (cp << 6) | (*AByte++ & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  if (cp < 0x10000) {
    AUnits[0] = static_cast<char16_t>(cp);
    return 1;
  }
  cp -= 0x10000;
  AUnits[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
  AUnits[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  return 2;
}

// UTF-16 bytes in either byte order; an odd byte count drops the last byte.
std::u16string Utf16LEToString(const void* ABytes, size_t ACount);
std::u16string Utf16BEToString(const void* ABytes, size_t ACount);
std::string StringToUtf16LE(std::u16string_view AText);
std::string StringToUtf16BE(std::u16string_view AText);

// The system's ANSI code page (Windows-1252 on the host build). Unmappable characters become "?", never a
// best-fit look-alike.
std::u16string AnsiToString(std::string_view AText);
std::u16string AnsiToString(const void* ABytes, size_t ACount);
std::string StringToAnsi(std::u16string_view AText);

// How the ANSI code page reads single bytes, for a reader that decodes a text piece by piece: a byte is one
// character (Units) or, in a double-byte code page, the lead byte of a character that takes the byte after it too.
// Usable is false for a code page these rules do not describe, or one that does not read ASCII bytes as ASCII and
// every other byte as something else.
struct TAnsiBytes {
  bool Usable = false;
  bool DoubleByte = false;
  char16_t Units[256] = {};
  bool Lead[256] = {};
};
TAnsiBytes AnsiBytes();

// ASCII text for literals and diagnostics: each byte becomes one character.
std::u16string AsciiToString(std::string_view AText);

// ---------------------------------------------------------------------------------------------------------------
// Integers as text

std::u16string IntToStr(int64_t AValue);
std::u16string UIntToStr(uint64_t AValue);
// Upper-case hexadecimal, at least ADigits digits.
std::u16string IntToHex(uint64_t AValue, int ADigits);
// An optional "+" or "-" and decimal digits only, within the target's range.
bool TryStrToInt(std::u16string_view AText, int& AValue);
// The same for the text of UTF-8 bytes, read from them as they are.
bool TryStrToInt(std::string_view AUtf8, int& AValue);
bool TryStrToInt64(std::u16string_view AText, int64_t& AValue);
int StrToIntDef(std::u16string_view AText, int ADefault);
// Raises EConvertError when AText is not an integer.
int StrToInt(std::u16string_view AText);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char16_t C);
// Bytes as upper-case hexadecimal, two characters a byte.
std::u16string BinToHex(const void* ABytes, size_t ACount);
// Decodes pairs of hexadecimal digits (either case) into at most ACount bytes; stops at the first pair that is
// not hexadecimal. Returns the number of bytes written.
size_t HexToBin(std::u16string_view AText, void* ABytes, size_t ACount);

// ---------------------------------------------------------------------------------------------------------------
// ASCII case helpers: only A-Z and a-z change.

char16_t UpCaseAscii(char16_t C);
char16_t LowCaseAscii(char16_t C);
std::u16string UpperCaseAscii(std::u16string_view AText);
std::u16string LowerCaseAscii(std::u16string_view AText);
bool SameTextAscii(std::u16string_view A, std::u16string_view B);
// <0, 0, >0 like strcmp, ignoring ASCII case.
int CompareTextAscii(std::u16string_view A, std::u16string_view B);

// Leading and trailing characters up to the space (control characters and spaces) removed.
std::u16string Trim(std::u16string_view AText);

// ---------------------------------------------------------------------------------------------------------------
// TStringList: strings in order, each with an optional object that the list does not own.

class TStringList : public TObject {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }

  const std::u16string& operator[](int AIndex) const { return Item(AIndex).Str; }
  const std::u16string& Strings(int AIndex) const { return Item(AIndex).Str; }
  void SetString(int AIndex, std::u16string AValue) { Item(AIndex).Str = std::move(AValue); }
  // In-place access for appending to a string without copying it.
  std::u16string& StringRef(int AIndex) { return Item(AIndex).Str; }
  TObject* Objects(int AIndex) const { return Item(AIndex).Obj; }
  void SetObject(int AIndex, TObject* AObject) { Item(AIndex).Obj = AObject; }

  int Add(std::u16string AValue, TObject* AObject = nullptr);
  void Insert(int AIndex, std::u16string AValue, TObject* AObject = nullptr);
  void Delete(int AIndex);
  void Clear() { FItems.clear(); }
  void Exchange(int AIndex1, int AIndex2);
  void Append(const TStringList& AOther);

  // Comparison follows CaseSensitive (ASCII case only when off).
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool AValue) { FCaseSensitive = AValue; }
  int IndexOf(std::u16string_view AValue) const;
  int IndexOfObject(const TObject* AObject) const;
  void Sort();

  // "Name=Value" lines.
  int IndexOfName(std::u16string_view AName) const;
  std::u16string Names(int AIndex) const;
  std::u16string ValueFromIndex(int AIndex) const;
  std::u16string Values(std::u16string_view AName) const;
  void SetValue(std::u16string_view AName, std::u16string_view AValue);

  // The strings joined, each followed by CR LF; SetText splits at CR LF, LF or CR.
  std::u16string Text() const;
  void SetText(std::u16string_view AText);

  // Counted update bracket for callers that batch changes; see TUpdateGuard.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate() { --FUpdateCount; }
  int UpdateCount() const { return FUpdateCount; }

 private:
  struct TItem {
    std::u16string Str;
    TObject* Obj = nullptr;
  };
  TItem& Item(int AIndex);
  const TItem& Item(int AIndex) const;
  bool Same(std::u16string_view A, std::u16string_view B) const;

  std::vector<TItem> FItems;
  bool FCaseSensitive = false;
  int FUpdateCount = 0;
};

// RAII for every BeginUpdate/EndUpdate pair: TUpdateGuard guard(list);
template <class T>
class TUpdateGuard {
 public:
  explicit TUpdateGuard(T& AObject) : FObject(AObject) { FObject.BeginUpdate(); }
  ~TUpdateGuard() { FObject.EndUpdate(); }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

 private:
  T& FObject;
};
