#include "foundation/cuKnot.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/cuClasses.h"
#include "foundation/cuCodeWriters.h"
#include "foundation/cuFiles.h"

// ---------------------------------------------------------------------------------------------------------------
// Names and stores

struct TKnotName {
  std::u16string Text;
  std::string Utf8;
  TKnotStore* Store;
  size_t Hash;
  // Whether the reader reads the name back (IsValidKnotName), worked out once per name.
  bool Valid;
};

struct TKnotParamStream {
  TStream* Stream = nullptr;
  std::unique_ptr<TStream> Owned;
};

// The head of a store's block.
struct TKnotBlock {
  TKnotBlock* Previous;
  size_t Size;
};

namespace {

void FreeBlockChain(TKnotBlock* ALast) {
  while (ALast) {
    TKnotBlock* previous = ALast->Previous;
    ::operator delete(ALast);
    ALast = previous;
  }
}

}  // namespace

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

struct TKnotStore {
  // Knots whose name lies here; the last one frees the store.
  size_t Refs = 0;
  // The names, and an open-addressed table of them: a save looks a name up for every knot and parameter it makes.
  std::vector<std::unique_ptr<TKnotName>> Names;
  std::vector<const TKnotName*> Slots;
  // Blocks for the knots, parameters and values of a read tree, each starting with the previous block.
  void* LastBlock = nullptr;
  // Where a store built under a reserve takes its blocks from and gives them back to.
  std::shared_ptr<TKnotBlockReserve> Reserve;
  char* Cursor = nullptr;
  char* Limit = nullptr;
  size_t Allocated = 0;
  // Open build scopes: knots, parameters and strings added meanwhile come from the blocks.
  int Building = 0;
  // What the last reading met.
  TKnotParseError Reason = TKnotParseError::peNone;
  size_t ErrorOffset = 0;
  size_t InvalidUtf8 = 0;
  size_t InvalidUtf8Offset = 0;
  // Knots and parameters the reader made here, and how many of them are flagged as read (each counts while it is
  // flagged, or was when it went). Joined: something else came into a tree of the store since.
  size_t Made = 0;
  size_t Read = 0;
  bool Joined = false;

  TKnotStore() = default;
  TKnotStore(const TKnotStore&) = delete;
  TKnotStore& operator=(const TKnotStore&) = delete;
  ~TKnotStore() { FreeBlocks(); }

  // From the length and the first and last four characters: a store holds a few dozen names, and a name that
  // shares all of them only probes one slot further.
  static size_t HashOf(std::u16string_view AText) {
    uint64_t hash = AText.size() * 0x9E3779B97F4A7C15ull;
    if (AText.size() >= 4) {
      uint64_t head, tail;
      std::memcpy(&head, AText.data(), sizeof(head));
      std::memcpy(&tail, AText.data() + AText.size() - 4, sizeof(tail));
      hash ^= head * 0xC2B2AE3D27D4EB4Full + tail;
    } else {
      for (const char16_t c : AText) hash = (hash ^ c) * 0x100000001B3ull;
    }
    hash *= 0xFF51AFD7ED558CCDull;
    return static_cast<size_t>(hash ^ (hash >> 32));
  }
  // Most names have four to eight characters: those compare as the two words that HashOf read, which overlap for
  // fewer than eight.
  static bool SameText(std::u16string_view A, std::u16string_view B) {
    const size_t size = A.size();
    if (size != B.size()) return false;
    if (size < 4 || size > 8) return A == B;
    uint64_t a[2], b[2];
    std::memcpy(&a[0], A.data(), sizeof(a[0]));
    std::memcpy(&b[0], B.data(), sizeof(b[0]));
    std::memcpy(&a[1], A.data() + size - 4, sizeof(a[1]));
    std::memcpy(&b[1], B.data() + size - 4, sizeof(b[1]));
    return ((a[0] ^ b[0]) | (a[1] ^ b[1])) == 0;
  }
  // The slot holding AText, else the free slot where it would go; the table is never full.
  size_t Probe(std::u16string_view AText, size_t AHash) const {
    const size_t mask = Slots.size() - 1;
    for (size_t i = AHash & mask;; i = (i + 1) & mask) {
      const TKnotName* name = Slots[i];
      if (!name || (name->Hash == AHash && SameText(name->Text, AText))) return i;
    }
  }
  const TKnotName* Intern(std::u16string_view AText) {
    const size_t hash = HashOf(AText);
    if (!Slots.empty())
      if (const TKnotName* found = Slots[Probe(AText, hash)]) return found;
    // At most half full, so probes stay short.
    if ((Names.size() + 1) * 2 > Slots.size()) {
      Slots.assign(Slots.empty() ? 32 : Slots.size() * 2, nullptr);
      for (const auto& name : Names) Slots[Probe(name->Text, name->Hash)] = name.get();
    }
    Names.push_back(std::make_unique<TKnotName>(
        TKnotName{std::u16string(AText), Utf16ToUtf8(AText), this, hash, IsValidKnotName(AText)}));
    return Slots[Probe(AText, hash)] = Names.back().get();
  }
  // A tree of the store then holds nothing unread but perhaps its root: CollectUnread need not look.
  bool AllRead() const { return Made && !Joined && Read == Made; }
  void NoteRead(bool AValue) { AValue ? ++Read : --Read; }
  void ForgetCounts() {
    Made = Read = 0;
    Joined = false;
  }

  const TKnotName* Find(std::u16string_view AText) const {
    return Slots.empty() ? nullptr : Slots[Probe(AText, HashOf(AText))];
  }
  // A name a knot or parameter may be given: raises EProgrammingError for one the reader could not read back.
  const TKnotName* InternValid(std::u16string_view AText);
  void ClearNames() {
    Slots.clear();
    Names.clear();
  }

  void* Allocate(size_t ASize, size_t AAlign) {
    char* p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(Cursor) + AAlign - 1) & ~(uintptr_t(AAlign) - 1));
    if (!Cursor || p > Limit || static_cast<size_t>(Limit - p) < ASize) return AllocateInNewBlock(ASize, AAlign);
    Cursor = p + ASize;
    return p;
  }
  [[gnu::noinline]] void* AllocateInNewBlock(size_t ASize, size_t AAlign) {
    // Blocks grow with the tree, so a large file needs few and the unused end of the last stays small.
    const size_t least = ASize + AAlign + sizeof(TKnotBlock);
    auto* block = Reserve ? Reserve->Take(least) : nullptr;
    if (!block) {
      const size_t size = std::max(least + 64, std::clamp<size_t>(Allocated / 4, size_t(16) << 10, size_t(4) << 20));
      block = new (::operator new(size)) TKnotBlock{nullptr, size};
    }
    block->Previous = static_cast<TKnotBlock*>(LastBlock);
    LastBlock = block;
    Allocated += block->Size;
    char* const start = reinterpret_cast<char*>(block);
    Limit = start + block->Size;
    char* const p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start + sizeof(TKnotBlock)) + AAlign - 1) &
                                            ~(uintptr_t(AAlign) - 1));
    Cursor = p + ASize;
    return p;
  }

  // Gives back the end of the latest allocation, which ended at the cursor.
  void GiveBack(char* AEnd) { Cursor = AEnd; }

  void FreeBlocks() {
    if (Reserve)
      Reserve->Keep(static_cast<TKnotBlock*>(LastBlock));
    else
      FreeBlockChain(static_cast<TKnotBlock*>(LastBlock));
    LastBlock = nullptr;
    Cursor = Limit = nullptr;
    Allocated = 0;
  }
};

