// Visual element classes for tests and benchmarks, and a headless host that records what a sheet tells it.
#pragma once

#include "document/model/diCanvas.h"
#include "document/model/diSheet.h"
#include "document/text/diTextorElement.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A container that lays nothing out (tests place its children) and shows its children unless collapsed; a
// collapsed one reveals a child by expanding.
class TTestVisualGroup : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestVisualGroup(TScheme* AScheme);

  void SetCollapsed(bool AValue);
  bool Collapsed() const { return FCollapsed; }
  // A collapsed group that refuses to expand.
  bool Locked = false;

  void GetChildClasses(TElementClassList& AList) override;
  bool IsChildShown(TVisualElement* AChild) override { return !FCollapsed; }
  void RevealChild(TVisualElement* AChild) override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  void MouseClick() override { ++Clicks; }
  void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift, bool ACtrl,
                 bool AAlt) override;
  void PaintDisabled(TSheetCanvas* ACanvas) override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;

  int Clicks = 0;
  int MouseDowns = 0;
  int* PaintDisabledCalls = nullptr;
  // Told of every settings change the group gets from its visual parent.
  std::function<void(bool AWidthChanged, bool AHeightChanged)> OnSettingsChanged;

 private:
  bool FCollapsed = false;
};

// A focusable value element with a text; its caret is a frame around it. Counts the hooks tests look at.
class TTestVisualLeaf : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestVisualLeaf(TScheme* AScheme);

  const std::u16string& Text() const { return FText; }
  void SetText(std::u16string AText);

  bool CalcHasValue() override { return !FText.empty(); }
  uint8_t GetCaret(TRect& ARect) override;
  void BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) override { ++BoundsHooks; }
  void Moved() override {
    ++MovedHooks;
    TVisualElement::Moved();
  }
  void FollowPlace() override {
    ++FollowHooks;
    TVisualElement::FollowPlace();
  }
  // Asked by every hit test that reaches the element.
  void GetMouseTransparentMargins(TRect& ARect) override {
    ++HitTests;
    ARect = TRect();
  }
  void MouseClick() override { ++Clicks; }
  void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift, bool ACtrl,
                 bool AAlt) override;
  void KeyPress(char16_t& AChar) override { Typed += AChar; }
  void PaintDisabled(TSheetCanvas* ACanvas) override;
  bool Activate() override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  void GetPaletteItems(TPaletteList& AList) override;
  void GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) override;
  bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) override;

  // Offered after the base's items.
  TPaletteList ExtraPaletteItems;
  bool RefusesPaletteItems = false;
  // Runs of items other than Disabled, as "text:value", with " in update" inside a sheet update.
  std::vector<std::u16string>* PaletteRuns = nullptr;
  int BoundsHooks = 0;
  int MovedHooks = 0;
  int FollowHooks = 0;  // what follows its place was placed
  int HitTests = 0;
  int Clicks = 0;
  int MouseDowns = 0;
  int Activations = 0;
  std::u16string Typed;
  int* PaintDisabledCalls = nullptr;

 private:
  std::u16string FText;
};

// Makes a child of AParent in both trees, placed at the given bounds.
template <class T>
T* AddVisual(TVisualElement* AParent, int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  T* e = TElement::CreateIn<T>(AParent->Scheme(), AParent);
  e->SetVisualParent(AParent);
  e->SetBounds(ALeft, ATop, AWidth, AHeight, e->Descent());
  return e;
}

// Makes AGroup the top of a tree of AElements elements (AGroup counted), at most AFanOut children per group,
// nested as deep as that takes. Leaves are 100 x 20; a group holds its children in rows of five with 5 pixels
// around and between them and is sized to them, so no element overlaps another that is not its ancestor.
void FillVisualTree(TTestVisualGroup* AGroup, int AElements, int AFanOut);

// Timers that tick only when a test says so.
class TManualTimers {
 public:
  TSheetTimerFactory Factory();
  // Ticks every running timer once, in the order they were started.
  void TickAll();
  int Running() const;
  // Every timer started so far, stopped ones too.
  int Made() const { return static_cast<int>(FEntries.size()); }

 private:
  struct TEntry {
    std::function<void()> Tick;
    bool Alive = true;
  };
  std::vector<std::shared_ptr<TEntry>> FEntries;
};

// A document scheme whose root group sits under a sheet, with the host's notifications recorded.
class TSheetHostFixture {
 public:
  struct TNote {
    int Code;
    bool HasRect;
    TRect Rect;
    intptr_t Param;
  };

  TSheetHostFixture();
  ~TSheetHostFixture();

  TSheetSettings Settings;
  TUndoRedo History;
  TScheme Scheme;
  TManualTimers Timers;
  bool LeftButton = false;
  std::unique_ptr<TSheet> Sheet;
  TTestVisualGroup* Root;
  std::vector<TNote> Notes;
  // Called on every notification, after it was recorded.
  std::function<void(int ACode)> OnNote;

  // A new element of class T at the end of AText's text, shown in it.
  template <class T>
  T* EmbedAtEnd(TTextorElement* AText) {
    T* e = TElement::CreateIn<T>(&Scheme, AText);
    TTextRange range;
    AText->Textor()->InsertElement(AText->Textor()->GetEndPosition(), e, nullptr, range);
    e->SetVisualParent(AText);
    return e;
  }

  std::vector<int> Codes() const;
  int Count(int ACode) const;

 private:
  void Handler(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
};
