#include "foundation/cuKnot.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "foundation/cuClasses.h"
#include "foundation/cuKnotStore.h"

// ---------------------------------------------------------------------------------------------------------------
// Names and stores

namespace KnotParts {

void FreeBlockChain(TKnotBlock* ALast) {
  while (ALast) {
    TKnotBlock* previous = ALast->Previous;
    ::operator delete(ALast);
    ALast = previous;
  }
}

const TKnotName NoName{};

TKnot* NextInSubtree(const TKnot* ARoot, TKnot* ANode, bool ADescend) {
  if (ADescend && ANode->FirstChild()) return ANode->FirstKnot();
  while (ANode != ARoot) {
    if (ANode->NextSibling()) return ANode->NextKnot();
    ANode = ANode->ParentKnot();
  }
  return nullptr;
}

bool IsLoneSurrogateAt(std::u16string_view AText, size_t I) {
  const char16_t c = AText[I];
  if (c >= 0xD800 && c <= 0xDBFF) return !(I + 1 < AText.size() && AText[I + 1] >= 0xDC00 && AText[I + 1] <= 0xDFFF);
  if (c >= 0xDC00 && c <= 0xDFFF) return !(I > 0 && AText[I - 1] >= 0xD800 && AText[I - 1] <= 0xDBFF);
  return false;
}

}  // namespace KnotParts

using namespace KnotParts;

TKnotBlockReserve::~TKnotBlockReserve() { FreeBlockChain(FBlocks); }

TKnotBlock* TKnotBlockReserve::Take(size_t ASize) {
  // The chain is kept as the store gave it, latest and largest block first.
  if (!FBlocks || FBlocks->Size < ASize) return nullptr;
  return std::exchange(FBlocks, FBlocks->Previous);
}

void TKnotBlockReserve::Keep(TKnotBlock* ALast) {
  // Only the latest tree's blocks are kept: what an earlier one left over went unused since.
  FreeBlockChain(std::exchange(FBlocks, ALast));
}

namespace {

void AddRef(TKnotStore* AStore) {
  if (AStore) ++AStore->Refs;
}

void Release(TKnotStore* AStore) {
  if (AStore && --AStore->Refs == 0) delete AStore;
}

void CheckName(std::u16string_view AName) {
  if (!IsValidKnotName(AName))
    throw EProgrammingError(u"The name \"" + std::u16string(AName) + u"\" cannot be read back from a knot file");
}

}  // namespace

bool IsValidKnotName(std::u16string_view AName) {
  if (AName.empty()) return false;
  for (size_t i = 0; i < AName.size(); ++i) {
    const char16_t c = AName[i];
    if (c <= 0x20 || c == 0x7F || IsLoneSurrogateAt(AName, i)) return false;
    if (c < 0x80 && std::u16string_view(u"\"&'()/<=>?").find(c) != std::u16string_view::npos) return false;
  }
  return true;
}

const TKnotName* TKnotStore::InternValid(std::u16string_view AText) {
  const TKnotName* name = Find(AText);
  if (!name) {
    CheckName(AText);
    return Intern(AText);
  }
  if (!name->Valid) CheckName(AText);
  return name;
}

// ---------------------------------------------------------------------------------------------------------------
// TKnotParam

TKnotParam::~TKnotParam() { ReleaseContents(); }

const std::u16string& TKnotParam::Name() const { return FName->Text; }

void TKnotParam::SetName(std::u16string AName) { FName = FKnot->Store().InternValid(AName); }

bool TKnotParam::HasValidName() const { return FName->Valid; }

void TKnotParam::ReleaseContents() {
  if (FKind == TKnotParamKind::pkStream || FKind == TKnotParamKind::pkStreamRef)
    delete FStream;
  else if (FStorage == kOnHeap)
    delete[] FText;
  FStorage = kInline;
  FSize = 0;
}

void TKnotParam::NoteOwnedContents() {
  if (FInStore) FKnot->FState |= TKnot::kParamsOwnMemory;
}

std::string_view TKnotParam::Bytes() const {
  if (FKind != TKnotParamKind::pkString) return {};
  return {FStorage == kInline ? FInline : FText, FSize};
}

