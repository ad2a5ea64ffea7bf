// The document model: the scheme that owns an element tree with its identifiers, undo history and load reports,
// the filer objects every element's load and save receives, and the element base class.
#pragma once

#include "document/model/diElementPool.h"
#include "foundation/cuClasses.h"
#include "foundation/cuNode.h"
#include "foundation/cuSet.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUndoRedo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

class TElement;
class TElementMessages;
class TKnot;
class TKnotBlockReserve;
class TPaletteNode;
class TScheme;
class TSchemeFiler;
class TSchemeLoader;
class TSchemeSaver;

// ---------------------------------------------------------------------------------------------------------------
// Element classes. An element class is a reference to its descriptor; the descriptor also answers the class-level
// questions (node name, whether the class may sit under a given parent).

class TElementClassInfo : public TClassInfo<TElement, TScheme*> {
 public:
  using TCanBeChildOf = bool (*)(const TElement* AParent);

  constexpr TElementClassInfo(std::u16string_view AName, const TElementClassInfo* AParent, TFactory AFactory,
                              TCanBeChildOf ACanBeChildOf = nullptr)
      : TClassInfo(AName, AParent, AFactory), FCanBeChildOf(ACanBeChildOf) {}

  // The class name without its first nine characters ("TElement_Image" gives "Image"); empty for shorter names.
  std::u16string_view NodeName() const { return Name().size() > 9 ? Name().substr(9) : std::u16string_view(); }
  bool CanBeChildOf(const TElement* AParent) const { return !FCanBeChildOf || FCanBeChildOf(AParent); }

 private:
  TCanBeChildOf FCanBeChildOf;
};

using TElementClass = const TElementClassInfo*;
using TElementClassList = std::vector<TElementClass>;

// ---------------------------------------------------------------------------------------------------------------
// Filer modes and flags: every load and save of elements carries both.

enum : uint8_t {
  fmDocument = 0,  // the document file
  fmCopy = 1,      // copies that leave the element tree (clipboard, moved content)
  fmRecord = 2,    // records inside the process (undo data): identifiers and transient parts kept
};

// What a load or save leaves out or how it passes data; the bits are those of the stored records.
enum class TFilerFlag : uint8_t {
  ffInProcessCopy = 0x01,       // data that can stay in memory is referenced, not serialised
  ffStreamsByReference = 0x02,  // streams are written by reference to the caller's stream
  ffNoPositions = 0x08,         // "Left" and "Top" neither written nor read
  ffSkipDisabled = 0x10,        // Disabled visual children are not written
  ffSkipUnaccepted = 0x20,      // children with eoUnaccepted are not written
  ffSkipOnRequest = 0x40,       // children with eoSkippedOnRequest are not written
  ffSkipDefaults = 0x80,        // parts that hold only defaults are not written
};
constexpr bool IsFlagFamily(TFilerFlag) { return true; }
using enum TFilerFlag;
using TFilerFlags = TSet<TFilerFlag>;

// What an element is going through.
enum class TElementState : uint8_t {
  esDestroying = 0x01,  // the destroying message has reached it
  esMarked = 0x02,
  esInProcessCopy = 0x04,  // loaded with ffInProcessCopy
  esHasValue = 0x08,       // CalcHasValue at the last UpdateState
  esNotEmpty = 0x10,       // not CalcIsEmpty at the last UpdateState
  esCheckQueued = 0x20,    // its check waits for the end of a load
  esJoining = 0x40,        // JoinElement is moving it: FParentElement holds the parent it is moved under
};
constexpr bool IsFlagFamily(TElementState) { return true; }
using enum TElementState;
using TElementStates = TSet<TElementState>;

// What an element is, set by its class or its owner.
enum class TElementOption : uint8_t {
  eoPart = 0x01,              // a part of its parent, made with it
  eoInlinePart = 0x02,        // a part stored in its owner's knot outside records
  eoTransientPart = 0x04,     // a part that travels only in records
  eoStoresID = 0x08,          // "ID" is written outside records too
  eoSkippedOnRequest = 0x10,  // left out by savers with ffSkipOnRequest
  eoUnaccepted = 0x20,        // holds a knot no class took; left out by savers with ffSkipUnaccepted
  eoValue = 0x40,             // a value element: its state follows its value
  eoValueRequired = 0x80,     // a value element whose value must be set
};
constexpr bool IsFlagFamily(TElementOption) { return true; }
using enum TElementOption;
using TElementOptions = TSet<TElementOption>;