namespace {

const TKnotName kNoName{};

void AddRef(TKnotStore* AStore) {
  if (AStore) ++AStore->Refs;
}

void Release(TKnotStore* AStore) {
  if (AStore && --AStore->Refs == 0) delete AStore;
}

// Pre-order successor of ANode inside the subtree of ARoot; ADescend false skips ANode's children.
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

TKnot::TKnot() : FName(&kNoName) {}

TKnot::TKnot(std::u16string AName) : FName(&kNoName) {
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
  uint8_t Of[256] = {};
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
  if constexpr (sizeof(TChar) == 1)
    return kClasses.Of[C] & AClass;
  else
    return C < 128 && (kClasses.Of[C] & AClass);
}

// The ASize bytes at P (at most eight) as one word, the bytes beyond them zero; eight bytes from P may be read.
inline uint64_t WordOf(const uint8_t* P, size_t ASize) {
  uint64_t word;
  std::memcpy(&word, P, sizeof(word));
  return ASize >= 8 ? word : word & ((uint64_t(1) << (8 * ASize)) - 1);
}

// Whether ASize bytes at A and at B are the same; sixteen bytes from either may be read.
inline bool SameBytes(const uint8_t* A, const uint8_t* B, size_t ASize) {
  if (ASize > 16) return std::memcmp(A, B, ASize) == 0;
  if (ASize <= 8) return WordOf(A, ASize) == WordOf(B, ASize);
  return WordOf(A, 8) == WordOf(B, 8) && WordOf(A + ASize - 8, 8) == WordOf(B + ASize - 8, 8);
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

// The first byte of a UTF-8 sequence the decoder reads as U+FFFD without it being written so; AEnd when all are
// good. ASend is set past that sequence.
const uint8_t* FindBadUtf8(const uint8_t* P, const uint8_t* AEnd, const uint8_t*& ASequenceEnd) {
  while (P < AEnd) {
#if defined(__SSE2__)
    while (AEnd - P >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
      if (_mm_movemask_epi8(v)) break;
      P += 16;
    }
#endif
    while (P < AEnd && *P < 0x80) ++P;
    if (P == AEnd) break;
    const uint8_t* start = P;
    char16_t units[2];
    DecodeUtf8Char(P, AEnd, units);
    if (units[0] == 0xFFFD && !(P - start == 3 && start[0] == 0xEF && start[1] == 0xBF && start[2] == 0xBD)) {
      ASequenceEnd = P;
      return start;
    }
  }
  ASequenceEnd = AEnd;
  return AEnd;
}

// True when every sequence is well-formed UTF-8: FindBadUtf8 finds nothing.
bool IsValidUtf8(const uint8_t* P, const uint8_t* AEnd) {
  while (P < AEnd) {
#if defined(__SSE2__)
    while (AEnd - P >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
      const int high = _mm_movemask_epi8(v);
      if (high) {
        P += __builtin_ctz(static_cast<unsigned>(high));
        break;
      }
      P += 16;
    }
#endif
    // Sequences one after another, as in a word of a non-Latin script, until ASCII comes again.
    while (P < AEnd) {
      const uint8_t b = *P;
      if (b < 0x80) {
        ++P;
        break;
      }
      // The allowed range of the first continuation byte keeps out overlong forms, surrogates and values above
      // U+10FFFF.
      uint8_t lo = 0x80, hi = 0xBF;
      int need;
      if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
      } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
      } else {
        return false;
      }
      if (AEnd - P <= need || P[1] < lo || P[1] > hi) return false;
      for (int k = 2; k <= need; ++k)
        if ((P[k] & 0xC0) != 0x80) return false;
      P += need + 1;
    }
  }
  return true;
}

// In a double-byte code page: whether no lead byte takes a byte that means something in a knot text (all of which lie
// below 0x40, where no byte that follows a lead byte of a character does). Then markup found byte by byte stands
// between whole characters.
bool MarkupBetweenCharacters(const TAnsiBytes& AAnsi, const uint8_t* P, const uint8_t* AEnd) {
  while (P < AEnd) {
    if (!AAnsi.Lead[*P++]) continue;
    if (P == AEnd) break;
    if (*P++ < 0x40) return false;
  }
  return true;
}

