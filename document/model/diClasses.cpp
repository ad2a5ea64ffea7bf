#include "document/model/diClasses.h"

#include "document/model/diMessages.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuStreams.h"
#include "foundation/cuUtils.h"

#include <algorithm>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#endif

namespace {

// Elements are made on the one thread that owns the schemes: a plain counter. A locked exchange per element waited
// for every store before it, about a millisecond of a 20,000-element load.
int32_t ElementIDCounter = 0;

#ifdef _WIN32
using TSchemeBusyCursor = TBusyCursor;

// A read-only data file cannot be replaced: its attribute is lifted for the replacement and put back when the
// replacement fails, so a failed save leaves the file as it found it.
class TReadOnlyLift {
 public:
  explicit TReadOnlyLift(const std::u16string& AFileName) : FFileName(AFileName) {
    FAttributes = GetFileAttributesW(WStr(FFileName));
    if (FAttributes == INVALID_FILE_ATTRIBUTES || !(FAttributes & FILE_ATTRIBUTE_READONLY)) return;
    FLifted = SetFileAttributesW(WStr(FFileName), FAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  }
  void Restore() {
    if (FLifted) SetFileAttributesW(WStr(FFileName), FAttributes);
  }

 private:
  const std::u16string& FFileName;
  DWORD FAttributes;
  bool FLifted = false;
};
#else
// The host build has no screen cursor, and a rename replaces a read-only file.
struct TSchemeBusyCursor {};
struct TReadOnlyLift {
  explicit TReadOnlyLift(const std::u16string&) {}
  void Restore() {}
};
#endif

// Restores the scheme's file name when the save fails, and also after a success when asked to.
class TFileNameGuard {
 public:
  TFileNameGuard(TScheme& AScheme, bool AKeepName)
      : FScheme(AScheme), FOldName(AScheme.FileName()), FKeepName(AKeepName) {}
  ~TFileNameGuard() {
    if (FKeepName || !FSucceeded) FScheme.SetFileName(FOldName);
  }
  void Succeeded() { FSucceeded = true; }

