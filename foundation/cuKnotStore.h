// The memory and names of knot trees, shared by the tree, its reader and its writer; private to the knot unit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/cuKnot.h"
#include "foundation/cuSystem.h"

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

namespace KnotParts {

void FreeBlockChain(TKnotBlock* ALast);

// The name of a knot outside any store.
extern const TKnotName NoName;

// Pre-order successor of ANode inside the subtree of ARoot; ADescend false skips ANode's children.
TKnot* NextInSubtree(const TKnot* ARoot, TKnot* ANode, bool ADescend);

bool IsLoneSurrogateAt(std::u16string_view AText, size_t I);

}  // namespace KnotParts

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
  // The knot whose text was last read into or written from a tree of the store, and that text's length (in bytes of
  // UTF-8 when written): the length of its next text, which mostly differs little.
  const TKnot* Sized = nullptr;
  size_t TextSize = 0;
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
      KnotParts::FreeBlockChain(static_cast<TKnotBlock*>(LastBlock));
    LastBlock = nullptr;
    Cursor = Limit = nullptr;
    Allocated = 0;
  }
};
