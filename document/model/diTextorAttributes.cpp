#include "document/model/diTextorAttributes.h"

#include <typeinfo>
#include <utility>

namespace {
// The pool of shared instances: one singly linked list for the whole process.
TAttributes* PoolHead = nullptr;
}  // namespace

const TClassInfo<TAttributes> TAttributes::ClassInfo{u"TAttributes", nullptr, &ClassFactory<TAttributes, TAttributes>};
const TClassInfo<TAttributes> TTextAttributes::ClassInfo{u"TTextAttributes", &TAttributes::ClassInfo,
                                                         &ClassFactory<TTextAttributes, TAttributes>};
const TClassInfo<TAttributes> TParagraphAttributes::ClassInfo{u"TParagraphAttributes", &TAttributes::ClassInfo,
                                                              &ClassFactory<TParagraphAttributes, TAttributes>};

TAttributes::~TAttributes() = default;

TAttributes* TAttributes::CreateShared(TAttributesClass AClass) {
  TAttributes* a = AClass->Create();
  a->FShared = true;
  a->FNextShared = PoolHead;
  PoolHead = a;
  return a;
}

TAttributes* TAttributes::Acquire() const {
  if (FShared) return const_cast<TAttributes*>(this);
  if (TAttributes* found = FindShared(*this)) return found;
  TAttributes* copy = CreateShared(ClassRef());
  copy->Assign(*this);
  return copy;
}

void TAttributes::Release() {
  if (--FRefCount > 0 || !FShared) return;
  for (TAttributes** link = &PoolHead; *link; link = &(*link)->FNextShared)
    if (*link == this) {
      *link = FNextShared;
      break;
    }
  delete this;
}

TAttributes* TAttributes::FindShared(const TAttributes& AAttributes) {
  for (TAttributes* a = PoolHead; a; a = a->FNextShared)
    if (a->IsEqual(AAttributes)) return a;
  return nullptr;
}

void TAttributes::FreePool() {
  while (TAttributes* a = PoolHead) {
    PoolHead = a->FNextShared;
    delete a;
  }
}

int TAttributes::PoolSize() {
  int n = 0;
  for (TAttributes* a = PoolHead; a; a = a->FNextShared) ++n;
  return n;
}

bool TAttributes::IsEqual(const TAttributes& AOther) const { return typeid(*this) == typeid(AOther); }

void TTextAttributes::SetTag(std::u16string AValue) {
  BeginChange();
  FTag = std::move(AValue);
  EndChange();
}

void TTextAttributes::SetLink(int32_t AFlag, std::u16string ATarget) {
  BeginChange();
  FLinkFlag = AFlag;
  FLinkTarget = std::move(ATarget);
  EndChange();
}

void TTextAttributes::Assign(const TAttributes& ASource) {
  if (auto* s = dynamic_cast<const TTextAttributes*>(&ASource)) {
    FTag = s->FTag;
    FLinkTarget = s->FLinkTarget;
    FLinkFlag = s->FLinkFlag;
  }
}

bool TTextAttributes::IsEqual(const TAttributes& AOther) const {
  if (!TAttributes::IsEqual(AOther)) return false;
  auto& o = static_cast<const TTextAttributes&>(AOther);
  return FTag == o.FTag && FLinkTarget == o.FLinkTarget && FLinkFlag == o.FLinkFlag;
}

void TParagraphAttributes::SetAlignment(uint8_t AValue) {
  BeginChange();
  FAlignment = AValue;
  EndChange();
}

void TParagraphAttributes::Assign(const TAttributes& ASource) {
  if (auto* s = dynamic_cast<const TParagraphAttributes*>(&ASource)) FAlignment = s->FAlignment;
}

bool TParagraphAttributes::IsEqual(const TAttributes& AOther) const {
  return TAttributes::IsEqual(AOther) && FAlignment == static_cast<const TParagraphAttributes&>(AOther).FAlignment;
}

std::u16string VisibleText(const char16_t* AText, int ALength) {
  std::u16string r(AText, static_cast<size_t>(ALength));
  for (char16_t& c : r)
    if (c < 32) c = u'\uFFFD';
  return r;
}
