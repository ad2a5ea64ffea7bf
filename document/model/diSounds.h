// The sounds settings node.
#pragma once

#include "foundation/cuProps.h"

#include <memory>
#include <string_view>

// "Sounds" with "Enabled".
class TSoundsSettings : public TProperty {
public:
  explicit TSoundsSettings(TProperty* AParent);
  TBooleanProperty* Enabled;
};

// The program's sounds settings, alive between InitializeSoundsSettings and FinalizeSoundsSettings.
extern std::unique_ptr<TSoundsSettings, TNodeDeleter> SoundsSettings;
void InitializeSoundsSettings();
void FinalizeSoundsSettings();
