// The drop-down list of choices an element hands to its sheet: a tree of rows that opens like an accordion
// (expanding a branch collapses its siblings), measured and painted row by row for the host's pop-up window.
#pragma once

#include "foundation/cuNode.h"
#include "foundation/cuSystem.h"
#include "graphics/pixels/pxTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDropDownList;
#ifdef _WIN32
class TCustomSheetCanvas;
class TSchemeImages;
#endif

// Rows are indented by this much per level below the first, and the expand glyph takes a column this wide.
constexpr int DropDownIndentStep = 20;
constexpr int DropDownGlyphColumn = 20;
// Images of rows come from the 12-pixel element image list.
constexpr int DropDownImageSize = 12;
// Space after a row's text, and between its image and its text.
constexpr int DropDownTextEnd = 12;
constexpr int DropDownImageGap = 4;

struct TTextSize {
  int Width = 0;
  int Height = 0;
};

// What a list needs from the one that shows it, in practice its sheet: rows are measured in the font they are
// painted in, and the changes of an open list are passed on to the host form.
class IDropDownHost {
 public:
  // The extent of AText in the theme's code font (the sheet canvas's TextExtent(ckCode, ...)).
  virtual TTextSize MeasureDropDownText(const std::u16string& AText) = 0;
  // The open list changed (the sheet's notification 9). Only called while the list is open.
  virtual void DropDownChanged(TDropDownList* AList) = 0;

 protected:
  ~IDropDownHost() = default;
};

// A row; its children are its sub-rows. Made by the caller under the list's root or under another row.
class TDropDownItem : public TNode {
 public:
  TDropDownItem(TDropDownList* AOwnerList, TDropDownItem* AParent);
  ~TDropDownItem() override;

  TDropDownList* OwnerList() const { return FOwnerList; }
  TDropDownItem* ParentItem() const { return static_cast<TDropDownItem*>(Parent()); }
  TDropDownItem* FirstItem() const { return static_cast<TDropDownItem*>(FirstChild()); }
  TDropDownItem* NextItem() const { return static_cast<TDropDownItem*>(NextSibling()); }
  bool HasSubItems() const { return FirstChild() != nullptr; }

  bool Expanded() const { return FExpanded; }
  // A change reaches the list, which collapses the siblings of a row that opened.
  void SetExpanded(bool AValue);
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int AValue) { FImageIndex = AValue; }
  const std::u16string& Caption() const { return FCaption; }
  void SetCaption(std::u16string AValue) { FCaption = std::move(AValue); }
  // Shown when Caption is empty.
  const std::u16string& AltCaption() const { return FAltCaption; }
  void SetAltCaption(std::u16string AValue) { FAltCaption = std::move(AValue); }
  const std::u16string& ShownText() const { return FCaption.empty() ? FAltCaption : FCaption; }
  // A disabled row is drawn grey.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  // Only a selectable row is highlighted when selected and applied by Enter.
  bool Selectable() const { return FSelectable; }
  void SetSelectable(bool AValue) { FSelectable = AValue; }

  // Rows directly under the root have level 1.
  int GetIndent() const { return (GetLevel() - 1) * DropDownIndentStep; }
  // Indent, glyph column, text, its end space and the image with its gap.
  int GetRowWidth() const;

#ifdef _WIN32
  // The image, vertically centred in ARect, enabled or greyed; AX moves past it and its gap.
  virtual void PaintImage(TCustomSheetCanvas& ACanvas, const TRect& ARect, int& AX);
  virtual void PaintRow(TCustomSheetCanvas& ACanvas, const TRect& ARect, bool ASelected);
#endif

 private:
  TDropDownList* FOwnerList;
  bool FExpanded = false;
  int FImageIndex = -1;
  std::u16string FCaption;
  std::u16string FAltCaption;
  bool FEnabled = true;
  bool FSelectable = true;
};

// What Enter does in an open list: only a selected, selectable row is applied; Enter on another row is consumed
// and the list stays; with no row selected the list closes without applying.
enum class TDropDownEnter { deStayOpen, deClose, deApply };

class TDropDownList : public TObject {
 public:
  // Fired by Apply for the selected row.
  using TApplyEvent = std::function<void(TDropDownList* ASender)>;

  // AHost is the sheet the list is made for; without one rows measure 0 wide and nothing is signalled.
  TDropDownList(IDropDownHost* AHost, TApplyEvent AOnApply);
  ~TDropDownList() override;

  IDropDownHost* Host() const { return FHost; }
  // The invisible root, always expanded; rows directly under it are the first level.
  TDropDownItem* RootItem() const { return FRootItem.get(); }

  TDropDownItem* Selected() const { return FSelected; }
  // Expands every ancestor of AItem and signals one change.
  void SetSelected(TDropDownItem* AItem);
  int RowHeight() const { return FRowHeight; }
  void SetRowHeight(int AValue);
  const TRect& Bounds() const { return FBounds; }
  void SetBounds(const TRect& AValue);
  // The widest visible row.
  int ListWidth() const { return FListWidth; }
  void SetListWidth(int AValue);
  // The larger of the image height and the code font's text height + 6.
  int MeasureRowHeight() const;
  // Measures the visible rows again (after rows were added or their texts changed).
  void UpdateListWidth();

  // Set by the sheet that shows the list; opening measures the visible rows. Changes signal only while open.
  bool IsOpen() const { return FOpen; }
  void SetOpen(bool AValue);

  // Changes inside a bracket are signalled once, when the outermost bracket closes.
  void BeginChange() { ++FChangeLock; }
  void EndChange();

  // The visible rows in display order: each row, then the rows under it when it is expanded.
  void GetVisibleRows(std::vector<TDropDownItem*>& AList) const;

  TDropDownEnter EnterAction() const;
  // Space: toggles the selected row when it has sub-rows; false when there was nothing to toggle.
  bool ToggleSelected();
  // Fires the apply event for the selected row; with no row selected nothing is applied and false is answered.
  bool Apply();

#ifdef _WIN32
  // Greyed copies of the 12-pixel images, made on the first disabled row painted.
  TSchemeImages* GreyedImages();
#endif

 private:
  friend class TDropDownItem;
  void ItemExpanded(TDropDownItem* AItem);
  void ItemDestroying(TDropDownItem* AItem);
  void Changed();

  IDropDownHost* FHost;
  TApplyEvent FOnApply;
  TNodePtr<TDropDownItem> FRootItem;
  TDropDownItem* FSelected = nullptr;
  int FRowHeight = 13;
  TRect FBounds;
  int FListWidth = 0;
  bool FOpen = false;
  int FChangeLock = 0;
  int FExpandNesting = 0;
#ifdef _WIN32
  std::unique_ptr<TSchemeImages> FGreyedImages;
#endif
};
