#include "document/text/diTextorElement.h"

#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diDropDown.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSheet.h"
#include "document/model/diTextorAttributesWin.h"
#include "document/text/diHyperlinks.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUnicode.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwClipboard.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <typeinfo>
#include <utility>
#include <vector>

TPaletteGroup* PaletteFormatGroup = nullptr;
TSchemePaletteItem* PaletteBoldItem = nullptr;
TSchemePaletteItem* PaletteItalicItem = nullptr;
TSchemePaletteItem* PaletteUnderlineItem = nullptr;
TTableRowsPaste TableRowsPaste = nullptr;

void MakeOrdered(TKnot* AKnot) { AKnot->SetAddedOptions(AKnot->AddedOptions() | koOrderedChildren); }

void MakeContentRoot(TKnot* AKnot) {
  AKnot->SetName(std::u16string(ContentKnotName));
  MakeOrdered(AKnot);
}

namespace {

// The attributes a text off a sheet measures with, shared by every text element; made at start-up.
TAttributesRef<TRichParagraphAttributes> DefaultParagraphAttributes;
TAttributesRef<TRichTextAttributes> DefaultTextAttributes;

// Sizes from an unbounded available size stay below this.
constexpr int32_t UnboundedSize = 1073741823;
// Edits closer than this merge.
constexpr int64_t MergeInterval = 800;

// The default text of the elements that have none.
const std::u16string NoText;

// The scheme's check bracket and the engine's update around one edit; closed however the edit ends.
class TEditBracket {
 public:
  TEditBracket(TScheme* AScheme, TTextor* ATextor) : FScheme(AScheme), FTextor(ATextor) {
    if (FScheme) FScheme->BeginLoading();
    FTextor->BeginUpdate();
  }
  ~TEditBracket() {
    FTextor->EndUpdate();
    if (FScheme) FScheme->EndLoading();
  }
  TEditBracket(const TEditBracket&) = delete;
  TEditBracket& operator=(const TEditBracket&) = delete;

 private:
  TScheme* FScheme;
  TTextor* FTextor;
};

std::u16string_view EnglishText(int AID) {
  switch (AID) {
    case IdTextNotAllowed: return u"[Text] is not allowed in the editor";
    case IdTextStartsWithLetter: return u"Text should [begin with a letter or an underscore character]";
    case IdLettersNotAllowed: return u"[Letters] are not allowed";
    case IdOnlyLatinLetters: return u"You can use only [Latin] letters";
    case IdDigitsNotAllowed: return u"[Digits] are not allowed";
    case IdUnderscoresNotAllowed: return u"[Underscore characters] are not allowed";
    case IdTabsNotAllowed: return u"[Tab characters] are not allowed";
    case IdLineFeedsNotAllowed: return u"[Line feed characters] are not allowed";
    case IdSpecialCharsNotAllowed: return u"[Special characters] are not allowed";
    case IdFileNameChars:
      return u"You can use only characters that are allowed in [file names], the program has detected the invalid "
             u"character: \"%1\"";
    case IdPathChars:
      return u"You can use only characters that are allowed in [paths of the file system], the program has detected "
             u"the invalid character: \"%1\"";
    case IdNotAFloat: return u"Unable to convert value \"%1\" to a [float]";
    case IdNotAnInteger: return u"Unable to convert value \"%1\" to an [integer]";
    case IdSpacesNotAllowed: return u"[Spaces] are not allowed";
    case IdLeadingSpace: return u"Text should not begin with a [space character]";
    case IdTrailingSpace: return u"Text should not end with a [space character]";
    case IdElementRequired: return u"[An element] is required";
    case IdSingleElement: return u"[Using more than one element] is not allowed";
    default: return {};
  }
}

bool IsDigitChar(char32_t C) { return C >= u'0' && C <= u'9'; }
bool IsLetterChar(char32_t C) { return IsLetterOrDigit(C) && !IsDigitChar(C); }
bool IsLatinLetter(char32_t C) { return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z'); }

// A 32-bit integer: an optional sign and decimal digits, nothing else.
bool IsIntegerText(std::u16string_view AText) {
  size_t i = 0;
  if (i < AText.size() && (AText[i] == u'+' || AText[i] == u'-')) ++i;
  if (i == AText.size()) return false;
  int64_t value = 0;
  for (; i < AText.size(); ++i) {
    if (!IsDigitChar(AText[i])) return false;
    value = value * 10 + (AText[i] - u'0');
    if (value > int64_t(INT32_MAX) + 1) return false;
  }
  return AText[0] == u'-' || value <= INT32_MAX;
}

// A floating-point number with "." as the decimal separator and no thousands separator.
bool IsFloatText(std::u16string_view AText) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t from = i;
    while (i < AText.size() && IsDigitChar(AText[i])) ++i;
    return i - from;
  };
  if (i < AText.size() && (AText[i] == u'+' || AText[i] == u'-')) ++i;
  size_t mantissa = digits();
  if (i < AText.size() && AText[i] == u'.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < AText.size() && (AText[i] == u'e' || AText[i] == u'E')) {
    ++i;
    if (i < AText.size() && (AText[i] == u'+' || AText[i] == u'-')) ++i;
    if (digits() == 0) return false;
  }
  return i == AText.size();
}

// The code point at AText[AIndex], advancing AIndex past it.
char32_t NextCodePoint(std::u16string_view AText, size_t& AIndex) {
  const char16_t c = AText[AIndex++];
  if (c >= 0xD800 && c < 0xDC00 && AIndex < AText.size() && AText[AIndex] >= 0xDC00 && AText[AIndex] < 0xE000)
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (AText[AIndex++] - 0xDC00);
  return c;
}

TDropDownItem* FindDropDownItem(TDropDownItem* AParent, std::u16string_view AText, bool APrefix, bool AFolded) {
  for (TDropDownItem* item = AParent->FirstItem(); item; item = item->NextItem()) {
    std::u16string_view caption = item->Caption();
    if (APrefix) caption = caption.substr(0, std::min(caption.size(), AText.size()));
    if (AFolded ? SameTextFolded(caption, AText) : caption == AText) return item;
    if (TDropDownItem* found = FindDropDownItem(item, AText, APrefix, AFolded)) return found;
  }
  return nullptr;
}