void AppendCodePoint(std::string& AOut, uint32_t C) {
  if (C < 0x80) {
    AOut.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    AOut.push_back(static_cast<char>(0xC0 | (C >> 6)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    AOut.push_back(static_cast<char>(0xE0 | (C >> 12)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    AOut.push_back(static_cast<char>(0xF0 | (C >> 18)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// The code unit named by an entity's text (between "&" and ";"), or -1; the same entities as the code writer's.
int DecodeEntity(std::string_view AName) {
  if (AName == "quot") return '"';
  if (AName == "lt") return '<';
  if (AName == "gt") return '>';
  if (AName == "amp") return '&';
  if (AName.size() < 2 || AName[0] != '#') return -1;
  std::string_view digits = AName.substr(1);
  unsigned base = 10;
  if (digits.size() > 1 && (digits[0] == 'x' || digits[0] == 'X' || digits[0] == '$')) {
    digits.remove_prefix(1);
    base = 16;
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  for (const char c : digits) {
    const int d = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return -1;
    value = value * base + static_cast<uint32_t>(d);
    if (value > 0xFFFF) return -1;
  }
  return static_cast<int>(value);
}

// TCustomXmlCodeWriter::UnescapeValue on valid UTF-8, giving UTF-8: every character it looks at is ASCII. Units
// from entities pair up as surrogates where they follow each other; a lone one becomes U+FFFD.
void UnescapeUtf8(std::string_view AValue, int AQuoteCount, bool AAmpersandSeen, std::string& AResult,
                  std::string& AScratch) {
  if (AQuoteCount > 1) {
    int pairs = AQuoteCount / 2;
    AScratch.clear();
    size_t i = AValue.size();
    while (i > 0) {
      if (pairs > 0 && i >= 2 && AValue[i - 1] == '"' && AValue[i - 2] == '"') {
        AScratch.push_back('"');
        i -= 2;
        --pairs;
      } else {
        AScratch.push_back(AValue[--i]);
      }
    }
    std::reverse(AScratch.begin(), AScratch.end());
    AValue = AScratch;
  }
  if (!AAmpersandSeen) {
    AResult.assign(AValue);
    return;
  }
  AResult.clear();
  const size_t n = AValue.size();
  size_t semi = 0;  // next ";" at or after the search start, kept across ampersands
  bool noSemi = false;
  uint32_t high = 0;  // a high surrogate from an entity, waiting for a low one
  auto flushHigh = [&] {
    if (high) AppendCodePoint(AResult, 0xFFFD);
    high = 0;
  };
  size_t i = 0;
  while (i < n) {
    const size_t amp = AValue.find('&', i);
    if (amp == std::string_view::npos) {
      if (i < n) flushHigh();
      AResult.append(AValue.substr(i));
      break;
    }
    if (amp > i) flushHigh();
    AResult.append(AValue.substr(i, amp - i));
    if (!noSemi && semi <= amp) {
      semi = AValue.find(';', amp + 1);
      if (semi == std::string_view::npos) noSemi = true;
    }
    int decoded = -1;
    if (!noSemi && semi > amp + 1) {
      // No entity holds a "&", so a candidate running into one is unknown; this keeps the work linear.
      const std::string_view name = AValue.substr(amp + 1, semi - amp - 1);
      if (name.find('&') == std::string_view::npos) decoded = DecodeEntity(name);
    }
    if (decoded < 0) {
      flushHigh();
      AResult.push_back('&');
      i = amp + 1;
      continue;
    }
    const auto unit = static_cast<uint32_t>(decoded);
    if (unit >= 0xDC00 && unit <= 0xDFFF && high) {
      AppendCodePoint(AResult, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      high = 0;
    } else {
      flushHigh();
      if (unit >= 0xD800 && unit <= 0xDBFF)
        high = unit;
      else
        AppendCodePoint(AResult, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    i = semi + 1;
  }
  flushHigh();
}

// C as UTF-8 at AOut, which has room for four bytes; returns the end.
char* PutCodePoint(char* AOut, uint32_t C) {
  if (C < 0x80) {
    *AOut++ = static_cast<char>(C);
  } else if (C < 0x800) {
    *AOut++ = static_cast<char>(0xC0 | (C >> 6));
    *AOut++ = static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    *AOut++ = static_cast<char>(0xE0 | (C >> 12));
    *AOut++ = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    *AOut++ = static_cast<char>(0x80 | (C & 0x3F));
  } else {
    *AOut++ = static_cast<char>(0xF0 | (C >> 18));
    *AOut++ = static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    *AOut++ = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    *AOut++ = static_cast<char>(0x80 | (C & 0x3F));
  }
  return AOut;
}

// The character of the entity at P ("&", its name, ";") when it is one a writer makes: a named one or up to five
// decimal digits. ASemicolon is then set to its ";". Else -1, and the entity is left to DecodeEntity.
int WrittenEntityAt(const uint8_t* P, const uint8_t* AEnd, const uint8_t*& ASemicolon) {
  const size_t left = static_cast<size_t>(AEnd - P);
  if (left < 4) return -1;
  int c = -1;
  size_t size = 0;
  if (P[1] == '#') {
    uint32_t value = 0;
    size_t digits = 0;
    while (digits < 5 && 2 + digits < left && P[2 + digits] >= '0' && P[2 + digits] <= '9')
      value = value * 10 + (P[2 + digits++] - '0');
    if (!digits || value > 0xFFFF) return -1;
    c = static_cast<int>(value);
    size = 2 + digits;
  } else if (P[2] == 't' && (P[1] == 'l' || P[1] == 'g')) {
    c = P[1] == 'l' ? '<' : '>';
    size = 3;
  } else if (left >= 5 && P[1] == 'a' && P[2] == 'm' && P[3] == 'p') {
    c = '&';
    size = 4;
  } else if (left >= 6 && P[1] == 'q' && P[2] == 'u' && P[3] == 'o' && P[4] == 't') {
    c = '"';
    size = 5;
  }
  if (c < 0 || size >= left || P[size] != ';') return -1;
  ASemicolon = P + size;
  return c;
}

// A value without inner quotes from UTF-8 to clean UTF-8 in one pass, as UnescapeUtf8 after replacing bad
// sequences would give it. Bytes up to AReadable (at least AEnd) may be read, not only the value's. AOut has room
// for three bytes a source byte and sixteen more. Returns the end of the output; ABad counts the bad sequences,
// AFirstBad is the first.
char* CopyValueUtf8(const uint8_t* P, const uint8_t* AEnd, const uint8_t* AReadable, char* AOut, size_t& ABad,
                    const uint8_t*& AFirstBad) {
  uint32_t high = 0;  // a high surrogate from an entity, waiting for a low one
  while (P < AEnd) {
    if (high && *P != '&') {
      AOut = PutCodePoint(AOut, 0xFFFD);
      high = 0;
    }
#if defined(__SSE2__)
    // Sixteen bytes at a time up to an ampersand or a longer sequence other than a good two-byte one; the block that
    // stops it still gives its start. A block may reach past the value's end into readable text, whose bytes then
    // count as a stop.
    const __m128i amp = _mm_set1_epi8('&');
    while (AReadable - P >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), v);
      const unsigned inside = AEnd - P < 16 ? (1u << (AEnd - P)) - 1 : 0xFFFF;
      unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, amp)));
      if (const unsigned longer = static_cast<unsigned>(_mm_movemask_epi8(v))) {
        // A lead byte C2..DF followed by a continuation byte 80..BF inside the value is a good character whole.
        const __m128i fromC2 = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(0xC2)));
        const unsigned leads =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(fromC2, _mm_set1_epi8(0x1D)), fromC2)));
        const unsigned follows =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                _mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))), _mm_set1_epi8(static_cast<char>(0x80))))) &
            inside;
        const unsigned pairs = leads & (follows >> 1);
        stop |= longer & ~(pairs | (pairs << 1));
      }
      stop |= ~inside & 0xFFFF;
      if (stop) {
        const int plain = __builtin_ctz(stop);
        P += plain;
        AOut += plain;
        break;
      }
      P += 16;
      AOut += 16;
    }
    if (P == AEnd) break;
#endif
    uint8_t b = *P;
    if (b < 0x80 && b != '&') {
      *AOut++ = static_cast<char>(b);
      ++P;
      continue;
    }
    // Two- and three-byte sequences of the common ranges need no decoding to be known good; a word of a non-Latin
    // script is a run of them.
    bool copied = false;
    for (;;) {
      if (b >= 0xC2 && b <= 0xDF && AEnd - P >= 2 && (P[1] & 0xC0) == 0x80) {
        AOut[0] = static_cast<char>(b);
        AOut[1] = static_cast<char>(P[1]);
        AOut += 2;
        P += 2;
      } else if (((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) && AEnd - P >= 3 && (P[1] & 0xC0) == 0x80 &&
                 (P[2] & 0xC0) == 0x80) {
        AOut[0] = static_cast<char>(b);
        AOut[1] = static_cast<char>(P[1]);
        AOut[2] = static_cast<char>(P[2]);
        AOut += 3;
        P += 3;
      } else {
        break;
      }
      copied = true;
      if (P == AEnd) break;
      b = *P;
    }
    if (copied) continue;
    if (b >= 0x80) {
      const uint8_t* start = P;
      char16_t units[2];
      DecodeUtf8Char(P, AEnd, units);
      if (units[0] == 0xFFFD && !(P - start == 3 && start[0] == 0xEF && start[1] == 0xBF && start[2] == 0xBD)) {
        if (!ABad++) AFirstBad = start;
        std::memcpy(AOut, "\xEF\xBF\xBD", 3);
        AOut += 3;
      } else {
        std::memcpy(AOut, start, static_cast<size_t>(P - start));
        AOut += P - start;
      }
      continue;
    }
    // An entity runs to the first ";" unless a "&" comes first.
    const uint8_t* q;
    int decoded = WrittenEntityAt(P, AEnd, q);
    if (decoded < 0) {
      q = P + 1;
      while (q < AEnd && *q != ';' && *q != '&') ++q;
      if (q < AEnd && *q == ';' && q > P + 1)
        decoded = DecodeEntity(std::string_view(reinterpret_cast<const char*>(P + 1), static_cast<size_t>(q - P - 1)));
    }
    if (decoded < 0) {
      if (high) AOut = PutCodePoint(AOut, 0xFFFD);
      high = 0;
      *AOut++ = '&';
      ++P;
      continue;
    }
    P = q + 1;
    const auto unit = static_cast<uint32_t>(decoded);
    if (unit >= 0xDC00 && unit <= 0xDFFF && high) {
      AOut = PutCodePoint(AOut, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      high = 0;
      continue;
    }
    if (high) AOut = PutCodePoint(AOut, 0xFFFD);
    high = 0;
    if (unit >= 0xD800 && unit <= 0xDBFF)
      high = unit;
    else
      AOut = PutCodePoint(AOut, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
  }
  if (high) AOut = PutCodePoint(AOut, 0xFFFD);
  return AOut;
}

}  // namespace

// Reads UTF-16 text, or UTF-8 bytes directly: every character the format gives a meaning is ASCII, and no byte
// of a longer UTF-8 sequence is, so names and values are decoded only where they are kept. Values are kept as
// UTF-8 in the store of the tree, each written there once.
template <class TChar>
class TKnotReader {
 public:
  // AAnsi: the bytes are in the ANSI code page it describes, not UTF-8. AOnTrial: UTF-8 bytes that may turn out not
  // to be UTF-8; reading stops at the first bad sequence.
  TKnotReader(TKnot& ARoot, TKnotStore& AStore, const TChar* AText, size_t ALength, const TAnsiBytes* AAnsi,
              bool AOnTrial)
      : FRoot(ARoot),
        FStore(AStore),
        Begin(AText),
        P(AText),
        End(AText + ALength),
        FAnsi(AAnsi),
        FOnTrial(AOnTrial),
        FSlots(kSlots) {}