char* TKnotParam::ReserveBytes(size_t ASize) {
  Clear();
  FKind = TKnotParamKind::pkString;
  FSize = static_cast<uint32_t>(ASize);
  if (ASize <= sizeof(FInline)) return FInline;
  if (FInStore && FName->Store->Building) {
    FText = static_cast<char*>(FName->Store->Allocate(ASize, 1));
    FStorage = kInStore;
    return FText;
  }
  NoteOwnedContents();
  FText = new char[ASize];
  FStorage = kOnHeap;
  return FText;
}

void TKnotParam::SetBytes(std::string_view AText) {
  char* out = ReserveBytes(AText.size());
  if (!AText.empty()) std::memcpy(out, AText.data(), AText.size());
}

std::u16string TKnotParam::Value() const {
  const std::string_view bytes = Bytes();
  return Utf8ToUtf16(bytes.data(), bytes.size());
}

TStream* TKnotParam::Stream() const {
  return FKind == TKnotParamKind::pkStream || FKind == TKnotParamKind::pkStreamRef ? FStream->Stream : nullptr;
}

void TKnotParam::SetString(std::u16string_view AValue) {
  // Most values are ASCII: narrowed straight into their place, and written again only when they were not.
  char* out = ReserveBytes(AValue.size());
  char16_t seen = 0;
  for (size_t i = 0; i < AValue.size(); ++i) {
    seen |= AValue[i];
    out[i] = static_cast<char>(AValue[i]);
  }
  if (seen < 0x80) return;
  std::string bytes;
  AppendUtf8(bytes, AValue);
  SetBytes(bytes);
}

void TKnotParam::SetStream(TStream& AStream) {
  auto copy = std::make_unique<TMemoryStream>();
  copy->CopyFrom(AStream, 0);
  copy->SetPosition(0);
  Clear();
  NoteOwnedContents();
  FStream = new TKnotParamStream;
  FStream->Owned = std::move(copy);
  FStream->Stream = FStream->Owned.get();
  FKind = TKnotParamKind::pkStream;
}

void TKnotParam::SetStreamRef(TStream* AStream) {
  Clear();
  NoteOwnedContents();
  FStream = new TKnotParamStream;
  FStream->Stream = AStream;
  FKind = TKnotParamKind::pkStreamRef;
}

void TKnotParam::Clear() {
  ReleaseContents();
  FKind = TKnotParamKind::pkNone;
}

void TKnotParam::ToggleUsed() {
  FUsed = !FUsed;
  if (FInStore) FName->Store->NoteRead(FUsed);
}

bool TKnotParam::HasValue() {
  SetUsed(true);
  return FKind != TKnotParamKind::pkNone;
}

std::u16string TKnotParam::GetAsString() {
  SetUsed(true);
  switch (FKind) {
    case TKnotParamKind::pkString:
      return Value();
    case TKnotParamKind::pkStream:
    case TKnotParamKind::pkStreamRef: {
      TStream* stream = FStream->Stream;
      if (!stream) return {};
      const int64_t pos = stream->Position();
      stream->SetPosition(0);
      std::vector<uint8_t> bytes(static_cast<size_t>(stream->Size()));
      stream->ReadBuffer(bytes.data(), bytes.size());
      stream->SetPosition(pos);
      return BinToHex(bytes.data(), bytes.size());
    }
    default:
      return {};
  }
}

void TKnotParam::GetAsString(std::u16string& AText) {
  if (FKind != TKnotParamKind::pkString) {
    AText = GetAsString();
    return;
  }
  SetUsed(true);
  const std::string_view bytes = Bytes();
  AText.resize(bytes.size());  // never more characters than bytes
  AText.resize(Utf8ToUtf16(bytes.data(), bytes.size(), AText.data()));
}

bool TKnotParam::IsString(std::u16string_view AText) {
  if (FKind != TKnotParamKind::pkString) return GetAsString() == AText;
  SetUsed(true);
  const std::string_view bytes = Bytes();
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* const end = p + bytes.size();
  size_t i = 0;
  while (p < end) {
    char16_t units[2];
    const size_t n = DecodeUtf8Char(p, end, units);
    for (size_t k = 0; k < n; ++k, ++i)
      if (i >= AText.size() || AText[i] != units[k]) return false;
  }
  return i == AText.size();
}

bool TKnotParam::GetAsInteger(int& AValue) {
  if (FKind != TKnotParamKind::pkString) return TryStrToInt(GetAsString(), AValue);
  SetUsed(true);
  return TryStrToInt(Bytes(), AValue);
}

