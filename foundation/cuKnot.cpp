#include "foundation/cuKnot.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/cuClasses.h"
#include "foundation/cuCodeWriters.h"
#include "foundation/cuFiles.h"

namespace {

struct TParamLinks {
  static TKnotParam* Next(TKnotParam* AParam) { return AParam->Next(); }
};

// Pre-order successor of ANode inside the subtree of ARoot; ADescend false skips ANode's children.
TKnot* NextInSubtree(const TKnot* ARoot, TKnot* ANode, bool ADescend) {
  if (ADescend && ANode->FirstChild()) return ANode->FirstKnot();
  while (ANode != ARoot) {
    if (ANode->NextSibling()) return ANode->NextKnot();
    ANode = ANode->ParentKnot();
  }
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// TKnotParam

TKnotParam::~TKnotParam() = default;

void TKnotParam::SetString(std::u16string AValue) {
  Clear();
  FKind = TKnotParamKind::pkString;
  FValue = std::move(AValue);
}

void TKnotParam::SetStream(TStream& AStream) {
  auto copy = std::make_unique<TMemoryStream>();
  copy->CopyFrom(AStream, 0);
  copy->SetPosition(0);
  Clear();
  FOwnedStream = std::move(copy);
  FStream = FOwnedStream.get();
  FKind = TKnotParamKind::pkStream;
}

void TKnotParam::SetStreamRef(TStream* AStream) {
  Clear();
  FStream = AStream;
  FKind = TKnotParamKind::pkStreamRef;
}

void TKnotParam::Clear() {
  FKind = TKnotParamKind::pkNone;
  FValue.clear();
  FOwnedStream.reset();
  FStream = nullptr;
}

bool TKnotParam::HasValue() {
  FUsed = true;
  return FKind != TKnotParamKind::pkNone;
}

std::u16string TKnotParam::StreamAsHex() const {
  if (!FStream) return {};
  const int64_t pos = FStream->Position();
  FStream->SetPosition(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(FStream->Size()));
  FStream->ReadBuffer(bytes.data(), bytes.size());
  FStream->SetPosition(pos);
  return BinToHex(bytes.data(), bytes.size());
}

std::u16string TKnotParam::GetAsString() {
  FUsed = true;
  switch (FKind) {
    case TKnotParamKind::pkString:
      return FValue;
    case TKnotParamKind::pkStream:
    case TKnotParamKind::pkStreamRef:
      return StreamAsHex();
    default:
      return {};
  }
}

bool TKnotParam::ReadStream(TStream& AStream) {
  FUsed = true;
  switch (FKind) {
    case TKnotParamKind::pkString: {
      if (FValue.size() % 2) return false;
      std::vector<uint8_t> bytes(FValue.size() / 2);
      const size_t decoded = HexToBin(FValue, bytes.data(), bytes.size());
      AStream.SetSize(0);
      AStream.SetPosition(0);
      if (decoded < bytes.size()) return false;
      AStream.WriteBuffer(bytes.data(), bytes.size());
      AStream.SetPosition(0);
      return true;
    }
    case TKnotParamKind::pkStream:
    case TKnotParamKind::pkStreamRef:
      if (FStream && FStream != &AStream) AStream.CopyFrom(*FStream, 0);
      return true;
    default:
      return true;
  }
}

std::u16string TKnotParam::GetPath() const { return FKnot->GetPath() + u"." + FName; }

// ---------------------------------------------------------------------------------------------------------------
// TKnot: tree and parameters

TKnot::~TKnot() { ClearParams(); }

void TKnot::ChildAdding(TNode* AChild, TNode* ABefore) {
  if (!dynamic_cast<TKnot*>(AChild)) throw EProgrammingError(u"Only knots can be children of a knot");
  TNode::ChildAdding(AChild, ABefore);
}

void TKnot::ParentChanged() {
  if (TKnot* parent = ParentKnot()) SetOptions(parent->FInheritedOptions);
}

void TKnot::SetOptions(uint16_t AOptions) {
  if (FInheritedOptions == AOptions) return;
  FInheritedOptions = AOptions;
  for (TKnot* k = NextInSubtree(this, this, true); k; k = NextInSubtree(this, k, true)) k->FInheritedOptions = AOptions;
}

TKnot* TKnot::AddKnot(std::u16string AName) {
  auto knot = std::make_unique<TKnot>(std::move(AName));
  knot->SetParent(this);
  return knot.release();
}

namespace {
// The first knot named AName from AFrom on along the siblings, flagged as read.
TKnot* FindFrom(TKnot* AFrom, std::u16string_view AName) {
  for (TKnot* k = AFrom; k; k = k->NextKnot())
    if (k->Name() == AName) {
      k->SetUsed(true);
      return k;
    }
  return nullptr;
}
}  // namespace

TKnot* TKnot::FindKnot(std::u16string_view AName) { return FindFrom(FirstKnot(), AName); }

TKnot* TKnot::FindNext(std::u16string_view AName) { return FindFrom(NextKnot(), AName); }

TKnot* TKnot::FindOrAddKnot(std::u16string_view AName) {
  TKnot* k = FindKnot(AName);
  if (!k) k = AddKnot(std::u16string(AName));
  k->SetUsed(true);
  return k;
}

TKnot* TKnot::FindKnotByPath(std::u16string_view APath, bool ACreate) {
  TKnot* k = this;
  while (k && !APath.empty()) {
    const size_t dot = APath.find(u'.');
    const std::u16string_view step = APath.substr(0, dot);
    k = ACreate ? k->FindOrAddKnot(step) : k->FindKnot(step);
    APath = dot == std::u16string_view::npos ? std::u16string_view() : APath.substr(dot + 1);
  }
  return k;
}

namespace {
TKnot* Flagged(TNode* ANode) {
  auto* k = static_cast<TKnot*>(ANode);
  if (k) k->SetUsed(true);
  return k;
}
}  // namespace

TKnot* TKnot::GetFirstKnot() { return Flagged(FirstChild()); }
TKnot* TKnot::GetLastKnot() { return Flagged(LastChild()); }
TKnot* TKnot::GetNextKnot() { return Flagged(NextSibling()); }
TKnot* TKnot::GetParentKnot() { return Flagged(Parent()); }

std::u16string TKnot::GetPath() const {
  std::vector<const TKnot*> chain;
  for (const TKnot* k = this; k; k = k->ParentKnot()) chain.push_back(k);
  std::u16string path = chain.back()->FName;
  for (size_t i = chain.size() - 1; i-- > 0;) {
    const TKnot* k = chain[i];
    path += u'.';
    path += k->FName;
    if (k->ParentKnot()->Options() & koOrderedChildren) {
      path += u'[';
      path += IntToStr(k->GetIndex() + 1);
      path += u']';
    }
  }
  return path;
}

TKnotParam* TKnot::FindParam(std::u16string_view AName) const {
  for (TKnotParam* p = FFirstParam; p; p = p->FNext)
    if (p->FName == AName) return p;
  return nullptr;
}

bool TKnot::ParamExists(std::u16string_view AName) {
  TKnotParam* p = FindParam(AName);
  if (p) p->FUsed = true;
  return p != nullptr;
}

TKnotParam* TKnot::AppendParam(std::u16string AName) {
  auto* p = new TKnotParam(this, std::move(AName));
  if (FLastParam)
    FLastParam->FNext = p;
  else
    FFirstParam = p;
  FLastParam = p;
  return p;
}

TKnotParam* TKnot::AddParam(std::u16string_view AName) {
  if (Options() & koUniqueParams)
    if (TKnotParam* p = FindParam(AName)) return p;
  return AppendParam(std::u16string(AName));
}

void TKnot::ClearParams() {
  TKnotParam* p = FFirstParam;
  FFirstParam = FLastParam = nullptr;
  while (p) {
    TKnotParam* next = p->FNext;
    delete p;
    p = next;
  }
}

std::u16string TKnot::ReadString(std::u16string_view AName, std::u16string_view ADefault) {
  TKnotParam* p = FindParam(AName);
  return p ? p->GetAsString() : std::u16string(ADefault);
}

bool TKnot::ReadBool(std::u16string_view AName, bool ADefault) {
  TKnotParam* p = FindParam(AName);
  if (!p) return ADefault;
  const std::u16string s = p->GetAsString();
  if (s == u"1") return true;
  if (s == u"0") return false;
  return ADefault;
}

int TKnot::ReadInteger(std::u16string_view AName, int ADefault, int AMin, int AMax) {
  TKnotParam* p = FindParam(AName);
  if (!p) return ADefault;
  int v;
  if (!TryStrToInt(p->GetAsString(), v)) return ADefault;
  if (AMin != AMax && (v < AMin || v > AMax)) return ADefault;
  return v;
}

bool TKnot::ReadStream(std::u16string_view AName, TStream& AStream) {
  TKnotParam* p = FindParam(AName);
  return p ? p->ReadStream(AStream) : true;
}

void TKnot::WriteString(std::u16string_view AName, std::u16string AValue) { AddParam(AName)->SetString(std::move(AValue)); }

void TKnot::WriteInteger(std::u16string_view AName, int64_t AValue) { AddParam(AName)->SetString(IntToStr(AValue)); }

void TKnot::WriteBool(std::u16string_view AName, bool AValue) { AddParam(AName)->SetString(AValue ? u"1" : u"0"); }

void TKnot::WriteStream(std::u16string_view AName, TStream& AStream) { AddParam(AName)->SetStream(AStream); }

void TKnot::WriteStreamRef(std::u16string_view AName, TStream* AStream) { AddParam(AName)->SetStreamRef(AStream); }

bool TKnot::IsEmpty() const {
  // Empty unless some knot of the subtree has parameters, or has children under koOrderedChildren.
  auto* self = const_cast<TKnot*>(this);
  for (TKnot* k = self; k; k = NextInSubtree(self, k, true))
    if (k->FFirstParam || ((k->Options() & koOrderedChildren) && k->FirstChild())) return false;
  return true;
}

void TKnot::SetUsedDeep(bool AValue) {
  for (TKnot* k = this; k; k = NextInSubtree(this, k, true)) {
    k->SetUsed(AValue);
    for (TKnotParam* p = k->FFirstParam; p; p = p->FNext) p->FUsed = AValue;
  }
}

bool TKnot::CollectUnread(std::vector<TKnot*>* AKnots, std::vector<TKnotParam*>* AParams, bool ACheckSelf) {
  bool found = false;
  TKnot* k = this;
  while (k) {
    if ((k != this || ACheckSelf) && !k->IsUsed()) {
      found = true;
      if (AKnots) AKnots->push_back(k);
      k = NextInSubtree(this, k, false);
      continue;
    }
    for (TKnotParam* p = k->FFirstParam; p; p = p->FNext) {
      if (p->FUsed) continue;
      found = true;
      if (AParams) AParams->push_back(p);
    }
    k = NextInSubtree(this, k, true);
  }
  return found;
}

void TKnot::CopyOwnData(const TKnot& ASource) {
  FName = ASource.FName;
  FRemovedOptions = ASource.FRemovedOptions;
  FAddedOptions = ASource.FAddedOptions;
  ClearParams();
  for (TKnotParam* sp = ASource.FFirstParam; sp; sp = sp->FNext) {
    TKnotParam* p = AppendParam(sp->FName);
    switch (sp->FKind) {
      case TKnotParamKind::pkString:
        p->SetString(sp->FValue);
        break;
      case TKnotParamKind::pkStream:
        p->SetStream(*sp->FStream);
        break;
      case TKnotParamKind::pkStreamRef:
        p->SetStreamRef(sp->FStream);
        break;
      default:
        break;
    }
  }
}

void TKnot::Assign(TKnot& ASource) {
  if (&ASource == this) return;
  if (IsSelfOrAncestorOf(&ASource) || ASource.IsSelfOrAncestorOf(this)) {
    // The copy must not read what it is overwriting.
    TKnot copy;
    copy.Assign(ASource);
    Assign(copy);
    return;
  }
  CopyOwnData(ASource);
  FreeChildren();
  // Parallel pre-order walk of source and copy.
  TKnot* src = ASource.GetFirstKnot();
  TKnot* dstParent = this;
  while (src) {
    TKnot* dst = dstParent->AddKnot(std::u16string());
    dst->CopyOwnData(*src);
    if (TKnot* child = src->GetFirstKnot()) {
      src = child;
      dstParent = dst;
      continue;
    }
    while (src != &ASource && !src->NextSibling()) {
      src = src->ParentKnot();
      dstParent = dstParent->ParentKnot();
    }
    src = src == &ASource ? nullptr : src->GetNextKnot();
  }
}

void TKnot::Clear() {
  FName.clear();
  FRemovedOptions = 0;
  FAddedOptions = 0;
  ClearParams();
  FreeChildren();
  FState = 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Form placement

namespace {
bool HasSizeableBorder(TFormBorderStyle AStyle) {
  return AStyle == TFormBorderStyle::bsSizeable || AStyle == TFormBorderStyle::bsSizeToolWin;
}
bool StoresSize(TFormBorderStyle AStyle) { return AStyle == TFormBorderStyle::bsNone || HasSizeableBorder(AStyle); }
}  // namespace

void TKnot::WriteFormPlacement(const IFormPlacement& AForm) {
  if (HasSizeableBorder(AForm.BorderStyle()) && AForm.HasMaximizeIcon()) {
    const bool maximized = AForm.WindowState() == TFormWindowState::wsMaximized;
    WriteBool(u"Maximized", maximized);
    if (maximized) return;
  }
  const TPlacementRect r = AForm.RestoredBounds();
  WriteInteger(u"Left", r.Left);
  WriteInteger(u"Top", r.Top);
  if (StoresSize(AForm.BorderStyle())) {
    WriteInteger(u"Width", r.Width);
    WriteInteger(u"Height", r.Height);
  }
}

void TKnot::ReadFormPlacement(IFormPlacement& AForm) {
  if (HasSizeableBorder(AForm.BorderStyle()) && AForm.HasMaximizeIcon() && ReadBool(u"Maximized", false)) {
    AForm.Maximize();
    return;
  }
  if (!ParamExists(u"Left")) return;
  AForm.SetDesignedPosition();
  const TPlacementRect screen = AForm.VirtualScreen();
  TPlacementRect r = AForm.RestoredBounds();
  if (StoresSize(AForm.BorderStyle())) {
    r.Width = ReadInteger(u"Width", r.Width, 0, 0);
    r.Height = ReadInteger(u"Height", r.Height, 0, 0);
  }
  r.Width = std::max(r.Width, MinFormExtent);
  r.Height = std::max(r.Height, MinFormExtent);
  if (screen.Width > 0) r.Width = std::min(r.Width, std::max(screen.Width, MinFormExtent));
  if (screen.Height > 0) r.Height = std::min(r.Height, std::max(screen.Height, MinFormExtent));
  // A range that collapses to one value (a form as wide as the screen) is still a range.
  auto readIn = [this](std::u16string_view AName, int ADefault, int AMin, int AMax) {
    const int v = ReadInteger(AName, ADefault, 0, 0);
    return (v < AMin || v > AMax) ? ADefault : v;
  };
  r.Left = readIn(u"Left", r.Left, screen.Left, screen.Left + std::max(screen.Width - r.Width, 0));
  r.Top = readIn(u"Top", r.Top, screen.Top, screen.Top + std::max(screen.Height - r.Height, 0));
  AForm.SetBounds(r);
}

// ---------------------------------------------------------------------------------------------------------------
// Reading the text

namespace {

enum : uint8_t {
  ccWhite = 1,     // TAB LF CR space
  ccNameEnd = 2,   // ends a name: white, " / < = >
  ccValueEnd = 4,  // ends an unquoted value: white, / >
  ccQuote = 8,
  ccAmp = 16,
};

struct TCharClasses {
  uint8_t Of[128] = {};
  constexpr TCharClasses() {
    for (char c : {'\t', '\n', '\r', ' '}) Of[static_cast<int>(c)] = ccWhite | ccNameEnd | ccValueEnd;
    for (char c : {'"', '/', '<', '=', '>'}) Of[static_cast<int>(c)] |= ccNameEnd;
    Of[static_cast<int>('/')] |= ccValueEnd;
    Of[static_cast<int>('>')] |= ccValueEnd;
    Of[static_cast<int>('"')] |= ccQuote;
    Of[static_cast<int>('&')] |= ccAmp;
  }
};
constexpr TCharClasses kClasses;

template <class TChar>
inline bool Is(TChar C, uint8_t AClass) {
  return C < 128 && (kClasses.Of[C] & AClass);
}

// Inside quotes only a double quote or an ampersand stops a value: skips whole blocks up to the one that holds
// either.
const char16_t* SkipQuotedText(const char16_t* P, const char16_t* AEnd) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i amp = _mm_set1_epi16(u'&');
  while (AEnd - P >= 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, amp)))) break;
    P += 8;
  }