TShiftKeys KeyboardShift() {
  TShiftKeys shift;
  if (GetKeyState(VK_SHIFT) < 0) shift.Include(skShift);
  if (GetKeyState(VK_CONTROL) < 0) shift.Include(skCtrl);
  if (GetKeyState(VK_MENU) < 0) shift.Include(skAlt);
  return shift;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// The engine bound to an element

TSchemeTextor::TSchemeTextor(TTextorElement* AElement)
    : TTextor(AElement->Scheme() ? AElement->Scheme()->Pool() : nullptr), FElement(AElement) {}

void TSchemeTextor::Changed() {
  TTextor::Changed();
  if (FElement) FElement->TextChanged();
}

void TSchemeTextor::FormatText(bool AChanged) {
  TSheet* sheet = FElement ? FElement->Sheet() : nullptr;
  // Read once for the layout and for what follows it, the element's new size included.
  TLayoutReads reads{GetDefaultTextAttributes(), {}};
  GetPadding(reads.Padding);
  struct TLayoutEnd {
    const TLayoutReads*& Reads;
    const TLayoutReads* Before;
    ~TLayoutEnd() { Reads = Before; }
  } layoutEnd{FLayoutReads, FLayoutReads};
  FLayoutReads = &reads;
  {
    // The layout repaints what it changes, so that a key repaints its rows rather than the whole view.
    TSheetLayoutUpdate bracket(sheet);
    FLaidOutTop = INT32_MAX;
    FLaidOutBottom = INT32_MIN;
    FPrintsPending = false;
    TTextor::FormatText(AChanged);
    // Before what follows the elements below moves: a band that scrolls explains those moves.
    InvalidateLaidOut();
    if (FElement && OwesElementShifts()) FElement->ChildPlacesOwed();
    if (FPrintsPending) {
      PrintRows(FPrintedParagraph, FPrints);
      FPrintsPending = false;
    }
  }
  if (FElement) FElement->AfterLayout(AChanged);
}

void TSchemeTextor::InvalidateLaidOut() {
  const int32_t height = GetHeight();
  const TBandShift shift = std::exchange(FShift, {});
  const int32_t grown = height - FLaidOutHeight;
  // Grown or shrunk by a paragraph's rows alone, the last row kept its paragraph end.
  if (grown != 0 && grown != shift.Distance) {
    // The last row may have lost its paragraph end with the paragraphs after it.
    const TRow* last = LastParagraph()->LastRow();
    AddLaidOut(std::min({height, FLaidOutHeight, last ? last->GetTop() : 0}), INT32_MAX);
  }
  FLaidOutHeight = height;
  TRect padding;
  GetPadding(padding);
  if (shift.Distance != 0) {
    // Only the document right under the sheet's root has nothing beside it that stays; a frame would keep its
    // bottom edge where a minimum height holds it.
    TSheet* sheet = FElement ? FElement->Sheet() : nullptr;
    int frame = 0;
    if (FLaidOutBottom == INT32_MAX || grown != shift.Distance || !sheet || !FElement->IsVisible() ||
        FElement->VisualParent() != sheet->Root() || FElement->GetFrameThemeElement(frame))
      AddLaidOut(shift.Top, INT32_MAX);
    else
      sheet->ScrollBand(FElement, FElement->ClientToSheet({0, shift.Top + padding.Top}).Y, shift.Distance);
  }
  if (!FElement || FLaidOutTop > FLaidOutBottom) return;
  const TRect area{0, FLaidOutTop + padding.Top, FElement->Width(),
                   FLaidOutBottom == INT32_MAX ? FElement->Height() : FLaidOutBottom + padding.Top};
  FElement->InvalidateRect(&area);
}

TParagraphAttributes* TSchemeTextor::GetDefaultParagraphAttributes() const { return DefaultParagraphAttributes.get(); }

TTextAttributes* TSchemeTextor::GetDefaultTextAttributes() const {
  if (FLayoutReads) return FLayoutReads->TextAttributes;
  if (FElement && FElement->Sheet()) return FElement->GetTextAttributes();
  return DefaultTextAttributes.get();
}

void TSchemeTextor::GetElementMargins(TRect& ARect) const {
  const int32_t vertical = AllowsLineBreaks() ? 1 : 0;
  ARect = {1, vertical, 1, vertical};
}

int32_t TSchemeTextor::GetWrapWidth() const {
  if (!FElement) return 0;
  TTextWidthLimits limits;
  FElement->GetWidthLimits(limits);
  if (limits.WrapWidth >= UnboundedSize) return 0;
  TRect padding;
  GetPadding(padding);
  return std::max(1, limits.WrapWidth - padding.Left - padding.Right);
}

TAttributesClass TSchemeTextor::GetParagraphAttributesClass() const { return &TRichParagraphAttributes::ClassInfo; }

bool TSchemeTextor::AllowsLineBreaks() const {
  return FElement && FElement->TextOptions().Contains(toLineBreaks);
}

bool TSchemeTextor::AllowsTabs() const { return FElement && FElement->TextOptions().Contains(toTabs); }

TAttributesClass TSchemeTextor::GetTextAttributesClass() const { return &TRichTextAttributes::ClassInfo; }

bool TSchemeTextor::IsSameWord(int32_t APrev, int32_t ANext) const {
  if (!FElement || !FElement->HasTextorOptions(xoIdentifierWords)) return TTextor::IsSameWord(APrev, ANext);
  if (APrev < 0 || ANext < 0) return false;
  return IsWordChar(APrev) == IsWordChar(ANext);
}

void TSchemeTextor::FormatParagraph(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding,
                                    const TRect& AMargins) {
  if (FElement) FElement->DetectLinks(AParagraph);
  const TRow* old = AParagraph->LastRow();
  const int32_t oldTop = old ? AParagraph->Top() : INT32_MAX;
  const int32_t oldBottom = old ? old->Bottom : INT32_MIN;
  // The prints kept are of the rows shown now when they are of this paragraph: its rows came from a layout of it,
  // none has run since.
  const bool compared = old && FPrintedParagraph == AParagraph;
  TRowPrints before;
  if (compared) std::swap(before, FPrints);
  TTextor::FormatParagraph(AParagraph, AWrapWidth, APadding, AMargins);
  FPrintedParagraph = AParagraph;
  // Prints that nothing compares now wait for the end of the layout, which may lay out another paragraph still.
  if (compared) {
    PrintRows(AParagraph, FPrints);
  } else {
    FPrints.Clear();
    FPrintsPending = true;
  }
  const TRow* last = AParagraph->LastRow();
  if (!last) return;
  // A second paragraph laid out after one moved the rows below it: all of them are repainted.
  if (FShift.Distance != 0) {
    AddLaidOut(FShift.Top, INT32_MAX);
    FShift = {};
  }
  if (!old) {
    // A new paragraph: the one above may show a paragraph end now.
    const TParagraph* above = AParagraph->Previous();
    const TRow* row = above ? above->LastRow() : nullptr;
    AddLaidOut(row ? row->GetTop() : AParagraph->Top(), INT32_MAX);
    return;
  }
  // Rows that end elsewhere moved the paragraphs below: as they are, unless the paragraph itself moved.
  if (last->Bottom != oldBottom) {
    if (oldTop == AParagraph->Top() && FLaidOutBottom != INT32_MAX) {
      AddLaidOut(oldTop, last->Bottom);
      FShift = {oldBottom, last->Bottom - oldBottom};
    } else {
      AddLaidOut(std::min(oldTop, AParagraph->Top()), INT32_MAX);
    }
    return;
  }
  if (!compared || before.Size() != FPrints.Size()) {
    AddLaidOut(std::min(oldTop, AParagraph->Top()), oldBottom);
    return;
  }
  for (size_t i = 0; i < before.Size(); ++i)
    if (!(before[i] == FPrints[i])) {
      AddLaidOut(before[i].Top, before[i].Bottom);
      AddLaidOut(FPrints[i].Top, FPrints[i].Bottom);
    }
}

void TSchemeTextor::AddLaidOut(int32_t ATop, int32_t ABottom) {
  FLaidOutTop = std::min(FLaidOutTop, ATop);
  FLaidOutBottom = std::max(FLaidOutBottom, ABottom);
}

void TSchemeTextor::TRowPrints::Clear() {
  FCount = 0;
  if (FMore) FMore->clear();
}

void TSchemeTextor::TRowPrints::Add(const TRowPrint& APrint) {
  if (FCount == 0) {
    FFirst = APrint;
  } else {
    if (!FMore) FMore = std::make_unique<std::vector<TRowPrint>>();
    FMore->push_back(APrint);
  }
  ++FCount;
}

void TSchemeTextor::PrintRows(const TParagraph* AParagraph, TRowPrints& APrints) {
  APrints.Clear();
  // FNV-1a over the values, which stand for themselves.
  uint64_t print = 0;
  const auto mix = [&print](uint64_t AValue) { print = (print ^ AValue) * 0x100000001B3ull; };
  for (const TRow* row = AParagraph->FirstRow(); row; row = row->GetNextRow()) {
    print = 0xCBF29CE484222325ull;
    mix(uint64_t(row->Kind()));
    mix(uint64_t(uint32_t(row->GetLeft())));
    mix(uint64_t(uint32_t(row->Width)));
    mix(uint64_t(uint32_t(row->Descent)));
    mix(reinterpret_cast<uintptr_t>(AParagraph->GetParagraphAttributes()));
    mix(reinterpret_cast<uintptr_t>(AParagraph->GetTextAttributes()));
    mix(reinterpret_cast<uintptr_t>(AParagraph->Next()));
    row->IteratePieces([&](const TTextPiece& APiece) {
      if (!APiece.Portion) {
        mix(0);
        return true;
      }
      mix(uint64_t(APiece.Portion->Kind()));
      mix(reinterpret_cast<uintptr_t>(APiece.Portion->GetAttributes()));
      mix(uint64_t(uint32_t(APiece.Count)));
      switch (APiece.Portion->Kind()) {
        case TPortionKind::pkText:
          for (char16_t c : static_cast<const TTextPortion*>(APiece.Portion)->Text().substr(APiece.Offset, APiece.Count))
            mix(c);
          break;
        case TPortionKind::pkElement:
          if (const IEmbeddedElement* e = static_cast<const TElementPortion*>(APiece.Portion)->Element()) {
            const TRect b = e->GetEmbeddedBounds();
            mix(reinterpret_cast<uintptr_t>(e));
            mix((uint64_t(uint32_t(b.Left)) << 32) | uint32_t(b.Top));
            mix((uint64_t(uint32_t(b.Right)) << 32) | uint32_t(b.Bottom));
          }
          break;
        case TPortionKind::pkTabStops:
          break;
      }
      return true;
    });
    APrints.Add({row->GetTop(), row->Bottom, print});
  }
}

void TSchemeTextor::GetPadding(TRect& ARect) const {
  if (FLayoutReads) {
    ARect = FLayoutReads->Padding;
    return;
  }
  ARect = TRect();
  if (FElement && FElement->Sheet()) FElement->GetPadding(ARect);
}

TRect TSchemeTextor::GetClipRect(TCustomSheetCanvas& ACanvas) const { return ACanvas.ClipRect(); }

void TSchemeTextor::ShiftElement(IEmbeddedElement* AElement, int32_t ADY) {
  auto* element = static_cast<TVisualElement*>(AElement);
  if (!FElement || element->VisualParent() != FElement)
    TTextor::ShiftElement(AElement, ADY);
  else if (element->ShiftWithText(ADY))
    FFollowing.push_back(Pool(), element);
}

void TSchemeTextor::ElementsShifted() {
  // What follows reads places, which may settle more of the text: the batch is taken first.
  TPoolVector<TVisualElement*> following;
  following.swap(FFollowing);
  for (TVisualElement* element : following) element->FollowShift();
  if (FElement) FElement->ChildrenShifted();
}

bool TSchemeTextor::DefersElementShifts() const { return FElement && FElement->Sheet(); }

// ---------------------------------------------------------------------------------------------------------------
// The pending selection

void TSchemeTextorInteractive::SetPendingSelection(const TIndexRange& ARange, bool ACaretAtStart, bool ATrusted) {
  FPending = true;
  FPendingRange = ARange;
  FPendingCaretAtStart = ACaretAtStart;
  FPendingTrusted = ATrusted;
}

void TSchemeTextorInteractive::ApplyPendingSelection() {
  if (!FPending) return;
  FPending = false;
  TTextRange range;
  // A trusted range was made by the edit that just ran and converts; an untrusted one may point past the text, and
  // both fall back to the start of the text when it does not.
  if (Textor()->IndexRangeToRange(FPendingRange, range))
    SelectRange(range, FPendingCaretAtStart);
  else
    SetCaretPosition(Textor()->GetBeginPosition());
}

// ---------------------------------------------------------------------------------------------------------------
// The edit operation

TTextorEditOperation::TTextorEditOperation(TTextorElement* AElement, bool ALockMessages)
    : TContentEditOperation(AElement, ALockMessages) {}

TTextorEditOperation::~TTextorEditOperation() = default;

void TContentEditOperation::SetNewContent(TKnot* AContent, uint8_t AMode, TFilerFlags AFlags) {
  FNewContent.reset();
  if (AContent) {
    FNewContent = std::make_unique<TKnot>();
    FNewContent->Assign(*AContent);
    MakeOrdered(FNewContent.get());
  }
  FNewContentMode = AMode;
  FNewContentFlags = AFlags;
}

void TTextorEditOperation::SetTypingAttributes(TTextAttributes* AAttributes) {
  FTypingAttributes = TAttributesRef<TTextAttributes>(AAttributes);
}

void TTextorEditOperation::DoElement(TElement* AElement) {
  TElementOperation::DoElement(AElement);
  if (auto* element = dynamic_cast<TTextorElement*>(AElement)) DoEdit(element);
}

void TTextorEditOperation::UndoElement(TElement* AElement) {
  TElementOperation::UndoElement(AElement);
  if (auto* element = dynamic_cast<TTextorElement*>(AElement)) UndoEdit(element);
}

void TTextorEditOperation::DoEdit(TTextorElement* AElement) {
  FTime = AElement->EditTime();
  TSchemeTextor* textor = AElement->Textor();
  {
    TEditBracket bracket(AElement->Scheme(), textor);
    // Both ends are checked before anything changes: a step that no longer fits the text changes nothing.
    TTextRange replaced;
    TTextPosition insertAt;
    const bool removes = !TTextor::IsIndexRangeEmpty(ReplacedRange);
    if (removes && !textor->IndexRangeToRange(ReplacedRange, replaced)) return;
    if (FNewContent && !textor->IndexToPosition(InsertPosition, insertAt)) return;
    if (!removes && !FNewContent) return;

    TIndexPosition insert = InsertPosition;
    TTextRange work;
    if (removes) {
      if (State() == osDoing) {
        FRemovedContent = std::make_unique<TKnot>();
        MakeContentRoot(FRemovedContent.get());
        AElement->SaveRange(FRemovedContent.get(), fmRecord, &replaced, {});
      }
      TTextPosition at;
      textor->DeleteRange(replaced, at);
      work = {at, at};
      const TIndexPosition& s = ReplacedRange.Start;
      const TIndexPosition& e = ReplacedRange.End;
      if (insert.ParagraphIndex == e.ParagraphIndex && insert.CharIndex >= e.CharIndex) {
        insert.ParagraphIndex = s.ParagraphIndex;
        insert.CharIndex += s.CharIndex - e.CharIndex;
      } else if (insert.ParagraphIndex > e.ParagraphIndex) {
        insert.ParagraphIndex -= e.ParagraphIndex - s.ParagraphIndex;
      }
    }
    if (FNewContent) {
      textor->IndexToPosition(insert, insertAt);
      AElement->InsertContent(FNewContent.get(), FNewContentMode, work, insertAt, FNewContentFlags);
      if (FNewContentMode != fmRecord) {
        // From now on every redo makes exactly these elements, identifiers included.
        FNewContent->Clear();
        MakeContentRoot(FNewContent.get());
        AElement->SaveRange(FNewContent.get(), fmRecord, &work, FNewContentFlags);
        FNewContentMode = fmRecord;
      }
      FInsertedRange = textor->RangeToIndexRange(work);
    } else {
      const TIndexPosition at = textor->PositionToIndex(work.Start);
      FInsertedRange = {at, at};
    }
    if (TSchemeTextorInteractive* interactive = AElement->Interactive()) {
      TIndexRange selection = FInsertedRange;
      if (!SelectInserted) selection.Start = selection.End;
      interactive->SetPendingSelection(selection, false, true);
    }
  }
  AElement->RequestScrollToCaret();
}

void TTextorEditOperation::UndoEdit(TTextorElement* AElement) {
  TSchemeTextor* textor = AElement->Textor();
  {
    TEditBracket bracket(AElement->Scheme(), textor);
    TTextRange inserted;
    if (!textor->IndexRangeToRange(FInsertedRange, inserted)) return;
    TTextRange work = inserted;
    if (!TTextor::IsRangeEmpty(inserted)) {
      TTextPosition at;
      textor->DeleteRange(inserted, at);
      work = {at, at};
    }
    if (FRemovedContent) {
      TTextPosition at;
      if (textor->IndexToPosition(ReplacedRange.Start, at))
        AElement->InsertContent(FRemovedContent.get(), fmRecord, work, at, {});
    }
    if (TSchemeTextorInteractive* interactive = AElement->Interactive())
      interactive->SetPendingSelection(textor->RangeToIndexRange(work), false, true);
  }
  AElement->RequestScrollToCaret();
}

bool TTextorEditOperation::MergeWith(TOperation* APrevious) {
  auto* previous = dynamic_cast<TTextorEditOperation*>(APrevious);
  if (!previous || typeid(*previous) != typeid(*this) || previous->ElementID() != ElementID()) return false;
  if (std::llabs(FTime - previous->FTime) >= MergeInterval) return false;
  const bool removes = !TTextor::IsIndexRangeEmpty(ReplacedRange);
  const bool previousRemoves = !TTextor::IsIndexRangeEmpty(previous->ReplacedRange);

  if (!removes && !previousRemoves && FNewContent && previous->FNewContent &&
      previous->FInsertedRange.End == InsertPosition) {
    if (FTypingAttributes || previous->FTypingAttributes) {
      if (!FTypingAttributes || !previous->FTypingAttributes ||
          !FTypingAttributes->IsEqual(*previous->FTypingAttributes.get()))
        return false;
    }
    TKnot* target = previous->FNewContent.get();
    while (TKnot* child = FNewContent->FirstKnot()) {
      TKnot* last = target->LastChild() ? static_cast<TKnot*>(target->LastChild()) : nullptr;
      if (last && last->Name() == CharsKnotName && child->Name() == CharsKnotName &&
          last->ReadString(u"Data", u"") == child->ReadString(u"Data", u"")) {
        last->SetAddedOptions(last->AddedOptions() | koUniqueParams);
        last->WriteString(u"Value", last->ReadString(u"Value", u"") + child->ReadString(u"Value", u""));
        child->Free();
      } else {
        child->SetParent(target);
      }
    }
    previous->FInsertedRange.End = FInsertedRange.End;
    previous->FTime = FTime;
    MoveDependentsTo(previous);
    return true;
  }

  if (removes && previousRemoves && !FNewContent && !previous->FNewContent && FRemovedContent &&
      previous->FRemovedContent && ReplacedRange.End == previous->ReplacedRange.Start) {
    TKnot* target = previous->FRemovedContent.get();
    while (TKnot* child = FRemovedContent->LastChild() ? static_cast<TKnot*>(FRemovedContent->LastChild()) : nullptr) {
      TKnot* first = target->FirstKnot();
      if (first && first->Name() == CharsKnotName && child->Name() == CharsKnotName &&
          first->ReadString(u"Data", u"") == child->ReadString(u"Data", u"")) {
        first->SetAddedOptions(first->AddedOptions() | koUniqueParams);
        first->WriteString(u"Value", child->ReadString(u"Value", u"") + first->ReadString(u"Value", u""));
        child->Free();
      } else {
        child->MoveTo(target, first);
      }
    }
    previous->ReplacedRange.Start = ReplacedRange.Start;
    previous->FInsertedRange = FInsertedRange;
    previous->FTime = FTime;
    MoveDependentsTo(previous);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------------------------
// The element: creation, options, text

const TElementClassInfo TTextorElement::ClassInfo{u"TTextorElement", &TCustomDropDownElement::ClassInfo,
                                                  &ElementFactory<TTextorElement>};

TTextorElement::TTextorElement(TScheme* AScheme)
    : TCustomDropDownElement(AScheme), FTextor(this) {
  SetClassMark(cmText, true);
  // The engine was made format-locked: the lock is the one held while the element is off a sheet.
  FInternalState = isOffSheet;
  SetOptions(Options() | eoValue);
  // The embedded elements lie in place order: they are hit-tested by place.
  SetVisualOptions(VisualOptions() | voClickFocus | voFocusable | voTakesPastes | voSelectAll | voSelectionContainer |
                   voPlaceIndexed);
}

TTextorElement::~TTextorElement() {
  SetClassMark(cmText, false);
  // The embedded elements went before, each clearing its portion (RemoveVisualChild): the engine frees portions only.
  SetInteractive(false);
  FTextor.SetElement(nullptr);
  FTextor.BeginUpdate();
}

void TTextorElement::SetEditClock(TEditClock AClock) {
  FClock = AClock ? std::make_unique<TEditClock>(std::move(AClock)) : nullptr;
}

int64_t TTextorElement::EditTime() const {
  if (FClock) return (*FClock)();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

const std::u16string& TTextorElement::DefaultText() const { return FDefaultText ? *FDefaultText : NoText; }

void TTextorElement::SetDefaultText(std::u16string AValue) {
  FDefaultText = AValue.empty() ? nullptr : std::make_unique<std::u16string>(std::move(AValue));
}

void TTextorElement::SetTextOptions(TTextOptions AValue) {
  if (AValue == FTextOptions) return;
  const TTextOptions layout = toTabs | toLineBreaks;
  const bool reinsert = (AValue & layout) != (FTextOptions & layout);
  FTextOptions = AValue;
  if (reinsert) FInternalState |= isReplacedWhole;
  // An empty text, as every new element's, has nothing to insert again.
  if (reinsert && !FTextor.IsEmpty()) {
    FInternalState |= isSignalsOff;
    try {
      FTextor.ReinsertText();
    } catch (...) {
      FInternalState &= ~isSignalsOff;
      throw;
    }
    FInternalState &= ~isSignalsOff;
  }
  UpdateState();
}

void TTextorElement::SetTextorOptions(TTextorOptions AValue) {
  if (AValue == FOptions) return;
  const TTextorOptions changed = TTextorOptions::FromBits(AValue.Bits() ^ FOptions.Bits());
  FOptions = AValue;
  if (changed.ContainsAny(LayoutTextorOptions)) LayoutAgain();
}

std::u16string TTextorElement::GetText() const { return FTextor.GetText(); }

void TTextorElement::SetText(std::u16string_view AText) {
  if (!FirstVisualChild() && AText == GetText()) return;
  FInternalState |= isReplacedWhole;
  FTextor.SetText(AText);
}

void TTextorElement::Clear() {
  FInternalState |= isReplacedWhole;
  FTextor.Clear();
}

void TTextorElement::SetTextUndoable(std::u16string_view AText) {
  InsertTypedText(emWhole, nullptr, AText, false);
  if (HasVisualState(vsValueModified)) CommitValue();
}

// ---------------------------------------------------------------------------------------------------------------
// Storage

void TTextorElement::IterateRange(TSchemeSaver* ASaver, TKnot* AKnot, const TTextRange* ARange) {
  const TTextRange range = ARange ? *ARange : FTextor.GetWholeRange();
  const bool breaks = !(ASaver->HasFlags(ffNoPositions) && (FTextOptions & TTextOptions::FromBits(0x4F)).Empty());
  TKnot* lastChars = nullptr;
  std::u16string lastData;
  const auto addChars = [&](std::u16string_view AValue, TTextAttributes* AAttributes) {
    const std::u16string data = AAttributes ? AAttributes->Tag() : std::u16string();
    if (lastChars && data == lastData) {
      lastChars->SetAddedOptions(lastChars->AddedOptions() | koUniqueParams);
      lastChars->WriteString(u"Value", lastChars->ReadString(u"Value", u"") + std::u16string(AValue));
      return;
    }
    lastChars = AKnot->AddKnot(std::u16string(CharsKnotName));
    lastChars->WriteString(u"Value", AValue);
    if (!data.empty()) lastChars->WriteString(u"Data", data);
    lastData = data;
  };
  FTextor.IterateRange(range, ARange == nullptr, [&](const TTextPiece& APiece) {
    if (!APiece.Portion) {
      if (breaks) {
        TKnot* br = AKnot->AddKnot(std::u16string(BreakKnotName));
        br->SetAddedOptions(br->AddedOptions() | koJoinPrevious);
      }
      lastChars = nullptr;
      return true;
    }
    switch (APiece.Portion->Kind()) {
      case TPortionKind::pkText: {
        const auto* text = static_cast<const TTextPortion*>(APiece.Portion);
        addChars(text->Text().substr(APiece.Offset, APiece.Count), APiece.Portion->Attributes());
        break;
      }
      case TPortionKind::pkTabStops:
        addChars(std::u16string(APiece.Count, u'\t'), APiece.Portion->Attributes());
        break;
      case TPortionKind::pkElement: {
        auto* element = dynamic_cast<TVisualElement*>(static_cast<TElementPortion*>(APiece.Portion)->Element());
        lastChars = nullptr;
        if (!element || (ASaver->Mode() == fmCopy && element->HasVisualOptions(voNotInCopies))) break;
        TKnot* knot = AKnot->AddKnot(std::u16string(element->GetNodeName()));
        element->SaveToKnot(ASaver, knot);
        break;
      }
    }
    return true;
  });
}

void TTextorElement::SaveRange(TKnot* AKnot, uint8_t AMode, const TTextRange* ARange, TFilerFlags AFlags) {
  TSchemeSaver saver(AMode, AKnot, AFlags);
  IterateRange(&saver, AKnot, ARange);
}

bool TTextorElement::ContentToPlainText(TKnot* AKnot, std::u16string& AText) {
  AText.clear();
  for (TKnot* k = AKnot->FirstKnot(); k; k = k->NextKnot()) {
    if (k->Name() == CharsKnotName)
      AText += k->ReadString(u"Value", u"");
    else if (k->Name() == BreakKnotName)
      AText += u"\r\n";
    else
      return false;
  }
  return true;
}

void TTextorElement::LoadRich(TSchemeLoader* ALoader, TKnot* AKnot, const TTextPosition& APosition,
                              TTextRange& ARange, bool AWholeElement) {
  // A whole element is read into an empty text: it starts at the text's start, no index needs working out.
  const TIndexPosition start = AWholeElement ? TIndexPosition() : FTextor.PositionToIndex(APosition);
  TTextPosition position = APosition;
  const bool skipBreaks = ALoader->HasFlags(ffNoPositions) && (FTextOptions & TTextOptions::FromBits(0x4F)).Empty();
  TKnot* last = static_cast<TKnot*>(AKnot->LastChild());
  std::unique_ptr<TElementClassList> classes;
  for (TKnot* k = AKnot->FirstKnot(); k; k = k->NextKnot()) {
    TTextRange inserted;
    if (k->Name() == BreakKnotName) {
      k->SetUsed(true);
      // The last paragraph's end is stored too; read back it would add an empty paragraph.
      if (skipBreaks || (AWholeElement && k == last)) continue;
      FTextor.SplitParagraph(position, nullptr, inserted);
      position = inserted.End;
    } else if (k->Name() == CharsKnotName) {
      k->SetUsed(true);
      std::u16string& value = ALoader->TextBuffer();
      if (TKnotParam* p = k->FindParam(u"Value"))
        p->GetAsString(value);
      else
        value.clear();
      if (value.empty()) continue;
      FTextor.InsertText(position, value, GetLinkAttributes(k), inserted);
      position = inserted.End;
    } else if (AWholeElement && k->IsUsed()) {
      // A part's knot, read by the element's parts.
    } else if (!IsRich()) {
      k->SetUsed(false);
    } else {
      TElement* child = CreateChildFromKnot(ALoader, k, nullptr, classes);
      TVisualElement* visual = AsVisualElement(child);
      if (!visual) continue;
      FTextor.InsertElement(position, visual, nullptr, inserted);
      visual->SetVisualParent(this);
      position = inserted.End;
    }
  }
  TTextPosition begin = FTextor.GetBeginPosition();
  if (!AWholeElement && !FTextor.IndexToPosition(start, begin)) begin = position;
  ARange = {begin, position};
}

void TTextorElement::InsertContent(TKnot* AKnot, uint8_t AMode, TTextRange& ARange, const TTextPosition& APosition,
                                   TFilerFlags AFlags) {
  TSchemeLoader loader(Scheme(), AMode, AFlags, AKnot, Scheme() ? Scheme()->Messages() : nullptr);
  // One layout for the whole content: laid out piece by piece, every new paragraph would renumber the text.
  FTextor.BeginUpdate();
  try {
    LoadRich(&loader, AKnot, APosition, ARange, false);
  } catch (...) {
    FTextor.EndUpdate();
    loader.Abort();
    throw;
  }
  FTextor.EndUpdate();
  loader.Finish();
}

void TTextorElement::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TCustomDropDownElement::SaveToKnot(ASaver, AKnot);
  if (!IsRich()) {
    const std::u16string text = GetText();
    if (text.empty() || text == DefaultText()) return;
    std::u16string name = u"Value";
    if (IsStoredInline(ASaver)) GetStorageNodeName(ASaver, name);
    AKnot->WriteString(name, text);
    return;
  }
  if (FTextor.IsEmpty() && !(ASaver->Mode() == fmRecord && HasValue())) return;
  TKnot* target = AKnot;
  MakeOrdered(AKnot);
  if (ASaver->Mode() == fmRecord)
    for (TElement* c = FirstChildElement(); c; c = c->NextSiblingElement())
      if (c->IsPart()) {
        // Runs stay apart from the parts' sub-knots.
        target = AKnot->AddKnot(std::u16string(FloatingKnotName));
        MakeOrdered(target);
        break;
      }
  IterateRange(ASaver, target, nullptr);
}

void TTextorElement::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TCustomDropDownElement::LoadFromKnot(ALoader, AKnot);
  if (!IsRich()) {
    std::u16string& name = ALoader->NameBuffer();
    name = u"Value";
    if (IsStoredInline(ALoader)) GetStorageNodeName(ALoader, name);
    if (TKnotParam* p = AKnot->FindParam(name)) {
      std::u16string& value = ALoader->TextBuffer();
      p->GetAsString(value);
      SetText(value);
    } else {
      SetText(DefaultText());
    }
    return;
  }
  TKnot* source = AKnot;
  if (ALoader->Mode() == fmRecord)
    for (TElement* c = FirstChildElement(); c; c = c->NextSiblingElement())
      if (c->IsPart()) {
        source = AKnot->FindKnot(FloatingKnotName);
        break;
      }
  TScheme* scheme = Scheme();
  if (scheme) scheme->BeginLoading();
  FTextor.BeginUpdate();
  try {
    Clear();
    TTextRange range;
    if (source) LoadRich(ALoader, source, FTextor.GetBeginPosition(), range, true);
  } catch (...) {
    FTextor.EndUpdate();
    if (scheme) scheme->EndLoading();
    throw;
  }
  FTextor.EndUpdate();
  if (scheme) scheme->EndLoading();
}

// ---------------------------------------------------------------------------------------------------------------
// Edits

TNodePtr<TTextorEditOperation> TTextorElement::CreateEditOperation(bool ALockMessages) {
  return TNodePtr<TTextorEditOperation>(new TTextorEditOperation(this, ALockMessages));
}

void TTextorElement::PerformEdit(uint8_t AMode, const TTextRange* ARange, TKnot* AContent, uint8_t AContentMode,
                                 TFilerFlags AContentFlags, bool ASelect) {
  // Content without children inserts nothing.
  if (AContent && !AContent->FirstKnot()) AContent = nullptr;
  TTextRange replaced;
  bool removes = false;
  switch (AMode) {
    case emSelection:
      if (HasSelection()) {
        replaced = FInteractive->GetSelection();
        removes = true;
      }
      break;
    case emRange:
      if (ARange) {
        replaced = *ARange;
        removes = true;
      }
      break;
    case emWhole:
      replaced = FTextor.GetWholeRange();
      removes = true;
      break;
    default:
      break;
  }
  if (removes && TTextor::IsRangeEmpty(replaced)) removes = false;
  // Nothing removed and nothing inserted: no step, no Modified.
  if (!removes && !AContent) return;

  TNodePtr<TTextorEditOperation> operation = CreateEditOperation(AContent != nullptr);
  if (removes) operation->ReplacedRange = FTextor.RangeToIndexRange(replaced);
  if (AContent) {
    TTextPosition at;
    TTextAttributes* attributes = nullptr;
    switch (AMode) {
      case emSelection:
        if (FInteractive) {
          at = FInteractive->GetCaretPosition();
          attributes = FInteractive->GetTypingAttributes();
        } else {
          // A palette run on a text that is not being edited: the end of the text.
          at = FTextor.GetEndPosition();
          attributes = FTextor.GetAttributesAt(at);
        }
        break;
      case emRange:
        at = ARange ? ARange->Start : FTextor.GetEndPosition();
        attributes = FTextor.GetAttributesAt(ARange ? ARange->End : at);
        break;
      case emWhole:
        at = FTextor.GetBeginPosition();
        attributes = FTextor.GetAttributesAt(FTextor.GetEndPosition());
        break;
      default:
        at = FTextor.GetEndPosition();
        attributes = FTextor.GetAttributesAt(at);
        break;
    }
    operation->InsertPosition = FTextor.PositionToIndex(at);
    operation->SetTypingAttributes(attributes);
    operation->SetNewContent(AContent, AContentMode, AContentFlags);
    operation->SelectInserted = ASelect;
  }
  TSchemeOperation::Perform(std::move(operation));
}

void TTextorElement::InsertTypedText(uint8_t AMode, const TTextRange* ARange, std::u16string_view AText,
                                     bool ASelect) {
  if (AText.empty()) {
    PerformEdit(AMode, ARange, nullptr, fmRecord, {}, ASelect);
    return;
  }
  TKnot content;
  MakeContentRoot(&content);
  // A typed Enter is a lone "Br", so that typing around it merges run by run.
  if (AText == u"\r" || AText == u"\r\n") {
    content.AddKnot(std::u16string(BreakKnotName));
  } else {
    content.AddKnot(std::u16string(CharsKnotName))->WriteString(u"Value", AText);
  }
  PerformEdit(AMode, ARange, &content, fmRecord, {}, ASelect);
}

void TTextorElement::InsertElements(uint8_t AMode, const TTextRange* ARange, std::vector<TVisualElement*>& AElements) {
  TSchemeSaver saver(fmRecord, nullptr, {});
  TKnot* content = saver.Knot();
  MakeContentRoot(content);
  const bool breaks = FTextOptions.Contains(toLineBreaks);
  if (AMode != emWhole && breaks && !AElements.empty()) {
    TElementPaletteItem* item = FindPaletteItemOfClass(AElements.front()->ClassRef());
    if (HasTextorOptions(xoBlockElements) || (item && item->HasFlag(pfBlockInsertion))) {
      TTextPosition at = FTextor.GetEndPosition();
      if (AMode == emSelection && FInteractive)
        at = FInteractive->HasSelection() ? FInteractive->GetSelection().Start : FInteractive->GetCaretPosition();
      else if (AMode == emRange && ARange)
        at = ARange->Start;
      if (!FTextor.IsAtParagraphEdge(at, false)) content->AddKnot(std::u16string(BreakKnotName));
    }
  }
  bool first = true;
  for (TVisualElement* element : AElements) {
    if (!first && breaks) content->AddKnot(std::u16string(BreakKnotName));
    first = false;
    element->SaveToKnot(&saver, content->AddKnot(std::u16string(element->GetNodeName())));
  }
  // The edit makes the elements again under the same identifiers: the originals must be gone by then.
  for (TVisualElement* element : AElements) element->Destroy();
  AElements.clear();
  PerformEdit(AMode, ARange, content, saver.Mode(), saver.Flags(), false);
}

// ---------------------------------------------------------------------------------------------------------------
// Clipboard

void TTextorElement::Copy() {
  if (!HasSelection() || !Clipboard) return;
  TSchemeSaver saver(fmCopy, nullptr, TFilerFlags::FromBits(0x04));
  TKnot* content = saver.Knot();
  MakeContentRoot(content);
  const TTextRange selection = FInteractive->GetSelection();
  IterateRange(&saver, content, &selection);
  std::u16string text;
  if (!ContentToPlainText(content, text)) {
    TSchemeSaver::WriteFormatVersion(content);
    text = content->SaveToString();
  }
  Clipboard->SetAsText(text);
  if (Sheet()) Sheet()->CloseDropDown(false);
}

void TTextorElement::AppendPlainText(const TTextRange& ARange, std::u16string& AText) const {
  FTextor.IterateRange(ARange, false, [&](const TTextPiece& APiece) {
    if (!APiece.Portion) {
      AText += u"\r\n";
    } else if (APiece.Portion->Kind() == TPortionKind::pkElement) {
      if (auto* element = dynamic_cast<TElement*>(static_cast<TElementPortion*>(APiece.Portion)->Element())) {
        TPartsTextBuilder builder(AText);
        element->BroadcastToParts(reinterpret_cast<intptr_t>(static_cast<TObject*>(&builder)));
      }
    } else {
      const size_t at = AText.size();
      AText.resize(at + static_cast<size_t>(APiece.Count));
      APiece.Portion->CopyChars(APiece.Offset, APiece.Count, AText.data() + at);
    }
    return true;
  });
}

void TTextorElement::CopyText() {
  if (!HasSelection() || !Clipboard) return;
  std::u16string text;
  AppendPlainText(FInteractive->GetSelection(), text);
  Clipboard->SetAsText(text);
}

void TTextorElement::BroadcastToParts(intptr_t AValue) {
  if (auto* builder = dynamic_cast<TPartsTextBuilder*>(reinterpret_cast<TObject*>(AValue)))
    AppendPlainText(FTextor.GetWholeRange(), builder->Text);
  TCustomDropDownElement::BroadcastToParts(AValue);
}

bool TTextorElement::Paste() {
  if (!Clipboard) return false;
  const std::u16string text = Clipboard->AsText();
  if (text.empty()) return PasteData();
  const bool takesText = FTextOptions.ContainsAny(AnyTextOptions);
  TKnot knot;
  knot.LoadFromString(text);
  // Damaged knot text is text like any other.
  if (!knot.HasParseError() && knot.Name() == ContentKnotName) {
    MakeOrdered(&knot);
    TKnot* first = knot.FirstKnot();
    if (first && (first->Name() == u"Row" || first->Name() == u"Cell")) {
      // Table rows are never runs of a text: they become a table where the text takes one, else nothing.
      if (!TableRowsPaste || !TableRowsPaste(this, &knot)) return false;
    } else if (IsRich()) {
      PerformEdit(emSelection, nullptr, &knot, fmCopy, TFilerFlags::FromBits(0x04), false);
    } else {
      if (!takesText) return false;
      std::u16string plain;
      InsertTypedText(emSelection, nullptr, ContentToPlainText(&knot, plain) ? plain : text, false);
    }
  } else {
    if (!takesText) return false;
    InsertTypedText(emSelection, nullptr, text, false);
  }
  if (Sheet()) Sheet()->CloseDropDown(false);
  return true;
}

TVisualElement* TTextorElement::InsertDataElement(const std::u16string* AFileName) {
  TElementClass elementClass = nullptr;
  if (!IsRich() || !Perform(nmAskDataClass, reinterpret_cast<intptr_t>(&elementClass), reinterpret_cast<intptr_t>(AFileName)) ||
      !elementClass)
    return nullptr;
  // The new element goes before the element that follows the caret in the text, else at the end.
  TElement* before = nullptr;
  TTextPosition at = FInteractive ? FInteractive->GetCaretPosition() : FTextor.GetEndPosition();
  for (TParagraph* p = at.Paragraph; p && !before; p = p->Next()) {
    for (TPortion* portion = p == at.Paragraph ? at.Portion : p->FirstPortion(); portion; portion = portion->Next())
      if (portion->Kind() == TPortionKind::pkElement)
        if ((before = dynamic_cast<TElement*>(static_cast<TElementPortion*>(portion)->Element()))) break;
  }
  TElement* element = TElement::CreateIn(elementClass, Scheme(), this, before);
  element->NotifyInitNew(0);
  Perform(nmEmbeddedCreated, reinterpret_cast<intptr_t>(element), 0);
  auto* fill = dynamic_cast<IDataElementFill*>(element);
  auto* visual = dynamic_cast<TVisualElement*>(element);
  if (!fill || !visual || !(AFileName ? fill->FillFromFile(*AFileName) : fill->FillFromClipboard())) {
    element->Destroy();
    return nullptr;
  }
  // The edit makes the element again under its identifier and frees this one: it is found again by that.
  const int32_t id = element->ID();
  std::vector<TVisualElement*> list{visual};
  InsertElements(emSelection, nullptr, list);
  return dynamic_cast<TVisualElement*>(Scheme() ? Scheme()->FindByID(id) : nullptr);
}

bool TTextorElement::PasteData() {
  TVisualElement* element = InsertDataElement(nullptr);
  if (!element) return false;
  if (TSheet* sheet = Sheet(); sheet && sheet->Settings() && sheet->Settings()->FocusNew->Value())
    sheet->DelayFocus(element);
  return true;
}

bool TTextorElement::DropFiles(const std::vector<std::u16string>& AFileNames) {
  bool made = false;
  for (const std::u16string& name : AFileNames) made = InsertDataElement(&name) != nullptr || made;
  return made;
}

void TTextorElement::DeleteSelection() {
  if (FInteractive) FInteractive->DeleteSelection();
}

bool TTextorElement::CanDelete() { return HasSelection() && !IsReadOnly(); }

bool TTextorElement::HasSelection() { return FInteractive && FInteractive->HasSelection(); }

// ---------------------------------------------------------------------------------------------------------------
// Hooks

void TTextorElement::ConfigureInteractive(TSchemeTextorInteractive* AInteractive) {
  if (TSheet* sheet = Sheet(); sheet && sheet->Settings()) AInteractive->SetCaretWidth(sheet->Settings()->CaretSize->Value());
  TInteractiveOptions options = ioSelectionTail | ioDoubleClickActivatesLink | ioCtrlEnterActivatesLink;
  if (FTextOptions.ContainsAny(toLetters | toDigits | toUnderscore | toSpaces | toTabs | toOther))
    options.Include(ioBeamText);
  if (IsRich()) options.Include(ioBeamElements);
  if (HasVisualOptions(voDropDown)) options.Include(ioBeamDropDown);
  if (FTextOptions.Contains(toLineBreaks)) options.Include(ioBeamContainer);
  AInteractive->SetOptions(options);
}

void TTextorElement::DetectLinks(TParagraph* AParagraph) {
  if (IsHosted()) {
    if (TTextorElement* host = TextHost()) host->DetectLinks(AParagraph);
    return;
  }
  if (!HasTextorOptions(xoLinks) || !Sheet() || AParagraph->IsEmpty()) return;
  // The base is looked up per link found: most paragraphs have none.
  FindLinks(AParagraph, [this](std::u16string_view AURL) -> TTextAttributes* {
    TRichTextAttributes link;
    if (TTextAttributes* base = GetTextAttributes()) link.Assign(*base);
    link.SetLink(1, std::u16string(AURL));
    return static_cast<TTextAttributes*>(link.Acquire());
  });
}

TTextAttributes* TTextorElement::GetLinkAttributes(TKnot* AKnot) {
  if (IsHosted())
    if (TTextorElement* host = TextHost()) return host->GetLinkAttributes(AKnot);
  return nullptr;
}

TTextAttributes* TTextorElement::GetTextAttributes() {
  TSheet* sheet = Sheet();
  if (!sheet || !sheet->Settings()) return DefaultTextAttributes.get();
  int font = tfCodeFont;
  if (HasTextorOptions(xoCommentFont))
    font = tfCommentFont;
  else if (HasTextorOptions(xoArtFont))
    font = tfArtFont;
  else if (HasTextorOptions(xoFixedFont))
    font = tfFixedFont;
  return sheet->Settings()->GetTextAttributes(font);
}

TElement* TTextorElement::GetHostElement() {
  TElement* owner = GetOwner();
  return owner ? owner->ParentElement() : nullptr;
}

TTextorElement* TTextorElement::TextHost() { return AsTextorElement(GetHostElement()); }

bool TTextorElement::GetFrameThemeElement(int& AIndex) {
  if (HasTextorOptions(xoFieldFrame)) {
    AIndex = teField;
    return true;
  }
  if (HasTextorOptions(xoContainerFrame)) {
    AIndex = teContainer;
    return true;
  }
  return false;
}

void TTextorElement::GetWidthLimits(TTextWidthLimits& ALimits) { FillWidthLimits(ALimits, true); }

void TTextorElement::FillWidthLimits(TTextWidthLimits& ALimits, bool AWrap) {
  int frame = 0;
  int32_t extent = 10;
  if (GetFrameThemeElement(frame)) {
    extent = 0;
    if (TSheet* sheet = Sheet()) {
      const TRect padding = sheet->Canvas()->GetThemePadding(frame);
      extent = padding.Left + padding.Right;
    }
  }
  bool asked = false;
  TVisualSize available;
  const auto availableSize = [&]() -> const TVisualSize& {
    if (!asked) {
      asked = true;
      available = {UnboundedSize, UnboundedSize};
      if (TVisualElement* parent = VisualParent()) parent->GetAvailableSize(this, available);
      available.Width = std::clamp(available.Width, 0, UnboundedSize);
      available.Height = std::clamp(available.Height, 0, UnboundedSize);
    }
    return available;
  };
  const uint32_t bits = FOptions.Bits();
  ALimits.MinWidth = extent;
  if (!AWrap) {
    ALimits.WrapWidth = 0;
  } else if (bits & 0x3E0000) {
    if (bits & uint32_t(xoWrapUnbounded))
      ALimits.WrapWidth = UnboundedSize;
    else if (bits & uint32_t(xoWrap960))
      ALimits.WrapWidth = 960;
    else if (bits & uint32_t(xoWrap720))
      ALimits.WrapWidth = 720;
    else if (bits & uint32_t(xoWrap480))
      ALimits.WrapWidth = 480;
    else
      ALimits.WrapWidth = 240;
  } else {
    ALimits.WrapWidth = std::max(extent, availableSize().Width);
  }
  if (bits & uint32_t(xoMinWidthAvailable))
    ALimits.MinWidth = std::max(extent, availableSize().Width);
  else if (bits & uint32_t(xoMinWidth480))
    ALimits.MinWidth = 480;
  else if (bits & uint32_t(xoMinWidth240))
    ALimits.MinWidth = 240;
  else if (bits & uint32_t(xoMinWidth30))
    ALimits.MinWidth = 30;
  ALimits.MinHeight = 0;
  if (bits & uint32_t(xoMinHeightAvailable))
    ALimits.MinHeight = availableSize().Height;
  else if (bits & uint32_t(xoMinHeight240))
    ALimits.MinHeight = 240;
  else if (bits & uint32_t(xoMinHeight120))
    ALimits.MinHeight = 120;
  else if (bits & uint32_t(xoMinHeight60))
    ALimits.MinHeight = 60;
}

void TTextorElement::ActivateLink(TPortion* APortion) {
  if (IsHosted()) {
    if (TTextorElement* host = TextHost()) host->ActivateLink(APortion);
    return;
  }
  if (!HasTextorOptions(xoLinks) || !APortion || !APortion->Attributes()) return;
  const std::u16string target = APortion->Attributes()->LinkTarget();
  TSheet* sheet = Sheet();
  if (target.empty() || !sheet) return;
  // The target is whatever the data file holds: a file, share or other scheme handed to the shell would start a
  // program. Only a web address goes out, and only to the browser.
  if (!IsBrowsableUrl(target))
    ShowMessageBox(
        FormatLocStrOr(IdLinkNotOpened, u"The link \"%1\" was not opened: only web links (http and https) are opened.",
                       {target}),
        {}, MB_OK | MB_ICONWARNING);
  else if (!sheet->OpenInBrowser(target))
    ShowMessageBox(
        FormatLocStrOr(IdLinkNotStarted, u"The link \"%1\" could not be opened: no web browser was started.", {target}),
        {}, MB_OK | MB_ICONWARNING);
}

bool TTextorElement::ForwardsToHost(int ACode) {
  return ACode == nmAskDataClass || ACode == nmEmbeddedCreated || ACode == nmHostedQuery || ACode == nmHostedNotify;
}

void TTextorElement::PaintFrame(TSheetCanvas* ACanvas) {
  int frame = 0;
  if (!GetFrameThemeElement(frame)) return;
  TRect client;
  GetClientRect(client);
  ACanvas->DrawThemeElement(frame, client);
}

void TTextorElement::TextChanged() {
  if (FInternalState & isSignalsOff) return;
  NotifyHostTextChanged();
  if (HasTextorOptions(xoCommitOnExit) && IsFocused()) {
    SetValueModified(true);
    UpdateState();
  } else {
    ValueChanged();
  }
}

void TTextorElement::NotifyHostTextChanged() {
  if (IsHosted())
    if (TTextorElement* host = TextHost()) host->NotifyHostTextChanged();
}

// ---------------------------------------------------------------------------------------------------------------
// Layout

void TTextorElement::LayoutAgain() {
  if (IsVisible()) FTextor.InvalidateLayout();
}

void TTextorElement::AfterLayout(bool AReset) {
  const bool replaced = FInternalState & isReplacedWhole;
  FInternalState = static_cast<uint8_t>((FInternalState | isAfterLayout) & ~isReplacedWhole);
  // Whether the caret and the selection were placed inside the text again.
  bool placed = true;
  if (FInteractive) {
    FInternalState |= isApplyingSelection;
    if (FInteractive->HasPendingSelection()) {
      FInteractive->ApplyPendingSelection();
    } else if (replaced) {
      FInteractive->SetCaretPosition(FTextor.GetBeginPosition());
    } else {
      // The selection maps onto the new rows.
      const TIndexRange selection = FInteractive->SelectionIndex();
      const bool caretAtStart = FInteractive->CaretIndex() == selection.Start && !(selection.Start == selection.End);
      TTextRange range;
      placed = FTextor.IndexRangeToRange(selection, range);
      if (placed) FInteractive->SelectRange(range, caretAtStart);
    }
    FInternalState &= ~isApplyingSelection;
  }
  if (Sheet() && IsVisible() && FTextor.FormatLock() == 0) {
    UpdateSize();
    TRect padding;
    FTextor.GetPadding(padding);
    int32_t baseline = padding.Top + padding.Bottom;
    if (TParagraph* first = FTextor.FirstParagraph())
      if (TRow* row = first->FirstRow()) baseline += row->GetBaseline();
    if (baseline != FBaseline) {
      FBaseline = baseline;
      Perform(nmBaselineChanged, 0, 0);
    }
  }
  FInternalState &= ~isAfterLayout;
  if (FInteractive) {
    CaretChanged();
    RequestScrollToCaret();
    // Only a selection left outside the text needs the interactive's own clamping, which counts the paragraphs
    // (a walk over the text) on every call.
    if (!placed) FInteractive->TextLaidOut();
  }
}

void TTextorElement::UpdateSize() {
  if (!Sheet() || !IsVisible() || FTextor.FormatLock() > 0 || FTextor.LayoutPending()) return;
  TTextWidthLimits limits;
  GetMinimumLimits(limits);
  TRect padding;
  FTextor.GetPadding(padding);
  int32_t width = FTextor.GetWidth();
  int32_t height = FTextor.GetHeight();
  if ((HasTextorOptions(xoEmptyKeepsWidth) || IsValueRequired()) && FTextor.IsEmpty())
    width = std::max(width, height * 2 / 3);
  TRow* last = FTextor.LastParagraph() ? FTextor.LastParagraph()->LastRow() : nullptr;
  if (HasTextorOptions(xoGrowToScrollLast) && Sheet()->Settings() &&
      Sheet()->Settings()->IncreaseWorkspaceHeight->Value()) {
    const int32_t lastHeight = last ? last->GetHeight() : 0;
    height += std::max(0, limits.MinHeight - (lastHeight + padding.Top + padding.Bottom));
  }
  width = std::min(std::max(width + padding.Left + padding.Right, limits.MinWidth), UnboundedSize);
  height = std::min(std::max(height + padding.Top + padding.Bottom, limits.MinHeight), UnboundedSize);
  const int32_t descent = padding.Bottom + (last ? last->Descent : 0);
  // Unchanged bounds would repaint the whole element on every key.
  if (width != Width() || height != Height() || descent != Descent()) SetBounds(Left(), Top(), width, height, descent);
}

void TTextorElement::BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) {
  TCustomDropDownElement::BoundsChanged(AOldRect, AOldDescent);
  if ((FInternalState & isAfterLayout) || HasTextorOptions(xoWrapUnbounded)) return;
  if (AOldRect.Right - AOldRect.Left == Width()) return;
  // A width that leaves the wrap width as it was (a title stretching its content) keeps the rows: what follows a
  // layout runs without one.
  TRect padding;
  FTextor.GetPadding(padding);
  if (IsVisible() && FTextor.LaidOutAt(FTextor.GetWrapWidth(), padding))
    AfterLayout(false);
  else
    LayoutAgain();
}

void TTextorElement::ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) {
  if (IsDestroying()) return;
  const bool resized = AOldRect.Right - AOldRect.Left != AChild->Width() ||
                       AOldRect.Bottom - AOldRect.Top != AChild->Height() || AOldDescent != AChild->Descent();
  if (!resized) return;
  if (TElementPortion* portion = AChild->EmbeddingPortion(); portion && portion->Textor() == &FTextor)
    portion->InvalidateLayout();
}