 private:
  TScheme& FScheme;
  std::u16string FOldName;
  bool FKeepName;
  bool FSucceeded = false;
};

// The body of every load: a load that raises is aborted, one that does not is finished.
void LoadInto(TSchemeLoader& ALoader, TElement* AElement) {
  try {
    AElement->LoadFromKnot(&ALoader, ALoader.Knot());
  } catch (...) {
    ALoader.Abort();
    throw;
  }
  ALoader.Finish();
}

int IntegerOr(std::u16string_view AText, int ADefault) {
  int value;
  return TryStrToInt(AText, value) ? value : ADefault;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Free routines

std::u16string QuoteMessageValue(std::u16string_view AText) {
  std::u16string r = AText.size() > 200 ? std::u16string(AText.substr(0, 197)) + u"..." : std::u16string(AText);
  for (char16_t& c : r)
    if (c < 32 || c == u'[' || c == u']') c = u'\uFFFD';
  return r;
}

int ParseFormatVersion(const std::u16string* AText) {
  if (!AText) return 1000;
  const size_t dot = AText->find(u'.');
  const std::u16string_view text(*AText);
  // The file is untrusted: the sum is taken in 64 bits and saturated, so a huge version still reads as newer.
  const int64_t version = dot == std::u16string::npos
                              ? int64_t(IntegerOr(text, 1)) * 1000
                              : int64_t(IntegerOr(text.substr(0, dot), 1)) * 1000 + IntegerOr(text.substr(dot + 1), 0);
  return static_cast<int>(std::clamp<int64_t>(version, INT32_MIN, INT32_MAX));
}

int32_t NextElementID() {
  // A record may raise the counter to the largest identifier; the next one then wraps to 1, never to 0 or below.
  ElementIDCounter = ElementIDCounter >= INT32_MAX || ElementIDCounter < 0 ? 1 : ElementIDCounter + 1;
  return ElementIDCounter;
}

void RaiseElementID(int32_t AID) { ElementIDCounter = std::max(ElementIDCounter, AID); }

// ---------------------------------------------------------------------------------------------------------------
// Filers

TSchemeFiler::TSchemeFiler(uint8_t AMode, TKnot* AKnot, TFilerFlags AFlags)
    : FMode(AMode), FFlags(AFlags), FKnot(AKnot) {
  if (!FKnot) {
    FOwnedKnot = std::make_unique<TKnot>();
    FKnot = FOwnedKnot.get();
  }
}

TSchemeFiler::~TSchemeFiler() {
  if (FOwnedKnot) FOwnedKnot.release()->Free();
}

TSchemeSaver::~TSchemeSaver() {
  if (FSpare) FSpare->Free();
}

TKnot* TSchemeSaver::AddPartKnot(TKnot* AKnot, std::u16string_view AName) {
  if (!FSpare) return AKnot->AddKnot(std::u16string(AName));
  TKnot* knot = std::exchange(FSpare, nullptr);
  // The spare mostly comes back to a part of the name it had.
  if (knot->Name() != AName) knot->SetName(std::u16string(AName));
  knot->SetParent(AKnot);
  return knot;
}

void TSchemeSaver::DropPartKnot(TKnot* APartKnot) {
  APartKnot->SetParent(nullptr);
  if (FSpare) {
    APartKnot->Free();
    return;
  }
  // An empty knot may still hold empty children or options of its own; a bare one keeps its name for the next part.
  if (APartKnot->FirstParam() || APartKnot->FirstKnot()) {
    APartKnot->Clear();
  } else {
    APartKnot->SetRemovedOptions({});
    APartKnot->SetAddedOptions({});
    APartKnot->SetUsed(false);
  }
  FSpare = APartKnot;
}

void TSchemeSaver::WriteFormatVersion(TKnot* AKnot) {
  // Major 1, then the minor number 100 without its trailing zeros.
  std::u16string minor = IntToStr(100);
  while (minor.size() > 1 && minor.back() == u'0') minor.pop_back();
  AKnot->WriteString(u"FormatVersion", u"1." + minor);
}

TSchemeLoader::TSchemeLoader(TScheme* AScheme, uint8_t AMode, TFilerFlags AFlags, TKnot* AKnot,
                             TElementMessages* AMessages)
    : TSchemeFiler(AMode, AKnot, AFlags), FScheme(AScheme), FMessages(AMessages) {
  std::u16string version;
  bool hasVersion = false;
  if (TKnotParam* p = Knot()->FindParam(u"FormatVersion")) {
    version = p->GetAsString();
    hasVersion = true;
  }
  FVersion = ParseFormatVersion(hasVersion ? &version : nullptr);
  FScheme->BeginLoading();
  if (!FMessages) return;
  // A constructor that raises gets no destructor: the bracket is closed here.
  try {
    if (Knot()->HasParseError())
      FMessages->Add(mkWarning, FormatLocStrOr(IdDataCorrupt, u"Data provided are corrupt", {}));
    if (FVersion >= SchemeNewerVersion)
      FMessages->Add(mkWarning, FormatLocStrOr(IdNewerFormat,
                                               u"The format of the data provided is of a newer version \u2014 "
                                               u"perhaps you should update the program version",
                                               {}));
  } catch (...) {
    FScheme->AbortLoading();
    throw;
  }
}

TSchemeLoader::~TSchemeLoader() {
  if (!FFinished) FScheme->AbortLoading();
}

void TSchemeLoader::RegisterLoaded(TElement* AElement, intptr_t ADatum) { FLoaded.emplace_back(AElement, ADatum); }

void TSchemeLoader::BeginFinish() {
  if (FFinished) throw EProgrammingError(u"The load has already finished");
  FFinished = true;
}

void TSchemeLoader::Finish() {
  BeginFinish();
  try {
    for (auto& [element, datum] : FLoaded) element->Loaded(this, datum);
  } catch (...) {
    FScheme->AbortLoading();
    throw;
  }
  FScheme->EndLoading();
  ReportUnread();
}

void TSchemeLoader::Abort() {
  BeginFinish();
  FScheme->EndLoading();
  ReportUnread();
}

void TSchemeLoader::ReportUnread() {
  if (!FMessages || Mode() == fmRecord) return;
  std::vector<TKnot*> knots;
  std::vector<TKnotParam*> params;
  Knot()->CollectUnread(&knots, &params, false);
  // A damaged or foreign file may leave millions unread: the list stays readable and small.
  const size_t total = knots.size() + params.size();
  const size_t shown = std::min<size_t>(total, MaxUnreadReports);
  for (size_t i = 0; i < shown; ++i) {
    if (i < knots.size())
      FMessages->Add(mkWarning, FormatLocStrOr(IdNodeNotRead, u"Node \"%1\" was not read",
                                               {QuoteMessageValue(knots[i]->GetPath())}));
    else
      FMessages->Add(mkWarning, FormatLocStrOr(IdAttributeNotRead, u"Attribute \"%1\" was not read",
                                               {QuoteMessageValue(params[i - knots.size()]->GetPath())}));
  }
  if (total > shown)
    FMessages->Add(mkWarning, FormatLocStrOr(IdMoreNotRead, u"And %1 more nodes and attributes were not read",
                                             {IntToStr(static_cast<int64_t>(total - shown))}));
}

// ---------------------------------------------------------------------------------------------------------------
// Operations

void TSchemeOperation::Perform(TNodePtr<TSchemeOperation> AOperation) {
  TUndoRedo* history = AOperation->FScheme ? AOperation->FScheme->UndoRedo() : nullptr;
  PerformOn(TNodePtr<TOperation>(AOperation.release()), history);
}

void TSchemeOperation::BeginExecute() {
  if (FLockMessages && FScheme && FScheme->Messages()) FScheme->Messages()->BeginUpdate();
}

void TSchemeOperation::EndExecute() {
  if (FLockMessages && FScheme && FScheme->Messages()) FScheme->Messages()->EndUpdate();
}

TSchemeGroupingOperation::TSchemeGroupingOperation(TScheme* AScheme, bool ALockMessages, std::u16string ACaption)
    : TGroupingOperation(std::move(ACaption)), FScheme(AScheme), FLockMessages(ALockMessages) {}

void TSchemeGroupingOperation::BeginExecute() {
  if (FLockMessages && FScheme->Messages()) FScheme->Messages()->BeginUpdate();
}

void TSchemeGroupingOperation::EndExecute() {
  if (FLockMessages && FScheme->Messages()) FScheme->Messages()->EndUpdate();
}

// ---------------------------------------------------------------------------------------------------------------
// Element index

size_t TElementIndex::Probe(uint32_t ANumber) const {
  // Pages of a run have consecutive numbers and so take neighbouring slots.
  const size_t mask = FPages.size() - 1;
  size_t i = ANumber & mask;
  while (FPages[i] && FPages[i]->Number != ANumber) i = (i + 1) & mask;
  return i;
}

TElementIndex::TPage* TElementIndex::FindPage(uint32_t ANumber) const {
  if (FLast && FLast->Number == ANumber) return FLast;
  if (FPages.empty()) return nullptr;
  return FPages[Probe(ANumber)].get();
}

void TElementIndex::Grow() {
  std::vector<std::unique_ptr<TPage>> old = std::move(FPages);
  FPages.clear();
  FPages.resize(old.empty() ? 16 : old.size() * 2);
  for (auto& page : old)
    if (page) {
      const size_t i = Probe(page->Number);
      FPages[i] = std::move(page);
    }
}

bool TElementIndex::Insert(int32_t AID, TElement* AElement) {
  if (AID == 0) throw EProgrammingError(u"No element has the identifier 0");
  const uint32_t number = PageOf(AID);
  TPage* page = FindPage(number);
  if (!page) {
    // At most half full, so probes stay short.
    if ((FPageCount + 1) * 2 > FPages.size()) Grow();
    auto& slot = FPages[Probe(number)];
    slot = std::make_unique<TPage>();
    slot->Number = number;
    page = slot.get();
    ++FPageCount;
  }
  FLast = page;
  TElement*& entry = page->Elements[SlotOf(AID)];
  if (entry) return false;
  entry = AElement;
  ++page->Count;
  ++FCount;
  return true;
}

void TElementIndex::Assign(int32_t AID, TElement* AElement) {
  if (!Insert(AID, AElement)) FLast->Elements[SlotOf(AID)] = AElement;
}

void TElementIndex::Remove(int32_t AID, const TElement* AElement) {
  if (AID == 0) return;
  TPage* page = FindPage(PageOf(AID));
  if (!page || page->Elements[SlotOf(AID)] != AElement) return;
  page->Elements[SlotOf(AID)] = nullptr;
  --FCount;
  if (--page->Count > 0) return;
  if (FLast == page) FLast = nullptr;
  // An empty page goes; later pages of its probe run move up into the hole unless their home lies after it
  // (cyclically).
  const size_t mask = FPages.size() - 1;
  size_t hole = Probe(page->Number);
  FPages[hole].reset();
  --FPageCount;
  for (size_t next = (hole + 1) & mask; FPages[next]; next = (next + 1) & mask) {
    const size_t home = FPages[next]->Number & mask;
    if (((next - home) & mask) >= ((next - hole) & mask)) {
      FPages[hole] = std::move(FPages[next]);
      hole = next;
    }
  }
}

TElement* TElementIndex::Find(int32_t AID) const {
  if (AID == 0) return nullptr;
  const TPage* page = FindPage(PageOf(AID));
  return page ? page->Elements[SlotOf(AID)] : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Scheme

TScheme::TScheme(TElementClass ARootClass, std::u16string AName)
    : FPool(TElementPool::Create()), FName(std::move(AName)), FRootClass(ARootClass) {
  if (FRootClass) FRoot = TElement::CreateIn(FRootClass, this, nullptr, nullptr);
}

TScheme::~TScheme() {
  FClosing = true;
  if (FRoot) {
    TElement* root = FRoot;
    FRoot = nullptr;
    root->Destroy();
  }
}

void TScheme::SetFileName(const std::u16string& AValue) {
  if (FFileName == AValue) return;
  FFileName = AValue;
  Notify(scFileNameChanged, 0, 0);
}

void TScheme::SetReadOnly(bool AValue) {
  if (FReadOnly == AValue) return;
  FReadOnly = AValue;
  Notify(scReadOnlyChanged, 0, 0);
}

int32_t TScheme::RegisterElement(TElement* AElement) {
  // After the counter wrapped, identifiers still held by this scheme's elements are passed over.
  int32_t id = NextElementID();
  while (!FElements.Insert(id, AElement)) id = NextElementID();
  return id;
}

void TScheme::UnregisterElement(TElement* AElement) {
  if (!FClosing) FElements.Remove(AElement->ID(), AElement);
  if (AElement->HasState(esCheckQueued))
    std::replace(FCheckList.begin(), FCheckList.end(), AElement, static_cast<TElement*>(nullptr));
}

void TScheme::ElementIDChanged(TElement* AElement, int32_t AOldID) {
  FElements.Remove(AOldID, AElement);
  FElements.Assign(AElement->ID(), AElement);
}

// While the scheme closes, the index still holds elements already freed: none is found any more.
TElement* TScheme::FindByID(int32_t AID) const { return FClosing ? nullptr : FElements.Find(AID); }

void TScheme::BeginGroup(bool ALockMessages, std::u16string ACaption) {
  if (FUndoRedo)
    FUndoRedo->BeginGroup(
        TNodePtr<TGroupingOperation>(new TSchemeGroupingOperation(this, ALockMessages, std::move(ACaption))));
}

void TScheme::EndGroup() {
  if (FUndoRedo) FUndoRedo->EndGroup();
}

void TScheme::EndLoading() {
  if (--FLoadingCount > 0 || !FRoot) return;
  // Loading has ended, so no check queues another; a check may free queued elements, whose entries then go nil.
  for (size_t i = 0; i < FCheckList.size(); ++i) {
    TElement* e = FCheckList[i];
    if (!e) continue;
    FCheckList[i] = nullptr;
    e->SetState(esCheckQueued, false);
    e->Check();
  }
  // A load queues a check for nearly every element: the list's memory goes with it.
  std::vector<TElement*>().swap(FCheckList);
}

void TScheme::AbortLoading() noexcept {
  if (--FLoadingCount > 0) return;
  for (TElement* e : FCheckList)
    if (e) e->SetState(esCheckQueued, false);
  FCheckList.clear();
}

void TScheme::QueueCheck(TElement* AElement) {
  if (AElement->HasState(esCheckQueued)) return;
  AElement->SetState(esCheckQueued, true);
  FCheckList.push_back(AElement);
}

void TScheme::LoadFromFile(const std::u16string& AFileName) {
  [[maybe_unused]] TSchemeBusyCursor busy;
  SetFileName(AFileName);
  TMemoryStream bytes;
  bytes.LoadFromStream(*OpenFileToRead(AFileName));
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromStream(bytes);
  FLoadedWithParseError = knot->HasParseError();
  FLoadedInPart = true;
  // The reader counts its offsets after the byte-order mark; the user is told the file's own.
  const uint8_t* head = bytes.Memory();
  const bool marked = bytes.Size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF;
  const size_t invalidAt = knot->InvalidUtf8Count() ? knot->InvalidUtf8Offset() + (marked ? 3 : 0) : std::string::npos;
  bytes.Clear();

  TSchemeLoader loader(this, fmDocument, {}, knot.get(), FMessages);
  // Reported before anything is saved over the file, since a save writes the replacement characters for good.
  if (invalidAt != std::string::npos && FMessages)
    FMessages->Add(mkWarning, FormatLocStrOr(IdInvalidText,
                                             u"Data provided contain invalid UTF-8 (first at byte %1): the "
                                             u"characters there read as \"\uFFFD\" and a save keeps them so",
                                             {IntToStr(static_cast<int64_t>(invalidAt))}));
  LoadInto(loader, FRoot);
  FLoadedInPart =
      FLoadedWithParseError || invalidAt != std::string::npos || knot->CollectUnread(nullptr, nullptr, false);
}

void TScheme::LoadElement(TElement* AElement, uint8_t AMode, TKnot* AKnot) {
  TSchemeLoader loader(this, AMode, {}, AKnot, FMessages);
  LoadInto(loader, AElement);
}

void TScheme::SaveElement(TElement* AElement, uint8_t AMode, TKnot* AKnot, TFilerFlags AFlags) {
  TSchemeSaver saver(AMode, AKnot, AFlags);
  // A saved tree is built whole, written and let go: its knots come from its store, not one by one from the heap.
  if (!FSaveBlocks) FSaveBlocks = std::make_shared<TKnotBlockReserve>();
  TKnotBuildScope build(*saver.Knot(), FSaveBlocks);
  saver.Knot()->SetName(FName);
  TSchemeSaver::WriteFormatVersion(saver.Knot());
  AElement->SaveToKnot(&saver, saver.Knot());
}

std::u16string SaveFailedMessage(const std::u16string& AFileName, const std::u16string& AReason) {
  const std::u16string pattern = Localization ? Localization->GetLocStr(IdSaveFailed) : std::u16string();
  return Format(pattern.empty() ? u"Cannot save \"%s\". %s The text stays in the window, unsaved." : pattern,
                {AFileName, AReason});
}

void TScheme::SaveToFile(const std::u16string& AFileName, bool AKeepName) {
  [[maybe_unused]] TSchemeBusyCursor busy;
  TFileNameGuard name(*this, AKeepName);
  SetFileName(AFileName);

  TNodePtr<TKnot> knot(new TKnot);
  SaveElement(FRoot, fmDocument, knot.get(), ffStreamsByReference);

  std::unique_ptr<TFileStream> stream;
  std::u16string temp;
  const auto discard = [&] {
    stream.reset();
    if (!temp.empty()) RemoveFile(temp);
  };
  try {
    // Beside the data file, so that the replacement is a rename within one folder.
    temp = CreateTempFileBeside(AFileName, stream);
    knot->SaveToStream(*stream, TKnotEncoding::keUtf8);
    stream->Flush();
    stream.reset();
    TReadOnlyLift readOnly(AFileName);
    try {
      MoveFileReplacing(temp, AFileName);
    } catch (...) {
      readOnly.Restore();
      throw;
    }
  } catch (const Exception& e) {
    discard();
    // The user knows the data file, not the temporary one: whatever step failed, the message names the former.
    const auto* fileError = dynamic_cast<const EFileError*>(&e);
    const uint32_t code = fileError ? fileError->ErrorCode() : 0;
    throw EFCreateError(SaveFailedMessage(AFileName, fileError ? SysErrorMessage(code) : e.Message()), code);
  } catch (...) {
    discard();
    throw;
  }
  name.Succeeded();
}

// ---------------------------------------------------------------------------------------------------------------
// Element

const TElementClassInfo TElement::ClassInfo{u"TElement", nullptr, &ElementFactory<TElement>};

void* TElement::operator new(size_t ASize, TScheme* AScheme) {
  void* element = TElementPool::Allocate(AScheme ? AScheme->Pool() : nullptr, ASize);
  if (AScheme) AScheme->FMakingAt = element;
  return element;
}

void* TElement::operator new(size_t ASize) { return TElementPool::Allocate(nullptr, ASize); }

void TElement::operator delete(void* AElement, TScheme*) noexcept { TElementPool::Free(AElement); }

void TElement::operator delete(void* AElement) noexcept { TElementPool::Free(AElement); }

void TElementDeleter::operator()(TElement* AElement) const { AElement->Destroy(); }

TElement* TElement::CreateIn(TElementClass AClass, TScheme* AScheme, TElement* AParent, TElement* ABefore) {
  TElementPtr<TElement> e(AClass->Create(AScheme));
  if (AParent) e->JoinElement(AParent, ABefore);
  return e.release();
}

TElement* TElement::CreatePart(TElementClass AClass, TElement* AParent, TElement* ABefore) {
  TElementPtr<TElement> e(AClass->Create(AParent->Scheme()));
  e->FOptions.Include(eoPart);
  e->JoinElement(AParent, ABefore);
  return e.release();
}

void TElement::JoinElement(TElement* AParent, TElement* ABefore) {
  FParentElement = AParent;
  SetState(esJoining, true);
  try {
    // Appended where neither class has a move hook but ParentChanged, as nearly always in a load: MoveTo would
    // only call hooks that do nothing.
    if (!ABefore && !Parent() && FHandling.Contains(TElementHandling::ehMoveHooksPlain) &&
        AParent->FHandling.Contains(TElementHandling::ehChildHooksPlain) && AParent != this &&
        !(FirstChild() && IsSelfOrAncestorOf(AParent))) {
      AParent->AppendFreshChild(this);
      ParentChanged();
    } else {
      MoveTo(AParent, ABefore);
    }
  } catch (...) {
    SetState(esJoining, false);
    FParentElement = dynamic_cast<TElement*>(Parent());
    throw;
  }
  SetState(esJoining, false);
}

TElement::TElement(TScheme* AScheme) : FScheme(AScheme) {
  if (!FScheme) return;
  if (FScheme->FMakingAt == this) {
    FHandling = FScheme->FMaking;
    FScheme->FMakingAt = nullptr;
  }
  FID = FScheme->RegisterElement(this);
}

TElement::~TElement() {
  if (FScheme) FScheme->UnregisterElement(this);
}

void TElement::Destroy() {
  if (!IsDestroying()) Broadcast(nmDestroying, 0, 0, true, true);
  Free();
}

void TElement::FreeChildren() {
  if (!IsDestroying()) return TNode::FreeChildren();
  // In the order of TNode::FreeChildren, last child first and each after its own children, but without the move
  // hooks: every element of the subtree has heard the destroying message, so none is to hear of each step. Each
  // is destroyed as the hooks would leave it, without parent or children.
  TElement* e = static_cast<TElement*>(LastChild());
  while (e) {
    while (e->LastChild()) e = static_cast<TElement*>(e->LastChild());
    TElement* const previous = static_cast<TElement*>(e->PrevSibling());
    TElement* const parent = e->FParentElement;
    e->ForgetLinks();
    e->FParentElement = nullptr;
    delete e;
    if (previous) {
      e = previous;
      continue;
    }
    parent->ForgetChildren();
    e = parent == this ? nullptr : parent;
  }
}

TElement* TElement::FirstChildElement() const { return static_cast<TElement*>(FirstChild()); }
TElement* TElement::NextSiblingElement() const { return static_cast<TElement*>(NextSibling()); }

void TElement::SetID(int32_t AID) {
  if (AID == FID) return;
  const int32_t old = FID;
  FID = AID;
  if (FScheme) FScheme->ElementIDChanged(this, old);
}

void TElement::SetOptions(TElementOptions AValue) {
  if (AValue == FOptions) return;
  const TElementOptions old = FOptions;
  FOptions = AValue;
  OptionsChanged(old);
}

TElement* TElement::GetOwner() {
  TElement* e = this;
  while (e && e->IsPart()) e = e->ParentElement();
  return e;
}

bool TElement::HasNoProblems() const { return !FMessages || !FMessages->HasProblems(); }

TElementMessages* TElement::GetMessages() {
  if (!FMessages) FMessages = std::make_unique<TElementMessages>();
  return FMessages.get();
}

void TElement::UpdateState() {
  if (!IsDestroying()) {
    const bool hasValue = CalcHasValue();
    if (hasValue != HasValue()) {
      SetState(esHasValue, hasValue);
      HasValueChanged();
    }
  }
  if (!IsDestroying()) {
    const bool empty = CalcIsEmpty();
    if (empty != IsEmpty()) {
      SetState(esNotEmpty, !empty);
      EmptyChanged();
    }
  }
  Check();
}

void TElement::GetAllowedChildClasses(TElementClassList& AList) {
  GetChildClasses(AList);
  for (size_t i = AList.size(); i-- > 0;)
    if (!AList[i]->CanBeChildOf(this)) AList.erase(AList.begin() + static_cast<ptrdiff_t>(i));
}

void TElement::NotifyInitNew(intptr_t AParam) { Broadcast(nmInitNew, AParam, 0, true, true); }

namespace {

// Whether every name in AKnot's subtree reads back as it is written. A walk along the links, not recursion: a file
// may nest deeply.
bool CanBeWrittenBack(TKnot* AKnot) {
  for (TKnot* knot = AKnot; knot;) {
    if (!knot->HasValidName()) return false;
    for (TKnotParam* p = knot->FirstParam(); p; p = p->Next())
      if (!p->HasValidName()) return false;
    if (TKnot* child = knot->FirstKnot()) {
      knot = child;
      continue;
    }
    while (knot != AKnot && !knot->NextKnot()) knot = knot->ParentKnot();
    knot = knot == AKnot ? nullptr : knot->NextKnot();
  }
  return true;
}

}  // namespace

TElement* TElement::CreateChildFromKnot(TSchemeLoader* ALoader, TKnot* AKnot, TElement* ABefore,
                                        std::unique_ptr<TElementClassList>& AClasses) {
  if (!AClasses) {
    AClasses = std::make_unique<TElementClassList>();
    // Room for the few classes most parents allow, so a group in a load makes its list in one allocation.
    AClasses->reserve(8);
    GetAllowedChildClasses(*AClasses);
  }
  const std::u16string_view name = TranslateNodeName(ALoader, AKnot, AKnot->Name());
  TElementClass cls = nullptr;
  for (TElementClass c : *AClasses)
    if (c->NodeName() == name) {
      cls = c;
      break;
    }
  // A knot that a damaged file left without a name could be held, but never written back: it stays unread.
  if (!cls && CanBeWrittenBack(AKnot) && (cls = GetUnacceptedClass(ALoader))) ALoader->FUnaccepted = true;
  if (!cls) return nullptr;
  AKnot->SetUsed(true);
  TElementPtr<TElement> child(CreateIn(cls, FScheme, this, ABefore));
  child->LoadFromKnot(ALoader, AKnot);
  return child.release();
}

bool TElement::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  if (TElement* parent = ParentElement())
    if (parent->ChildNotification(this, AMsg, AParam1, AParam2)) return true;
  switch (AMsg) {
    case nmHierarchyChanged:
      HierarchyChanged();
      return true;
    case nmDestroying:
      SetState(esDestroying, true);
      return true;
    case nmInitNew:
      InitNew(AParam1);
      return true;
    default:
      return TNode::HandleMessage(AMsg, AParam1, AParam2);
  }
}

void TElement::ParentChanged() {
  TNode::ParentChanged();
  // A load creates elements by the ten thousand, each under an element already known as one: no type test then.
  // The first change under JoinElement is that one unless a hook moved the element elsewhere first.
  const bool joined = HasState(esJoining) && Parent() == FParentElement;
  SetState(esJoining, false);
  if (!joined) FParentElement = dynamic_cast<TElement*>(Parent());
  // A destroying subtree is only being taken apart, one node at a time: nothing in it is to hear of each step.
  if (!IsDestroying() && !UnheardDeep()) Broadcast(nmHierarchyChanged, 0, 0, true, true);
}

bool TElement::Unheard() const {
  if (!FHandling.Contains(TElementHandling::ehOwnMessagesPlain) || HeardBeyondParent()) return false;
  const TElement* parent = ParentElement();
  return !parent || parent->FHandling.Contains(TElementHandling::ehChildrenPlain);
}

bool TElement::UnheardDeep() const {
  // In the order of the broadcast, up to the first element that hears.
  const TNode* node = this;
  while (node) {
    const auto* e = static_cast<const TElement*>(node);
    if (!e->FHandling.Contains(TElementHandling::ehHierarchyPlain) || !e->Unheard()) return false;
    if (node->FirstChild()) {
      node = node->FirstChild();
      continue;
    }
    while (node != this && !node->NextSibling()) node = node->Parent();
    node = node == this ? nullptr : node->NextSibling();
  }
  return true;
}

void TElement::GetChildClasses(TElementClassList& AList) {
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->GetPartChildClasses(this, AList);
}

void TElement::OptionsChanged(TElementOptions AOldOptions) {
  const TElementOptions changed = (AOldOptions - FOptions) | (FOptions - AOldOptions);
  if (changed.ContainsAny(eoValue | eoValueRequired) && HasOptions(eoValue)) UpdateState();
}

void TElement::GetPartChildClasses(TElement* APart, TElementClassList& AList) {
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->GetPartChildClasses(APart, AList);
}

void TElement::GetPartHint(TElement* APart, std::u16string& AText) {
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->GetPartHint(APart, AText);
}

void TElement::GetPartPaletteItems(TElement* APart, std::vector<TPaletteNode*>& AList) {
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->GetPartPaletteItems(APart, AList);
}

void TElement::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (IsPart())
    if (TElement* owner = ParentElement()) {
      owner->GetPartNodeName(APart, AFiler, AName);
      return;
    }
  AName.clear();
}

void TElement::HasValueChanged() {
  if (!Unheard()) Perform(nmHasValueChanged, 0, 0);
}

void TElement::IDChanged(int32_t AOldID) {
  if (FMessages) FMessages->ReplaceLinkTarget(IntToStr(AOldID), IntToStr(FID));
}

void TElement::EmptyChanged() {
  if (!Unheard()) Perform(nmEmptyChanged, 0, 0);
}

bool TElement::ShouldSaveChild(TSchemeSaver* ASaver, TElement* AChild) {
  if (AChild->HasOptions(eoTransientPart) && ASaver->Mode() != fmRecord) return false;
  if (AChild->HasOptions(eoSkippedOnRequest) && ASaver->HasFlags(ffSkipOnRequest)) return false;
  return true;
}

void TElement::Check() {
  if (IsDestroying()) return;
  if (FScheme && FScheme->IsLoading()) {
    // A check that would clear nothing and add nothing is left out of the end of the load, which would have to
    // come back to the element. Whatever could change that (the value, the options, the messages) runs this again.
    const bool mayReport =
        FMessages || (HasValue() ? !FHandling.Contains(TElementHandling::ehCheckAnswered) || CheckValueMayReport()
                                 : IsValueRequired());
    if (mayReport) FScheme->QueueCheck(this);
    return;
  }
  const bool hadNoProblems = HasNoProblems();
  if (FMessages) FMessages->Clear();
  if (IsActive()) {
    if (!HasValue()) {
      if (IsValueRequired())
        GetMessages()->AddLinked(mkValueNeeded, FormatLocStrOr(IdValueMustBeSet, u"The value must be [set]", {}),
                                 IntToStr(FID));
    } else {
      CheckValue();
    }
  }
  if (FMessages && FMessages->GetCount() == 0) FMessages.reset();
  if (HasNoProblems() != hadNoProblems) MessagesChanged();
}

void TElement::PartRequest(TElement* APart, intptr_t AArg1, intptr_t AArg2) {
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->PartRequest(APart, AArg1, AArg2);
}

void TElement::ValueChanged() {
  UpdateState();
  if (!IsDestroying() && !Unheard()) Perform(nmValueChanged, 0, 0);
}

void TElement::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  const int32_t oldID = FID;
  if (ALoader->Mode() == fmRecord) {
    const int32_t id = AKnot->ReadInteger(u"ID", 0, 0, 0);
    if (id > 0) {
      SetID(id);
      RaiseElementID(id);
    }
  } else if (TKnotParam* id = AKnot->FindParam(u"ID")) {
    id->SetUsed(true);  // kept for other readers; this load keeps the identifier given at creation
  }
  if (ALoader->HasFlags(ffInProcessCopy)) SetState(esInProcessCopy, true);
  if (FID != oldID) IDChanged(oldID);