bool TKnotParam::ReadStream(TStream& AStream) {
  SetUsed(true);
  switch (FKind) {
    case TKnotParamKind::pkString: {
      const std::u16string value = Value();
      if (value.size() % 2) return false;
      std::vector<uint8_t> bytes(value.size() / 2);
      const size_t decoded = HexToBin(value, bytes.data(), bytes.size());
      AStream.SetSize(0);
      AStream.SetPosition(0);
      if (decoded < bytes.size()) return false;
      AStream.WriteBuffer(bytes.data(), bytes.size());
      AStream.SetPosition(0);
      return true;
    }
    case TKnotParamKind::pkStream:
    case TKnotParamKind::pkStreamRef:
      if (FStream->Stream && FStream->Stream != &AStream) AStream.CopyFrom(*FStream->Stream, 0);
      return true;
    default:
      return true;
  }
}

std::u16string TKnotParam::GetPath() const { return FKnot->GetPath() + u"." + FName->Text; }

// ---------------------------------------------------------------------------------------------------------------
// TKnot: tree and parameters

TKnot::TKnot() : FName(&NoName) {}

TKnot::TKnot(std::u16string AName) : FName(&NoName) {
  CheckName(AName);
  SetInternedName(Store().Intern(AName));
}

TKnot::TKnot(const TKnotName* AName, uint8_t AState) : FName(AName), FState(AState) { AddRef(AName->Store); }

TKnot::~TKnot() {
  FreeChildren();
  ClearParams();
  if (!(FState & kInStore)) Release(FName->Store);
}

void TKnot::operator delete(TKnot* AKnot, std::destroying_delete_t) {
  const bool inStore = AKnot->FState & kInStore;
  TKnotStore* store = AKnot->FName->Store;
  AKnot->~TKnot();
  // The store may hold the knot's own memory, so it is let go of only now.
  if (inStore)
    Release(store);
  else
    ::operator delete(AKnot);
}

TKnotStore& TKnot::Store() {
  if (!FName->Store) SetInternedName((new TKnotStore)->Intern(FName->Text));
  return *FName->Store;
}

void TKnot::SetInternedName(const TKnotName* AName) {
  TKnotStore* old = FName->Store;
  if (AName->Store == old) {
    FName = AName;
    return;
  }
  AddRef(AName->Store);
  FName = AName;
  Release(old);
}

const std::u16string& TKnot::Name() const { return FName->Text; }

bool TKnot::HasValidName() const { return FName->Valid; }

void TKnot::ToggleUsed() {
  FState ^= kUsed;
  if (FState & kCounted) FName->Store->NoteRead(FState & kUsed);
}

void TKnot::SetName(std::u16string AName) { SetInternedName(Store().InternValid(AName)); }

void TKnot::FreeChildren() {
  // Leaves first, each forgetting its links instead of leaving its parent through the hooks; nothing else
  // looks at the subtree meanwhile.
  TKnot* k = FirstKnot();
  if (!k) return;
  for (;;) {
    while (k->FirstChild()) k = k->FirstKnot();
    TKnot* const next = k->NextKnot();
    TKnot* const parent = k->ParentKnot();
    k->ForgetLinks();
    delete k;
    if (next) {
      k = next;
      continue;
    }
    parent->ForgetChildren();
    if (parent == this) return;
    k = parent;
  }
}

void TKnot::ChildAdding(TNode* AChild, TNode* ABefore) {
  // Nearly every child is a plain knot, told apart by its type alone before the full cast.
  if (typeid(*AChild) != typeid(TKnot) && !dynamic_cast<TKnot*>(AChild))
    throw EProgrammingError(u"Only knots can be children of a knot");
  if (FName->Store) FName->Store->Joined = true;
  TNode::ChildAdding(AChild, ABefore);
}

void TKnot::ParentChanged() {
  if (TKnot* parent = ParentKnot()) SetOptions(parent->FInheritedOptions);
}

void TKnot::SetOptions(TKnotOptions AOptions) {
  if (FInheritedOptions == AOptions) return;
  FInheritedOptions = AOptions;
  for (TKnot* k = NextInSubtree(this, this, true); k; k = NextInSubtree(this, k, true)) k->FInheritedOptions = AOptions;
}