  void Run() {
    FNoName = FStore.Intern(u"");
    if (P == End) return Fail(TKnotParseError::peEmptyText);
    SkipWhite();
    if (P == End || *P != '<') return Fail(TKnotParseError::peNoElement);
    const TChar* q = P + 1;
    while (q < End && Is(*q, ccWhite)) ++q;
    if (q < End && *q == '?') {
      q = Find(q, '?');
      if (q < End) q = Find(q, '>');
      if (q < End) q = Find(q, '<');
      if (q == End) return Fail(TKnotParseError::peNoElement);
      PassOver(P, q);
      P = q;
    }
    ReadTree();
    SkipWhite();
    if (P != End) Fail(TKnotParseError::peTrailingText);
  }

  bool Failed() const { return FStore.Reason != TKnotParseError::peNone; }
  // On trial: whether bytes were passed over that may hold a bad sequence.
  bool PassedOverUnchecked() const { return FUnchecked; }

 private:
  struct TOpen {
    TKnot* Knot;            // nullptr for an element too deep to keep
    const TKnotName* Name;  // as read; the empty name until then
    const TChar* Raw;       // the name in the text
    size_t RawSize;
  };
  // Names met so far by their source text; most files use a few dozen.
  struct TSlot {
    const TChar* Text = nullptr;
    size_t Size = 0;
    const TKnotName* Name = nullptr;
    size_t BadCount = 0;  // bad UTF-8 sequences in the name
  };
  static constexpr size_t kSlots = 1024;

  void Fail(TKnotParseError AReason) {
    if (FStore.Reason != TKnotParseError::peNone) return;
    FStore.Reason = AReason;
    FStore.ErrorOffset = static_cast<size_t>(P - Begin);
  }
  void NoteBadUtf8(const TChar* AAt, size_t ACount) {
    if (!ACount) return;
    if (!FStore.InvalidUtf8) FStore.InvalidUtf8Offset = static_cast<size_t>(AAt - Begin);
    FStore.InvalidUtf8 += ACount;
    // On trial the bytes are not UTF-8 after all: the rest is left, as if the text ended here.
    if (FOnTrial) P = End;
  }
  // Bytes stepped over without decoding them. On trial, any but ASCII leave the text to be checked whole.
  void PassOver(const TChar* AFrom, const TChar* ATo) {
    if constexpr (sizeof(TChar) == 1)
      if (FOnTrial && !FUnchecked) FUnchecked = !std::all_of(AFrom, ATo, [](TChar c) { return c < 0x80; });
  }
  // Steps over one whole character: a surrogate pair, every byte of a UTF-8 sequence, or a lead byte and the byte
  // it takes.
  void StepOver() {
    if constexpr (std::is_same_v<TChar, char16_t>) {
      const bool pair = End - P >= 2 && P[0] >= 0xD800 && P[0] <= 0xDBFF && P[1] >= 0xDC00 && P[1] <= 0xDFFF;
      P += pair ? 2 : 1;
    } else if (FAnsi) {
      P += FAnsi->Lead[*P] && End - P >= 2 ? 2 : 1;
    } else {
      char16_t units[2];
      DecodeUtf8Char(P, End, units);
    }
  }
  void SkipWhite() {
    if (P == End || !Is(*P, ccWhite)) return;
    ++P;
#if defined(__SSE2__)
    // Between elements, a line break and a tab a level.
    if constexpr (sizeof(TChar) == 1) {
      while (End - P >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        const __m128i white =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(white)) & 0xFFFF;
        if (other) {
          P += __builtin_ctz(other);
          return;
        }
        P += 16;
      }
    }
#endif
    while (P < End && Is(*P, ccWhite)) ++P;
  }
  const TChar* Find(const TChar* AFrom, char AChar) const {
    while (AFrom < End && *AFrom != AChar) ++AFrom;
    return AFrom;
  }
  std::basic_string_view<TChar> ReadName() {
    const TChar* s = P;
#if defined(__SSE2__)
    if constexpr (sizeof(TChar) == 1) {
      // Every byte that ends a name lies below "?", where names have few of theirs.
      while (End - P >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        for (auto low =
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8('>')), v)));
             low; low &= low - 1) {
          const int i = __builtin_ctz(low);
          if (Is(P[i], ccNameEnd)) {
            P += i;
            return {s, static_cast<size_t>(P - s)};
          }
        }
        P += 16;
      }
    }
