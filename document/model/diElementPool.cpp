#include "document/model/diElementPool.h"

#include <algorithm>
#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QB_POOL_POISON(AAddress, ASize) ASAN_POISON_MEMORY_REGION(AAddress, ASize)
#define QB_POOL_UNPOISON(AAddress, ASize) ASAN_UNPOISON_MEMORY_REGION(AAddress, ASize)
#else
#define QB_POOL_POISON(AAddress, ASize) ((void)(AAddress), (void)(ASize))
#define QB_POOL_UNPOISON(AAddress, ASize) ((void)(AAddress), (void)(ASize))
#endif

namespace {

// Before every object: where its slab starts, counted back from the header (nought: the object came from the heap),
// and its slot's size. Eight bytes where the pool pointer and the size took sixteen: a load of tens of thousands of
// elements, paragraphs and runs touches that much less fresh memory.
struct TSlotHeader {
  uint32_t SlabOffset;
  uint32_t SlotSize;
};
static_assert(sizeof(TSlotHeader) == TElementPool::Alignment);

// At the start of every slab: the previous slab and the pool, which a slot finds through its offset.
struct TSlabHeader {
  void* Previous;
  TElementPool* Pool;
};
constexpr size_t SlabHeaderSize = sizeof(TSlabHeader);
// Twice the largest slot at least, so a fresh slab always has room; small enough for a slot's 32-bit offset.
constexpr size_t LargestSlabSize = 64 << 10;

}  // namespace

TElementPool* TElementPool::Create() { return new TElementPool; }

TElementPool::~TElementPool() {
  while (FLastSlab) {
    void* previous = static_cast<TSlabHeader*>(FLastSlab)->Previous;
    ::operator delete(FLastSlab);
    FLastSlab = previous;
  }
}

void TElementPool::Release() noexcept {
  if (--FRefs == 0) delete this;
}

void* TElementPool::Allocate(TElementPool* APool, size_t ASize) {
  return Allocate(APool, ASize, &TElementPool::FElements);
}

void* TElementPool::AllocateText(TElementPool* APool, size_t ASize) {
  return Allocate(APool, ASize, &TElementPool::FText);
}

void* TElementPool::Allocate(TElementPool* APool, size_t ASize, TSlabRun TElementPool::*ARun) {
  // Room for the link a freed slot keeps after its header.
  const size_t slotSize = (std::max(ASize, sizeof(void*)) + sizeof(TSlotHeader) + Granule - 1) / Granule * Granule;
  TSlotHeader* header;
  if (APool && slotSize <= LargestSlot) {
    header = static_cast<TSlotHeader*>(APool->AllocateSlot(slotSize, APool->*ARun));
    ++APool->FRefs;
  } else {
    header = static_cast<TSlotHeader*>(::operator new(slotSize));
    header->SlabOffset = 0;
  }
  header->SlotSize = static_cast<uint32_t>(slotSize);
  return header + 1;
}

void TElementPool::Free(void* AObject) noexcept {
  if (!AObject) return;
  TSlotHeader* header = static_cast<TSlotHeader*>(AObject) - 1;
  if (header->SlabOffset == 0) {
    ::operator delete(header);
    return;
  }
  TElementPool* pool = reinterpret_cast<TSlabHeader*>(reinterpret_cast<char*>(header) - header->SlabOffset)->Pool;
  pool->FreeSlot(header, header->SlotSize);
  pool->Release();
}

void* TElementPool::AllocateSlot(size_t ASlotSize, TSlabRun& ARun) {
  void*& freed = FFreed[ASlotSize / Granule - 1];
  if (void* slot = freed) {
    QB_POOL_UNPOISON(slot, ASlotSize);
    // The header kept its slab offset; the link lies after it.
    freed = *reinterpret_cast<void**>(static_cast<TSlotHeader*>(slot) + 1);
    return slot;
  }
  if (static_cast<size_t>(ARun.Limit - ARun.Cursor) < ASlotSize) {
    // Slabs grow with the pool: a small tree keeps one small slab, a large one needs few allocations. The end of
    // the slab left behind is too short for this slot and stays unused.
    const size_t size = ARun.NextSlabSize;
    ARun.NextSlabSize = std::min(size * 2, LargestSlabSize);
    auto* slab = static_cast<char*>(::operator new(size));
    *reinterpret_cast<TSlabHeader*>(slab) = {FLastSlab, this};
    FLastSlab = slab;
    ARun.SlabStart = slab;
    ARun.Cursor = slab + SlabHeaderSize;
    ARun.Limit = slab + size;
    QB_POOL_POISON(ARun.Cursor, size - SlabHeaderSize);
  }
  void* slot = ARun.Cursor;
  ARun.Cursor += ASlotSize;
  QB_POOL_UNPOISON(slot, ASlotSize);
  static_cast<TSlotHeader*>(slot)->SlabOffset = static_cast<uint32_t>(static_cast<char*>(slot) - ARun.SlabStart);
  return slot;
}

void TElementPool::FreeSlot(void* ASlot, size_t ASlotSize) noexcept {
#if defined(__SANITIZE_ADDRESS__)
  // Never reused under the address checker: a stale pointer to a freed element stays caught for the pool's life.
  QB_POOL_POISON(ASlot, ASlotSize);
#else
  void*& freed = FFreed[ASlotSize / Granule - 1];
  *reinterpret_cast<void**>(static_cast<TSlotHeader*>(ASlot) + 1) = freed;
  freed = ASlot;
#endif
}
