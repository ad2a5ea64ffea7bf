#include "tests/document/TestElements.h"

#include "foundation/cuKnot.h"

#include <algorithm>

const TElementClassInfo TElement_TestRoot::ClassInfo{u"TElement_TestRoot", &TElement::ClassInfo,
                                                     &ElementFactory<TElement_TestRoot>};
const TElementClassInfo TElement_TestGroup::ClassInfo{u"TElement_Group", &TElement_TestRoot::ClassInfo,
                                                      &ElementFactory<TElement_TestGroup>};
const TElementClassInfo TElement_TestNote::ClassInfo{u"TElement_Note", &TElement::ClassInfo,
                                                     &ElementFactory<TElement_TestNote>};
const TElementClassInfo TElement_TestRequired::ClassInfo{u"TElement_Required", &TElement_TestNote::ClassInfo,
                                                         &ElementFactory<TElement_TestRequired>};
const TElementClassInfo TElement_TestCaption::ClassInfo{u"TElement_Caption", &TElement::ClassInfo,
                                                        &ElementFactory<TElement_TestCaption>};
const TElementClassInfo TElement_TestComment::ClassInfo{u"TElement_Comment", &TElement::ClassInfo,
                                                        &ElementFactory<TElement_TestComment>};

void TElement_TestRoot::GetChildClasses(TElementClassList& AList) {
  AList.push_back(&TElement_TestGroup::ClassInfo);
  AList.push_back(&TElement_TestNote::ClassInfo);
  AList.push_back(&TElement_TestRequired::ClassInfo);
}

void TElement_TestRoot::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TElement::LoadFromKnot(ALoader, AKnot);
  std::unique_ptr<TElementClassList> classes;
  for (TKnot* k = AKnot->FirstKnot(); k; k = k->NextKnot()) CreateChildFromKnot(ALoader, k, nullptr, classes);
}

void TElement_TestRoot::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TElement::SaveToKnot(ASaver, AKnot);
  for (TElement* c = FirstChildElement(); c; c = c->NextSiblingElement())
    if (!c->IsPart() && ShouldSaveChild(ASaver, c) &&
        !(c->HasOptions(eoUnaccepted) && ASaver->HasFlags(ffSkipUnaccepted)))
      c->SaveToKnot(ASaver, AKnot->AddKnot(std::u16string(c->GetNodeName())));
}

void TElement_TestGroup::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  Title = AKnot->ReadString(u"Title", u"");
  Color = AKnot->ReadInteger(u"Color", 0, 0, 0);
  Folded = AKnot->ReadBool(u"Folded", false);
  TElement_TestRoot::LoadFromKnot(ALoader, AKnot);
}

void TElement_TestGroup::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  if (!Title.empty()) AKnot->WriteString(u"Title", Title);
  if (Color) AKnot->WriteInteger(u"Color", Color);
  if (Folded) AKnot->WriteBool(u"Folded", true);
  TElement_TestRoot::SaveToKnot(ASaver, AKnot);
}

TElement_TestNote::TElement_TestNote(TScheme* AScheme) : TElement(AScheme) {
  SetOptions(eoValue);
  FCaption = static_cast<TElement_TestCaption*>(CreatePart(&TElement_TestCaption::ClassInfo, this, nullptr));
  FComment = static_cast<TElement_TestComment*>(CreatePart(&TElement_TestComment::ClassInfo, this, nullptr));
}

void TElement_TestNote::SetText(std::u16string AText) {
  if (AText == FText) return;
  FText = std::move(AText);
  ValueChanged();
}

void TElement_TestNote::CheckValue() { ++CheckValueCalls; }

void TElement_TestNote::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (APart == FComment)
    AName = u"Comment";
  else if (APart == FCaption)
    AName = u"Caption";
  else
    TElement::GetPartNodeName(APart, AFiler, AName);
}

void TElement_TestNote::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TElement::LoadFromKnot(ALoader, AKnot);
  FText = AKnot->ReadString(u"Text", u"");
  UpdateState();
}

void TElement_TestNote::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  if (!FText.empty()) AKnot->WriteString(u"Text", FText);
  TElement::SaveToKnot(ASaver, AKnot);
}

TElement_TestRequired::TElement_TestRequired(TScheme* AScheme) : TElement_TestNote(AScheme) {
  SetOptions(Options() | eoValueRequired);
}

TElement_TestCaption::TElement_TestCaption(TScheme* AScheme) : TElement(AScheme) { SetOptions(eoInlinePart | eoValue); }

void TElement_TestCaption::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TElement::LoadFromKnot(ALoader, AKnot);
  Text = AKnot->ReadString(ALoader->Mode() == fmRecord ? u"Text" : u"Caption", u"");
  UpdateState();
}

void TElement_TestCaption::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TElement::SaveToKnot(ASaver, AKnot);
  if (!Text.empty()) AKnot->WriteString(ASaver->Mode() == fmRecord ? u"Text" : u"Caption", Text);
}

TElement_TestComment::TElement_TestComment(TScheme* AScheme) : TElement(AScheme) { SetOptions(eoValue); }

void TElement_TestComment::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TElement::LoadFromKnot(ALoader, AKnot);
  Text = AKnot->ReadString(u"Text", u"");
  UpdateState();
}

void TElement_TestComment::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TElement::SaveToKnot(ASaver, AKnot);
  if (!Text.empty()) AKnot->WriteString(u"Text", Text);
}

namespace {

void FillGroup(TElement_TestGroup* AGroup, int& ALeft, int ADepth, int AVersion, int& ASerial) {
  while (ALeft > 0) {
    const int n = ASerial++;
    --ALeft;
    if (ADepth < 4 && n % 7 == 3) {
      auto* g = TElement::CreateIn<TElement_TestGroup>(AGroup->Scheme(), AGroup);
      g->Title = u"Group " + IntToStr(n) + u" of version " + IntToStr(AVersion);
      g->Color = (n * 2654435761u + AVersion) % 0xFFFFFF;
      g->Folded = n % 3 == 0;
      int inner = std::min(ALeft, 20 + n % 30);
      ALeft -= inner;
      FillGroup(g, inner, ADepth + 1, AVersion, ASerial);
    } else {
      auto* note = TElement::CreateIn<TElement_TestNote>(AGroup->Scheme(), AGroup);
      note->SetText(u"Note " + IntToStr(n) + u" says \"hello\" & <goodbye> in version " + IntToStr(AVersion));
      note->Caption()->Text = u"Caption " + IntToStr(n % 97);
      if (n % 5 == 0) {
        note->Comment()->Text = u"A comment on note " + IntToStr(n);
        note->Comment()->UpdateState();
      }
    }
    if (ADepth > 0 && n % 23 == 0) return;
  }
}

}  // namespace

void FillTestDocument(TElement* ARoot, int AElements, int AVersion) {
  auto* top = TElement::CreateIn<TElement_TestGroup>(ARoot->Scheme(), ARoot);
  top->Title = u"Version " + IntToStr(AVersion);
  top->Color = AVersion;
  int left = AElements - 1;
  int serial = 0;
  while (left > 0) FillGroup(top, left, 0, AVersion, serial);
}

int TestDocumentVersion(TElement* ARoot) {
  auto* top = ARoot ? dynamic_cast<TElement_TestGroup*>(ARoot->FirstChildElement()) : nullptr;
  return top ? top->Color : -1;
}