#endif
    while (P < End && !Is(*P, ccNameEnd)) ++P;
    return {s, static_cast<size_t>(P - s)};
  }

  // UTF-8 with each bad sequence as U+FFFD; the count of bad sequences.
  size_t Clean(std::basic_string_view<TChar> ASource, std::string& AOut) {
    AOut.clear();
    if constexpr (std::is_same_v<TChar, char16_t>) {
      AppendUtf8(AOut, ASource);
      return 0;
    } else {
      size_t bad = 0;
      const uint8_t* p = ASource.data();
      const uint8_t* const end = p + ASource.size();
      while (p < end) {
        const uint8_t* after;
        const uint8_t* at = FindBadUtf8(p, end, after);
        AOut.append(reinterpret_cast<const char*>(p), static_cast<size_t>(at - p));
        if (at == end) break;
        AOut.append("\xEF\xBF\xBD");
        ++bad;
        p = after;
      }
      return bad;
    }
  }

  // Bytes of the ANSI code page as UTF-16, and as UTF-8 into AOut. The pieces decoded start and end between whole
  // characters, so each reads as it would in the whole text.
  std::u16string AnsiText(std::basic_string_view<TChar> ASource) const {
    if (FAnsi->DoubleByte) return AnsiToString(ASource.data(), ASource.size());
    std::u16string text(ASource.size(), u'\0');
    for (size_t i = 0; i < ASource.size(); ++i) text[i] = FAnsi->Units[ASource[i]];
    return text;
  }
  std::string_view AnsiToUtf8(std::basic_string_view<TChar> ASource, std::string& AOut) const {
    AOut.clear();
    if (FAnsi->DoubleByte) {
      AppendUtf8(AOut, AnsiText(ASource));
    } else {
      for (const TChar b : ASource) {
        if (b < 0x80)
          AOut.push_back(static_cast<char>(b));
        else
          AppendCodePoint(AOut, FAnsi->Units[b]);
      }
    }
    return AOut;
  }

  const TKnotName* InternName(std::basic_string_view<TChar> ARaw) {
    // Bytes are taken a word at a time where the text goes on far enough, which a name followed by its element
    // nearly always does; a slot's text lies before the name, so it may be read as far.
    const bool wordwise = sizeof(TChar) == 1 && ARaw.size() <= 16 && End - ARaw.data() >= 16;
    size_t hash = ARaw.size();
    if constexpr (sizeof(TChar) == 1) {
      if (wordwise) {
        const auto* raw = reinterpret_cast<const uint8_t*>(ARaw.data());
        const uint64_t head = WordOf(raw, ARaw.size());
        const uint64_t tail = ARaw.size() > 8 ? WordOf(raw + ARaw.size() - 8, 8) : 0;
        hash = static_cast<size_t>(((head * 0x9E3779B97F4A7C15ull) ^ tail ^ ARaw.size()) * 0xFF51AFD7ED558CCDull);
      }
    }
    if (!wordwise)
      for (size_t i = 0; i < ARaw.size() && i < 16; ++i) hash = (hash ^ ARaw[i]) * 0x100000001B3ull;
    hash ^= hash >> 29;
    for (size_t i = hash % kSlots, tries = 0; tries < 8; i = (i + 1) % kSlots, ++tries) {
      TSlot& slot = FSlots[i];
      if (!slot.Name) {
        slot.Text = ARaw.data();
        slot.Size = ARaw.size();
        slot.Name = DecodeName(ARaw, slot.BadCount);
        return slot.Name;
      }
      bool same = slot.Size == ARaw.size();
      if constexpr (sizeof(TChar) == 1) {
        if (same && wordwise)
          same = SameBytes(ARaw.data(), slot.Text, ARaw.size());
        else if (same)
          same = std::equal(ARaw.begin(), ARaw.end(), slot.Text);
      } else {
        same = same && std::equal(ARaw.begin(), ARaw.end(), slot.Text);
      }
      if (same) {
        NoteBadUtf8(ARaw.data(), slot.BadCount);
        return slot.Name;
      }
    }
    size_t bad;
    return DecodeName(ARaw, bad);
  }
  // Names hold whole characters, as values do: a lone surrogate is kept as U+FFFD.
  const TKnotName* InternWhole(std::u16string_view AName) {
    for (size_t i = 0; i < AName.size(); ++i)
      if (IsLoneSurrogateAt(AName, i)) return FStore.Intern(Utf8ToUtf16(Utf16ToUtf8(AName)));
    return FStore.Intern(AName);
  }
  const TKnotName* DecodeName(std::basic_string_view<TChar> ARaw, size_t& ABad) {
    ABad = 0;
    if constexpr (std::is_same_v<TChar, char16_t>) {
      return InternWhole(ARaw);
    } else {
      if (FAnsi) return InternWhole(AnsiText(ARaw));
      ABad = Clean(ARaw, FBytes);
      NoteBadUtf8(ARaw.data(), ABad);
      return FStore.Intern(Utf8ToUtf16(FBytes));
    }
  }

  // True when the open element's name follows at AAt, then ">" at once; AAt then stands on the ">".
  bool MatchName(const TChar*& AAt, const TOpen& AOpen) {
    const std::u16string& AName = AOpen.Name->Text;
    const TChar* q = AAt;
    // The name written as in the start tag matches at once: the same text decodes the same.
    if constexpr (sizeof(TChar) == 1) {
      const size_t size = AOpen.RawSize;
      if (AOpen.Raw && End - q >= 17 && size <= 16 && SameBytes(q, AOpen.Raw, size) && q[size] == '>') {
        AAt = q + size;
        return true;
      }
    }
    if constexpr (std::is_same_v<TChar, char16_t>) {
      // A lone surrogate was kept as U+FFFD.
      for (size_t i = 0; i < AName.size(); ++i, ++q) {
        if (q == End) return false;
        char16_t c = *q;
        const bool pair = c >= 0xD800 && c <= 0xDBFF && End - q >= 2 && q[1] >= 0xDC00 && q[1] <= 0xDFFF;
        if (!pair && c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c != AName[i]) return false;
        if (pair) {
          if (++i == AName.size() || q[1] != AName[i]) return false;
          ++q;
        }
      }
    } else if (FAnsi) {
      // The name's characters take one or two bytes each; they end where a byte with a meaning in the markup
      // stands, which must be the ">".
      const TChar* r = q;
      while (r < End && static_cast<size_t>(r - q) <= 2 * AName.size() && !Is(*r, ccNameEnd))
        r += FAnsi->Lead[*r] && End - r >= 2 ? 2 : 1;
      if (r >= End || *r != '>' || AnsiText({q, static_cast<size_t>(r - q)}) != AName) return false;
      q = r;
    } else {
      size_t i = 0;
      while (i < AName.size()) {
        if (q == End) return false;
        char16_t units[2];
        const size_t n = DecodeUtf8Char(q, End, units);
        if (i + n > AName.size() || units[0] != AName[i] || (n == 2 && units[1] != AName[i + 1])) return false;
        i += n;
      }
      // A bad sequence here reads as U+FFFD without being counted.
      PassOver(AAt, q);
    }
    if (q == End || *q != '>') return false;
    AAt = q;
    return true;
  }

  // A fresh last child of AParent in the store, as AddKnot would make it but without the move hooks.
  TKnot* NewChild(TKnot* AParent) {
    auto* k = new (FStore.Allocate(sizeof(TKnot), alignof(TKnot))) TKnot(FNoName, TKnot::kInStore | TKnot::kCounted);
    ++FStore.Made;
    k->FInheritedOptions = AParent->FInheritedOptions;
    AParent->AppendFreshChild(k);
    return k;
  }

  TKnotParam* NewParam(TKnot* AKnot, const TKnotName* AName) {
    auto* p = new (FStore.Allocate(sizeof(TKnotParam), alignof(TKnotParam))) TKnotParam(AKnot, AName);
    p->FInStore = true;
    ++FStore.Made;
    if (AKnot->FLastParam)
      AKnot->FLastParam->FNext = p;
    else
      AKnot->FFirstParam = p;
    AKnot->FLastParam = p;
    return p;
  }

  void StoreValue(TKnotParam* AParam, std::string_view ABytes) {
    AParam->FKind = TKnotParamKind::pkString;
    AParam->FSize = static_cast<uint32_t>(ABytes.size());
    if (ABytes.size() <= sizeof(AParam->FInline)) {
      std::memcpy(AParam->FInline, ABytes.data(), ABytes.size());
      return;
    }
    AParam->FText = static_cast<char*>(FStore.Allocate(ABytes.size(), 1));
    std::memcpy(AParam->FText, ABytes.data(), ABytes.size());
    AParam->FStorage = TKnotParam::kInStore;
  }

  void StoreCleanValue(TKnotParam* AParam, std::string_view ABytes) {
    const auto* from = reinterpret_cast<const uint8_t*>(ABytes.data());
    StoreCleanValue(AParam, from, from + ABytes.size(), from + ABytes.size());
  }
  // A value without inner quotes, written into the store once; the bytes up to AReadable may be read.
  void StoreCleanValue(TKnotParam* AParam, const uint8_t* AFrom, const uint8_t* ATo, const uint8_t* AReadable) {
    const size_t room = 3 * static_cast<size_t>(ATo - AFrom) + 16;
    char local[64];
    char* out = room <= sizeof(local) ? local : static_cast<char*>(FStore.Allocate(room, 1));
    size_t bad = 0;
    const uint8_t* firstBad = nullptr;
    char* const outEnd = CopyValueUtf8(AFrom, ATo, AReadable, out, bad, firstBad);
    NoteBadUtf8(firstBad, bad);
    const std::string_view bytes(out, static_cast<size_t>(outEnd - out));
    AParam->FKind = TKnotParamKind::pkString;
    AParam->FSize = static_cast<uint32_t>(bytes.size());
    if (bytes.size() <= sizeof(AParam->FInline)) {
      std::memcpy(AParam->FInline, out, bytes.size());
      if (out != local) FStore.GiveBack(out);
      return;
    }
    if (out == local) return StoreValue(AParam, bytes);
    FStore.GiveBack(outEnd);
    AParam->FText = out;
    AParam->FStorage = TKnotParam::kInStore;
  }

  void ReadTree() {
    FStack.push_back({&FRoot, FNoName, nullptr, 0});
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
          if (FStack.back().Knot) Fail(TKnotParseError::peTooDeep);
          FStack.push_back({nullptr, FNoName, nullptr, 0});
        } else {
          FStack.push_back({NewChild(FStack.back().Knot), FNoName, nullptr, 0});
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
        Fail(TKnotParseError::peUnexpectedEnd);
        return true;
      }
      const std::basic_string_view<TChar> name = ReadName();
      if (!named) {
        if (name.empty()) {
          Fail(TKnotParseError::peUnnamedElement);
        } else {
          named = true;
          AOpen.Name = InternName(name);
          AOpen.Raw = name.data();
          AOpen.RawSize = name.size();
          if (AOpen.Knot) AOpen.Knot->FName = AOpen.Name;
        }
      } else if (!name.empty()) {
        TKnotParam* param = AOpen.Knot ? NewParam(AOpen.Knot, InternName(name)) : nullptr;
        if (P < End && *P == '=') ReadValue(param);
      }
      if (P == End) {
        Fail(TKnotParseError::peUnexpectedEnd);
        return true;
      }
      if (*P == '/') {
        const TChar* q = P + 1;
        while (q < End && Is(*q, ccWhite)) ++q;
        if (q < End && *q == '>') {
          P = q + 1;
          return false;
        }
        Fail(TKnotParseError::peBadTagEnd);
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
    if constexpr (!std::is_same_v<TChar, char16_t>) {
      // Most values are quoted whole: the closing quote followed by the value's end.
      if (P < End && *P == '"') {
        const auto* q = static_cast<const TChar*>(std::memchr(P + 1, '"', static_cast<size_t>(End - P - 1)));
        if (q && (q + 1 == End || Is(q[1], ccValueEnd))) {
          const TChar* s = P + 1;
          P = q + 1;
          if (!AParam) return;
          if (FAnsi) return StoreCleanValue(AParam, AnsiToUtf8({s, static_cast<size_t>(q - s)}, FClean));
          return StoreCleanValue(AParam, s, q, End);
        }
      }
    }
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
    if (quoted) Fail(TKnotParseError::peUnclosedQuote);
    std::basic_string_view<TChar> source(s, static_cast<size_t>(P - s));
    if (source.empty() || !AParam) return;
    // The quotes are ASCII, so they can be taken off before decoding.
    if (source.size() >= 2 && source.front() == '"' && source.back() == '"') {
      source = source.substr(1, source.size() - 2);
      quotes -= 2;
    }
    if constexpr (std::is_same_v<TChar, char16_t>) {
      if (quotes == 0 && !amp) {
        FBytes.clear();
        AppendUtf8(FBytes, source);
      } else {
        TCustomXmlCodeWriter::UnescapeValue(source, quotes, amp, FText);
        FBytes.clear();
        AppendUtf8(FBytes, FText);
      }
      StoreValue(AParam, FBytes);
    } else {
      std::string_view bytes(reinterpret_cast<const char*>(source.data()), source.size());
      if (FAnsi) bytes = AnsiToUtf8(source, FClean);
      if (quotes == 0)
        return FAnsi ? StoreCleanValue(AParam, bytes)
                     : StoreCleanValue(AParam, source.data(), source.data() + source.size(), End);
      const uint8_t* after;
      if (!FAnsi && FindBadUtf8(source.data(), source.data() + source.size(), after) != source.data() + source.size()) {
        NoteBadUtf8(source.data(), Clean(source, FClean));
        bytes = FClean;
      }
      UnescapeUtf8(bytes, quotes, amp, FBytes, FScratch);
      StoreValue(AParam, FBytes);
    }
  }

  // Returns true when a child starts at P, false when the element has ended.
  bool ReadContent(const TOpen& AOpen) {
    for (;;) {
      SkipWhite();
      if (P == End) {
        Fail(TKnotParseError::peUnexpectedEnd);
        return false;
      }
      if (*P != '<') {
        Fail(TKnotParseError::peTextInElement);
        P = Find(P, '<');
        if (P == End) return false;
        continue;
      }
      const TChar* q = P + 1;
      while (q < End && Is(*q, ccWhite)) ++q;
      if (q < End && *q == '/') {
        ++q;
        while (q < End && Is(*q, ccWhite)) ++q;
        if (MatchName(q, AOpen)) {
          P = Find(q + 1, '<');
          PassOver(q + 1, P);
          return false;
        }
        Fail(TKnotParseError::peMismatchedEnd);
      }
      return true;
    }
  }

  TKnot& FRoot;
  TKnotStore& FStore;
  const TChar* const Begin;
  const TChar* P;
  const TChar* const End;
  const TAnsiBytes* const FAnsi;
  const bool FOnTrial;
  bool FUnchecked = false;
  std::vector<TOpen> FStack;
  std::vector<TSlot> FSlots;
  const TKnotName* FNoName = nullptr;
  std::string FBytes, FClean, FScratch;
  std::u16string FText;
};