  for (TElement* part = FirstChildElement(); part; part = part->NextSiblingElement()) {
    if (!part->IsPart()) continue;
    if (part->HasOptions(eoTransientPart) && ALoader->Mode() != fmRecord) continue;
    if (part->IsStoredInline(ALoader)) {
      part->LoadFromKnot(ALoader, AKnot);
      continue;
    }
    std::u16string& name = ALoader->NameBuffer();
    name.clear();
    part->GetStorageNodeName(ALoader, name);
    if (TKnot* sub = AKnot->FindKnot(name)) part->LoadFromKnot(ALoader, sub);
  }
}

void TElement::SaveTo(TKnot* AKnot, uint8_t AMode, TFilerFlags AFlags) {
  TSchemeSaver saver(AMode, AKnot, AFlags);
  SaveToKnot(&saver, saver.Knot());
}

void TElement::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  if (ASaver->Mode() == fmRecord || HasOptions(eoStoresID)) AKnot->WriteInteger(u"ID", FID);
  for (TElement* part = FirstChildElement(); part; part = part->NextSiblingElement()) {
    if (!part->IsPart() || !ShouldSaveChild(ASaver, part)) continue;
    if (ASaver->HasFlags(ffSkipDefaults) && part->IsDefault(ASaver, AKnot)) continue;
    if (part->IsStoredInline(ASaver)) {
      part->SaveToKnot(ASaver, AKnot);
      continue;
    }
    std::u16string name;
    part->GetStorageNodeName(ASaver, name);
    TKnot* sub = ASaver->AddPartKnot(AKnot, name);
    part->SaveToKnot(ASaver, sub);
    if (sub->IsEmpty() && !(part->HasOptions(eoValue) && !part->IsEmpty())) ASaver->DropPartKnot(sub);
  }
}

void TElement::BroadcastToParts(intptr_t AValue) {
  for (TElement* part = FirstChildElement(); part; part = part->NextSiblingElement())
    if (part->IsPart()) part->BroadcastToParts(AValue);
}

bool TElement::IsStoredInline(TSchemeFiler* AFiler) {
  return IsPart() && HasOptions(eoInlinePart) && AFiler->Mode() != fmRecord;
}

void TElement::GetStorageNodeName(TSchemeFiler* AFiler, std::u16string& AName) {
  if (TElement* owner = ParentElement()) owner->GetPartNodeName(this, AFiler, AName);
}