#endif
  return P;
}

const uint8_t* SkipQuotedText(const uint8_t* P, const uint8_t* AEnd) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i amp = _mm_set1_epi8('&');
  while (AEnd - P >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp)))) break;
    P += 16;
  }
#endif
  return P;
}

}  // namespace

// Reads UTF-16 text, or UTF-8 bytes directly: every character the format gives a meaning is ASCII, and no byte
// of a longer UTF-8 sequence is, so names and values are decoded only where they are kept.
template <class TChar>
class TKnotReader {
public:
  TKnotReader(TKnot& ARoot, const TChar* AText, size_t ALength) : FRoot(ARoot), P(AText), End(AText + ALength) {}

  void Run() {
    if (P == End) return Fail();
    SkipWhite();
    if (P == End || *P != '<') return Fail();
    const TChar* q = P + 1;
    while (q < End && Is(*q, ccWhite)) ++q;
    if (q < End && *q == '?') {
      q = Find(q, '?');
      if (q < End) q = Find(q, '>');
      if (q < End) q = Find(q, '<');
      if (q == End) return Fail();
      P = q;
    }
    ReadTree();
    SkipWhite();
    if (P != End) Fail();
  }

  bool Failed() const { return FFailed; }

private:
  struct TOpen {
    TKnot* Knot;          // nullptr for an element too deep to keep
    std::u16string Name;  // the name of an element not kept
  };