TKnot* TKnot::AddKnotNamed(const TKnotName* AName) {
  TKnotStore* store = AName->Store;
  auto* knot = store && store->Building ? new (store->Allocate(sizeof(TKnot), alignof(TKnot))) TKnot(AName, kInStore)
                                        : new TKnot(AName, 0);
  if (store) store->Joined = true;
  // A fresh knot gives the move hooks nothing to do but the inheritance of options.
  knot->FInheritedOptions = FInheritedOptions;
  AppendFreshChild(knot);
  return knot;
}

TKnot* TKnot::AddKnot(std::u16string AName) { return AddKnotNamed(Store().InternValid(AName)); }

TKnot* TKnot::FindSibling(TKnot* AFrom, std::u16string_view AName) {
  if (!AFrom) return nullptr;
  // Siblings mostly share the store of the first; their names then match by address.
  const TKnotStore* store = AFrom->FName->Store;
  const TKnotName* interned = store ? store->Find(AName) : nullptr;
  for (TKnot* k = AFrom; k; k = k->NextKnot()) {
    const bool match = store && k->FName->Store == store ? k->FName == interned : k->Name() == AName;
    if (match) {
      k->SetUsed(true);
      return k;
    }
  }
  return nullptr;
}

TKnot* TKnot::FindKnot(std::u16string_view AName) { return FindSibling(FirstKnot(), AName); }

TKnot* TKnot::FindNext(std::u16string_view AName) { return FindSibling(NextKnot(), AName); }

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
  std::u16string path = chain.back()->Name();
  for (size_t i = chain.size() - 1; i-- > 0;) {
    const TKnot* k = chain[i];
    path += u'.';
    path += k->Name();
    if (k->ParentKnot()->Options().Contains(koOrderedChildren)) {
      path += u'[';
      path += IntToStr(k->GetIndex() + 1);
      path += u']';
    }
  }
  return path;
}

TKnotParam* TKnot::FindParam(std::u16string_view AName) const {
  // Most knots have a few parameters: comparing their names costs less than hashing AName. Further along, the
  // name is looked up once and compared by address, since parameter names lie in the store of their knot.
  constexpr int ComparedByText = 4;
  TKnotParam* p = FFirstParam;
  for (int i = 0; p && i < ComparedByText; p = p->FNext, ++i)
    if (TKnotStore::SameText(p->FName->Text, AName)) return p;
  if (!p) return nullptr;
  const TKnotName* interned = FName->Store->Find(AName);
  if (!interned) return nullptr;
  for (; p; p = p->FNext)
    if (p->FName == interned) return p;
  return nullptr;
}

bool TKnot::ParamExists(std::u16string_view AName) {
  TKnotParam* p = FindParam(AName);
  if (p) p->SetUsed(true);
  return p != nullptr;
}

TKnotParam* TKnot::AppendParam(const TKnotName* AName) {
  AName->Store->Joined = true;
  TKnotParam* p;
  if (AName->Store->Building) {
    p = new (AName->Store->Allocate(sizeof(TKnotParam), alignof(TKnotParam))) TKnotParam(this, AName);
    p->FInStore = true;
  } else {
    p = new TKnotParam(this, AName);
    if (FState & kInStore) FState |= kParamsOwnMemory;
  }
  if (FLastParam)
    FLastParam->FNext = p;
  else
    FFirstParam = p;
  FLastParam = p;
  return p;
}

TKnotParam* TKnot::AddParam(std::u16string_view AName) {
  if (Options().Contains(koUniqueParams))
    if (TKnotParam* p = FindParam(AName)) return p;
  return AppendParam(Store().InternValid(AName));
}