void TTextorElement::ChildEffectivelyDisabledChanged(TVisualElement* AChild) {
  TCustomDropDownElement::ChildEffectivelyDisabledChanged(AChild);
  if (FTextOptions.ContainsAny(toElementRequired | toSingleElement)) UpdateState();
}

void TTextorElement::InsertVisualChild(TVisualElement* AChild, TVisualElement* ABefore) {
  TCustomDropDownElement::InsertVisualChild(AChild, ABefore);
  if (FTextOptions.ContainsAny(toElementRequired | toSingleElement)) UpdateState();
}

void TTextorElement::RemoveVisualChild(TVisualElement* AChild) {
  if (FInteractive && !FInteractive->SelectedElements().empty()) FInteractive->ForgetSelectedElements();
  TElementPortion* portion = AChild->EmbeddingPortion();
  TCustomDropDownElement::RemoveVisualChild(AChild);
  if (portion && portion->Textor() == &FTextor) {
    // The element leaves the text with its portion; the portion must not free it again.
    portion->ClearElement();
    AChild->SetEmbeddingPortion(nullptr);
    if (!IsDestroying()) {
      TTextPosition start{portion->Paragraph(), portion, 0};
      TTextPosition end{portion->Paragraph(), portion->Next(), 0};
      TTextPosition at;
      FTextor.DeleteRange({start, end}, at);
    }
  }
  if (!IsDestroying() && !FTextor.Formatting() && FTextOptions.ContainsAny(toElementRequired | toSingleElement))
    UpdateState();
}