  void Fail() { FFailed = true; }
  // Steps over one whole character: a surrogate pair, or every byte of a UTF-8 sequence.
  void StepOver() {
    if constexpr (std::is_same_v<TChar, char16_t>) {
      const bool pair = End - P >= 2 && P[0] >= 0xD800 && P[0] <= 0xDBFF && P[1] >= 0xDC00 && P[1] <= 0xDFFF;
      P += pair ? 2 : 1;
    } else {
      char16_t units[2];
      DecodeUtf8Char(P, End, units);
    }
  }
  void SkipWhite() {
    while (P < End && Is(*P, ccWhite)) ++P;
  }
  const TChar* Find(const TChar* AFrom, char AChar) const {
    while (AFrom < End && *AFrom != AChar) ++AFrom;
    return AFrom;
  }
  std::basic_string_view<TChar> ReadName() {
    const TChar* s = P;
    while (P < End && !Is(*P, ccNameEnd)) ++P;
    return {s, static_cast<size_t>(P - s)};
  }
  static const std::u16string& NameOf(const TOpen& AOpen) { return AOpen.Knot ? AOpen.Knot->Name() : AOpen.Name; }

  // The text of a name or value as the tree keeps it.
  std::u16string_view Text(std::basic_string_view<TChar> ASource) {
    if constexpr (std::is_same_v<TChar, char16_t>) {
      return ASource;
    } else {
      FDecoded.resize(ASource.size());
      FDecoded.resize(Utf8ToUtf16(ASource.data(), ASource.size(), FDecoded.data()));
      return FDecoded;
    }
  }

