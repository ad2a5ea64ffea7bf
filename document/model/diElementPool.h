// Where elements live: each scheme allocates its elements from a pool of slabs, so that a load makes tens of
// thousands of them without a heap call each, and an element and the parts its constructor makes lie side by side
// in memory in the order a load, a save and a destruction walk them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

// Reference-counted: the scheme holds one reference and every live slot another, so a pool outlives the last
// element made from it, whichever goes last. A pool and its elements belong to one thread.
class TElementPool {
 public:
  // A new pool holding one reference, the caller's.
  static TElementPool* Create();
  // ASize bytes for an object from APool; nil or an object too large for the slabs: from the heap.
  static void* Allocate(TElementPool* APool, size_t ASize);
  // The same for the text engine's paragraphs, runs, characters and rows, which take slabs of their own: the
  // elements lie together, so that moving the elements below an edit touches few pages.
  static void* AllocateText(TElementPool* APool, size_t ASize);
  // Gives back an object from Allocate or AllocateText, to the pool it came from.
  static void Free(void* AObject) noexcept;

  void Release() noexcept;

  // What the objects get: every type made in a pool is aligned to no more.
  static constexpr size_t Alignment = 8;

 private:
  TElementPool() = default;
  ~TElementPool();
  TElementPool(const TElementPool&) = delete;
  TElementPool& operator=(const TElementPool&) = delete;

  static constexpr size_t Granule = Alignment;
  static constexpr size_t LargestSlot = 1024;
  static constexpr size_t ClassCount = LargestSlot / Granule;

  // The latest slab of a kind and the rest of it, shared by all sizes.
  struct TSlabRun {
    char* SlabStart = nullptr;
    char* Cursor = nullptr;
    char* Limit = nullptr;
    size_t NextSlabSize = 4096;
  };

  static void* Allocate(TElementPool* APool, size_t ASize, TSlabRun TElementPool::*ARun);
  void* AllocateSlot(size_t ASlotSize, TSlabRun& ARun);
  void FreeSlot(void* ASlot, size_t ASlotSize) noexcept;

  // Freed slots by size, each holding a link to the next; a slot of that size is taken from there first.
  void* FFreed[ClassCount] = {};
  TSlabRun FElements;
  TSlabRun FText;
  // The slabs, each starting with a link to the previous one.
  void* FLastSlab = nullptr;
  size_t FRefs = 1;
};

// A standard allocator over a pool, for the small lists that objects living in the pool keep (nil: the heap).
template <class T>
class TPoolAllocator {
 public:
  using value_type = T;
  using propagate_on_container_copy_assignment = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;

  explicit TPoolAllocator(TElementPool* APool = nullptr) noexcept : FPool(APool) {}
  template <class U>
  TPoolAllocator(const TPoolAllocator<U>& AOther) noexcept : FPool(AOther.Pool()) {}

  T* allocate(size_t ACount) {
    static_assert(alignof(T) <= TElementPool::Alignment, "the pool aligns its objects to eight bytes");
    return static_cast<T*>(TElementPool::Allocate(FPool, ACount * sizeof(T)));
  }
  void deallocate(T* AItems, size_t) noexcept { TElementPool::Free(AItems); }
  TElementPool* Pool() const noexcept { return FPool; }
  friend bool operator==(const TPoolAllocator& A, const TPoolAllocator& B) noexcept { return A.FPool == B.FPool; }

 private:
  TElementPool* FPool;
};

// A list of plain values in a pool, half the size of a standard vector: it keeps no allocator, and whatever may
// grow it names the pool. Every text engine keeps several, most of them empty or of one item.
template <class T>
class TPoolVector {
  static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= TElementPool::Alignment);

 public:
  TPoolVector() = default;
  TPoolVector(const TPoolVector&) = delete;
  TPoolVector& operator=(const TPoolVector&) = delete;
  ~TPoolVector() { TElementPool::Free(FItems); }

  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  T* begin() { return FItems; }
  T* end() { return FItems + FSize; }
  const T* begin() const { return FItems; }
  const T* end() const { return FItems + FSize; }
  T& operator[](size_t AIndex) { return FItems[AIndex]; }
  const T& operator[](size_t AIndex) const { return FItems[AIndex]; }
  T& front() { return FItems[0]; }
  const T& front() const { return FItems[0]; }
  T& back() { return FItems[FSize - 1]; }

  // Keeps the room.
  void clear() { FSize = 0; }
  void pop_back() { --FSize; }
  void swap(TPoolVector& AOther) noexcept {
    std::swap(FItems, AOther.FItems);
    std::swap(FSize, AOther.FSize);
    std::swap(FCapacity, AOther.FCapacity);
  }

  void push_back(TElementPool* APool, const T& AItem) {
    if (FSize == FCapacity) Reserve(APool, FSize + 1);
    FItems[FSize++] = AItem;
  }
  void resize(TElementPool* APool, size_t ASize, const T& AItem = T()) {
    Reserve(APool, ASize);
    for (size_t i = FSize; i < ASize; ++i) FItems[i] = AItem;
    FSize = static_cast<uint32_t>(ASize);
  }
  void assign(TElementPool* APool, size_t ASize, const T& AItem) {
    FSize = 0;
    resize(APool, ASize, AItem);
  }
  T* insert(TElementPool* APool, T* AAt, const T& AItem) {
    const size_t at = static_cast<size_t>(AAt - FItems);
    if (FSize == FCapacity) Reserve(APool, FSize + 1);
    std::memmove(FItems + at + 1, FItems + at, (FSize - at) * sizeof(T));
    FItems[at] = AItem;
    ++FSize;
    return FItems + at;
  }
  T* erase(T* AFirst, T* ALast) {
    std::memmove(AFirst, ALast, static_cast<size_t>(end() - ALast) * sizeof(T));
    FSize -= static_cast<uint32_t>(ALast - AFirst);
    return AFirst;
  }

 private:
  // Room for at least ASize: twice the old room when that is more, as a standard vector grows.
  void Reserve(TElementPool* APool, size_t ASize) {
    if (ASize <= FCapacity) return;
    const size_t capacity = std::max<size_t>(ASize, size_t(FCapacity) * 2);
    if (capacity > UINT32_MAX) throw std::length_error("TPoolVector");
    T* items = static_cast<T*>(TElementPool::Allocate(APool, capacity * sizeof(T)));
    if (FSize) std::memcpy(items, FItems, FSize * sizeof(T));
    TElementPool::Free(FItems);
    FItems = items;
    FCapacity = static_cast<uint32_t>(capacity);
  }

  T* FItems = nullptr;
  uint32_t FSize = 0;
  uint32_t FCapacity = 0;
};

struct TElementPoolRelease {
  void operator()(TElementPool* APool) const noexcept { APool->Release(); }
};
using TElementPoolRef = std::unique_ptr<TElementPool, TElementPoolRelease>;