// Which node messages and move hooks an element's class leaves as TElement and TNode have them, and whether its
// check answers for itself, as ElementFactory tells from the class it makes; an element made otherwise is taken to
// hear every message, to have every hook and to need every check.
enum class TElementHandling : uint8_t {
  ehOwnMessagesPlain = 0x01,  // HandleMessage passes the hierarchy and state messages on
  ehChildrenPlain = 0x02,     // ChildNotification passes the hierarchy and state messages on
  ehMoveHooksPlain = 0x04,    // ParentChanging is TNode's own
  ehChildHooksPlain = 0x08,   // ChildAdding and ChildrenChanged are TNode's own
  ehCheckAnswered = 0x10,     // CheckValueMayReport is declared with the CheckValue it answers for
  ehHierarchyPlain = 0x20,    // HierarchyChanged is TElement's own
};
using TElementHandlings = TSet<TElementHandling>;

// Node messages between elements (TNode::Perform / Broadcast).
enum : int {
  nmHierarchyChanged = 2,
  nmDestroying = 3,
  nmInitNew = 4,
  nmHasValueChanged = 5,
  nmEmptyChanged = 6,
  nmValueChanged = 7,
  nmPartChanged = 8,
  nmAskBaseline = 10,
  nmBaselineChanged = 11,
  nmAskDataClass = 100,
  nmEmbeddedCreated = 101,
};

// Change codes a scheme notifies.
enum : int {
  scFileNameChanged = 1,
  scReadOnlyChanged = 3,
};

// One load reports at most this many unread nodes and attributes, then one line with the number left.
constexpr int MaxUnreadReports = 100;

// The "FormatVersion" the document file carries, and the first version that counts as newer.
constexpr int SchemeFormatVersion = 1001;
constexpr int SchemeNewerVersion = 1101;

// A value made safe for a message text: cut to 197 characters plus "..." when longer than 200, every character
// below 32 and every "[" and "]" replaced by U+FFFD so that it never forms a link.
std::u16string QuoteMessageValue(std::u16string_view AText);

// "FormatVersion" as a number: "1.1" is 1001, "2" is 2000, a missing or unreadable part takes its default; a
// result beyond 32 bits is held at the nearest limit.
int ParseFormatVersion(const std::u16string* AText);

// The process-wide element identifier counter: the first identifier is 1, 0 means no element; after the largest
// identifier it wraps to 1.
int32_t NextElementID();
// Raises the counter to AID when it is lower (identifiers restored from in-process records).
void RaiseElementID(int32_t AID);

// ---------------------------------------------------------------------------------------------------------------
// Filers: the context one load or save hands to every element.

class TSchemeFiler : public TObject {
 public:
  // Without AKnot a new empty knot is made and owned; a given knot is not owned.
  TSchemeFiler(uint8_t AMode, TKnot* AKnot, TFilerFlags AFlags);
  ~TSchemeFiler() override;

  uint8_t Mode() const { return FMode; }
  TFilerFlags Flags() const { return FFlags; }
  // Any of AFlags.
  bool HasFlags(TFilerFlags AFlags) const { return FFlags.ContainsAny(AFlags); }
  TKnot* Knot() const { return FKnot; }

 private:
  uint8_t FMode;
  TFilerFlags FFlags;
  TKnot* FKnot;
  std::unique_ptr<TKnot> FOwnedKnot;
};

class TSchemeSaver : public TSchemeFiler {
 public:
  using TSchemeFiler::TSchemeFiler;
  ~TSchemeSaver() override;
  // "FormatVersion" = "1.1" on AKnot.
  static void WriteFormatVersion(TKnot* AKnot);

  // The knot of a part stored under its own name: appended to AKnot, made anew or the one a part left empty.
  TKnot* AddPartKnot(TKnot* AKnot, std::u16string_view AName);
  // Takes back a part's knot that stayed empty; most parts hold only defaults, and a save meets thousands.
  void DropPartKnot(TKnot* APartKnot);

 private:
  TKnot* FSpare = nullptr;
};