  // True when AName follows at AAt, then ">" at once; AAt then stands on the ">".
  bool MatchName(const TChar*& AAt, const std::u16string& AName) const {
    const TChar* q = AAt;
    if constexpr (std::is_same_v<TChar, char16_t>) {
      if (static_cast<size_t>(End - q) <= AName.size() || std::u16string_view(q, AName.size()) != AName) return false;
      q += AName.size();
    } else {
      size_t i = 0;
      while (i < AName.size()) {
        if (q == End) return false;
        char16_t units[2];
        const size_t n = DecodeUtf8Char(q, End, units);
        if (i + n > AName.size() || units[0] != AName[i] || (n == 2 && units[1] != AName[i + 1])) return false;
        i += n;
      }
    }
    if (q == End || *q != '>') return false;
    AAt = q;
    return true;
  }

  void ReadTree() {
    FStack.push_back({&FRoot, {}});
    bool inStartTag = true;
    while (!FStack.empty()) {
      if (inStartTag) {
        inStartTag = false;
        if (!ReadStartTag(FStack.back())) FStack.pop_back();
        continue;
      }
      if (ReadContent(FStack.back())) {
        // A child starts at P.
        if (FStack.size() >= static_cast<size_t>(MaxKnotDepth) || !FStack.back().Knot) {
          if (FStack.back().Knot) Fail();
          FStack.push_back({nullptr, {}});
        } else {
          FStack.push_back({FStack.back().Knot->AddKnot(std::u16string()), {}});
        }
        inStartTag = true;
      } else {
        FStack.pop_back();
      }
    }
  }

