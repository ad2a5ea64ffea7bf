// Titled elements: framed elements whose first rows, the title, are built from a list of items (texts, pictures,
// gaps and child elements) and laid out in rows; below the title an expandable content may follow. The chain adds
// step by step a description shown beside the element, the title and frame, an expand state with a stored size,
// and a content container.
#pragma once

#include "document/elements/diCustomElements.h"
#include "document/model/diPalette.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TExpandButton;

// String identifiers of the palette items.
enum : int {
  IdPaletteDescription = 2490,
  IdPaletteDescriptionHint = 2491,
  IdPaletteCollapsed = 2492,
  IdPaletteCollapsedHint = 2493,
};

// The description's own visibility bit: shown while it has a value or is focused (visual option bit 13).
constexpr TVisualOptions DescriptionVisualOptions = voShownOnDemand;

// The element ADescription describes, when it is the description part of a described element; nil otherwise. Its
// visual parent is the sheet's root, so a description class answers this as its navigation parent (arrow keys
// then go from the description to the element's next sibling) and counts as disabled while this one is.
TVisualElement* GetDescribedElement(const TVisualElement* ADescription);

// The attached description: a part made with the element (of the class its constructor is given), stored under
// "Description", placed to the right of the element, top-aligned, as a child of the sheet's root.
class TCustomDescribedElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  // Without ADescriptionClass the element has no description.
  explicit TCustomDescribedElement(TScheme* AScheme, TElementClass ADescriptionClass = nullptr);

  TVisualElement* Description() const { return FDescription; }
  // Places the description to the right of the element (its right edge plus the larger margin), top-aligned,
  // never left of or above 0, under the sheet's root.
  void PlaceDescription();

  void BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) override;
  void FollowPlace() override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  void EffectivelyDisabledChanged() override;
  void VisibleChanged() override;
  void DetachFromSheet() override;
  TVisualElement* GetNextChild(TVisualElement* AChild, bool AForward) override;
  void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) override;
  bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) override;
  void GetPaletteItems(TPaletteList& AList) override;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  using TPassesNodeMessages = TCustomDescribedElement;

 private:
  TVisualElement* FDescription = nullptr;
};

// Title flags, by their stored values.
enum class TTitleFlag : uint8_t {
  tlCommand = 0x01,        // framed by "ElementCommand"
  tlTechnical = 0x02,      // framed by "ElementTechnical"
  tlExpression = 0x04,     // framed by "ElementExpression"
  tlSizeDependent = 0x08,  // laid out again when the available size changes (a hosted or size-bound text)
};
constexpr bool IsFlagFamily(TTitleFlag) { return true; }
using enum TTitleFlag;
using TTitleFlags = TSet<TTitleFlag>;

// Kinds of title items, by their stored values.
enum class TTitleItemKind : uint8_t {
  tkText = 0,
  tkLineElement = 1,  // an element at least one title line high
  tkContainer = 2,    // a title text container; spans to the right edge
  tkElement = 3,
  tkGap = 4,
  tkCharImage = 5,  // a picture of the 12-pixel scheme images
  tkSmallImage = 6,
  tkLargeImage = 7,
  tkLine = 8,  // the theme's "Line"
};
using enum TTitleItemKind;

// Vertical place of an element within its title row.
enum class TTitleAlignment : uint8_t { taTop = 0, taCenter = 1, taBottom = 2 };
using enum TTitleAlignment;

struct TTitleItem {
  TTitleItemKind Kind = tkText;
  bool LineBreakAfter = false;
  TVisualElement* Element = nullptr;  // kinds 1-3
  int32_t Value = 0;                  // the gap width or the image index
  std::u16string Text;                // kind 0
  TTitleAlignment Alignment = taTop;  // kinds 1 and 3
  // Measured once, on first use; a baseline of 0 means the height.
  bool Measured = false;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Baseline = 0;
  TRect Margins;
  // The negative margins, made positive in Margins, taken off the item's position.
  TVisualPoint Shift;
  // Where the layout put the item, in the element's coordinates.
  TRect Bounds;
};

// A row of the last layout: its first and last item, its top, its height (the highest item's) and its baseline
// (the largest of its items', from its top).
struct TTitleRow {
  int First = 0;
  int Last = 0;
  int32_t Top = 0;
  int32_t Height = 0;
  int32_t Baseline = 0;
};

