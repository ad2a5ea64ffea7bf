#include "foundation/cuLocalization.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::unique_ptr<TLocalization> Localization;

void InitializeLocalization() { Localization = std::make_unique<TLocalization>(); }

void FinalizeLocalization() { Localization.reset(); }

std::u16string FormatPlaceholders(std::u16string_view ATemplate, std::span<const std::u16string_view> AArgs) {
  std::vector<bool> used(AArgs.size(), false);
  // Sized once for the template and every argument.
  size_t size = ATemplate.size();
  for (const std::u16string_view arg : AArgs) size += arg.size();
  std::u16string result;
  result.reserve(size);
  size_t i = 0;
  while (i < ATemplate.size()) {
    if (ATemplate[i] != u'%') {
      result += ATemplate[i++];
      continue;
    }
    size_t digits = i + 1;
    while (digits < ATemplate.size() && ATemplate[digits] >= u'0' && ATemplate[digits] <= u'9') ++digits;
    const std::u16string_view number = ATemplate.substr(i + 1, digits - i - 1);
    size_t index = 0;
    // Nine digits cannot overflow; longer runs name no argument anyway.
    if (!number.empty() && number.size() <= 9 && number[0] != u'0')
      for (char16_t c : number) index = index * 10 + static_cast<size_t>(c - u'0');
    if (index >= 1 && index <= AArgs.size() && !used[index - 1]) {
      used[index - 1] = true;
      result += AArgs[index - 1];
    } else {
      result += ATemplate.substr(i, digits - i);
    }
    i = digits;
  }
  return result;
}

void TLocalization::SetLanguage(TLangId AValue) {
  if (AValue == FLanguage) return;
  FLanguage = AValue;
  Notify(1, 0, 0);
}

void TLocalization::SetDefaultLanguage(TLangId AValue) {
  if (AValue == FDefaultLanguage) return;
  FDefaultLanguage = AValue;
  Notify(1, 0, 0);
}

std::u16string TLocalization::GetLocStr(int AId) const {
  const TLangId language = FLanguage ? FLanguage : FDefaultLanguage;
  std::u16string result = LoadStringForLanguage(AId, language);
  if (result.empty() && FDefaultLanguage != 0 && FDefaultLanguage != language)
    result = LoadStringForLanguage(AId, FDefaultLanguage);
  return result;
}

std::u16string TLocalization::FormatLocStr(int AId, std::initializer_list<std::u16string_view> AArgs) const {
  return FormatPlaceholders(GetLocStr(AId), std::span<const std::u16string_view>(AArgs.begin(), AArgs.size()));
}

std::u16string FormatLocStrOr(int AId, std::u16string_view AEnglish, std::initializer_list<std::u16string_view> AArgs) {
  std::u16string text;
  if (Localization) text = Localization->GetLocStr(AId);
  return FormatPlaceholders(text.empty() ? AEnglish : std::u16string_view(text),
                            std::span<const std::u16string_view>(AArgs.begin(), AArgs.size()));
}