  // From the element's "<"; returns true when content follows, false when the element has ended.
  bool ReadStartTag(TOpen& AOpen) {
    bool named = false;
    for (;;) {
      StepOver();
      SkipWhite();
      if (P == End || *P == '<') {
        Fail();
        return true;
      }
      const std::basic_string_view<TChar> name = ReadName();
      if (!named) {
        if (name.empty()) {
          Fail();
        } else {
          named = true;
          if (AOpen.Knot)
            AOpen.Knot->SetName(std::u16string(Text(name)));
          else
            AOpen.Name.assign(Text(name));
        }
      } else if (!name.empty()) {
        TKnotParam* param = AOpen.Knot ? AOpen.Knot->AppendParam(std::u16string(Text(name))) : nullptr;
        if (P < End && *P == '=') ReadValue(param);
      }
      if (P == End) {
        Fail();
        return true;
      }
      if (*P == '/') {
        const TChar* q = P + 1;
        while (q < End && Is(*q, ccWhite)) ++q;
        if (q < End && *q == '>') {
          P = q + 1;
          return false;
        }
        Fail();
        P = q;
        if (q == End || *q == '<') return false;
        continue;
      }
      if (*P == '>') {
        ++P;
        return true;
      }
    }
  }

  // P at "="; the value runs outside quotes up to white space, "/" or ">".
  void ReadValue(TKnotParam* AParam) {
    ++P;
    const TChar* s = P;
    int quotes = 0;
    bool amp = false, quoted = false;
    for (;;) {
      const uint8_t stop = quoted ? (ccQuote | ccAmp) : (ccQuote | ccAmp | ccValueEnd);
      if (quoted) P = SkipQuotedText(P, End);
      while (P < End && !Is(*P, stop)) ++P;
      if (P == End) break;
      if (*P == '"') {
        quoted = !quoted;
        ++quotes;
      } else if (*P == '&') {
        amp = true;
      } else {
        break;
      }
      ++P;
    }
    if (quoted) Fail();
    std::basic_string_view<TChar> source(s, static_cast<size_t>(P - s));
    if (source.empty() || !AParam) return;
    // The quotes are ASCII, so they can be taken off before decoding.
    if (source.size() >= 2 && source.front() == '"' && source.back() == '"') {
      source = source.substr(1, source.size() - 2);
      quotes -= 2;
    }
    const std::u16string_view value = Text(source);
    if (quotes == 0 && !amp) {
      AParam->SetString(std::u16string(value));
    } else {
      std::u16string text;
      TCustomXmlCodeWriter::UnescapeValue(value, quotes, amp, text);
      AParam->SetString(std::move(text));
    }
  }