// The items of one title, in order; rows end at items with LineBreakAfter. References to items stay valid only
// until the next item is added.
class TTitleWriter {
 public:
  TTitleWriter() = default;
  // A writer that only counts the items: each one added is written over AScratch.
  explicit TTitleWriter(TTitleItem* AScratch) : FScratch(AScratch) {}

  TTitleItem& AddItem(TTitleItemKind AKind);
  TTitleItem& AddText(std::u16string AText);
  TTitleItem& AddElement(TVisualElement* AElement, TTitleAlignment AAlignment);
  // Centred and at least one title line high.
  TTitleItem& AddLineElement(TVisualElement* AElement);
  TTitleItem& AddContainer(TVisualElement* AElement);
  TTitleItem& AddGap(int32_t AWidth);
  // AKind is tkCharImage, tkSmallImage or tkLargeImage.
  TTitleItem& AddImage(TTitleItemKind AKind, int AIndex);
  TTitleItem& AddLine();
  // The next item starts a new row; nothing while empty.
  void NewLine();
  bool Contains(const TVisualElement* AElement) const;
  // No items and no rows; what they took is kept for the next title.
  void Clear();
  // Room for AItems items, or for ARows rows: a document holds thousands of titles, each in blocks of its size.
  void ReserveItems(int AItems) { FItems.reserve(static_cast<size_t>(AItems)); }
  void ReserveRows(int ARows) { FRows.reserve(static_cast<size_t>(ARows)); }

  int Count() const { return FScratch ? FCounted : static_cast<int>(FItems.size()); }
  TTitleItem& Item(int AIndex) { return FItems.at(AIndex); }
  const TTitleItem& Item(int AIndex) const { return FItems.at(AIndex); }

  // The rows, as the layout formed them.
  TTitleRow& AddRow() { return FRows.emplace_back(); }
  int RowCount() const { return static_cast<int>(FRows.size()); }
  const TTitleRow& Row(int AIndex) const { return FRows.at(AIndex); }

 private:
  std::vector<TTitleItem> FItems;
  std::vector<TTitleRow> FRows;
  TTitleItem* FScratch = nullptr;
  int FCounted = 0;
};

// What the title layout asks of a text it places as a container item.
class ITitleContainer {
 public:
  // The size the text measured for itself.
  virtual TVisualSize GetNaturalSize() = 0;
  // The rectangle the title gives it, in its visual parent's coordinates.
  virtual void SetTitleBounds(const TRect& ARect) = 0;

 protected:
  ~ITitleContainer() = default;
};

// The title and the frame. A title row is as high as its highest item; texts and pictures are centred in it
// (an odd difference rounds toward the top), elements placed by their alignment. Only children the title places
// are shown.
class TCustomTitledElement : public TCustomDescribedElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomDescribedElement::TCustomDescribedElement;
  ~TCustomTitledElement() override;

  TTitleFlags TitleFlags() const { return FTitleFlags; }
  void SetTitleFlags(TTitleFlags AValue);
  // The title of the last layout; nil before the first.
  const TTitleWriter* Title() const { return FTitle.get(); }

  // Lays the title out again and sizes the element: nothing off a sheet, hidden, being destroyed or already
  // laying out.
  void RelayoutTitle();

  // Introduced hooks.
  virtual void WriteTitle(TTitleWriter& AWriter) {}
  virtual void TitleChanged(TVisualElement* ASender);
  virtual TVisualElement* GetContent() { return nullptr; }
  virtual void GetMinimumSize(TVisualSize& ASize) { ASize = TVisualSize(); }
  virtual void PaintFrame(TSheetCanvas* ACanvas, const TRect& ARect) {}

  bool IsChildShown(TVisualElement* AChild) override;
  void ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) override;
  void ChildVisibleChanged(TVisualElement* AChild) override;
  void VisibleChanged() override;
  bool VisualChildNotify(TVisualElement* AChild, int ACode, intptr_t AParam1, intptr_t AParam2) override;
  void FocusChanged() override;
  uint8_t GetCaret(TRect& ARect) override;
  void GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) override;
  void RevealChild(TVisualElement* AChild) override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  void UpdateChildrenVisible() override;

 private:
  // Writes the title anew and shows the children it places.
  void WriteTitleItems();
  void MeasureItem(TTitleItem& AItem);
  // Refreshes the expand buttons among the children that control AChild.
  void UpdateControllingButtons(TVisualElement* AChild);

  // Bit 0: the title is being laid out.
  uint8_t FTitleState = 0;
  TTitleFlags FTitleFlags;
  std::unique_ptr<TTitleWriter> FTitle;
};

