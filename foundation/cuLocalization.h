// The interface language: string look-up by identifier in the chosen language with an English fallback, and
// "%1", "%2" placeholder formatting.
#pragma once

#include "foundation/cuClasses.h"
#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

using TLangId = uint16_t;

constexpr TLangId LangEnglishUS = 0x0409;

// One left-to-right pass over ATemplate: the first "%i" (i = 1 .. the number of arguments, the longest run of
// digits after "%", no leading zero) is replaced by the i-th argument. Inserted text is never scanned again, a
// placeholder that occurs a second time and placeholders without an argument stay as they are.
std::u16string FormatPlaceholders(std::u16string_view ATemplate, std::span<const std::u16string_view> AArgs);

class TLocalization : public TItfObject {
 public:
  TLangId Language() const { return FLanguage; }
  TLangId DefaultLanguage() const { return FDefaultLanguage; }
  // Each sends code 1 on a change.
  void SetLanguage(TLangId AValue);
  void SetDefaultLanguage(TLangId AValue);

  // String AId of the program's table in ALanguage, read from the string-table block itself; empty when the
  // block or the entry is missing (always empty in the native build, which carries no resources). Defined in
  // cuLocalizationWin.cpp or cuLocalizationHost.cpp.
  static std::u16string LoadStringForLanguage(int AId, TLangId ALanguage);

  // In Language (DefaultLanguage while Language is 0), else in DefaultLanguage.
  std::u16string GetLocStr(int AId) const;
  std::u16string FormatLocStr(int AId, std::initializer_list<std::u16string_view> AArgs) const;

 private:
  TLangId FDefaultLanguage = 0;
  TLangId FLanguage = 0;
};

// The one localization object, alive between InitializeLocalization and FinalizeLocalization.
extern std::unique_ptr<TLocalization> Localization;
void InitializeLocalization();
void FinalizeLocalization();

// Through Localization when it exists; AEnglish (the same template) when it does not or the tables lack AId,
// so errors raised before start-up or outside the program still read well.
std::u16string FormatLocStrOr(int AId, std::u16string_view AEnglish, std::initializer_list<std::u16string_view> AArgs);