  // Returns true when a child starts at P, false when the element has ended.
  bool ReadContent(const TOpen& AOpen) {
    for (;;) {
      SkipWhite();
      if (P == End) {
        Fail();
        return false;
      }
      if (*P != '<') {
        Fail();
        P = Find(P, '<');
        if (P == End) return false;
        continue;
      }
      const TChar* q = P + 1;
      while (q < End && Is(*q, ccWhite)) ++q;
      if (q < End && *q == '/') {
        ++q;
        while (q < End && Is(*q, ccWhite)) ++q;
        if (MatchName(q, NameOf(AOpen))) {
          P = Find(q + 1, '<');
          return false;
        }
        Fail();
      }
      return true;
    }
  }

  TKnot& FRoot;
  const TChar* P;
  const TChar* const End;
  bool FFailed = false;
  std::vector<TOpen> FStack;
  std::u16string FDecoded;
};

void TKnot::Parse(const char16_t* AText, size_t ALength) {
  Clear();
  TKnotReader<char16_t> reader(*this, AText, ALength);
  reader.Run();
  if (reader.Failed()) FState |= kParseError;
}

void TKnot::ParseUtf8(const uint8_t* ABytes, size_t ACount) {
  Clear();
  TKnotReader<uint8_t> reader(*this, ABytes, ACount);
  reader.Run();
  if (reader.Failed()) FState |= kParseError;
}

