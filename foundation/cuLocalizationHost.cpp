#include "foundation/cuLocalization.h"

// The native build carries no string tables.
std::u16string TLocalization::LoadStringForLanguage(int, TLangId) { return {}; }
