#include "foundation/cuClasses.h"

#include <algorithm>

TItfObject::TItfObject() = default;

TItfObject::~TItfObject() = default;

int TItfObject::NotifyEventCount() const { return FHandlers ? FHandlers->Count() : 0; }

void TItfObject::AddNotifyEvent(const TItfNotifyEvent& AHandler) {
  if (!FHandlers) FHandlers = std::make_unique<THandlerList<TItfNotifyEvent>>();
  FHandlers->Add(AHandler);
}

void TItfObject::RemoveNotifyEvent(const TItfNotifyEvent& AHandler) {
  if (FHandlers) FHandlers->Remove(AHandler);
}

int TItfObject::IndexOfNotifyEvent(const TItfNotifyEvent& AHandler) const {
  return FHandlers ? FHandlers->IndexOf(AHandler) : -1;
}

void TItfObject::Notify(intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (!FHandlers) return;
  FHandlers->FireBackward([&](const TItfNotifyEvent& AHandler) { AHandler(this, ANotify, AParam1, AParam2); });
}