void TTextorElement::GetMargins(TRect& ARect) {
  int frame = 0;
  ARect = TRect();
  if (Sheet() && GetFrameThemeElement(frame)) ARect = Sheet()->Canvas()->GetThemeMargins(frame);
}

void TTextorElement::GetMouseTransparentMargins(TRect& ARect) {
  int frame = 0;
  ARect = TRect();
  if (Sheet() && GetFrameThemeElement(frame)) ARect = Sheet()->Canvas()->Theme().GetElement(frame).MouseTransparent();
}

void TTextorElement::SettleChildPlaces(const TVisualElement* AChild) {
  if (!AChild)
    FTextor.SettleElements();
  else if (const TElementPortion* portion = AChild->EmbeddingPortion(); portion && portion->Textor() == &FTextor)
    FTextor.SettleElementsThrough(portion->Paragraph());
  if (!FTextor.OwesElementShifts()) ChildPlacesSettled();
}

void TTextorElement::SettleChildPlacesAbove(int32_t AY) {
  TRect padding;
  FTextor.GetPadding(padding);
  FTextor.SettleElementsAbove(AY - padding.Top);
  if (!FTextor.OwesElementShifts()) ChildPlacesSettled();
}

void TTextorElement::GetPadding(TRect& ARect) {
  int frame = 0;
  ARect = TRect();
  TSheet* sheet = Sheet();
  if (!sheet) return;
  if (GetFrameThemeElement(frame)) ARect = sheet->Canvas()->GetThemePadding(frame);
  if (HasTextorOptions(xoWideLeftPadding) && sheet->Settings()) ARect.Left += sheet->Settings()->ScaleValue(42);
}