template <class TChar>
bool TKnot::ReadText(const TChar* AText, size_t ALength, const TAnsiBytes* AAnsi, bool AOnTrial) {
  Clear();
  // A store of its own for what is read: the old one starts afresh when nothing else uses it any more.
  if (!(FState & kInStore)) {
    TKnotStore* store = FName->Store;
    if (store && store->Refs == 1) {
      FName = &kNoName;
      store->ClearNames();
      store->FreeBlocks();
      store->Reason = TKnotParseError::peNone;
      store->ErrorOffset = store->InvalidUtf8 = store->InvalidUtf8Offset = 0;
      store->ForgetCounts();
      FName = store->Intern(u"");
    } else {
      SetInternedName((new TKnotStore)->Intern(u""));
    }
  }
  TKnotStore& store = Store();
  store.Reason = TKnotParseError::peNone;
  store.ErrorOffset = store.InvalidUtf8 = store.InvalidUtf8Offset = 0;
  TKnotReader<TChar> reader(*this, store, AText, ALength, AAnsi, AOnTrial);
  reader.Run();
  if (reader.Failed()) FState |= kParseError;
  if constexpr (sizeof(TChar) == 1) {
    if (AOnTrial) {
      if (store.InvalidUtf8) return false;
      // A text not read cleanly may hold bad sequences where the reader did not look, as may what it passed over.
      if ((reader.Failed() || reader.PassedOverUnchecked()) && !IsValidUtf8(AText, AText + ALength)) return false;
    }
  }
  return true;
}

void TKnot::Parse(const char16_t* AText, size_t ALength) { ReadText(AText, ALength, nullptr, false); }

void TKnot::ParseUtf8(const uint8_t* ABytes, size_t ACount) { ReadText(ABytes, ACount, nullptr, false); }

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
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    text = Utf16LEToString(b + 2, n - 2);
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    text = Utf16BEToString(b + 2, n - 2);
  } else if (ReadText(b, n, nullptr, true)) {
    // Without a mark, bytes that are valid UTF-8 are read as UTF-8: ASCII reads the same either way, and ANSI text
    // that is also valid UTF-8 with longer sequences is practically unknown. They are read so on trial, which the
    // first bad sequence ends.
    return;
  } else {
    // Names and values are decoded where they are kept; only a code page the reader cannot follow byte by byte, or
    // a double-byte text whose lead bytes take markup, is decoded whole first.
    const TAnsiBytes ansi = AnsiBytes();
    if (ansi.Usable && (!ansi.DoubleByte || MarkupBetweenCharacters(ansi, b, b + n))) {
      ReadText(b, n, &ansi, false);
      return;
    }
    text = AnsiToString(b, n);
  }
  copy = std::vector<uint8_t>();
  Parse(text.data(), text.size());
}

void TKnot::LoadFromFile(const std::u16string& AFileName) { LoadFromStream(*OpenFileToRead(AFileName)); }

// ---------------------------------------------------------------------------------------------------------------
// Writing the text

