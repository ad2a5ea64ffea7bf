#include "document/model/diElementPool.h"

#include <algorithm>
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

// Before every object: where it came from and its slot's size. Sixteen bytes keep the object aligned as the heap
// would; the heap's own chunk header costs about as much.
struct alignas(16) TSlotHeader {
  TElementPool* Pool;
  size_t SlotSize;
};
static_assert(sizeof(TSlotHeader) == 16);

constexpr size_t SlabHeaderSize = 16;
// Twice the largest slot at least, so a fresh slab always has room.
constexpr size_t LargestSlabSize = 64 << 10;

}  // namespace

TElementPool* TElementPool::Create() { return new TElementPool; }

TElementPool::~TElementPool() {
  while (FLastSlab) {
    void* previous = *static_cast<void**>(FLastSlab);
    ::operator delete(FLastSlab);
    FLastSlab = previous;
  }
}

void TElementPool::Release() noexcept {
  if (--FRefs == 0) delete this;
}

void* TElementPool::Allocate(TElementPool* APool, size_t ASize) {
  const size_t slotSize = (ASize + sizeof(TSlotHeader) + Granule - 1) / Granule * Granule;
  TSlotHeader* header;
  if (APool && slotSize <= LargestSlot) {
    header = static_cast<TSlotHeader*>(APool->AllocateSlot(slotSize));
    ++APool->FRefs;
    header->Pool = APool;
  } else {
    header = static_cast<TSlotHeader*>(::operator new(slotSize));
    header->Pool = nullptr;
  }
  header->SlotSize = slotSize;
  return header + 1;
}

void TElementPool::Free(void* AObject) noexcept {
  if (!AObject) return;
  TSlotHeader* header = static_cast<TSlotHeader*>(AObject) - 1;
  TElementPool* pool = header->Pool;
  if (!pool) {
    ::operator delete(header);
    return;
  }
  pool->FreeSlot(header, header->SlotSize);
  pool->Release();
}

void* TElementPool::AllocateSlot(size_t ASlotSize) {
  void*& freed = FFreed[ASlotSize / Granule - 1];
  if (void* slot = freed) {
    QB_POOL_UNPOISON(slot, ASlotSize);
    freed = *static_cast<void**>(slot);
    return slot;
  }
  if (static_cast<size_t>(FLimit - FCursor) < ASlotSize) {
    // Slabs grow with the pool: a small tree keeps one small slab, a large one needs few allocations. The end of
    // the slab left behind is too short for this slot and stays unused.
    const size_t size = FNextSlabSize;
    FNextSlabSize = std::min(size * 2, LargestSlabSize);
    auto* slab = static_cast<char*>(::operator new(size));
    *reinterpret_cast<void**>(slab) = FLastSlab;
    FLastSlab = slab;
    FCursor = slab + SlabHeaderSize;
    FLimit = slab + size;
    QB_POOL_POISON(FCursor, size - SlabHeaderSize);
  }
  void* slot = FCursor;
  FCursor += ASlotSize;
  QB_POOL_UNPOISON(slot, ASlotSize);
  return slot;
}

void TElementPool::FreeSlot(void* ASlot, size_t ASlotSize) noexcept {
#if defined(__SANITIZE_ADDRESS__)
  // Never reused under the address checker: a stale pointer to a freed element stays caught for the pool's life.
  QB_POOL_POISON(ASlot, ASlotSize);
#else
  void*& freed = FFreed[ASlotSize / Granule - 1];
  *static_cast<void**>(ASlot) = freed;
  freed = ASlot;
#endif
}