void TKnot::LoadFromStream(TStream& AStream) {
  // A memory stream is read where it lies; any other stream is copied into memory first.
  const int64_t position = AStream.Position();
  const size_t n = static_cast<size_t>(std::max<int64_t>(AStream.Size() - position, 0));
  std::vector<uint8_t> copy;
  const uint8_t* b;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&AStream)) {
    b = memory->Memory() + position;
    AStream.Seek(0, TSeekOrigin::soEnd);
  } else {
    copy.resize(n);
    AStream.ReadBuffer(copy.data(), n);
    b = copy.data();
  }
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return ParseUtf8(b + 3, n - 3);
  std::u16string text;
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE)
    text = Utf16LEToString(b + 2, n - 2);
  else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF)
    text = Utf16BEToString(b + 2, n - 2);
  else
    text = AnsiToString(b, n);
  copy = std::vector<uint8_t>();
  Parse(text.data(), text.size());
}

void TKnot::LoadFromFile(const std::u16string& AFileName) {
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(AFileName, TFileMode::fmOpenRead);
  } catch (const EFileError&) {
    if (!FileExists(AFileName)) RaiseFileNotFound(AFileName);
    throw;
  }
  LoadFromStream(*file);
}

// ---------------------------------------------------------------------------------------------------------------
// Writing the text

namespace {

void WriteParams(TCustomXmlCodeWriter& AWriter, const TKnot& AKnot, uint16_t AOptions, std::u16string& AScratch) {
  for (TKnotParam* p = AKnot.FirstParam(); p; p = p->Next()) {
    bool needsQuotes = false;
    std::u16string_view value;
    switch (p->Kind()) {
      case TKnotParamKind::pkNone:
        AWriter.WriteAttribute(p->Name());
        continue;
      case TKnotParamKind::pkString:
        TCustomXmlCodeWriter::EscapeValue(p->Value(), AOptions & koDoubleQuotes, AScratch, needsQuotes);
        value = AScratch;
        break;
      default:
        AScratch = p->GetAsString();
        value = AScratch;
        break;
    }
    if ((AOptions & koAllowUnquoted) && !needsQuotes)
      AWriter.WriteUnquotedAttribute(p->Name(), value);
    else
      AWriter.WriteQuotedAttribute(p->Name(), value);
  }
}

}  // namespace

void TKnot::WriteTo(TCodeWriter& AWriter) {
  auto* xml = dynamic_cast<TCustomXmlCodeWriter*>(&AWriter);
  if (!xml) throw EProgrammingError(u"Knots are written with an XML code writer");

  struct TFrame {
    TKnot* Knot;
    TKnot* NextChild;
    uint16_t Options;
    bool Indenting, NewLines;
  };
  std::vector<TFrame> stack;
  std::u16string scratch;

  // Emptiness of the children that koSkipEmptyChildren asks about, each subtree worked out once, children first.
  std::unordered_map<const TKnot*, bool> emptiness;
  auto isEmpty = [&emptiness](TKnot* AKnot) {
    if (auto known = emptiness.find(AKnot); known != emptiness.end()) return known->second;
    std::vector<TKnot*> order;
    for (TKnot* k = AKnot; k; k = NextInSubtree(AKnot, k, true)) order.push_back(k);
    for (auto k = order.rbegin(); k != order.rend(); ++k) {
      bool empty = !(*k)->FFirstParam;
      if (empty && (*k)->FirstChild()) {
        if ((*k)->Options() & koOrderedChildren) {
          empty = false;
        } else {
          for (TKnot* c = (*k)->FirstKnot(); c && empty; c = c->NextKnot()) empty = emptiness[c];
        }
      }
      emptiness[*k] = empty;
    }
    return emptiness[AKnot];
  };

  // After a knot's text: its line break, then the writer's switches as they were before it.
  auto finish = [&](const TFrame& AFrame) {
    if (AFrame.Knot->Parent()) {
      const TKnot* next = AFrame.Knot->NextKnot();
      if (!next || !(next->Options() & koJoinPrevious)) xml->NewLine();
    }
    xml->SetIndenting(AFrame.Indenting);
    xml->SetNewLines(AFrame.NewLines);
  };
  // Writes a knot up to its children; a knot with children stays on the stack until they are written.
  auto enter = [&](TKnot* AKnot) {
    TFrame f{AKnot, nullptr, AKnot->Options(), xml->Indenting(), xml->NewLines()};
    xml->SetIndenting(!(f.Options & koNoIndent));
    xml->SetNewLines(!(f.Options & koNoLineBreaks));
    const bool hasChildren = AKnot->FirstChild() != nullptr;
    if (!AKnot->FFirstParam && !hasChildren) {
      xml->WriteEmptyTag(AKnot->FName);
      finish(f);
      return;
    }
    xml->WriteOpenTagStart(AKnot->FName);
    WriteParams(*xml, *AKnot, f.Options, scratch);
    if (!hasChildren) {
      xml->WriteEmptyTagEnd();
      finish(f);
      return;
    }
    xml->WriteOpenTagEnd();
    xml->NewLine();
    xml->Indent();
    f.NextChild = AKnot->GetFirstKnot();
    stack.push_back(f);
  };

  enter(this);
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (TKnot* child = top.NextChild) {
      top.NextChild = child->GetNextKnot();
      if ((top.Options & koSkipEmptyChildren) && isEmpty(child)) continue;
      enter(child);
      continue;
    }
    const TFrame f = top;
    stack.pop_back();
    xml->Outdent();
    xml->WriteCloseTag(f.Knot->FName);
    finish(f);
  }
}