// Opens a load bracket on its scheme. The end-of-load work (Loaded hooks, deferred checks, the unread report) runs
// in Finish(), or in Abort() after a load that raised; a loader destroyed without either only closes the bracket.
class TSchemeLoader : public TSchemeFiler {
 public:
  TSchemeLoader(TScheme* AScheme, uint8_t AMode, TFilerFlags AFlags, TKnot* AKnot, TElementMessages* AMessages);
  ~TSchemeLoader() override;

  TScheme* Scheme() const { return FScheme; }
  TElementMessages* Messages() const { return FMessages; }
  int Version() const { return FVersion; }
  // Where element loads read a value they use at once (TKnotParam::GetAsString): a load of thousands of
  // elements then makes no string per value.
  std::u16string& TextBuffer() { return FTextBuffer; }
  // Where element loads work out the name of a part's knot or value, used before any further load begins.
  std::u16string& NameBuffer() { return FNameBuffer; }
  // Whether a knot that no allowed class took went to an element's unaccepted class.
  bool MadeUnaccepted() const { return FUnaccepted; }

  // AElement->Loaded(this, ADatum) runs at Finish(), in the order of registration.
  void RegisterLoaded(TElement* AElement, intptr_t ADatum);
  void Finish();
  // Ends a load that raised. What was loaded stays in the tree, so its deferred checks run and the unread report
  // tells what was left out; the Loaded hooks do not run, since their elements may have gone with the failed child.
  void Abort();

 private:
  // CreateChildFromKnot notes an unaccepted child.
  friend class TElement;
  void BeginFinish();
  void ReportUnread();

  TScheme* FScheme;
  TElementMessages* FMessages;
  int FVersion;
  bool FFinished = false;
  bool FUnaccepted = false;
  std::vector<std::pair<TElement*, intptr_t>> FLoaded;
  std::u16string FTextBuffer;
  std::u16string FNameBuffer;
};

// ---------------------------------------------------------------------------------------------------------------
// Operations on a scheme. With LockMessages every run is bracketed by the scheme's message list, so the list is
// rebuilt from scratch by the operation.

class TSchemeOperation : public TOperation {
 public:
  explicit TSchemeOperation(TScheme* AScheme = nullptr) : FScheme(AScheme) {}

  TScheme* Scheme() const { return FScheme; }
  void SetScheme(TScheme* AScheme) { FScheme = AScheme; }
  bool LockMessages() const { return FLockMessages; }
  void SetLockMessages(bool AValue) { FLockMessages = AValue; }

  // Hands the operation to its scheme's undo history; without one it runs once and is freed.
  static void Perform(TNodePtr<TSchemeOperation> AOperation);

  void BeginExecute() override;
  void EndExecute() override;

 private:
  TScheme* FScheme;
  bool FLockMessages = false;
};

class TSchemeGroupingOperation : public TGroupingOperation {
 public:
  TSchemeGroupingOperation(TScheme* AScheme, bool ALockMessages, std::u16string ACaption);

  TScheme* Scheme() const { return FScheme; }
  bool LockMessages() const { return FLockMessages; }

  void BeginExecute() override;
  void EndExecute() override;

 private:
  TScheme* FScheme;
  bool FLockMessages;
};

// ---------------------------------------------------------------------------------------------------------------
// The scheme: one document model.

// Elements by identifier. Identifiers come mostly in runs, so they are kept by pages of neighbouring identifiers,
// and a page by its number in an open-addressed table: registering an element seldom allocates, and no growth
// moves the elements already registered.
class TElementIndex {
 public:
  // False, and nothing stored, when AID is taken.
  bool Insert(int32_t AID, TElement* AElement);
  // Stores AElement under AID, replacing what was there.
  void Assign(int32_t AID, TElement* AElement);
  // Removes AID when it leads to AElement.
  void Remove(int32_t AID, const TElement* AElement);
  TElement* Find(int32_t AID) const;
  size_t Size() const { return FCount; }

 private:
  static constexpr int PageShift = 6;
  struct TPage {
    uint32_t Number;
    uint32_t Count = 0;
    TElement* Elements[size_t(1) << PageShift] = {};
  };
  static uint32_t PageOf(int32_t AID) { return uint32_t(AID) >> PageShift; }
  static size_t SlotOf(int32_t AID) { return uint32_t(AID) & ((1u << PageShift) - 1); }
  // The table slot holding page ANumber, else the free slot where it would go.
  size_t Probe(uint32_t ANumber) const;
  TPage* FindPage(uint32_t ANumber) const;
  void Grow();

