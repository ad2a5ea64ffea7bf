// The settings node for naming new elements, and file names made from element texts.
#pragma once

#include "foundation/cuProps.h"

#include <memory>
#include <string>
#include <string_view>

// "Naming": read by nothing in the editor yet; kept so the settings file round-trips it.
class TNamingSettings : public TProperty {
 public:
  explicit TNamingSettings(TProperty* AParent);

  TBooleanProperty* FillEnabled;
  TEnumProperty* FillMode;  // "", "Upper", "Lower", "Extra"
  TBooleanProperty* FillNumberFirst;
  TBooleanProperty* FillUnderscore;
  TIntegerProperty* FillDigits;  // 1..12
};

// The program's naming settings, alive between InitializeNamingSettings and FinalizeNamingSettings. Not attached
// to a tree: the settings tree takes it in when it is built.
extern std::unique_ptr<TNamingSettings, TNodeDeleter> NamingSettings;
void InitializeNamingSettings();
void FinalizeNamingSettings();

// The text cut to 260 characters, without characters below 32 and without " * / : < > ? \ |.
std::u16string MakeValidFileName(std::u16string_view AText);