void TTextorElement::GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) {
  TCustomDropDownElement::GetAvailableSize(this, ASize);
  if (!Sheet()) return;
  TRect padding;
  GetPadding(padding);
  if (ASize.Width < UnboundedSize) ASize.Width = std::max(0, ASize.Width - padding.Left - padding.Right - 2);
  if (ASize.Height < UnboundedSize) ASize.Height = std::max(0, ASize.Height - padding.Top - padding.Bottom);
}

void TTextorElement::VisibleChanged() {
  FTextor.BeginFormatUpdate();
  try {
    TCustomDropDownElement::VisibleChanged();
    if (IsVisible()) FTextor.InvalidateLayout();
  } catch (...) {
    FTextor.EndFormatUpdate();
    throw;
  }
  FTextor.EndFormatUpdate();
  UpdateSize();
}

void TTextorElement::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  if (FTextor.FormatLock() > 0 || FTextor.LayoutPending()) return;
  PaintFrame(ACanvas);
  TRect padding;
  GetPadding(padding);
  TTextPaintFlags flags;
  if (Sheet() && Sheet()->Settings() && Sheet()->Settings()->NonPrintingCharacters->Value() &&
      !HasTextorOptions(xoNoNonPrinting))
    flags.Include(tpWhiteSpace);
  ACanvas->MoveOrigin(padding.Left, padding.Top);
  if (FInteractive) {
    if (!AFlags.Contains(spNoSelection)) flags.Include(tpSelection);
    // A host window without the focus shows the selection inactive.
    const TTextOwnerStates state = AFlags.Contains(spInactive) ? TTextOwnerStates() : TTextOwnerStates(osActive);
    FInteractive->Paint(*ACanvas, state, flags);
  } else {
    FTextor.PaintParagraphBackgrounds(*ACanvas, {});
    FTextor.PaintRange(*ACanvas, {}, FTextor.GetWholeRange(), flags, false);
  }
  ACanvas->MoveOrigin(-padding.Left, -padding.Top);
}

