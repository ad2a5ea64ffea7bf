// The palette: one tree of command groups and items for the whole program. Items insert an element of a class or
// act on the focused element or on the selected children of a container; the palette form shows those that apply.
#pragma once

#include "document/model/diClasses.h"
#include "foundation/cuNode.h"
#include "foundation/cuSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPaletteItem;
class TSchemePaletteItem;

// The item flag word: what the engine reads and what the palette form reads from the same bits.
enum class TPaletteItemFlag : uint16_t {
  pfNotForElement = 0x0001,    // offered only for selected children of a container, never for the element itself
  pfNotForSelection = 0x0002,  // never offered for a selection (insertions)
  pfSingleChild = 0x0004,      // not offered when more than one child is selected
  pfAlwaysDisabled = 0x0008,   // the form never enables its button
  pfNoUpdate = 0x0020,         // runs without a sheet update bracket
  pfNeedsWritable = 0x0040,    // enabled only on an element that is not read-only
  pfBlockInsertion = 0x0080,   // the inserted element takes a line of its own in text
  pfLargeImage = 0x0100,       // a large button with the large image
  pfToggleButton = 0x0200,     // a toggle button of its own
  pfToggle = 0x0400,           // sets Toggle; the form makes it a radio button of its group index
  pfNewColumn = 0x0800,        // starts a new column of small buttons
  pfNoCaption = 0x1000,        // no caption on the button
  pfOpensMenu = 0x2000,        // the button opens a menu
  pfTwoPart = 0x4000,          // an image part and a caption part
  pfNotThroughHost = 0x8000,   // not offered by a text element for the elements it hosts
};
constexpr bool IsFlagFamily(TPaletteItemFlag) { return true; }
using enum TPaletteItemFlag;
using TPaletteItemFlags = TSet<TPaletteItemFlag>;

// String identifiers of the engine's own groups and items.
enum : int {
  IdPaletteActions = 2320,
  IdPaletteOptions = 2321,
  IdPaletteInsert = 2322,
  IdPaletteAdditional = 2323,
  IdPaletteState = 2324,
  IdPaletteOther = 2325,
  IdPaletteOtherHint = 2326,
  IdPaletteDisabled = 2335,
  IdPaletteDisabledHint = 2336,
};

// An image index that means no image.
constexpr int GetNoImageIndex() { return -1; }

// A node of the tree: Weight orders groups and items in the palette form, largest first.
class TPaletteNode : public TNode {
 public:
  TPaletteNode(TNode* AParent, int32_t AWeight, int ACaptionID);

  int32_t Weight() const { return FWeight; }
  int CaptionID() const { return FCaptionID; }
  // Localized; empty for identifier 0.
  std::u16string GetCaption() const;

 private:
  int32_t FWeight;
  int FCaptionID;
};

// The root of the tree.
class TPalette : public TNode {};

class TPaletteGroup : public TPaletteNode {
 public:
  TPaletteGroup(TNode* AParent, int32_t AWeight, int ACaptionID) : TPaletteNode(AParent, AWeight, ACaptionID) {}
};

class TPaletteItem : public TPaletteNode {
 public:
  // AImageIndex goes to the large image with pfLargeImage, else to the small one; the other gets none.
  TPaletteItem(TNode* AParent, int32_t AWeight, int ACaptionID, int AHintID, int AImageIndex, TPaletteItemFlags AFlags);

  int HintID() const { return FHintID; }
  std::u16string GetHint() const;
  int SmallImage() const { return FSmallImage; }
  int LargeImage() const { return FLargeImage; }
  TPaletteItemFlags ItemFlags() const { return FItemFlags; }
  bool HasFlag(TPaletteItemFlag AFlag) const { return FItemFlags.Contains(AFlag); }
  const std::u16string& KeyText() const { return FKeyText; }
  void SetKeyText(std::u16string AValue) { FKeyText = std::move(AValue); }
  bool Toggle() const { return FToggle; }

 private:
  int FHintID;
  int FSmallImage;
  int FLargeImage;
  TPaletteItemFlags FItemFlags;
  std::u16string FKeyText;
  bool FToggle;
};

// Groups and items offered for an element, in the order they were collected.
using TPaletteList = std::vector<TPaletteNode*>;

// An item's state for one element: the caller presets accepted and not ticked.
struct TPaletteItemState {
  bool Accepted = true;
  bool Ticked = false;
};

class IPaletteTarget;
using TPaletteTargetList = std::vector<IPaletteTarget*>;

