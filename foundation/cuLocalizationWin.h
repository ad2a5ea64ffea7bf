// The Windows half of the interface language: the program's resources as streams (the string tables themselves
// are read by TLocalization::LoadStringForLanguage, defined beside this).
#pragma once

#include "foundation/cuLocalization.h"
#include "foundation/cuWin32.h"

#include <memory>

// A read-only stream over the resource AName of type AType in AInstance (nil = the program file); both may be
// MAKEINTRESOURCEW numbers. Raises EStreamError when there is no such resource.
std::unique_ptr<TStream> CreateResourceStream(HINSTANCE AInstance, LPCWSTR AName, LPCWSTR AType);