std::u16string TKnot::SaveToString() {
  TXmlCodeWriter writer;
  WriteTo(writer);
  return writer.Text();
}

void TKnot::SaveToStream(TStream& AStream, TKnotEncoding AEncoding) {
  TXmlCodeWriter writer;
  WriteTo(writer);
  switch (AEncoding) {
    case TKnotEncoding::keUtf8:
      AStream.WriteBuffer("\xEF\xBB\xBF", 3);
      break;
    case TKnotEncoding::keUtf16LE:
      AStream.WriteBuffer("\xFF\xFE", 2);
      break;
    case TKnotEncoding::keUtf16BE:
      AStream.WriteBuffer("\xFE\xFF", 2);
      break;
    case TKnotEncoding::keAnsi:
      break;
  }
  // A memory stream gets room for at least one byte a character at once instead of growing step by step.
  if (auto* memory = dynamic_cast<TMemoryStream*>(&AStream)) {
    const size_t characters = writer.TextLength();
    memory->SetCapacity(static_cast<size_t>(memory->Position()) + characters + characters / 8);
  }
  // Encoded a line at a time into a buffer that goes out in large blocks.
  constexpr size_t kBlock = 1 << 16;
  std::string buffer;
  buffer.reserve(kBlock + 1024);
  for (int i = 0; i < writer.LineCount(); ++i) {
    const std::u16string_view line = writer.Line(i);
    switch (AEncoding) {
      case TKnotEncoding::keUtf8:
        AppendUtf8(buffer, line);
        buffer += "\r\n";
        break;
      case TKnotEncoding::keUtf16LE:
        buffer += StringToUtf16LE(line);
        buffer.append("\r\0\n\0", 4);
        break;
      case TKnotEncoding::keUtf16BE:
        buffer += StringToUtf16BE(line);
        buffer.append("\0\r\0\n", 4);
        break;
      case TKnotEncoding::keAnsi:
        buffer += StringToAnsi(line);
        buffer += "\r\n";
        break;
    }
    if (buffer.size() >= kBlock) {
      AStream.WriteBuffer(buffer.data(), buffer.size());
      buffer.clear();
    }
  }
  AStream.WriteBuffer(buffer.data(), buffer.size());
}

void TKnot::SaveToFile(const std::u16string& AFileName, TKnotEncoding AEncoding) {
  const std::u16string temp = CreateTempFileBeside(AFileName);
  try {
    {
      TFileStream file(temp, TFileMode::fmCreate);
      SaveToStream(file, AEncoding);
      file.Flush();
    }
    MoveFileReplacing(temp, AFileName);
  } catch (...) {
    RemoveFile(temp);
    throw;
  }
}