void TTextorElement::CommitValue() {
  TCustomDropDownElement::CommitValue();
  SetValueModified(false);
  if (Sheet()) Sheet()->PlaySound(u"diClassesValueSound");
  ValueChanged();
}

void TTextorElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                     bool AHeightChanged) {
  bool widthInChain = false;
  bool heightInChain = false;
  for (TTextorElement* e = this; e; e = e->IsHosted() ? e->TextHost() : nullptr) {
    widthInChain = widthInChain || e->HasTextorOptions(xoMinWidthAvailable);
    heightInChain = heightInChain || e->HasTextorOptions(xoMinHeightAvailable);
    if (!e->IsHosted()) break;
  }
  const bool all = ASheetChanged || ASettingsChanged;
  const bool attach = Sheet() && (FInternalState & isOffSheet);
  FTextor.BeginFormatUpdate();
  try {
    if (attach) {
      // The lock held off the sheet gives way to this bracket's.
      FInternalState &= ~isOffSheet;
      FTextor.EndFormatUpdate();
    }
    if (all && Sheet()) {
      FTextor.InvalidateLayout();
      if (FInteractive) ConfigureInteractive(FInteractive.get());
    } else if (AWidthChanged && widthInChain && FTextor.GetWrapWidth() > 0) {
      FTextor.InvalidateLayout();
    }
    TCustomDropDownElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  } catch (...) {
    FTextor.EndFormatUpdate();
    throw;
  }
  FTextor.EndFormatUpdate();
  if (!all && ((AWidthChanged && widthInChain) || (AHeightChanged && heightInChain))) UpdateSize();
}

void TTextorElement::DetachFromSheet() {
  if (!(FInternalState & isOffSheet)) {
    FInternalState |= isOffSheet;
    FTextor.BeginFormatUpdate();
  }
  SetInteractive(false);
  TCustomDropDownElement::DetachFromSheet();
}

void TTextorElement::UpdateChildrenVisible() {
  FTextor.BeginFormatUpdate();
  try {
    TCustomDropDownElement::UpdateChildrenVisible();
  } catch (...) {
    FTextor.EndFormatUpdate();
    throw;
  }
  FTextor.EndFormatUpdate();
}

// ---------------------------------------------------------------------------------------------------------------
// Element tree, messages and hosting

void TTextorElement::OptionsChanged(TElementOptions AOldOptions) {
  TCustomDropDownElement::OptionsChanged(AOldOptions);
  if ((AOldOptions & eoValueRequired) != (Options() & eoValueRequired) && HasOptions(eoValue)) LayoutAgain();
}

void TTextorElement::HierarchyChanged() {
  TCustomDropDownElement::HierarchyChanged();
  if (IsDestroying() || !HasTextorOptions(xoHosted | xoFollowsHost)) return;
  const TTextorOptions taken = IsHosted() ? TTextorOptions::FromBits(0x3EE067) : TTextorOptions::FromBits(0xE024);
  TTextorOptions options = FOptions - taken;
  TTextOptions textOptions = AnyTextOptions;
  if (TTextorElement* host = TextHost()) {
    options |= host->TextorOptions() & taken;
    textOptions = host->TextOptions();
  }
  SetTextorOptions(options);
  SetTextOptions(textOptions);
}

void TTextorElement::GetChildClasses(TElementClassList& AList) {
  if (IsHosted()) {
    if (TElement* host = GetHostElement()) host->GetAllowedChildClasses(AList);
    return;
  }
  if (IsRich() && ClassesGroups) {
    if (ClassesGroups->Count() > 0) AddListUnique(AList, ClassesGroups->GetGroup(0));
    if (FTextOptions.Contains(toLetters) && ClassesGroups->Count() > 2) AddListUnique(AList, ClassesGroups->GetGroup(2));
  }
  TCustomDropDownElement::GetChildClasses(AList);
}

bool TTextorElement::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  if (IsHosted() && ForwardsToHost(AMsg))
    if (TElement* host = GetHostElement(); host && host->HandleMessage(AMsg, AParam1, AParam2)) return true;
  if (AMsg == nmAskBaseline && AParam1) {
    *reinterpret_cast<int32_t*>(AParam1) = FBaseline;
    return true;
  }
  return TCustomDropDownElement::HandleMessage(AMsg, AParam1, AParam2);
}

bool TTextorElement::ChildNotification(TElement* AChild, int ACode, intptr_t AParam1, intptr_t AParam2) {
  if (IsHosted() && ForwardsToHost(ACode))
    if (TElement* host = GetHostElement(); host && host->ChildNotification(AChild, ACode, AParam1, AParam2))
      return true;
  return TCustomDropDownElement::ChildNotification(AChild, ACode, AParam1, AParam2);
}

std::u16string_view TTextorElement::TranslateNodeName(TSchemeLoader* ALoader, TKnot* AKnot,
                                                      std::u16string_view AName) {
  if (IsHosted())
    if (TElement* host = GetHostElement()) return host->TranslateNodeName(ALoader, AKnot, AName);
  return TCustomDropDownElement::TranslateNodeName(ALoader, AKnot, AName);
}

TElementClass TTextorElement::GetUnacceptedClass(TSchemeLoader* ALoader) {
  if (IsHosted())
    if (TElement* host = GetHostElement()) return host->GetUnacceptedClass(ALoader);
  return TCustomDropDownElement::GetUnacceptedClass(ALoader);
}

// ---------------------------------------------------------------------------------------------------------------
// Palette

void TTextorElement::GetPaletteItems(TPaletteList& AList) {
  if (IsHosted())
    if (auto* host = dynamic_cast<TVisualElement*>(GetHostElement())) {
      TPaletteList items;
      host->GetPaletteItems(items);
      for (TPaletteNode* node : items) {
        auto* item = dynamic_cast<TPaletteItem*>(node);
        if (item && (dynamic_cast<TElementPaletteItem*>(item) || item->HasFlag(pfNotThroughHost))) continue;
        AList.push_back(node);
      }
    }
  if (HasTextorOptions(xoFormatCommands) && HasSelection() && PaletteFormatGroup) {
    AList.push_back(PaletteFormatGroup);
    AList.push_back(PaletteBoldItem);
    AList.push_back(PaletteItalicItem);
    AList.push_back(PaletteUnderlineItem);
  }
  TCustomDropDownElement::GetPaletteItems(AList);
}

void TTextorElement::AdjustPaletteItems(TPaletteList& AList) {
  if (IsHosted())
    if (auto* host = dynamic_cast<TVisualElement*>(GetHostElement())) return host->AdjustPaletteItems(AList);
  TCustomDropDownElement::AdjustPaletteItems(AList);
}

void TTextorElement::GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) {
  if (IsHosted())
    if (auto* host = dynamic_cast<TVisualElement*>(GetHostElement())) host->GetPaletteItemState(AItem, AState);
  TCustomDropDownElement::GetPaletteItemState(AItem, AState);
}

bool TTextorElement::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (IsHosted())
    if (auto* host = dynamic_cast<TVisualElement*>(GetHostElement());
        host && host->ExecutePaletteItem(ATarget, AItem, AValue))
      return true;
  if (ATarget == this)
    if (auto* item = dynamic_cast<TElementPaletteItem*>(AItem)) {
      TElementClassList allowed;
      GetAllowedChildClasses(allowed);
      if (std::find(allowed.begin(), allowed.end(), item->ElementClass()) != allowed.end()) {
        auto* element = dynamic_cast<TVisualElement*>(TElement::CreateIn(item->ElementClass(), Scheme(), this, nullptr));
        if (element) {
          element->NotifyInitNew(0);
          std::vector<TVisualElement*> list{element};
          InsertElements(emSelection, nullptr, list);
          return true;
        }
      }
    }
  return TCustomDropDownElement::ExecutePaletteItem(ATarget, AItem, AValue);
}