// What the palette needs of an element; the visual element answers it.
class IPaletteTarget {
 public:
  // The element's own items (with a part's, those its owner adds for it), groups included.
  virtual void GetPaletteItems(TPaletteList& AList) = 0;
  // The selected children when the element is a selection container; nothing otherwise.
  virtual void GetSelectedPaletteTargets(TPaletteTargetList& AList) = 0;
  // The last say over items collected from selected children.
  virtual void AdjustPaletteItems(TPaletteList& AList) = 0;
  virtual void QueryPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) = 0;
  // The element runs AItem with itself as the target, inside a sheet update unless the item has pfNoUpdate.
  virtual void RunPaletteItem(TSchemePaletteItem* AItem, intptr_t AValue) = 0;
  // Through the element's sheet, which plays it when sounds are enabled; nothing without a sheet.
  virtual void PlayPaletteSound(std::u16string_view AName) = 0;

 protected:
  ~IPaletteTarget() = default;
};

// An item that acts on elements. A negative image index takes the engine's first image of its list.
class TSchemePaletteItem : public TPaletteItem {
 public:
  TSchemePaletteItem(TNode* AParent, int32_t AWeight, int ACaptionID, int AHintID, int AImageIndex,
                     TPaletteItemFlags AFlags);

  // Plays the item's sound on the element's sheet, then Execute.
  void Apply(IPaletteTarget* AElement, intptr_t AValue);
  // Plays the sound on the sheet of the first element, then ExecuteFor.
  void ApplyToList(const TPaletteTargetList& AList, intptr_t AValue);

  virtual void Execute(IPaletteTarget* AElement, intptr_t AValue);
  // Execute on every element that keeps the item accepted, in list order.
  virtual void ExecuteFor(const TPaletteTargetList& AList, intptr_t AValue);
  virtual std::u16string GetSoundName() const { return u"diClassesItemSound"; }
};

// Inserts an element of ElementClass; never offered for a selection and needs a writable element.
class TElementPaletteItem : public TSchemePaletteItem {
 public:
  TElementPaletteItem(TNode* AParent, int32_t AWeight, TElementClass AElementClass, int ACaptionID, int AHintID,
                      int AImageIndex, TPaletteItemFlags AFlags);

  TElementClass ElementClass() const { return FElementClass; }
  std::u16string GetSoundName() const override { return u"diClassesElementSound"; }

 private:
  TElementClass FElementClass;
};

// A sub-command of an item: its caption and the parameter it runs with.
struct TPaletteSubCommand {
  std::u16string Caption;
  std::u16string Parameter;
};

class TSubExecutablePaletteItem : public TSchemePaletteItem {
 public:
  using TSchemePaletteItem::TSchemePaletteItem;

  // The sub-commands offered while AElement is the palette's element (its data decides some of them).
  virtual void GetSubCommands(IPaletteTarget* AElement, std::vector<TPaletteSubCommand>& AList) {}
  // ExecuteSub on every element that keeps the item accepted, in list order.
  virtual void ExecuteSubFor(const TPaletteTargetList& AList, const std::u16string& AParameter);
  virtual void ExecuteSub(IPaletteTarget* AElement, const std::u16string& AParameter) {}
};

// "Disabled": elements that can be disabled handle it themselves.
class TDisablePaletteItem : public TSchemePaletteItem {
 public:
  using TSchemePaletteItem::TSchemePaletteItem;
  std::u16string GetSoundName() const override { return u"diClassesDisableSound"; }
};

// The items an element offers: with selected children the intersection of theirs (insertions left out, and
// single-child items when more than one is selected), each step dropping groups left without items and the walk
// ending once nothing is left, then AdjustPaletteItems; otherwise the element's own items less pfNotForElement.
// True when the items came from selected children.
bool CollectPaletteItems(IPaletteTarget* ATarget, TPaletteList& AList);

// Every item of the tree that inserts one of AClasses, with the groups above it, in tree order.
void AddInsertionItems(const TElementClassList& AClasses, TPaletteList& AList);

// The item of the tree, depth first, that inserts AClass; nil when none does.
TElementPaletteItem* FindPaletteItemOfClass(TElementClass AClass);

// The program's palette and its engine items, alive between InitializePalette and FinalizePalette; the Disabled
// item comes with InitializeDisableItem, once the image lists exist.
extern std::unique_ptr<TPalette, TNodeDeleter> Palette;
extern TPaletteGroup* PaletteActionsGroup;
extern TPaletteGroup* PaletteOptionsGroup;
extern TPaletteGroup* PaletteInsertGroup;
extern TPaletteGroup* PaletteStateGroup;
extern TPaletteGroup* PaletteAdditionalGroup;
extern TDisablePaletteItem* DisablePaletteItem;
void InitializePalette();
void FinalizePalette();
// ALargeImage: the second image of the engine's large strip.
void InitializeDisableItem(int ALargeImage);
void FinalizeDisableItem();
