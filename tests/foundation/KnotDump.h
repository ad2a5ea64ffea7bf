// A compact text picture of a knot tree for exact comparisons: name(param,param=value)[child child].
#pragma once

#include <string>

#include "foundation/cuKnot.h"

inline std::string DumpKnot(const TKnot& AKnot) {
  std::string out;
  const TKnot* k = &AKnot;
  for (;;) {
    out += Utf16ToUtf8(k->Name());
    if (k->FirstParam()) {
      out += '(';
      for (TKnotParam* p = k->FirstParam(); p; p = p->Next()) {
        if (p != k->FirstParam()) out += ',';
        out += Utf16ToUtf8(p->Name());
        if (p->Kind() == TKnotParamKind::pkString) out += "=" + Utf16ToUtf8(p->Value());
      }
      out += ')';
    }
    if (k->FirstChild()) {
      out += '[';
      k = k->FirstKnot();
      continue;
    }
    while (k != &AKnot && !k->NextSibling()) {
      k = k->ParentKnot();
      out += ']';
    }
    if (k == &AKnot) return out;
    out += ' ';
    k = k->NextKnot();
  }
}