void TTextorElement::TunePaletteItem(TPaletteItem* AItem, void* ADisplay) {
  if (IsHosted())
    if (auto* host = dynamic_cast<TVisualElement*>(GetHostElement())) return host->TunePaletteItem(AItem, ADisplay);
  TCustomDropDownElement::TunePaletteItem(AItem, ADisplay);
}

// ---------------------------------------------------------------------------------------------------------------
// Drop-down and value

bool TTextorElement::ApplyDropDownItem(TDropDownItem* AItem) {
  if (IsReadOnly() || !AItem) return false;
  SetTextUndoable(AItem->Caption());
  return true;
}

TDropDownItem* TTextorElement::FillDropDown(TDropDownItem* ARoot) {
  if (FirstVisualChild()) return TCustomDropDownElement::FillDropDown(ARoot);
  const std::u16string text = GetText();
  for (bool folded : {false, true}) {
    if (folded && HasVisualOptions(voCaseSensitiveDropDown)) break;
    if (TDropDownItem* item = FindDropDownItem(ARoot, text, false, folded)) return item;
    if (TDropDownItem* item = FindDropDownItem(ARoot, text, true, folded)) return item;
  }
  return nullptr;
}

bool TTextorElement::CalcHasValue() { return !FTextor.IsEmpty(); }

bool TTextorElement::CalcIsEmpty() {
  if (FirstVisualChild()) return false;
  if (FDefaultText) return GetText() == *FDefaultText;
  return FTextor.IsEmpty();
}

int TTextorElement::CountEmbeddedElements(int ALimit) {
  int count = 0;
  for (TVisualElement* c = FirstVisualChild(); c && count < ALimit; c = c->NextVisualSibling())
    if (!c->IsEffectivelyDisabled() && !c->HasOptions(eoSkippedOnRequest) && c->EmbeddingPortion()) ++count;
  return count;
}

// Any text with none of the further checks asked for passes CheckContent and CheckValue without a word.
bool TTextorElement::CheckValueMayReport() { return FTextOptions != AnyTextOptions; }

void TTextorElement::CheckValue() {
  TCustomDropDownElement::CheckValue();
  CheckContent();
  if (!FTextOptions.ContainsAny(toElementRequired | toSingleElement)) return;
  const int count = CountEmbeddedElements(2);
  if (FTextOptions.Contains(toElementRequired) && count == 0) AddContentMessage(IdElementRequired);
  if (FTextOptions.Contains(toSingleElement) && count == 2) AddContentMessage(IdSingleElement);
}

void TTextorElement::AddContentMessage(int AID, std::u16string_view AValue) {
  GetMessages()->AddLinked(mkElementError, FormatLocStrOr(AID, EnglishText(AID), {AValue}), IntToStr(ID()));
}

void TTextorElement::CheckContent() {
  const bool characterClasses = FTextOptions.ContainsAny(CharacterTextOptions);
  // The first run of the first paragraph and the last run of the last one, for the edge checks.
  const TTextPortion* firstRun = nullptr;
  const TTextPortion* lastRun = nullptr;
  bool hasTextRun = false;
  if (TParagraph* p = FTextor.FirstParagraph(); p && p->FirstPortion() && p->FirstPortion()->Kind() == TPortionKind::pkText)
    firstRun = static_cast<const TTextPortion*>(p->FirstPortion());
  if (TParagraph* p = FTextor.LastParagraph(); p && p->LastPortion() && p->LastPortion()->Kind() == TPortionKind::pkText)
    lastRun = static_cast<const TTextPortion*>(p->LastPortion());

  if (FTextOptions != AnyTextOptions) {
    bool space = false, tab = false, lineFeed = false, digit = false, underscore = false, letter = false,
         nonLatin = false, other = false;
    std::u16string fileChars, pathChars;
    for (TParagraph* p = FTextor.FirstParagraph(); p; p = p->Next())
      for (TPortion* portion = p->FirstPortion(); portion; portion = portion->Next()) {
        if (portion->Kind() != TPortionKind::pkText) continue;
        hasTextRun = true;
        const std::u16string_view text = static_cast<TTextPortion*>(portion)->Text();
        for (size_t i = 0; i < text.size();) {
          const size_t at = i;
          const char32_t c = NextCodePoint(text, i);
          if (c == u' ')
            space = space || !FTextOptions.Contains(toSpaces);
          else if (c == u'\t')
            tab = true;
          else if (c == u'\n' || c == u'\r')
            lineFeed = true;
          else if (IsDigitChar(c))
            digit = digit || !FTextOptions.Contains(toDigits);
          else if (c == u'_')
            underscore = underscore || !FTextOptions.Contains(toUnderscore);
          else if (IsLetterChar(c)) {
            letter = letter || !FTextOptions.Contains(toLetters);
            nonLatin = nonLatin || (FTextOptions.Contains(toLatinLetters) && !IsLatinLetter(c));
          } else
            other = other || !FTextOptions.Contains(toOther);
          const std::u16string_view unit = text.substr(at, i - at);
          if (FTextOptions.Contains(toFileNameChars) && std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos &&
              fileChars.find(unit) == std::u16string::npos)
            fileChars += unit;
          if (FTextOptions.Contains(toPathChars) && std::u16string_view(u"\"*<>?|").find(c) != std::u16string_view::npos &&
              pathChars.find(unit) == std::u16string::npos)
            pathChars += unit;
        }
      }
    if (!characterClasses && hasTextRun) {
      AddContentMessage(IdTextNotAllowed);
      return;
    }
    if (letter)
      AddContentMessage(IdLettersNotAllowed);
    else if (nonLatin)
      AddContentMessage(IdOnlyLatinLetters);
    if (digit) AddContentMessage(IdDigitsNotAllowed);
    if (underscore) AddContentMessage(IdUnderscoresNotAllowed);
    if (space) AddContentMessage(IdSpacesNotAllowed);
    if (tab) AddContentMessage(IdTabsNotAllowed);
    if (lineFeed) AddContentMessage(IdLineFeedsNotAllowed);
    if (other) AddContentMessage(IdSpecialCharsNotAllowed);
    if (!fileChars.empty()) AddContentMessage(IdFileNameChars, QuoteMessageValue(fileChars));
    if (!pathChars.empty()) AddContentMessage(IdPathChars, QuoteMessageValue(pathChars));
  }
  if (FTextOptions.Contains(toStartsWithLetter) && firstRun && !firstRun->Text().empty()) {
    size_t i = 0;
    const char32_t c = NextCodePoint(firstRun->Text(), i);
    if (!IsLetterChar(c) && c != u'_') AddContentMessage(IdTextStartsWithLetter);
  }
  if (FTextOptions.Contains(toSpaces)) {
    bool leading = false;
    if (FTextOptions.Contains(toNoLeadingSpace) && firstRun && firstRun->Text().starts_with(u' ')) {
      AddContentMessage(IdLeadingSpace);
      leading = true;
    }
    if (!leading && FTextOptions.Contains(toNoTrailingSpace) && lastRun && lastRun->Text().ends_with(u' '))
      AddContentMessage(IdTrailingSpace);
  }
  if (FTextOptions.ContainsAny(toInteger | toFloat)) {
    const std::u16string text = GetText();
    std::u16string_view number = text;
    if (FTextOptions.Contains(toPercentAllowed) && number.ends_with(u'%')) number.remove_suffix(1);
    if (FTextOptions.Contains(toFloat)) {
      if (!IsFloatText(number)) AddContentMessage(IdNotAFloat, QuoteMessageValue(text));
    } else if (!IsIntegerText(number)) {
      AddContentMessage(IdNotAnInteger, QuoteMessageValue(text));
    }
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Input and focus

void TTextorElement::SetInteractive(bool AValue) {
  if (AValue == (FInteractive != nullptr)) return;
  if (!AValue) {
    std::unique_ptr<TSchemeTextorInteractive> interactive = std::move(FInteractive);
    interactive->CancelMode();
    interactive->RemoveNotifyEvent(MakeMethod<&TTextorElement::InteractiveNotify>(this));
    // The selection, embedded elements included, was the interactive's and is shown no more; a new one starts
    // with none.
    SelectEmbeddedElements(*interactive, false);
    if (interactive->HasSelection()) Invalidate();
    return;
  }
  // The interactive works on laid-out text only.
  if (FTextor.FormatLock() > 0 || FTextor.LayoutPending()) return;
  FInteractive = std::make_unique<TSchemeTextorInteractive>(&FTextor);
  ConfigureInteractive(FInteractive.get());
  FInteractive->SetCanEdit([this] { return !IsReadOnly(); });
  FInteractive->AddNotifyEvent(MakeMethod<&TTextorElement::InteractiveNotify>(this));
}

void TTextorElement::InteractiveNotify(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  switch (ANotify) {
    case tnCaretMoved:
      if (FInternalState & isApplyingSelection) break;
      CaretChanged();
      if (AParam1) RequestScrollToCaret();
      break;
    case tnSelectionChanged:
      if (FInteractive) SelectEmbeddedElements(*FInteractive, true);
      EditStateChanged();
      if (HasTextorOptions(xoFormatCommands)) ReportCommandState();
      Invalidate();
      break;
    case tnStateChanged:
      if (FInteractive) SetCapture(FInteractive->State() != TInteractiveState::isIdle);
      break;
    case tnCursorZoneChanged:
      CursorChanged();
      break;
    case tnActivateLink:
      if (AParam1) ActivateLink(reinterpret_cast<const TTextPosition*>(AParam1)->Portion);
      break;
    case tnReplaceSelection:
      if (AParam1) {
        InsertTypedText(emSelection, nullptr, *reinterpret_cast<const std::u16string*>(AParam1), false);
      } else {
        InsertTypedText(emSelection, nullptr, u"", false);
        if (!HasValue() && Sheet()) Sheet()->CloseDropDown(false);
      }
      break;
    default:
      break;
  }
}

void TTextorElement::SelectEmbeddedElements(TSchemeTextorInteractive& AInteractive, bool AShown) {
  std::vector<TVisualElement*>& before = AInteractive.SelectedElements();
  const bool selecting = AShown && AInteractive.HasSelection();
  // A find steps through thousands of elements, and the text each step leaves clears its selection: with none
  // set before, there is nothing to look at.
  if (!selecting && before.empty() && !AInteractive.SelectedElementsLost()) return;
  if (AInteractive.SelectedElementsLost()) {
    for (TVisualElement* c : SelectedChildren())
      if (const TElementPortion* portion = c->EmbeddingPortion(); portion && portion->Textor() == &FTextor)
        before.push_back(c);
    AInteractive.SetSelectedElementsLost(false);
  }
  // The elements inside are found by a walk over the selection's portions: a key costs what it covers.
  std::vector<TVisualElement*> inside;
  if (selecting) {
    const TTextRange selection = AInteractive.GetSelection();
    for (TParagraph* p = selection.Start.Paragraph; p; p = p->Next()) {
      const bool last = p == selection.End.Paragraph;
      TPortion* stop = last ? selection.End.Portion : nullptr;
      for (TPortion* q = p == selection.Start.Paragraph ? selection.Start.Portion : p->FirstPortion(); q && q != stop;
           q = q->Next())
        if (q->Kind() == TPortionKind::pkElement)
          if (IEmbeddedElement* embedded = static_cast<TElementPortion*>(q)->Element())
            if (auto* element = static_cast<TVisualElement*>(embedded); element->VisualParent() == this)
              inside.push_back(element);
      if (last) break;
    }
  }
  std::vector<TVisualElement*> stays(inside);
  std::sort(stays.begin(), stays.end());
  // One command-state notice for the whole change: the palette reads every selected child for each.
  const bool bracket = !HasVisualState(vsStateBracket);
  if (bracket) BeginStateUpdate();
  // From the last on: the visual parent's selected children lose them at their end.
  for (auto c = before.rbegin(); c != before.rend(); ++c)
    if (!std::binary_search(stays.begin(), stays.end(), *c)) (*c)->SetSelected(false);
  for (TVisualElement* c : inside) c->SetSelected(true);
  before = std::move(inside);
  if (bracket) EndStateUpdate();
}

void TTextorElement::CancelMode() {
  TCustomDropDownElement::CancelMode();
  if (FInteractive) FInteractive->CancelMode();
}

uint8_t TTextorElement::GetCaret(TRect& ARect) {
  if (!FInteractive) return TCustomDropDownElement::GetCaret(ARect);
  TRect padding;
  GetPadding(padding);
  ARect = FInteractive->GetCaretRect();
  ARect.Left += padding.Left;
  ARect.Right += padding.Left;
  ARect.Top += padding.Top;
  ARect.Bottom += padding.Top;
  return ckTextCaret;
}

int TTextorElement::GetCursor(TVisualPoint APoint) {
  if (FInteractive) return FInteractive->Cursor();
  uint8_t zone = czFieldBeam;
  if (HasVisualOptions(voDropDown))
    zone = czFieldDropDownBeam;
  else if (FTextOptions.Contains(toLineBreaks))
    zone = FTextOptions.ContainsAny(toLetters | toDigits | toUnderscore | toSpaces | toTabs | toOther)
               ? czContainerTextBeam
               : czContainerBeam;
  else if (IsRich())
    zone = czFieldElementsBeam;
  return TextorZoneCursor(zone);
}

void TTextorElement::FocusChanged() {
  TCustomDropDownElement::FocusChanged();
  SetInteractive(IsFocused());
}

bool TTextorElement::Activate() {
  const bool result = TCustomDropDownElement::Activate();
  if (IsFocused()) SelectAll();
  return result;
}

void TTextorElement::SelectAll() {
  TCustomDropDownElement::SelectAll();
  if (FInteractive) FInteractive->SelectAll();
}

void TTextorElement::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (FInteractive) FInteractive->KeyDown(AKey, AShift);
  if (AKey) TCustomDropDownElement::KeyDown(AKey, AShift);
}

void TTextorElement::KeyUp(uint16_t& AKey, TShiftKeys AShift) {
  TCustomDropDownElement::KeyUp(AKey, AShift);
  if (FInteractive && AKey) FInteractive->KeyUp(AKey, AShift);
}

void TTextorElement::KeyPress(char16_t& AChar) {
  if (!FInteractive) {
    TCustomDropDownElement::KeyPress(AChar);
    return;
  }
  if (AChar == u'\r' && HasVisualState(vsValueModified) && !FTextOptions.Contains(toLineBreaks)) {
    CommitValue();
    AChar = 0;
    return;
  }
  if (AChar != u'\r' && AChar != u'\t' && !FTextOptions.ContainsAny(CharacterTextOptions)) {
    AChar = 0;
    return;
  }
  TCustomDropDownElement::KeyPress(AChar);
  if (AChar && FInteractive) FInteractive->KeyPress(AChar, KeyboardShift());
}

void TTextorElement::MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple,
                               bool AShift, bool ACtrl, bool AAlt) {
  if (!FInteractive) {
    TCustomDropDownElement::MouseDown(APoint, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl, AAlt);
    return;
  }
  TRect padding;
  GetPadding(padding);
  FInteractive->MouseDown({APoint.X - padding.Left, APoint.Y - padding.Top}, ALeft, ADouble, ATriple, AShift);
}