// A titled element with an expand state and a stored size: "Width" and "Height" (not written when 0, neither
// written nor read under ffNoPositions) are a minimum while expanded.
class TTitledElement : public TCustomTitledElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomTitledElement::TCustomTitledElement;

  // Nil when the element has none.
  TExpandButton* ExpandButton() const { return FExpandButton; }
  // An inline part stored as the attribute "Expanded", the first visual child.
  void CreateExpandButton(bool AExpanded);
  // True without a button.
  bool IsExpanded() const;
  int32_t StoredWidth() const { return FStoredWidth; }
  int32_t StoredHeight() const { return FStoredHeight; }
  // Lays the title out again while expanded.
  void SetStoredSize(int32_t AWidth, int32_t AHeight);

  // The frame: "ElementCommand", "ElementTechnical" or "ElementExpression" by the first set title flag, else
  // "Element".
  virtual int GetThemeElement();

  void WriteTitle(TTitleWriter& AWriter) override;
  void TitleChanged(TVisualElement* ASender) override;
  void GetMinimumSize(TVisualSize& ASize) override;
  void PaintFrame(TSheetCanvas* ACanvas, const TRect& ARect) override;
  void GetPadding(TRect& ARect) override;
  bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) override;
  void GetPaletteItems(TPaletteList& AList) override;
  void GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) override;
  bool Activate() override;
  void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;

 private:
  TExpandButton* FExpandButton = nullptr;
  int32_t FStoredWidth = 0;
  int32_t FStoredHeight = 0;
};

// The editable text of a title or a content: it measures itself and leaves its bounds to the title layout.
class TTitledTextContainer : public TTextorElement, public ITitleContainer {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  // A rich text with formatting, links and several paragraphs.
  explicit TTitledTextContainer(TScheme* AScheme);

  TVisualSize GetNaturalSize() override { return FNaturalSize; }
  void SetTitleBounds(const TRect& ARect) override;

  void UpdateSize() override;
  void GetMargins(TRect& ARect) override;

 private:
  TVisualSize FNaturalSize;
  int32_t FBottomOffset = 0;
};

// A titled element with an expand button (expanded) and a content container made with it, stored under
// "Content". Its title is the button, then, while expanded, the content in a row of its own after a gap of
// ContentGap pixels; kinds that add title items write the button (TTitledElement::WriteTitle), their items,
// then WriteContent.
class TTitledElementWithContent : public TTitledElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  static constexpr int32_t ContentGap = 8;
  TTitledElementWithContent(TScheme* AScheme, TElementClass ADescriptionClass = nullptr,
                            TElementClass AContentClass = &TTitledTextContainer::ClassInfo);

  TVisualElement* Content() const { return FContent; }
  // A new row with the gap and the content, while expanded.
  void WriteContent(TTitleWriter& AWriter);

  TVisualElement* GetContent() override { return FContent; }
  void WriteTitle(TTitleWriter& AWriter) override;
  bool Activate() override;
  void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) override;

 private:
  TVisualElement* FContent = nullptr;
};

// "Collapsed": collapses (value 1) or expands (value 0) the titled elements it runs on, each one undo step, with
// the collapse or the expand sound.
class TCollapsedPaletteItem : public TSchemePaletteItem {
 public:
  using TSchemePaletteItem::TSchemePaletteItem;
  void Execute(IPaletteTarget* AElement, intptr_t AValue) override;
  void ExecuteFor(const TPaletteTargetList& AList, intptr_t AValue) override;
  // Execute plays the sound of the direction it runs in.
  std::u16string GetSoundName() const override { return {}; }
};

// The Description and Collapsed items and the first index of "diTitledLargeImages" in the large scheme images,
// between InitializeTitled and FinalizeTitled (after the palette and the image lists).
extern TSchemePaletteItem* PaletteDescriptionItem;
extern TCollapsedPaletteItem* PaletteCollapsedItem;
extern int TitledLargeImagesIndex;
void InitializeTitled();
void FinalizeTitled();