namespace {

// TCustomXmlCodeWriter::EscapeValue on UTF-8, written at AOut, which has room for six bytes a byte of AValue and
// sixteen more. Returns the end of what was written; ANeedsQuotes tells whether the value needs quotes.
char* EscapeUtf8(std::string_view AValue, bool ADoubleQuoteMode, char* AOut, bool& ANeedsQuotes) {
  uint8_t seen = 0;
  const uint8_t change = ADoubleQuoteMode ? ValueEscapes::QuoteChange : ValueEscapes::EntityChange;
  const char* p = AValue.data();
  const char* const end = p + AValue.size();
#if defined(__SSE2__)
  // Sixteen bytes at a time are copied as they are up to the first one that changes; the bytes that call for
  // quotes are only noted. Either kind is ASCII, so the bytes of a longer UTF-8 sequence never match.
  const __m128i quote = _mm_set1_epi8('"'), amp = _mm_set1_epi8('&'), space = _mm_set1_epi8(' '),
                slash = _mm_set1_epi8('/'), gt = _mm_set1_epi8('>');
  unsigned quoting = 0;
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), v);
    __m128i changing, calling = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, slash));
    if (ADoubleQuoteMode) {
      changing = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp));
      // TAB, LF and CR: the bytes 9 to 13 less VT and FF.
      const __m128i low = _mm_sub_epi8(v, _mm_set1_epi8(9));
      const __m128i white =
          _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(11)), _mm_cmpeq_epi8(v, _mm_set1_epi8(12))),
                           _mm_cmpeq_epi8(_mm_min_epu8(low, _mm_set1_epi8(4)), low));
      calling = _mm_or_si128(calling, _mm_or_si128(changing, _mm_or_si128(_mm_cmpeq_epi8(v, gt), white)));
      // Only a double quote of the changing bytes calls for quotes.
      calling = _mm_andnot_si128(_mm_cmpeq_epi8(v, amp), calling);
    } else {
      // The bytes 1 to 31, & < > and the double quote.
      const __m128i control = _mm_sub_epi8(v, _mm_set1_epi8(1));
      changing = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8(30)), control),
                              _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')), _mm_cmpeq_epi8(v, gt))));
    }
    quoting |= static_cast<unsigned>(_mm_movemask_epi8(calling));
    const unsigned changes = static_cast<unsigned>(_mm_movemask_epi8(changing));
    if (!changes) {
      p += 16;
      AOut += 16;
      continue;
    }
    const int plain = __builtin_ctz(changes);
    p += plain;
    AOut += plain;
    const auto c = static_cast<uint8_t>(*p++);
    seen |= ValueEscapes::Classes[c];
    if (!ADoubleQuoteMode) {
      AOut = ValueEscapes::PutEntity(AOut, c);
    } else if (c == '"') {
      *AOut++ = '"';
      *AOut++ = '"';
    } else {
      AOut = ValueEscapes::PutEntity(AOut, c);
    }
  }
  if (quoting) seen |= ADoubleQuoteMode ? ValueEscapes::QuoteQuotes : ValueEscapes::EntityQuotes;
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<uint8_t>(*p);
    const uint8_t cls = ValueEscapes::Classes[c];
    seen |= cls;
    if (!(cls & change)) {
      *AOut++ = static_cast<char>(c);
    } else if (ADoubleQuoteMode && c == '"') {
      *AOut++ = '"';
      *AOut++ = '"';
    } else {
      AOut = ValueEscapes::PutEntity(AOut, c);
    }
  }
  ANeedsQuotes = seen & (ADoubleQuoteMode ? ValueEscapes::QuoteQuotes : ValueEscapes::EntityQuotes);
  return AOut;
}

bool SurvivesAnsi(std::u16string_view AText) { return AnsiToString(StringToAnsi(AText)) == AText; }

}  // namespace

// Writes a tree as UTF-8 in the layout of an XML code writer indenting by one tab: into one buffer, or with a sink
// into the sink piece by piece. For the ANSI code page, a character of a value the code page does not hold is written
// as a character reference, so that no replacement or look-alike of the conversion can turn into markup; a name must
// be held whole.
class TKnotWriter {
 public:
  TKnotWriter(bool AForAnsi, TStream* ASink) : FForAnsi(AForAnsi), FSink(ASink) {}

  void Run(TKnot& ARoot) {
    // A text grown by doubling leaves a trail of freed buffers that the heap may hand back to the system: a tree
    // written before is given its last length and a little more at once. A sink needs a piece at a time only.
    TKnotBlockReserve* const reserve = ARoot.FName->Store ? ARoot.FName->Store->Reserve.get() : nullptr;
    Grow(!FSink && reserve && reserve->FTextSize ? reserve->FTextSize + reserve->FTextSize / 16 : kPiece);
    enter(&ARoot);
    while (!FStack.empty()) {
      TFrame& top = FStack.back();
      if (TKnot* child = top.NextChild) {
        top.NextChild = child->GetNextKnot();
        if (top.Options.Contains(koSkipEmptyChildren) && IsEmptyForWriting(child)) continue;
        enter(child);
        continue;
      }
      const TFrame f = top;
      FStack.pop_back();
      --FLevel;
      BeginText();
      Put("</");
      Put(NameOf(f.Knot));
      Put('>');
      finish(f);
    }
    if (FAnyLine) Put("\r\n");
    if (reserve) reserve->FTextSize = FWritten + static_cast<size_t>(FPos - FBuffer.get());
    PassOn();
  }

  // The text written, without a sink.
  std::string_view Text() const { return {FBuffer.get(), static_cast<size_t>(FPos - FBuffer.get())}; }

 private:
  struct TFrame {
    TKnot* Knot;
    TKnot* NextChild;
    TKnotOptions Options;
    bool Indenting, NewLines;
  };
  // What a sink is given at a time.
  static constexpr size_t kPiece = size_t(64) << 10;

  // Room for ASize more bytes at FPos: with a sink, what was written goes to it first.
  char* Room(size_t ASize) {
    if (static_cast<size_t>(FLimit - FPos) < ASize) MakeRoom(ASize);
    return FPos;
  }
  void MakeRoom(size_t ASize) {
    if (FSink) PassOn();
    const size_t used = static_cast<size_t>(FPos - FBuffer.get());
    if (static_cast<size_t>(FLimit - FPos) < ASize)
      Grow(std::max(used + ASize, 2 * static_cast<size_t>(FLimit - FBuffer.get())));
  }
  void Grow(size_t ACapacity) {
    const size_t used = static_cast<size_t>(FPos - FBuffer.get());
    if (FBuffer && ACapacity <= static_cast<size_t>(FLimit - FBuffer.get())) return;
    std::unique_ptr<char[]> bigger(new char[ACapacity]);
    if (used) std::memcpy(bigger.get(), FBuffer.get(), used);
    FBuffer = std::move(bigger);
    FPos = FBuffer.get() + used;
    FLimit = FBuffer.get() + ACapacity;
  }
  void PassOn() {
    if (!FSink) return;
    const size_t used = static_cast<size_t>(FPos - FBuffer.get());
    FWritten += used;
    FSink->WriteBuffer(FBuffer.get(), used);
    FPos = FBuffer.get();
  }
  void Put(char AChar) {
    *Room(1) = AChar;
    ++FPos;
  }
  void Put(std::string_view AText) {
    std::memcpy(Room(AText.size()), AText.data(), AText.size());
    FPos += AText.size();
  }

  // A line's first text is preceded by the indentation.
  void BeginText() {
    if (!FAnyLine) {
      FAnyLine = true;
      FAtLineStart = true;
    }
    if (FAtLineStart && FIndenting && FLevel >= 1) {
      std::memset(Room(static_cast<size_t>(FLevel)), '\t', static_cast<size_t>(FLevel));
      FPos += FLevel;
    }
    FAtLineStart = false;
  }
  void NewLine() {
    if (!FNewLines) return;
    if (FAnyLine) Put("\r\n");
    FAnyLine = true;
    FAtLineStart = true;
  }

  const std::string& NameOf(const TKnotName* AName) {
    if (FForAnsi && !SurvivesAnsi(AName->Text))
      throw EProgrammingError(u"The name \"" + AName->Text + u"\" lies outside the ANSI code page");
    return AName->Utf8;
  }
  const std::string& NameOf(const TKnot* AKnot) { return NameOf(AKnot->FName); }