  std::vector<std::unique_ptr<TPage>> FPages;
  size_t FPageCount = 0;
  size_t FCount = 0;
  // The page of the latest insertion, where the next one mostly goes.
  TPage* FLast = nullptr;
};

class TScheme : public TItfObject {
 public:
  // With ARootClass the root element is made at once.
  TScheme(TElementClass ARootClass, std::u16string AName);
  ~TScheme() override;

  const std::u16string& FileName() const { return FFileName; }
  void SetFileName(const std::u16string& AValue);
  const std::u16string& Name() const { return FName; }
  TElement* Root() const { return FRoot; }
  TElementClass RootClass() const { return FRootClass; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue);

  // Not owned; either may be nil.
  TElementMessages* Messages() const { return FMessages; }
  void SetMessages(TElementMessages* AMessages) { FMessages = AMessages; }
  TUndoRedo* UndoRedo() const { return FUndoRedo; }
  void SetUndoRedo(TUndoRedo* AUndoRedo) { FUndoRedo = AUndoRedo; }

  // Elements register at creation and unregister at destruction.
  int32_t RegisterElement(TElement* AElement);
  void UnregisterElement(TElement* AElement);
  TElement* FindByID(int32_t AID) const;
  int ElementCount() const { return static_cast<int>(FElements.Size()); }
  // Where the scheme's elements are allocated.
  TElementPool* Pool() const { return FPool.get(); }

  // An undo group; nothing without an undo history.
  void BeginGroup(bool ALockMessages, std::u16string ACaption);
  void EndGroup();

  void BeginLoading() { ++FLoadingCount; }
  // The outermost end runs the queued checks, in order.
  void EndLoading();
  // Closes the bracket after a failed load: queued checks are dropped, never run.
  void AbortLoading() noexcept;
  bool IsLoading() const { return FLoadingCount > 0; }
  int LoadingCount() const { return FLoadingCount; }
  // Appends once; the element's esCheckQueued bit guards it.
  void QueueCheck(TElement* AElement);

  // Reads the file into the root. A corrupt or newer file is loaded as far as it can be read and reported.
  void LoadFromFile(const std::u16string& AFileName);
  // The text of the last file loaded stopped being clean somewhere (its knot carried the parse-error bit).
  bool LoadedWithParseError() const { return FLoadedWithParseError; }
  // The last file loaded was not read as it stands: a parse error, nodes or attributes left unread, or invalid
  // UTF-8. A save of the tree would not give its content back.
  bool LoadedInPart() const { return FLoadedInPart; }
  void LoadElement(TElement* AElement, uint8_t AMode, TKnot* AKnot);
  // Writes the whole tree to a temporary file beside AFileName and replaces AFileName with it in one step; the
  // data file is never touched before the replacement. Any step that fails raises EFCreateError with
  // SaveFailedMessage for AFileName (never the temporary file's name).
  void SaveToFile(const std::u16string& AFileName, bool AKeepName);
  void SaveElement(TElement* AElement, uint8_t AMode, TKnot* AKnot, TFilerFlags AFlags);

 private:
  friend class TElement;
  template <class T>
  friend TElement* ElementFactory(TScheme* AScheme);
  void ElementIDChanged(TElement* AElement, int32_t AOldID);

  // First made and last let go; the pool itself stays until its last element is freed.
  TElementPoolRef FPool;
  std::u16string FFileName;
  std::u16string FName;
  TElementIndex FElements;
  // Each save builds and writes its knot tree in the memory of the last one's.
  std::shared_ptr<TKnotBlockReserve> FSaveBlocks;
  std::vector<TElement*> FCheckList;
  TElementMessages* FMessages = nullptr;
  TElement* FRoot = nullptr;
  TElementClass FRootClass;
  bool FReadOnly = false;
  bool FLoadedWithParseError = false;
  bool FLoadedInPart = false;
  // The root is being freed with the scheme: the index goes whole afterwards, not element by element.
  bool FClosing = false;
  TUndoRedo* FUndoRedo = nullptr;
  int32_t FLoadingCount = 0;
  // What ElementFactory told of the element it is making, and where that element's allocation put it: its
  // constructor takes it first thing, before it makes any part, so that the parts' moves and messages are
  // spared too. Any other element finds another address and hears everything.
  TElementHandlings FMaking;
  const void* FMakingAt = nullptr;
};