void TKnot::ClearParams() {
  TKnotParam* p = FFirstParam;
  FFirstParam = FLastParam = nullptr;
  // Parameters read into the store own nothing until they are changed.
  if ((FState & (kInStore | kParamsOwnMemory)) == kInStore) return;
  FState &= ~kParamsOwnMemory;
  while (p) {
    TKnotParam* next = p->FNext;
    // A parameter in the store needs only its own contents freed.
    if (p->FInStore)
      p->ReleaseContents();
    else
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
  if (p->IsString(u"1")) return true;
  if (p->IsString(u"0")) return false;
  return ADefault;
}

int TKnot::ReadInteger(std::u16string_view AName, int ADefault, int AMin, int AMax) {
  TKnotParam* p = FindParam(AName);
  if (!p) return ADefault;
  int v;
  if (!p->GetAsInteger(v)) return ADefault;
  if (AMin != AMax && (v < AMin || v > AMax)) return ADefault;
  return v;
}

bool TKnot::ReadStream(std::u16string_view AName, TStream& AStream) {
  TKnotParam* p = FindParam(AName);
  return p ? p->ReadStream(AStream) : true;
}

void TKnot::WriteString(std::u16string_view AName, std::u16string_view AValue) { AddParam(AName)->SetString(AValue); }

void TKnot::WriteInteger(std::u16string_view AName, int64_t AValue) { AddParam(AName)->SetString(IntToStr(AValue)); }

void TKnot::WriteBool(std::u16string_view AName, bool AValue) { AddParam(AName)->SetString(AValue ? u"1" : u"0"); }

void TKnot::WriteStream(std::u16string_view AName, TStream& AStream) { AddParam(AName)->SetStream(AStream); }

void TKnot::WriteStreamRef(std::u16string_view AName, TStream* AStream) { AddParam(AName)->SetStreamRef(AStream); }

bool TKnot::IsEmpty() const {
  // Empty unless some knot of the subtree has parameters, or has children under koOrderedChildren.
  auto* self = const_cast<TKnot*>(this);
  for (TKnot* k = self; k; k = NextInSubtree(self, k, true))
    if (k->FFirstParam || (k->Options().Contains(koOrderedChildren) && k->FirstChild())) return false;
  return true;
}

void TKnot::SetUsedDeep(bool AValue) {
  for (TKnot* k = this; k; k = NextInSubtree(this, k, true)) {
    k->SetUsed(AValue);
    for (TKnotParam* p = k->FFirstParam; p; p = p->FNext) p->SetUsed(AValue);
  }
}

bool TKnot::CollectUnread(std::vector<TKnot*>* AKnots, std::vector<TKnotParam*>* AParams, bool ACheckSelf) {
  // Below this knot lie only what the reader made in its store and what joined later; a load that read all of
  // the former while nothing joined leaves nothing to look for.
  if (FName->Store && FName->Store->AllRead() && (!ACheckSelf || IsUsed())) return false;
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

TKnotParseError TKnot::ParseErrorReason() const {
  return FName->Store ? FName->Store->Reason : TKnotParseError::peNone;
}
size_t TKnot::ParseErrorOffset() const { return FName->Store ? FName->Store->ErrorOffset : 0; }
size_t TKnot::InvalidUtf8Count() const { return FName->Store ? FName->Store->InvalidUtf8 : 0; }
size_t TKnot::InvalidUtf8Offset() const { return FName->Store ? FName->Store->InvalidUtf8Offset : 0; }

void TKnot::CopyOwnData(const TKnot& ASource) {
  // Names are copied unchecked: a copy keeps even a name the reader gave.
  TKnotStore& store = Store();
  SetInternedName(store.Intern(ASource.Name()));
  FRemovedOptions = ASource.FRemovedOptions;
  FAddedOptions = ASource.FAddedOptions;
  ClearParams();
  for (TKnotParam* sp = ASource.FFirstParam; sp; sp = sp->FNext) {
    TKnotParam* p = AppendParam(store.Intern(sp->Name()));
    switch (sp->FKind) {
      case TKnotParamKind::pkString:
        p->SetBytes(sp->Bytes());
        break;
      case TKnotParamKind::pkStream:
        p->SetStream(*sp->FStream->Stream);
        break;
      case TKnotParamKind::pkStreamRef:
        p->SetStreamRef(sp->FStream->Stream);
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
    TKnot* dst = dstParent->AddKnotNamed(dstParent->Store().Intern(src->Name()));
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
  FRemovedOptions = {};
  FAddedOptions = {};
  ClearParams();
  FreeChildren();
  if (FName->Store) SetInternedName(FName->Store->Intern(u""));
  SetUsed(false);
  FState &= kInStore | kCounted;
}

TKnotBuildScope::TKnotBuildScope(TKnot& AKnot, const std::shared_ptr<TKnotBlockReserve>& AReserve)
    : FStore(&AKnot.Store()) {
  if (AReserve && !FStore->Reserve) FStore->Reserve = AReserve;
  AddRef(FStore);
  ++FStore->Building;
}

TKnotBuildScope::~TKnotBuildScope() {
  --FStore->Building;
  Release(FStore);
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