void TTextorElement::MouseMove(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {
  if (!FInteractive) return TCustomDropDownElement::MouseMove(APoint, ALeft, AShift);
  TRect padding;
  GetPadding(padding);
  FInteractive->MouseMove({APoint.X - padding.Left, APoint.Y - padding.Top}, AShift.Contains(skCtrl));
}

void TTextorElement::MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {
  if (FInteractive) {
    TRect padding;
    GetPadding(padding);
    FInteractive->MouseUp({APoint.X - padding.Left, APoint.Y - padding.Top}, ALeft, AShift.Contains(skCtrl));
  }
  // The press that focused the element took the capture before the interactive was there to hold it: the
  // interactive knows nothing of it, so the base releases it.
  TCustomDropDownElement::MouseUp(APoint, ALeft, AShift);
}

void TTextorElement::GetFocusData(std::u16string& AText) {
  if (!FInteractive) return;
  const TIndexRange r = FInteractive->SelectionIndex();
  AText = IntToStr(r.Start.ParagraphIndex) + u"," + IntToStr(r.Start.CharIndex) + u"," +
          IntToStr(r.End.ParagraphIndex) + u"," + IntToStr(r.End.CharIndex);
}

TIndexRange TTextorElement::ParseFocusData(std::u16string_view AText) {
  int32_t values[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4 && !AText.empty(); ++i) {
    const size_t comma = AText.find(u',');
    const std::u16string_view piece = AText.substr(0, comma);
    values[i] = IsIntegerText(piece) ? StrToIntDef(piece, 0) : 0;
    AText = comma == std::u16string_view::npos ? std::u16string_view() : AText.substr(comma + 1);
  }
  return {{values[0], values[1]}, {values[2], values[3]}};
}

void TTextorElement::SetFocus(TFocusDirections ADirection, const std::u16string& AFocusData, TVisualElement* AOrigin,
                              const TVisualPoint* APoint) {
  TSheetUpdate bracket(Sheet());
  TCustomDropDownElement::SetFocus(ADirection, AFocusData, AOrigin, APoint);
  if (!FInteractive) return;
  const bool atEnd = !ADirection.Contains(fdForward);
  TTextPosition position = atEnd ? FTextor.GetEndPosition() : FTextor.GetBeginPosition();
  if (APoint) {
    TRect padding;
    GetPadding(padding);
    TRow* row = nullptr;
    if (FTextor.PositionAtPoint({APoint->X - padding.Left, APoint->Y - padding.Top}, true, true, nullptr, row,
                                 position)) {
      FInteractive->SetCaretPosition(position);
      return;
    }
  } else if (AOrigin && AOrigin != this) {
    for (TVisualElement* e = AOrigin; e; e = e->VisualParent())
      if (e->VisualParent() == this) {
        if (TElementPortion* portion = e->EmbeddingPortion(); portion && portion->Textor() == &FTextor) {
          // Past the element in the direction of the move, so that the next arrow does not enter it again.
          position = {portion->Paragraph(), portion, 0};
          if (ADirection.Contains(fdForward)) position = FTextor.NextCharPosition(position);
          FInteractive->SetCaretPosition(position);
          return;
        }
        break;
      }
  } else if (!AFocusData.empty()) {
    TIndexRange index = ParseFocusData(AFocusData);
    TTextRange range;
    if (FTextor.IndexRangeToRange(index, range)) {
      const bool reversed = FTextor.IsBefore(range.End, range.Start);
      if (reversed) std::swap(range.Start, range.End);
      FInteractive->SelectRange(range, reversed);
      return;
    }
  }
  FInteractive->SetCaretPosition(position);
}

bool TTextorElement::FindInText(TFindData* AData, bool AForward, TVisualElement*& AInner) {
  if (AData->FindText.empty()) return false;
  TIndexPosition from{0, 0};
  TVisualElement* origin = AData->Origin;
  TElementPortion* passed = origin && origin->VisualParent() == this ? origin->EmbeddingPortion() : nullptr;
  if (passed && passed->Textor() == &FTextor) {
    // Back out of an embedded element: on beside it, whatever the caret's place.
    from = FTextor.PositionToIndex({passed->Paragraph(), passed, 0});
    if (AForward) ++from.CharIndex;
  } else if (FInteractive) {
    const TIndexRange selection = FInteractive->SelectionIndex();
    const bool ordered = selection.Start.ParagraphIndex < selection.End.ParagraphIndex ||
                         (selection.Start.ParagraphIndex == selection.End.ParagraphIndex &&
                          selection.Start.CharIndex <= selection.End.CharIndex);
    const TIndexPosition first = ordered ? selection.Start : selection.End;
    const TIndexPosition last = ordered ? selection.End : selection.Start;
    from = AForward ? last : first;
  } else if (!AForward) {
    from = FTextor.PositionToIndex(FTextor.GetEndPosition());
  }
  const int32_t count = FTextor.ParagraphCount();
  const std::u16string_view pattern = AData->FindText;
  for (int32_t index = from.ParagraphIndex; index >= 0 && index < count; index += AForward ? 1 : -1) {
    TParagraph* paragraph = FTextor.ParagraphAt(index);
    // The paragraph's characters with each embedded element as one character that matches nothing.
    std::u16string text;
    std::vector<std::pair<size_t, TVisualElement*>> elements;
    for (TPortion* portion = paragraph->FirstPortion(); portion; portion = portion->Next()) {
      if (portion->Kind() == TPortionKind::pkElement) {
        if (auto* element = dynamic_cast<TVisualElement*>(static_cast<TElementPortion*>(portion)->Element()))
          elements.emplace_back(text.size(), element);
        text += u'\uFFFC';
        continue;
      }
      std::u16string chars(portion->Length(), u'\0');
      portion->CopyChars(0, portion->Length(), chars.data());
      text += chars;
    }
    size_t found = std::u16string::npos;
    // The stretch searched: [low, high) holds the match's characters, and the elements met before it.
    size_t low = 0, high = text.size();
    if (AForward) {
      low = index == from.ParagraphIndex ? size_t(std::max(0, from.CharIndex)) : 0;
      if (low <= text.size()) found = AData->MatchCase ? text.find(pattern, low) : FindFolded(text, pattern, low);
    } else {
      high = index == from.ParagraphIndex ? std::min(text.size(), size_t(std::max(0, from.CharIndex))) : text.size();
      for (size_t at = 0; at + pattern.size() <= high;) {
        const size_t hit = AData->MatchCase ? text.find(pattern, at) : FindFolded(text, pattern, at);
        if (hit == std::u16string::npos || hit + pattern.size() > high) break;
        found = hit;
        at = hit + 1;
      }
    }
    if (found != std::u16string::npos) {
      if (AForward)
        high = found;
      else
        low = found + pattern.size();
    }
    // An element with something focusable inside, met before the match, takes the search over.
    if (!AForward) std::reverse(elements.begin(), elements.end());
    for (const auto& [at, element] : elements)
      if (at >= low && at < high && element->FindFocusable(AForward, AInner, AData->OnlyEnabled, AData->OnlyVisible))
        return false;
    if (found == std::u16string::npos) continue;
    const TIndexRange match{{index, int32_t(found)}, {index, int32_t(found + pattern.size())}};
    if (!IsFocused()) TCustomDropDownElement::SetFocus(fdForward, {}, nullptr, nullptr);
    TTextRange range;
    if (!FInteractive || !FTextor.IndexRangeToRange(match, range)) return false;
    FInteractive->SelectRange(range, !AForward);
    return true;
  }
  return false;
}

TVisualElement* TTextorElement::Find(TFindData* AData, int AOptions, bool& AFound) {
  const bool forward = (AOptions & FindBackward) == 0;
  TVisualElement* inner = nullptr;
  if (FindInText(AData, forward, inner)) {
    AFound = true;
    return this;
  }
  if (inner) {
    AData->Origin = nullptr;
    return inner;
  }
  return TCustomDropDownElement::Find(AData, AOptions, AFound);
}

// ---------------------------------------------------------------------------------------------------------------
// Start-up

void InitializeTextorElement() {
  DefaultParagraphAttributes = TAttributesRef<TRichParagraphAttributes>(
      static_cast<TRichParagraphAttributes*>(TAttributes::CreateShared(&TRichParagraphAttributes::ClassInfo)));
  DefaultTextAttributes = TAttributesRef<TRichTextAttributes>(
      static_cast<TRichTextAttributes*>(TAttributes::CreateShared(&TRichTextAttributes::ClassInfo)));
  if (!Palette) return;
  const TPaletteItemFlags flags = pfNeedsWritable | pfToggleButton;
  PaletteFormatGroup = new TPaletteGroup(Palette.get(), 2000, IdPaletteFormat);
  PaletteBoldItem = new TSchemePaletteItem(PaletteFormatGroup, 40, IdPaletteBold, IdPaletteBoldHint, -1, flags);
  PaletteItalicItem = new TSchemePaletteItem(PaletteFormatGroup, 30, IdPaletteItalic, IdPaletteItalicHint, -1, flags);
  PaletteUnderlineItem =
      new TSchemePaletteItem(PaletteFormatGroup, 20, IdPaletteUnderline, IdPaletteUnderlineHint, -1, flags);
}

void FinalizeTextorElement() {
  if (PaletteFormatGroup) PaletteFormatGroup->Free();
  PaletteFormatGroup = nullptr;
  PaletteBoldItem = PaletteItalicItem = PaletteUnderlineItem = nullptr;
  DefaultTextAttributes = {};
  DefaultParagraphAttributes = {};
}