// The save could not put the new file in place.
class EFCreateError : public EFileError {
 public:
  using EFileError::EFileError;
};

// The text of a failed save (string IdSaveFailed): the file the user asked for, the reason, and that the text is
// still unsaved in the window.
std::u16string SaveFailedMessage(const std::u16string& AFileName, const std::u16string& AReason);

// ---------------------------------------------------------------------------------------------------------------
// The element.

// Ownership of an element outside a tree: frees it with Destroy().
struct TElementDeleter {
  void operator()(TElement* AElement) const;
};
template <class T>
using TElementPtr = std::unique_ptr<T, TElementDeleter>;

// What a plain-text copy hands an embedded element through BroadcastToParts: every element that holds text
// appends it.
class TPartsTextBuilder : public TObject {
 public:
  explicit TPartsTextBuilder(std::u16string& AText) : Text(AText) {}
  std::u16string& Text;
};

class TElement : public TNode {
 public:
  static const TElementClassInfo ClassInfo;
  virtual TElementClass ClassRef() const { return &ClassInfo; }

  // The constructor every element is made with: the scheme, an identifier, the class's options and defaults
  // (set by each class's constructor), then the place under AParent before ABefore (nil: last).
  static TElement* CreateIn(TElementClass AClass, TScheme* AScheme, TElement* AParent, TElement* ABefore);
  template <class T>
  static T* CreateIn(TScheme* AScheme, TElement* AParent, TElement* ABefore = nullptr) {
    return static_cast<T*>(CreateIn(&T::ClassInfo, AScheme, AParent, ABefore));
  }
  // A part of AParent: eoPart set, made in AParent's scheme.
  static TElement* CreatePart(TElementClass AClass, TElement* AParent, TElement* ABefore);

  explicit TElement(TScheme* AScheme);
  ~TElement() override;

  // Elements made through ElementFactory come from their scheme's pool; a plain new takes them from the heap.
  static void* operator new(size_t ASize, TScheme* AScheme);
  static void* operator new(size_t ASize);
  // For a constructor that raised.
  static void operator delete(void* AElement, TScheme* AScheme) noexcept;
  static void operator delete(void* AElement) noexcept;

  TScheme* Scheme() const { return FScheme; }
  int32_t ID() const { return FID; }
  TElementStates State() const { return FState; }
  bool HasState(TElementState AState) const { return FState.Contains(AState); }
  TElementOptions Options() const { return FOptions; }
  // Any of AOptions.
  bool HasOptions(TElementOptions AOptions) const { return FOptions.ContainsAny(AOptions); }
  void SetOptions(TElementOptions AValue);
  bool IsDestroying() const { return HasState(esDestroying); }
  bool IsPart() const { return HasOptions(eoPart); }

  TElement* ParentElement() const { return HasState(esJoining) ? nullptr : FParentElement; }
  TElement* FirstChildElement() const;
  TElement* NextSiblingElement() const;

  // The nearest ancestor-or-self that is not a part.
  TElement* GetOwner();
  std::u16string_view GetNodeName() const { return ClassRef()->NodeName(); }

  bool HasValue() const { return HasState(esHasValue); }
  bool IsEmpty() const { return !HasState(esNotEmpty); }
  bool IsValueRequired() const { return HasOptions(eoValueRequired); }
  // No message of kinds 2 to 5.
  bool HasNoProblems() const;
  // Made on first use; nil until then.
  TElementMessages* Messages() const { return FMessages.get(); }
  TElementMessages* GetMessages();

  // Refreshes has-value, then empty, then runs the check.
  void UpdateState();
  // GetChildClasses less the classes that refuse this element as parent.
  void GetAllowedChildClasses(TElementClassList& AList);
  // Node message 4 through the subtree.
  void NotifyInitNew(intptr_t AParam);

  // Makes a child from AKnot: the first allowed class whose node name matches (after TranslateNodeName), else
  // GetUnacceptedClass; a knot no class takes is left unread. AClasses is filled on the first call and kept by
  // the caller for its further children. A child whose load raises is freed and the exception passes on.
  TElement* CreateChildFromKnot(TSchemeLoader* ALoader, TKnot* AKnot, TElement* ABefore,
                                std::unique_ptr<TElementClassList>& AClasses);

