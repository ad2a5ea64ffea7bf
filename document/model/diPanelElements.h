// Three small visual elements the engine itself needs: the panel that sizes itself to its children, the element
// that keeps a document node of a class this editor does not accept and writes it back unchanged, and the sign
// drawn at the corner of an element with problems.
#pragma once

#include "document/model/diVisualElement.h"

#include <cstdint>
#include <string>
#include <vector>

class TPanelElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TVisualElement::TVisualElement;
  ~TPanelElement() override;

  // The extent of the visible children plus the padding's right and bottom; a zero extent keeps the size. Inside
  // the sheet's update it waits for the outermost end: a document's first layout changes the root once per child.
  void UpdateLayout();
  // The waiting layout, done now; the sheet calls it at the end of its update.
  void DeliverLayout();
  bool LayoutPending() const { return FLayoutPending; }

  void ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) override;
  void ChildVisibleChanged(TVisualElement* AChild) override;
  void InsertVisualChild(TVisualElement* AChild, TVisualElement* ABefore) override;
  void RemoveVisualChild(TVisualElement* AChild) override;
  void VisibleChanged() override;
  void DetachFromSheet() override;
  // Its own available size less its padding.
  void GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) override;

 private:
  // The largest right or bottom edge of the visible children (0 at least) and how many children reach it, kept as
  // children come, go, move and show or hide, so that a layout does not walk them all: a sheet root holds a sign
  // for every element with messages, and they leave it one by one.
  struct TExtentEdge {
    int32_t Value = 0;
    int32_t Count = 0;
    void Add(int32_t AEdge);
    // False when the last child at the edge left: only a walk tells the new one.
    bool Remove(int32_t AEdge);
  };

  void Layout();
  // Leaves the sheet's list of waiting layouts.
  void CancelLayout();
  void AddToExtent(const TRect& ARect);
  void RemoveFromExtent(const TRect& ARect);

  bool FLayoutPending = false;
  bool FExtentValid = false;
  TExtentEdge FRight;
  TExtentEdge FBottom;
};

class TElement_Unaccepted : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_Unaccepted(TScheme* AScheme);

  // Lines longer than this are cut, their last three characters becoming "...".
  static constexpr size_t MaxLineLength = 100;

  const std::vector<std::u16string>& KnotText() const { return FKnotText; }
  // The stored knot's name, read once when the knot is stored.
  const std::u16string& KnotName() const { return FKnotName; }
  // A line as it is drawn: TABs as eight spaces, cut to MaxLineLength.
  static std::u16string DisplayLine(std::u16string_view ALine);

  bool CalcHasValue() override { return true; }
  void CheckValue() override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  void VisibleChanged() override;

 private:
  void Measure();

  std::vector<std::u16string> FKnotText;
  std::u16string FKnotName;
};

class TMessagesSignElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TMessagesSignElement(TScheme* AScheme);
  ~TMessagesSignElement() override;

  TVisualElement* SignedElement() const { return FSignedElement; }
  void SetSignedElement(TVisualElement* AElement) { FSignedElement = AElement; }

  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  // A bullet list of the signed element's messages.
  void GetHint(std::u16string& AText) override;

 private:
  TVisualElement* FSignedElement = nullptr;
};