  // Characters of the escaped value from AFrom that the code page does not hold become character references. No sink
  // is used for the code page, so the value is still in the buffer.
  void ProtectForAnsi(char* AFrom) {
    const std::string_view written(AFrom, static_cast<size_t>(FPos - AFrom));
    if (std::all_of(written.begin(), written.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; })) return;
    const std::u16string text = Utf8ToUtf16(written.data(), written.size());
    if (SurvivesAnsi(text)) return;
    FPos = AFrom;
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size();
      const std::u16string_view one(text.data() + i, pair ? 2 : 1);
      if (c < 0x80 || SurvivesAnsi(one)) {
        Put(Utf16ToUtf8(one));
      } else {
        for (char16_t unit : one) {
          Put("&#");
          Put(Utf16ToUtf8(IntToStr(unit)));
          Put(';');
        }
      }
      if (pair) ++i;
    }
  }

  // A string value escaped, between quotes unless the options allow none and it needs none.
  void PutString(std::string_view AValue, TKnotOptions AOptions) {
    // Written one byte on, leaving room for a quote in front: up to six bytes a byte ("&quot;"), sixteen the
    // escaping may write ahead, and the two quotes. It is found by its offset, as the code page's references may grow
    // the buffer.
    const size_t at = static_cast<size_t>(Room(6 * AValue.size() + 18) - FBuffer.get()) + 1;
    bool needsQuotes;
    FPos = EscapeUtf8(AValue, AOptions.Contains(koDoubleQuotes), FBuffer.get() + at, needsQuotes);
    if (FForAnsi) ProtectForAnsi(FBuffer.get() + at);
    char* const value = FBuffer.get() + at;
    if (!AOptions.Contains(koAllowUnquoted) || needsQuotes) {
      value[-1] = '"';
      Put('"');
    } else {
      std::memmove(value - 1, value, static_cast<size_t>(FPos - value));
      --FPos;
    }
  }

  // A stream as upper-case hexadecimal, two characters a byte, never escaped.
  void PutHex(TKnotParam* AParam, TKnotOptions AOptions) {
    const std::u16string hex = AParam->GetAsString();
    const bool quoted = !AOptions.Contains(koAllowUnquoted);
    char* out = Room(hex.size() + 2);
    if (quoted) *out++ = '"';
    for (const char16_t c : hex) *out++ = static_cast<char>(c);
    if (quoted) *out++ = '"';
    FPos = out;
  }

  void WriteParams(const TKnot* AKnot, TKnotOptions AOptions) {
    for (TKnotParam* p = AKnot->FirstParam(); p; p = p->Next()) {
      const std::string& name = NameOf(p->FName);
      char* out = Room(name.size() + 2);
      *out++ = ' ';
      std::memcpy(out, name.data(), name.size());
      out += name.size();
      if (p->Kind() == TKnotParamKind::pkNone) {
        FPos = out;
        continue;
      }
      *out++ = '=';
      FPos = out;
      if (p->Kind() == TKnotParamKind::pkString)
        PutString(p->Bytes(), AOptions);
      else
        PutHex(p, AOptions);
    }
  }

  // Emptiness of the children that koSkipEmptyChildren asks about, each subtree worked out once, children first.
  bool IsEmptyForWriting(TKnot* AKnot) {
    if (auto known = FEmptiness.find(AKnot); known != FEmptiness.end()) return known->second;
    std::vector<TKnot*> order;
    for (TKnot* k = AKnot; k; k = NextInSubtree(AKnot, k, true)) order.push_back(k);
    for (auto k = order.rbegin(); k != order.rend(); ++k) {
      bool empty = !(*k)->FirstParam();
      if (empty && (*k)->FirstChild()) {
        if ((*k)->Options().Contains(koOrderedChildren)) {
          empty = false;
        } else {
          for (TKnot* c = (*k)->FirstKnot(); c && empty; c = c->NextKnot()) empty = FEmptiness[c];
        }
      }
      FEmptiness[*k] = empty;
    }
    return FEmptiness[AKnot];
  }

  // After a knot's text: its line break, then the switches as they were before it.
  void finish(const TFrame& AFrame) {
    if (AFrame.Knot->Parent()) {
      const TKnot* next = AFrame.Knot->NextKnot();
      if (!next || !next->Options().Contains(koJoinPrevious)) NewLine();
    }
    FIndenting = AFrame.Indenting;
    FNewLines = AFrame.NewLines;
  }

  // Writes a knot up to its children; a knot with children stays on the stack until they are written.
  void enter(TKnot* AKnot) {
    TFrame f{AKnot, nullptr, AKnot->Options(), FIndenting, FNewLines};
    FIndenting = !f.Options.Contains(koNoIndent);
    FNewLines = !f.Options.Contains(koNoLineBreaks);
    const bool hasChildren = AKnot->FirstChild() != nullptr;
    const std::string& name = NameOf(AKnot);
    BeginText();
    Put('<');
    Put(name);
    if (!AKnot->FirstParam() && !hasChildren) {
      Put("/>");
      finish(f);
      return;
    }
    WriteParams(AKnot, f.Options);
    if (!hasChildren) {
      Put("/>");
      finish(f);
      return;
    }
    Put('>');
    NewLine();
    ++FLevel;
    f.NextChild = AKnot->GetFirstKnot();
    FStack.push_back(f);
  }

  const bool FForAnsi;
  TStream* const FSink;
  std::unique_ptr<char[]> FBuffer;
  char* FPos = nullptr;
  char* FLimit = nullptr;
  // Bytes passed on to the sink.
  size_t FWritten = 0;
  std::vector<TFrame> FStack;
  std::unordered_map<const TKnot*, bool> FEmptiness;
  bool FAnyLine = false;
  bool FAtLineStart = false;
  int FLevel = 0;
  bool FIndenting = true;
  bool FNewLines = true;
};

void TKnot::WriteTo(TCodeWriter& AWriter) {
  TKnotWriter writer(false, nullptr);
  writer.Run(*this);
  // The lines as they are, each ended by the code writer.
  const bool indenting = AWriter.Indenting(), newLines = AWriter.NewLines();
  AWriter.SetIndenting(false);
  AWriter.SetNewLines(true);
  std::string_view text = writer.Text();
  while (!text.empty()) {
    const size_t end = text.find("\r\n");
    AWriter.Write(Utf8ToUtf16(text.substr(0, end)));
    AWriter.NewLine();
    text.remove_prefix(std::min(text.size(), end + 2));
  }
  AWriter.SetIndenting(indenting);
  AWriter.SetNewLines(newLines);
}

std::u16string TKnot::SaveToString() {
  TKnotWriter writer(false, nullptr);
  writer.Run(*this);
  const std::string_view text = writer.Text();
  return Utf8ToUtf16(text.data(), text.size());
}

void TKnot::SaveToStream(TStream& AStream, TKnotEncoding AEncoding) {
  if (AEncoding == TKnotEncoding::keUtf8) {
    AStream.WriteBuffer("\xEF\xBB\xBF", 3);
    TKnotWriter(false, &AStream).Run(*this);
    return;
  }
  TKnotWriter writer(AEncoding == TKnotEncoding::keAnsi, nullptr);
  writer.Run(*this);
  const std::string_view text = writer.Text();
  switch (AEncoding) {
    case TKnotEncoding::keUtf16LE: {
      const std::string bytes = StringToUtf16LE(Utf8ToUtf16(text.data(), text.size()));
      AStream.WriteBuffer("\xFF\xFE", 2);
      AStream.WriteBuffer(bytes.data(), bytes.size());
      break;
    }
    case TKnotEncoding::keUtf16BE: {
      const std::string bytes = StringToUtf16BE(Utf8ToUtf16(text.data(), text.size()));
      AStream.WriteBuffer("\xFE\xFF", 2);
      AStream.WriteBuffer(bytes.data(), bytes.size());
      break;
    }
    default: {
      const std::string bytes = StringToAnsi(Utf8ToUtf16(text.data(), text.size()));
      AStream.WriteBuffer(bytes.data(), bytes.size());
      break;
    }
  }
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
