#include "document/model/diMessages.h"

#include <utility>

std::u16string TElementMessage::GetText() const {
  std::u16string r;
  for (const TElementMessagePart& p : FParts) r += p.Text;
  return r;
}

TElementMessages::~TElementMessages() { Clear(); }

void TElementMessages::AddPart(TElementMessage* AMessage, uint8_t APartKind, std::u16string_view AText,
                               std::u16string_view ATarget) {
  AMessage->FParts.push_back({APartKind, std::u16string(AText), std::u16string(ATarget)});
  TElementMessagePart& part = AMessage->FParts.back();
  if (OnPart) OnPart(this, AMessage, &part, part.Text, part.Target);
}

TElementMessage* TElementMessages::Append(std::unique_ptr<TElementMessage> AMessage) {
  if (OnAdding) {
    bool accept = true;
    OnAdding(this, AMessage.get(), accept);
    if (!accept) return nullptr;
  }
  if (!FList) FList = std::make_unique<std::vector<std::unique_ptr<TElementMessage>>>();
  TElementMessage* m = AMessage.get();
  FList->push_back(std::move(AMessage));
  if (OnAdded) OnAdded(this, m);
  return m;
}

TElementMessage* TElementMessages::Add(uint8_t AKind, std::u16string_view AText) {
  auto m = std::make_unique<TElementMessage>(AKind);
  AddPart(m.get(), mpText, AText, {});
  return Append(std::move(m));
}

TElementMessage* TElementMessages::AddLinked(uint8_t AKind, std::u16string_view AText, std::u16string_view ATarget) {
  auto m = std::make_unique<TElementMessage>(AKind);
  m->FParts.reserve(3);
  std::u16string_view prefix, link = AText, suffix;
  size_t open = AText.find(u'[');
  if (open != std::u16string_view::npos) {
    size_t close = AText.find(u']', open + 1);
    if (close != std::u16string_view::npos) {
      prefix = AText.substr(0, open);
      link = AText.substr(open + 1, close - open - 1);
      suffix = AText.substr(close + 1);
    }
  }
  if (!prefix.empty()) AddPart(m.get(), mpText, prefix, {});
  AddPart(m.get(), mpElementLink, link, ATarget);
  if (!suffix.empty()) AddPart(m.get(), mpText, suffix, {});
  return Append(std::move(m));
}

void TElementMessages::Clear() {
  if (!FList) return;
  FList.reset();
  if (OnClear) OnClear(this);
}

void TElementMessages::BeginUpdate() {
  if (FUpdateCount == 0) Clear();
  ++FUpdateCount;
}

void TElementMessages::EndUpdate() { --FUpdateCount; }

TElementMessage* TElementMessages::GetItem(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) throw EProgrammingError(u"Message index out of range");
  return (*FList)[AIndex].get();
}

bool TElementMessages::HasKinds(TMessageKinds AKinds) const {
  if (!FList) return false;
  for (const auto& m : *FList)
    if (m->Kind() < 8 && (AKinds & (1u << m->Kind()))) return true;
  return false;
}

void TElementMessages::ReplaceLinkTarget(std::u16string_view AOld, std::u16string_view ANew) {
  if (!FList) return;
  for (auto& m : *FList)
    for (TElementMessagePart& p : m->FParts)
      if (p.PartKind == mpElementLink && p.Target == AOld) p.Target = ANew;
}

int TElementMessages::GetSeverity() const {
  if (HasKinds(MessageKinds({mkError}))) return 3;
  if (HasKinds(MessageKinds({mkWarning, mkValueNeeded, mkElementError}))) return 2;
  if (HasKinds(MessageKinds({mkHint}))) return 1;
  return 0;
}
