// Walks and pictures of knot trees for exact comparisons in tests and fuzz targets.
#pragma once

#include <string>

#include "foundation/cuKnot.h"

// A compact text picture of a knot tree: name(param,param=value)[child child].
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

// Pre-order, without recursion.
template <class F>
void ForEachKnot(TKnot& ARoot, F&& AVisit) {
  TKnot* k = &ARoot;
  for (;;) {
    AVisit(k);
    if (k->FirstChild()) {
      k = k->FirstKnot();
      continue;
    }
    while (k != &ARoot && !k->NextSibling()) k = k->ParentKnot();
    if (k == &ARoot) return;
    k = k->NextKnot();
  }
}
