// Observable base object with ordered change handlers, and the intrusive list algorithms.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/cuHandlerList.h"
#include "foundation/cuSystem.h"

// A change handler: Handler(Sender, Notify, Param1, Param2).
using TItfNotifyEvent = TMethod<void(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2)>;

class TItfObject : public TObject {
 public:
  TItfObject();
  ~TItfObject() override;

  // The same handler may be added twice and then runs twice.
  void AddNotifyEvent(const TItfNotifyEvent& AHandler);
  // Removes the occurrence nearest the end; nothing when absent.
  void RemoveNotifyEvent(const TItfNotifyEvent& AHandler);
  // Searches from the last entry to the first; -1 when absent.
  int IndexOfNotifyEvent(const TItfNotifyEvent& AHandler) const;
  int NotifyEventCount() const;

  // Calls the handlers from the last to the first. Handlers may add and remove handlers (themselves too) and may
  // free this object: an entry removed before its turn is skipped, an entry added meanwhile is not called, and
  // no entry runs twice.
  virtual void Notify(intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);

 private:
  // Created with the first handler: most objects never get one, and trees hold many objects.
  std::unique_ptr<THandlerList<TItfNotifyEvent>> FHandlers;
};

// Intrusive lists over link fields that the caller owns. Every operation is static and takes a links type L
// with static accessors:
//   struct TMyLinks {
//     static T* Next(T*);  static void SetNext(T*, T* ANext);
//     static T* Prev(T*);  static void SetPrev(T*, T* APrev);   // doubly linked lists only
//   };

class TDirectionalList {
 public:
  TDirectionalList() = delete;

  // The item Index steps after AFirst; nullptr when the list ends first.
  template <class L, class T>
  static T* ItemAt(T* AFirst, int AIndex) {
    if (AIndex < 0) return nullptr;
    T* item = AFirst;
    for (; item && AIndex > 0; --AIndex) item = L::Next(item);
    return item;
  }

  // AStartIndex plus the steps from AFirst to AItem; -1 when the walk never meets AItem.
  template <class L, class T>
  static int IndexOf(T* AFirst, int AStartIndex, const T* AItem) {
    for (T* item = AFirst; item; item = L::Next(item), ++AStartIndex)
      if (item == AItem) return AStartIndex;
    return -1;
  }

  // True when ALater is nullptr or is met following next links from AItem; False for AItem itself.
  template <class L, class T>
  static bool Precedes(T* AItem, const T* ALater) {
    if (!ALater) return true;
    for (T* item = AItem ? L::Next(AItem) : nullptr; item; item = L::Next(item))
      if (item == ALater) return true;
    return false;
  }

  template <class L, class T>
  static T* GetLast(T* AFirst) {
    T* last = AFirst;
    if (last)
      while (T* next = L::Next(last)) last = next;
    return last;
  }
};

class TUnidirectionalList : public TDirectionalList {
 public:
  template <class L, class T>
  static void Prepend(T*& AFirst, T* AItem) {
    L::SetNext(AItem, AFirst);
    AFirst = AItem;
  }

  // Linear in the length of the list.
  template <class L, class T>
  static void Append(T*& AFirst, T* AItem) {
    L::SetNext(AItem, nullptr);
    if (T* last = GetLast<L>(AFirst))
      L::SetNext(last, AItem);
    else
      AFirst = AItem;
  }

  template <class L, class T>
  static void Remove(T*& AFirst, T* AItem) {
    if (AFirst == AItem) {
      AFirst = L::Next(AItem);
    } else {
      T* prev = AFirst;
      while (prev && L::Next(prev) != AItem) prev = L::Next(prev);
      if (!prev) return;
      L::SetNext(prev, L::Next(AItem));
    }
    L::SetNext(AItem, nullptr);
  }
};

class TBidirectionalList : public TDirectionalList {
 public:
  // Links AItem before ABefore; ABefore nullptr appends.
  template <class L, class T>
  static void InsertBefore(T*& AFirst, T*& ALast, T* AItem, T* ABefore) {
    if (!ABefore) {
      L::SetPrev(AItem, ALast);
      L::SetNext(AItem, nullptr);
      if (ALast)
        L::SetNext(ALast, AItem);
      else
        AFirst = AItem;
      ALast = AItem;
      return;
    }
    T* prev = L::Prev(ABefore);
    L::SetPrev(AItem, prev);
    L::SetNext(AItem, ABefore);
    L::SetPrev(ABefore, AItem);
    if (prev)
      L::SetNext(prev, AItem);
    else
      AFirst = AItem;
  }

  template <class L, class T>
  static void Remove(T*& AFirst, T*& ALast, T* AItem) {
    T* prev = L::Prev(AItem);
    T* next = L::Next(AItem);
    if (prev)
      L::SetNext(prev, next);
    else
      AFirst = next;
    if (next)
      L::SetPrev(next, prev);
    else
      ALast = prev;
    L::SetNext(AItem, nullptr);
    L::SetPrev(AItem, nullptr);
  }

  template <class L, class T>
  static void Move(T*& AFirst, T*& ALast, T* AItem, T* ABefore) {
    Remove<L>(AFirst, ALast, AItem);
    InsertBefore<L>(AFirst, ALast, AItem, ABefore);
  }

  // Removes the items one by one, always the current first, and hands each to AFree.
  template <class L, class T, class TFree>
  static void Clear(T*& AFirst, T*& ALast, TFree&& AFree) {
    while (T* item = AFirst) {
      Remove<L>(AFirst, ALast, item);
      AFree(item);
    }
  }
};
