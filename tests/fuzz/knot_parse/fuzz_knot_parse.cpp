// Parses arbitrary bytes as a knot file (and as UTF-8, directly and decoded first), writes what was read with options
// taken from the first byte, reads that text again and requires the same tree. Trees the text form cannot carry are
// only exercised, not compared: an element without a name (itself already a parse failure) and a root whose name starts
// with "?" (read as a prolog). The tree read is then read whole or in part and changed once, steered by the last byte,
// and its unread knots and parameters must be those a walk finds.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "foundation/cuKnot.h"
#include "tests/foundation/KnotDump.h"

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

// What CollectUnread lists, found by looking at every knot and parameter.
void WalkUnread(TKnot& ARoot, bool ACheckSelf, std::vector<TKnot*>& AKnots, std::vector<TKnotParam*>& AParams) {
  TKnot* k = &ARoot;
  for (;;) {
    const bool unread = (k != &ARoot || ACheckSelf) && !k->IsUsed();
    if (unread) AKnots.push_back(k);
    if (!unread)
      for (TKnotParam* p = k->FirstParam(); p; p = p->Next())
        if (!p->Used()) AParams.push_back(p);
    if (!unread && k->FirstChild()) {
      k = k->FirstKnot();
      continue;
    }
    while (k != &ARoot && !k->NextSibling()) k = k->ParentKnot();
    if (k == &ARoot) return;
    k = k->NextKnot();
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

  // A tree read whole answers without a walk: after reading all or part of it and one change, the answer is
  // still the walk's.
  const uint8_t steer = AData[ASize - 1];
  direct.SetUsedDeep(true);
  size_t n = 0;
  ForEachKnot(direct, [&](TKnot* k) {
    if ((steer & 1) && (n++ * 7 + steer) % 11 == 0) k->SetUsed(false);
    for (TKnotParam* p = k->FirstParam(); p; p = p->Next())
      if ((steer & 1) && (n++ * 7 + steer) % 13 == 0) p->SetUsed(false);
  });
  TKnot* last = &direct;
  ForEachKnot(direct, [&](TKnot* k) { last = k; });
  switch ((steer >> 1) % 6) {
    case 1:
      last->AddKnot(u"added");
      break;
    case 2:
      last->WriteString(u"added", u"1");
      break;
    case 3:
      if (TKnot* moved = decoded.FirstKnot())
        if (!moved->IsSelfOrAncestorOf(last)) moved->SetParent(last);
      break;
    case 4:
      if (last != &direct) last->Clear();
      break;
    case 5:
      last->SetUsed(!last->IsUsed());
      break;
    default:
      break;
  }
  const bool self = steer & 0x40;
  std::vector<TKnot*> expectedKnots;
  std::vector<TKnotParam*> expectedParams;
  WalkUnread(direct, self, expectedKnots, expectedParams);
  knots.clear();
  params.clear();
  const bool found = direct.CollectUnread(&knots, &params, self);
  Check(found == (!expectedKnots.empty() || !expectedParams.empty()), "unread found differently");
  Check(knots == expectedKnots && params == expectedParams, "unread listed differently");
  return 0;
}
