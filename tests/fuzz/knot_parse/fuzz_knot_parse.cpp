// Parses arbitrary bytes as a knot file (and as UTF-8, directly and decoded first), writes what was read with options
// taken from the first byte, reads that text again and requires the same tree. Trees the text form cannot carry are
// only exercised, not compared: an element without a name (itself already a parse failure) and a root whose name starts
// with "?" (read as a prolog).
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "foundation/cuKnot.h"

namespace {

void Check(bool ACondition, const char* AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "knot round trip: %s\n", AWhat);
  std::abort();
}

bool Representable(const TKnot& ARoot) {
  if (!ARoot.Name().empty() && ARoot.Name()[0] == u'?') return false;
  const TKnot* k = &ARoot;
  for (;;) {
    if (k->Name().empty()) return false;
    if (k->FirstChild()) {
      k = k->FirstKnot();
      continue;
    }
    while (k != &ARoot && !k->NextSibling()) k = k->ParentKnot();
    if (k == &ARoot) return true;
    k = k->NextKnot();
  }
}

// Under koAllowUnquoted an empty string is written as "name=" and reads back as a parameter without a value.
bool SameParam(const TKnotParam* A, const TKnotParam* B, bool AUnquoted) {
  if (A->Name() != B->Name() || A->Value() != B->Value()) return false;
  if (A->Kind() == B->Kind()) return true;
  return AUnquoted && A->Value().empty();
}

void CheckSameTree(const TKnot& A, const TKnot& B, bool AUnquoted) {
  const TKnot* a = &A;
  const TKnot* b = &B;
  for (;;) {
    Check(a->Name() == b->Name(), "names differ");
    const TKnotParam* pa = a->FirstParam();
    const TKnotParam* pb = b->FirstParam();
    for (; pa && pb; pa = pa->Next(), pb = pb->Next()) Check(SameParam(pa, pb, AUnquoted), "parameters differ");
    Check(!pa && !pb, "parameter counts differ");
    Check(!a->FirstChild() == !b->FirstChild(), "children differ");
    if (a->FirstChild()) {
      a = a->FirstKnot();
      b = b->FirstKnot();
      continue;
    }
    while (a != &A && !a->NextSibling()) {
      Check(!b->NextSibling(), "sibling counts differ");
      a = a->ParentKnot();
      b = b->ParentKnot();
    }
    if (a == &A) return;
    Check(b->NextSibling() != nullptr, "sibling counts differ");
    a = a->NextKnot();
    b = b->NextKnot();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 1) return 0;
  // Every layout and quoting option except koSkipEmptyChildren, which drops knots on purpose.
  const TKnotOptions options = TKnotOptions::FromBits(AData[0]) - koSkipEmptyChildren;
  TMemoryStream input;
  input.WriteBuffer(AData + 1, ASize - 1);
  input.SetPosition(0);

  TKnot first;
  first.LoadFromStream(input);

  // Reading UTF-8 bytes directly must give what reading their decoded text gives.
  TKnot direct, decoded;
  direct.ParseUtf8(AData + 1, ASize - 1);
  const std::u16string text16 = Utf8ToUtf16(AData + 1, ASize - 1);
  decoded.Parse(text16.data(), text16.size());
  Check(direct.HasParseError() == decoded.HasParseError(), "UTF-8 reading fails differently");
  CheckSameTree(direct, decoded, false);
  first.SetOptions(options);
  const bool compare = Representable(first);
  const bool unquoted = options.Contains(koAllowUnquoted);

  const std::u16string text = first.SaveToString();
  TKnot second;
  second.SetOptions(options);
  second.LoadFromString(text);
  if (compare) {
    Check(!second.HasParseError(), "written text does not parse");
    CheckSameTree(first, second, unquoted);
  }

  // UTF-16 carries every code unit, so the stream path must agree too.
  TMemoryStream utf16;
  first.SaveToStream(utf16, TKnotEncoding::keUtf16LE);
  utf16.SetPosition(0);
  TKnot third;
  third.LoadFromStream(utf16);
  if (compare) CheckSameTree(first, third, unquoted);

  TKnot copy;
  copy.Assign(first);
  CheckSameTree(first, copy, false);
  std::vector<TKnot*> knots;
  std::vector<TKnotParam*> params;
  second.CollectUnread(&knots, &params, false);
  return 0;
}