  // Two-phase destruction: the destroying message reaches the whole subtree while every derived part is alive,
  // then the subtree is freed. Elements are freed this way, never with TNode::Free() alone.
  void Destroy();
  // A destroying element frees its subtree without the move hooks.
  void FreeChildren() override;

  virtual bool IsActive() { return true; }
  virtual void RedoDependent(TOperation* AOperation, intptr_t ADatum) {}
  virtual void UndoDependent(TOperation* AOperation, intptr_t ADatum) {}
  virtual void CheckValue() {}
  // Whether CheckValue could add a message to the element as it is now. A class that overrides CheckValue
  // answers this beside it; one that does not has its check run at the end of every load.
  virtual bool CheckValueMayReport() { return false; }
  virtual void GetChildClasses(TElementClassList& AList);
  virtual bool CalcHasValue() { return false; }
  virtual bool CalcIsEmpty() { return !CalcHasValue(); }
  virtual void InitNew(intptr_t AParam) {}
  virtual void OptionsChanged(TElementOptions AOldOptions);
  virtual void GetPartChildClasses(TElement* APart, TElementClassList& AList);
  virtual void GetPartHint(TElement* APart, std::u16string& AText);
  virtual void GetPartPaletteItems(TElement* APart, std::vector<TPaletteNode*>& AList);
  virtual void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName);
  virtual void HasValueChanged();
  virtual void IDChanged(int32_t AOldID);
  virtual void EmptyChanged();
  virtual void MessagesChanged() {}
  virtual void Loaded(TSchemeLoader* ALoader, intptr_t ADatum) {}
  // The element or an ancestor moved; not heard while the element is being destroyed.
  virtual void HierarchyChanged() {}
  virtual bool ShouldSaveChild(TSchemeSaver* ASaver, TElement* AChild);
  virtual bool ChildNotification(TElement* AChild, int ACode, intptr_t AParam1, intptr_t AParam2) { return false; }
  virtual void Check();
  virtual void PartRequest(TElement* APart, intptr_t AArg1, intptr_t AArg2);
  virtual void ValueChanged();
  virtual void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot);
  // A saver with that mode, flags and knot, then SaveToKnot.
  void SaveTo(TKnot* AKnot, uint8_t AMode, TFilerFlags AFlags);
  virtual void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot);
  // Passes AValue, a TObject*, down to every part; an element acts on the kinds of value it knows.
  virtual void BroadcastToParts(intptr_t AValue);
  virtual bool IsDefault(TSchemeSaver* ASaver, TKnot* AKnot) { return false; }
  virtual bool IsStoredInline(TSchemeFiler* AFiler);
  virtual void GetStorageNodeName(TSchemeFiler* AFiler, std::u16string& AName);
  // AName, the knot's, or its current name when it is a retired one; the text stays valid after the call.
  virtual std::u16string_view TranslateNodeName(TSchemeLoader* ALoader, TKnot* AKnot, std::u16string_view AName) {
    return AName;
  }
  // The class that holds knots no allowed class takes; nil leaves such knots unread.
  virtual TElementClass GetUnacceptedClass(TSchemeLoader* ALoader) { return nullptr; }

  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  void ParentChanged() override;
  // The last class whose HandleMessage and ChildNotification leave the hierarchy, value and emptiness messages to
  // TElement's own handling. A class that overrides either and does so names itself here; one that overrides
  // either without that is taken to hear them.
  using TPassesNodeMessages = TElement;

  // Marks that the constructors of some classes set and their destructors clear again (cmVisual of the visual
  // element, cmText of the text element, cmExpandButton of the expand button): the type tests a load makes by
  // the ten thousand then need no dynamic_cast, which the MinGW runtime answers by comparing type names.
  uint8_t ClassMarks() const { return FClassMarks; }

 protected:
  void SetState(TElementState AState, bool AValue) { FState.Set(AState, AValue); }
  void SetClassMark(uint8_t AMark, bool AValue) { FClassMarks = AValue ? FClassMarks | AMark : FClassMarks & ~AMark; }
  // Whether an element besides the parent hears the element's messages.
  virtual bool HeardBeyondParent() const { return false; }

 private:
  friend class TScheme;
  // True when a message to the element would reach nothing but TElement::HandleMessage's own handling, so that a
  // message that handling ignores need not be sent.
  bool Unheard() const;
  // Unheard for the element and its whole subtree, each keeping TElement's own HierarchyChanged.
  bool UnheardDeep() const;
  void SetID(int32_t AID);
  // Places a new element under AParent, sparing ParentChanged the type test of the parent.
  void JoinElement(TElement* AParent, TElement* ABefore);

  TScheme* FScheme;
  // The parent as an element, kept by ParentChanged: asked for on every message and part request.
  TElement* FParentElement = nullptr;
  int32_t FID = 0;
  TElementStates FState;
  TElementOptions FOptions;
  TElementHandlings FHandling;
  uint8_t FClassMarks = 0;
  std::unique_ptr<TElementMessages> FMessages;
};

// The class that declares a member function.
template <class M>
struct TMemberOwner;
template <class C, class R, class... A>
struct TMemberOwner<R (C::*)(A...)> {
  using Type = C;
};
// Whether class T's HandleMessage and its ChildNotification pass the hierarchy and state messages on, and whether
// it keeps TElement's own HierarchyChanged. A class that overrides one, even in a base between, without naming
// itself as TPassesNodeMessages, or hides it from view, counts as hearing.
template <class T>
constexpr bool KeepsPlainOwnMessages = requires {
  requires std::is_base_of_v<typename TMemberOwner<decltype(&T::HandleMessage)>::Type, typename T::TPassesNodeMessages>;
};
template <class T>
constexpr bool KeepsPlainChildMessages = requires {
  requires std::is_base_of_v<typename TMemberOwner<decltype(&T::ChildNotification)>::Type,
                             typename T::TPassesNodeMessages>;
};
template <class T>
constexpr bool KeepsPlainHierarchyHook = requires {
  requires std::is_same_v<decltype(&T::HierarchyChanged), void (TElement::*)()>;
};
// Whether class T keeps TNode's own move hooks: ParentChanging on the node that moves, ChildAdding and
// ChildrenChanged on its new parent.
template <class T>
constexpr bool KeepsPlainMoveHooks = requires {
  requires std::is_same_v<decltype(&T::ParentChanging), void (TNode::*)(TNode*, TNode*)>;
};
template <class T>
constexpr bool KeepsPlainChildHooks = requires {
  requires std::is_same_v<decltype(&T::ChildAdding), void (TNode::*)(TNode*, TNode*)>;
  requires std::is_same_v<decltype(&T::ChildrenChanged), void (TNode::*)()>;
};
// Whether class T declares its CheckValueMayReport in the class that declares its CheckValue.
template <class T>
constexpr bool AnswersForCheckValue = requires {
  requires std::is_same_v<typename TMemberOwner<decltype(&T::CheckValue)>::Type,
                          typename TMemberOwner<decltype(&T::CheckValueMayReport)>::Type>;
};

// The factory of every element class's descriptor.
template <class T>
TElement* ElementFactory(TScheme* AScheme) {
  static_assert(alignof(T) <= TElementPool::Alignment, "an element is aligned as its pool aligns");
  if (!AScheme) return new (AScheme) T(AScheme);
  AScheme->FMaking = TElementHandlings{}
                         .Set(TElementHandling::ehOwnMessagesPlain, KeepsPlainOwnMessages<T>)
                         .Set(TElementHandling::ehChildrenPlain, KeepsPlainChildMessages<T>)
                         .Set(TElementHandling::ehMoveHooksPlain, KeepsPlainMoveHooks<T>)
                         .Set(TElementHandling::ehChildHooksPlain, KeepsPlainChildHooks<T>)
                         .Set(TElementHandling::ehCheckAnswered, AnswersForCheckValue<T>)
                         .Set(TElementHandling::ehHierarchyPlain, KeepsPlainHierarchyHook<T>);
  TElement* element;
  try {
    element = new (AScheme) T(AScheme);
  } catch (...) {
    AScheme->FMaking = {};
    AScheme->FMakingAt = nullptr;
    throw;
  }
  AScheme->FMaking = {};
  AScheme->FMakingAt = nullptr;
  return element;
}
