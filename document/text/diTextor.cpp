#include "document/text/diTextor.h"

#include "foundation/cuUnicode.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------------------------
// Character buffers of text portions: exactly the portion's length, no terminator, no spare capacity. They come
// from the textor's pool (the heap without one).

char16_t* AllocChars(TElementPool* APool, const char16_t* ASource, int32_t ACount) {
  char16_t* buffer;
  try {
    buffer =
        static_cast<char16_t*>(TElementPool::AllocateText(APool, sizeof(char16_t) * static_cast<size_t>(ACount)));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(u"Out of memory for text");
  }
  if (ASource) std::memcpy(buffer, ASource, sizeof(char16_t) * static_cast<size_t>(ACount));
  return buffer;
}

void FreeChars(char16_t* ABuffer) { TElementPool::Free(ABuffer); }

// Orders a place before the shifts recorded below it.
constexpr auto BeforeShift = [](int32_t AIndex, const auto& AShift) { return AIndex < AShift.From; };

int32_t InsertIntoCharBuffer(TElementPool* APool, char16_t*& ABuffer, int32_t ALength, int32_t AIndex, int32_t ACount,
                             const char16_t* ASource) {
  if (ACount < 1) return ALength;
  char16_t* grown = AllocChars(APool, nullptr, ALength + ACount);
  if (ABuffer) {
    std::memcpy(grown, ABuffer, sizeof(char16_t) * static_cast<size_t>(AIndex));
    std::memcpy(grown + AIndex + ACount, ABuffer + AIndex, sizeof(char16_t) * static_cast<size_t>(ALength - AIndex));
    FreeChars(ABuffer);
  }
  if (ASource) std::memcpy(grown + AIndex, ASource, sizeof(char16_t) * static_cast<size_t>(ACount));
  ABuffer = grown;
  return ALength + ACount;
}

int32_t DeleteFromCharBuffer(TElementPool* APool, char16_t*& ABuffer, int32_t ALength, int32_t AIndex, int32_t ACount) {
  const int32_t length = ALength - ACount;
  char16_t* shrunk = nullptr;
  if (length > 0) {
    shrunk = AllocChars(APool, nullptr, length);
    std::memcpy(shrunk, ABuffer, sizeof(char16_t) * static_cast<size_t>(AIndex));
    std::memcpy(shrunk + AIndex, ABuffer + AIndex + ACount, sizeof(char16_t) * static_cast<size_t>(length - AIndex));
  }
  FreeChars(ABuffer);
  ABuffer = shrunk;
  return length;
}

// A held attributes object changes: the old one is released, the new one counted. True when it changed.
template <class T>
bool AssignAttributes(T*& AField, T* AValue) {
  if (AField == AValue) return false;
  if (AValue) AValue->AddRef();
  T* old = AField;
  AField = AValue;
  if (old) old->Release();
  return true;
}

// A × B / C rounded to the nearest, halves away from zero.
int32_t MulDiv(int32_t A, int32_t B, int32_t C) {
  if (C == 0) return -1;
  int64_t n = int64_t(A) * B;
  int64_t d = C;
  if (d < 0) {
    n = -n;
    d = -d;
  }
  return static_cast<int32_t>(n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d));
}

bool IsBlank(int32_t AChar) { return AChar == 32 || AChar == 9; }

// The attributes' flags of a run painted with AFlags by an owner in AState.
uint32_t RunFlags(TTextOwnerStates AState, TTextPaintFlags AFlags) {
  if (!AFlags.Contains(tpSelection)) return 0;
  return AState.Contains(osActive) ? uint32_t(afSelected) : uint32_t(afSelected | afInactive);
}

// Where a run with these attributes is drawn: TextOut draws from the rectangle's top.
TRect RunRect(TTextAttributes* AAttributes, const TRect& ARowRect, int32_t ABaseline) {
  return {ARowRect.Left, ABaseline - AAttributes->GetAscent(), ARowRect.Right, ARowRect.Bottom};
}

TPortion* NewPortion(TPortionKind AKind, TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore,
                     IEmbeddedElement* AElement) {
  TElementPool* pool = AParagraph->Textor()->Pool();
  switch (AKind) {
    case TPortionKind::pkText:
      return new (pool) TTextPortion(AParagraph, AAttributes, ABefore);
    case TPortionKind::pkTabStops:
      return new (pool) TTabStopsPortion(AParagraph, AAttributes, ABefore);
    case TPortionKind::pkElement:
      return new (pool) TElementPortion(AParagraph, AAttributes, ABefore, AElement);
  }
  throw EProgrammingError(u"Unknown portion kind");
}

TElementPool* PoolOf(const TPortion* APortion) {
  const TTextor* textor = APortion->Textor();
  return textor ? textor->Pool() : nullptr;
}

TTextPosition Normalized(TParagraph* AParagraph, TPortion* APortion, int32_t AOffset) {
  TTextPosition p{AParagraph, APortion, AOffset};
  TTextor::NormalizePosition(p);
  return p;
}

// The stretch of a paragraph that a range covers: from First at Offset up to End at EndOffset, End nil for the
// paragraph's end.
struct TRangeStretch {
  TPortion* First;
  int32_t Offset;
  TPortion* End;
  int32_t EndOffset;
};

TRangeStretch StretchOf(const TTextRange& ARange, TParagraph* AParagraph) {
  const bool first = AParagraph == ARange.Start.Paragraph;
  const bool last = AParagraph == ARange.End.Paragraph;
  return {first ? ARange.Start.Portion : AParagraph->FirstPortion(), first ? ARange.Start.Offset : 0,
          last ? ARange.End.Portion : nullptr, last ? ARange.End.Offset : 0};
}

// AVisit(portion, from, to) for each portion of the stretch with the characters it covers. The next portion is
// taken before each call, so AVisit may free or split the portion it gets.
template <class TVisit>
void VisitStretch(const TRangeStretch& AStretch, TVisit AVisit) {
  int32_t offset = AStretch.Offset;
  for (TPortion* p = AStretch.First; p;) {
    TPortion* next = p->Next();
    const bool atEnd = p == AStretch.End;
    AVisit(p, offset, atEnd ? AStretch.EndOffset : p->Length());
    if (atEnd) break;
    p = next;
    offset = 0;
  }
}

}  // namespace

bool IsWordChar(int32_t AChar) {
  return AChar == u'_' || (AChar >= 0 && IsLetterOrDigit(static_cast<char32_t>(AChar)));
}

// ---------------------------------------------------------------------------------------------------------------
// TPortion

TPortion::TPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore, int32_t ALength)
    : FLength(ALength) {
  AssignAttributes(FAttributes, AAttributes);
  // Linked without a signal: a layout now would meet a portion half made. The maker signals the change.
  if (AParagraph) {
    Link(AParagraph, ABefore, false);
    AParagraph->FFormatted = false;
  }
}

TPortion::~TPortion() {
  Unlink();
  AssignAttributes(FAttributes, static_cast<TTextAttributes*>(nullptr));
}

TTextor* TPortion::Textor() const { return FParagraph ? FParagraph->Textor() : nullptr; }

static_assert(alignof(TTextPortion) <= TElementPool::Alignment && alignof(TTabStopsPortion) <= TElementPool::Alignment &&
                  alignof(TElementPortion) <= TElementPool::Alignment,
              "a portion is aligned as its pool aligns");
void* TPortion::operator new(size_t ASize, TElementPool* APool) { return TElementPool::AllocateText(APool, ASize); }
void TPortion::operator delete(void* APortion, TElementPool*) noexcept { TElementPool::Free(APortion); }
void TPortion::operator delete(void* APortion) noexcept { TElementPool::Free(APortion); }

void TPortion::Link(TParagraph* AParagraph, TPortion* ABefore, bool ASignal) {
  FParagraph = AParagraph;
  FNext = ABefore;
  FPrevious = ABefore ? ABefore->FPrevious : AParagraph->FLastPortion;
  (FPrevious ? FPrevious->FNext : AParagraph->FFirstPortion) = this;
  (FNext ? FNext->FPrevious : AParagraph->FLastPortion) = this;
  if (ASignal) AParagraph->Changed();
}

void TPortion::Unlink() {
  TParagraph* paragraph = FParagraph;
  if (!paragraph) return;
  (FPrevious ? FPrevious->FNext : paragraph->FFirstPortion) = FNext;
  (FNext ? FNext->FPrevious : paragraph->FLastPortion) = FPrevious;
  FParagraph = nullptr;
  FNext = FPrevious = nullptr;
  paragraph->Changed();
}

bool TPortion::CanMergeWith(const TTextAttributes* AAttributes) const { return AAttributes == FAttributes; }

int32_t TPortion::CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                               const TTextDrag* ADrag) const {
  return -1;
}

void TPortion::GetAscentDescent(int32_t& AAscent, int32_t& ADescent) const {
  TTextAttributes* a = GetAttributes();
  AAscent = a ? a->GetAscent() : 0;
  ADescent = a ? a->GetDescent() : 0;
}

TTextAttributes* TPortion::GetAttributes() const {
  if (FAttributes) return FAttributes;
  return FParagraph ? FParagraph->Textor()->GetDefaultTextAttributes() : nullptr;
}

void TPortion::Changed() {
  if (FParagraph) FParagraph->Changed();
}

void TPortion::Delete(int32_t AIndex, int32_t ACount) {
  if (ACount <= 0) return;
  DeleteChars(AIndex, ACount);
  Changed();
}

void TPortion::InvalidateLayout() {
  if (FParagraph) FParagraph->InvalidateLayout();
}

TPortion* TPortion::SplitAt(int32_t AOffset) {
  if (AOffset == 0) return this;
  if (AOffset < 0 || AOffset >= FLength) throw EProgrammingError(u"A portion is split inside itself only");
  TPortion* tail = NewPortion(Kind(), FParagraph, FAttributes, FNext, nullptr);
  SplitTo(tail, AOffset);
  Changed();
  return tail;
}

bool TPortion::SetAttributes(TTextAttributes* AAttributes) {
  if (!AssignAttributes(FAttributes, AAttributes)) return false;
  Changed();
  return true;
}

TPortion* TPortion::GetNextInText() const {
  if (FNext) return FNext;
  for (TParagraph* p = FParagraph ? FParagraph->Next() : nullptr; p; p = p->Next())
    if (p->FirstPortion()) return p->FirstPortion();
  return nullptr;
}

TPortion* TPortion::GetPreviousInText() const {
  if (FPrevious) return FPrevious;
  for (TParagraph* p = FParagraph ? FParagraph->Previous() : nullptr; p; p = p->Previous())
    if (p->LastPortion()) return p->LastPortion();
  return nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// TTextPortion

TTextPortion::TTextPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore)
    : TPortion(AParagraph, AAttributes, ABefore) {}

TTextPortion::~TTextPortion() {
  FreeChars(FChars);
  FChars = nullptr;
}

int32_t TTextPortion::MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const {
  if (ACount < 1) return 0;
  TTextAttributes* a = GetAttributes();
  const int32_t width = a ? a->TextWidth(FChars + AOffset, ACount) : 0;
  X += width;
  return width;
}

void TTextPortion::DeleteChars(int32_t AIndex, int32_t ACount) {
  FLength = DeleteFromCharBuffer(PoolOf(this), FChars, FLength, AIndex, ACount);
}

void TTextPortion::SplitTo(TPortion* ATarget, int32_t AIndex) {
  auto* target = static_cast<TTextPortion*>(ATarget);
  target->FChars = AllocChars(PoolOf(this), FChars + AIndex, FLength - AIndex);
  target->FLength = FLength - AIndex;
  DeleteChars(AIndex, FLength - AIndex);
}

void TTextPortion::AppendPortion(const TPortion* AOther) {
  auto* other = static_cast<const TTextPortion*>(AOther);
  FLength = InsertIntoCharBuffer(PoolOf(this), FChars, FLength, FLength, other->FLength, other->FChars);
}

int32_t TTextPortion::CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                                   const TTextDrag* ADrag) const {
  if (ACount < 1) return -1;
  TTextAttributes* a = GetAttributes();
  auto width = [&](int32_t n) { return n < 1 || !a ? 0 : a->TextWidth(FChars + AOffset, n); };
  const int32_t d = ATargetX - X;
  // A long run is measured only a little past the target, so that wrapping it row by row stays linear: a prefix
  // twice as long each time, until it passes the target or takes the whole run.
  int32_t count = std::min<int32_t>(ACount, 64);
  int32_t total = width(count);
  while (total <= d && count < ACount) {
    count = count > ACount / 2 ? ACount : 2 * count;
    total = width(count);
  }
  if (total <= d) {
    X += total;
    return -1;
  }
  int32_t i = MulDiv(d, count, total);
  if (i >= count) i = count - 1;
  if (i < 0) i = 0;
  int32_t left = width(i);
  int32_t right = i < count - 1 ? width(i + 1) : total;
  while (left > d && i > 0) {
    --i;
    right = left;
    left = width(i);
  }
  while (d >= right && i < count - 1) {
    ++i;
    left = right;
    right = width(i + 1);
  }
  if (ARound && left + (right - left) / 2 < d) ++i;
  return AOffset + i;
}

int32_t TTextPortion::InsertChars(int32_t AIndex, const char16_t* AText, int32_t ACount) {
  FLength = InsertIntoCharBuffer(PoolOf(this), FChars, FLength, AIndex, ACount, AText);
  return ACount;
}

void TTextPortion::Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X,
                         int32_t ABaseline, int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const {
  TTextAttributes* a = GetAttributes();
  if (!a || ACount < 1) return;
  const TRect rect = RunRect(a, ARowRect, ABaseline);
  const int32_t start = X;
  int x = X;
  a->TextOut(ACanvas, RunFlags(AState, AFlags), x, FChars + AOffset, ACount, rect);
  if (AFlags.Contains(tpWhiteSpace)) {
    static constexpr char16_t space = u' ', dot = u'\u00B7', degree = u'\u00B0';
    const int spaceWidth = a->TextWidth(&space, 1);
    for (int32_t i = 0; i < ACount; ++i) {
      const char16_t c = FChars[AOffset + i];
      if (c != 32 && c != 160) continue;
      const char16_t* symbol = c == 32 ? &dot : &degree;
      int sx = start + a->TextWidth(FChars + AOffset, i) - (a->TextWidth(symbol, 1) - spaceWidth) / 2;
      a->TextOut(ACanvas, 0, sx, symbol, 1, rect);
    }
  }
  X = x;
}

int32_t TTextPortion::CopyChars(int32_t AIndex, int32_t ACount, char16_t* ADest) const {
  if (ADest && ACount > 0) std::memcpy(ADest, FChars + AIndex, sizeof(char16_t) * static_cast<size_t>(ACount));
  return ACount;
}

// ---------------------------------------------------------------------------------------------------------------
// TTabStopsPortion

TTabStopsPortion::TTabStopsPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore)
    : TPortion(AParagraph, AAttributes, ABefore) {}

int32_t TTabStopsPortion::MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const {
  if (ACount < 1) return 0;
  TTextAttributes* a = GetAttributes();
  const int32_t w = std::max(1, a ? a->GetTabWidth() : 1);
  const int32_t stop = (X / w + ACount) * w;
  const int32_t advance = stop - X;
  X = stop;
  return advance;
}

void TTabStopsPortion::SplitTo(TPortion* ATarget, int32_t AIndex) {
  static_cast<TTabStopsPortion*>(ATarget)->FLength = FLength - AIndex;
  DeleteChars(AIndex, FLength - AIndex);
}

int32_t TTabStopsPortion::CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                                       const TTextDrag* ADrag) const {
  for (int32_t i = 0; i < ACount; ++i) {
    int32_t x = X;
    MeasureChars(x, AOffset + i, 1);
    if (ATargetX < x) {
      if (ARound && x - (x - X) / 2 < ATargetX) return AOffset + i + 1;
      return AOffset + i;
    }
    X = x;
  }
  return -1;
}

int32_t TTabStopsPortion::InsertChars(int32_t AIndex, const char16_t* AText, int32_t ACount) {
  FLength += ACount;
  return ACount;
}

void TTabStopsPortion::Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X,
                             int32_t ABaseline, int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const {
  TTextAttributes* a = GetAttributes();
  if (!a) return;
  const TRect rect = RunRect(a, ARowRect, ABaseline);
  static constexpr char16_t symbol = u'\u00AC';
  for (int32_t i = 0; i < ACount; ++i) {
    int32_t relative = X - ARowRect.Left;
    const int32_t width = MeasureChars(relative, AOffset + i, 1);
    a->PaintBlank(ACanvas, RunFlags(AState, AFlags), width, X, rect);
    if (AFlags.Contains(tpWhiteSpace)) {
      int sx = X;
      a->TextOut(ACanvas, 0, sx, &symbol, 1, rect);
    }
    X += width;
  }
}

int32_t TTabStopsPortion::CopyChars(int32_t AIndex, int32_t ACount, char16_t* ADest) const {
  if (ADest)
    for (int32_t i = 0; i < ACount; ++i) ADest[i] = u'\t';
  return ACount;
}

// ---------------------------------------------------------------------------------------------------------------
// TElementPortion

TElementPortion::TElementPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore,
                                 IEmbeddedElement* AElement)
    : TPortion(AParagraph, AAttributes, ABefore, 1), FElement(AElement) {
  if (FElement) FElement->SetEmbeddingPortion(this);
  if (TTextor* t = Textor()) t->FEmbeddedValid = false;
}

TElementPortion::~TElementPortion() {
  IEmbeddedElement* element = FElement;
  FElement = nullptr;
  if (element) {
    element->SetEmbeddingPortion(nullptr);
    element->DetachEmbedded();
  }
  if (TTextor* t = Textor()) t->FEmbeddedValid = false;
  // The element goes after the portion has left its paragraph.
  Unlink();
  if (element) element->FreeEmbedded();
}

int32_t TElementPortion::OuterWidth() const {
  if (!FElement) return 0;
  TRect margins;
  if (TTextor* t = Textor()) t->GetElementMargins(margins);
  return static_cast<int32_t>(FElement->GetEmbeddedBounds().Width()) + margins.Left + margins.Right;
}

int32_t TElementPortion::MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const {
  if (ACount < 1) return 0;
  const int32_t w = OuterWidth();
  X += w;
  return w;
}

int32_t TElementPortion::CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                                      const TTextDrag* ADrag) const {
  if (ACount < 1) return -1;
  const int32_t w = OuterWidth();
  if (X + w <= ATargetX) {
    X += w;
    return -1;
  }
  if (!ARound) return AOffset;
  if (ADrag && (std::abs(ADrag->Point.X - ADrag->Start.X) > ADrag->ThresholdX ||
                std::abs(ADrag->Point.Y - ADrag->Start.Y) > ADrag->ThresholdY)) {
    const int32_t h = ADrag->Point.X >= ADrag->Start.X ? std::min(w / 2, 40) : std::max(w / 2, w - 40);
    return AOffset + (X + h < ATargetX ? 1 : 0);
  }
  return AOffset + (X + w / 2 < ATargetX ? 1 : 0);
}

void TElementPortion::ClearElement() {
  FElement = nullptr;
  if (TTextor* t = Textor()) t->FEmbeddedValid = false;
}

void TElementPortion::MoveTo(int32_t AOffset, int32_t ADX, int32_t ADY) {
  if (FElement) FElement->MoveEmbedded(ADX, ADY);
}

void TElementPortion::Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X,
                            int32_t ABaseline, int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const {
  if (ACount < 1) return;
  const TRect rect{X, ARowRect.Top, X + OuterWidth(), ARowRect.Bottom};
  TTextAttributes* a = GetAttributes();
  if (a) a->PaintBackground(ACanvas, 0, rect);
  if (FElement) {
    TRect padding;
    if (TTextor* t = Textor()) t->GetPadding(padding);
    FElement->PaintEmbedded(ACanvas, padding.Left, padding.Top);
  }
  if (a && AFlags.Contains(tpSelection))
    a->PaintBlank(ACanvas, RunFlags(AState, AFlags), rect.Right - rect.Left, rect.Left, rect);
  X = rect.Right;
}

void TElementPortion::PlaceInRow(int32_t AX, int32_t ABaseline, const TRect& AMargins, TTextPoint AOrigin) {
  if (!FElement) return;
  const TRect b = FElement->GetEmbeddedBounds();
  const int32_t height = static_cast<int32_t>(b.Height());
  const int32_t descent = FElement->GetEmbeddedDescent();
  FElement->SetEmbeddedBounds(AOrigin.X + AX + AMargins.Left, AOrigin.Y + ABaseline - height + descent,
                              static_cast<int32_t>(b.Width()), height, descent);
}

void TElementPortion::GetAscentDescent(int32_t& AAscent, int32_t& ADescent) const {
  if (!FElement) {
    AAscent = ADescent = 0;
    return;
  }
  TRect margins;
  if (TTextor* t = Textor()) t->GetElementMargins(margins);
  const int32_t descent = FElement->GetEmbeddedDescent();
  ADescent = descent + margins.Bottom;
  AAscent = static_cast<int32_t>(FElement->GetEmbeddedBounds().Height()) + margins.Top - descent;
}

// ---------------------------------------------------------------------------------------------------------------
// TRow

TRow* TRow::GetNextTextRow() const {
  if (FNext) return FNext;
  for (TParagraph* p = FParagraph->Next(); p; p = p->Next())
    if (p->FirstRow()) return p->FirstRow();
  return nullptr;
}

TRow* TRow::GetPreviousTextRow() const {
  if (FPrevious) return FPrevious;
  for (TParagraph* p = FParagraph->Previous(); p; p = p->Previous())
    if (p->LastRow()) return p->LastRow();
  return nullptr;
}

TTextPosition TRow::GetStartPosition() const {
  return FKind == TRowKind::rkWholeParagraph || FKind == TRowKind::rkWrappedFirst ? FParagraph->GetBeginPosition()
                                                                                  : FStart;
}

TTextPosition TRow::GetEndPosition() const {
  return FKind == TRowKind::rkWholeParagraph || FKind == TRowKind::rkWrappedLast ? FParagraph->GetEndPosition() : FEnd;
}

int32_t TRow::GetTop() const {
  FParagraph->Sync();
  return FPrevious ? FPrevious->Bottom : FParagraph->FTop;
}

TRect TRow::GetRect() const { return {FLeft, GetTop(), FLeft + Width, Bottom}; }

bool TRow::IteratePieces(const TTextPieceCallback& ACallback) const {
  const TTextPosition start = GetStartPosition();
  const TTextPosition end = GetEndPosition();
  return FParagraph->IteratePortions(start.Portion, start.Offset, end.Portion, end.Offset, false, ACallback);
}

int32_t TRow::PositionToX(const TTextPosition& APosition) const {
  if (APosition == GetEndPosition()) return Width;
  int32_t x = 0;
  IteratePieces([&](const TTextPiece& APiece) {
    if (APiece.Portion == APosition.Portion) {
      APiece.Portion->MeasureChars(x, APiece.Offset, APosition.Offset - APiece.Offset);
      return false;
    }
    APiece.Portion->MeasureChars(x, APiece.Offset, APiece.Count);
    return true;
  });
  return x;
}

bool TRow::PositionAtX(int32_t AX, bool ARound, const TTextDrag* ADrag, TTextPosition& APosition) const {
  const int32_t dx = AX - FLeft;
  if (dx < 0) {
    APosition = GetStartPosition();
    return false;
  }
  if (dx >= Width) {
    APosition = GetEndPosition();
    return false;
  }
  APosition = GetEndPosition();
  int32_t x = 0;
  IteratePieces([&](const TTextPiece& APiece) {
    const int32_t i = APiece.Portion->CharIndexAtX(x, dx, APiece.Offset, APiece.Count, ARound, ADrag);
    if (i < 0) return true;
    APosition = Normalized(FParagraph, APiece.Portion, i);
    return false;
  });
  return true;
}

bool TRow::Contains(const TTextPosition& APosition) const {
  if (APosition.Paragraph != FParagraph) return false;
  const TTextPosition start = GetStartPosition();
  const TTextPosition end = GetEndPosition();
  if (start.Portion == end.Portion)
    return APosition.Portion == start.Portion && start.Offset <= APosition.Offset && APosition.Offset <= end.Offset;
  if (APosition.Portion == start.Portion) return APosition.Offset >= start.Offset;
  if (APosition.Portion == end.Portion) return APosition.Offset <= end.Offset;
  if (!APosition.Portion) return false;
  for (TPortion* p = start.Portion->Next(); p && p != end.Portion; p = p->Next())
    if (p == APosition.Portion) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------------------------
// TParagraph

static_assert(alignof(TParagraph) <= TElementPool::Alignment, "a paragraph is aligned as its pool aligns");
static_assert(alignof(TRow) <= TElementPool::Alignment, "a row is aligned as its pool aligns");
void* TRow::operator new(size_t ASize, TElementPool* APool) { return TElementPool::AllocateText(APool, ASize); }
void TRow::operator delete(void* ARow, TElementPool*) noexcept { TElementPool::Free(ARow); }
void TRow::operator delete(void* ARow) noexcept { TElementPool::Free(ARow); }

void* TParagraph::operator new(size_t ASize, TElementPool* APool) { return TElementPool::AllocateText(APool, ASize); }
void TParagraph::operator delete(void* AParagraph, TElementPool*) noexcept { TElementPool::Free(AParagraph); }
void TParagraph::operator delete(void* AParagraph) noexcept { TElementPool::Free(AParagraph); }

TParagraph::TParagraph(TTextor* ATextor, TParagraph* ABefore) : FTextor(ATextor) {
  FTextor->LinkParagraph(this, ABefore);
  Changed();
}

TParagraph::~TParagraph() {
  ClearRows();
  FTextor->UnlinkParagraph(this);
  while (FLastPortion) delete FLastPortion;
  if (FExtent == FTextor->FWidth) FTextor->FWidthValid = false;
  TTextor::RemoveFromList(FTextor->FDirty, this, &TParagraph::FDirtySlot);
  if (FElementSlot >= 0) {
    FTextor->FEmbeddedValid = false;
    TTextor::RemoveFromList(FTextor->FBook->ElementParagraphs, this, &TParagraph::FElementSlot);
  }
  AssignAttributes(FParagraphAttributes, static_cast<TParagraphAttributes*>(nullptr));
  AssignAttributes(FTextAttributes, static_cast<TTextAttributes*>(nullptr));
}

TParagraphAttributes* TParagraph::GetParagraphAttributes() const {
  return FParagraphAttributes ? FParagraphAttributes : FTextor->GetDefaultParagraphAttributes();
}

TTextAttributes* TParagraph::GetTextAttributes() const {
  return FTextAttributes ? FTextAttributes : FTextor->GetDefaultTextAttributes();
}

int32_t TParagraph::CharIndexOf(const TPortion* APortion, int32_t AOffset) const {
  int32_t index = AOffset;
  for (TPortion* p = FFirstPortion; p && p != APortion; p = p->Next()) index += p->Length();
  return index;
}

bool TParagraph::PositionOfCharIndex(int32_t AIndex, TPortion*& APortion, int32_t& AOffset) const {
  if (AIndex < 0) return false;
  for (TPortion* p = FFirstPortion; p; p = p->Next()) {
    if (AIndex < p->Length()) {
      APortion = p;
      AOffset = AIndex;
      return true;
    }
    AIndex -= p->Length();
  }
  APortion = nullptr;
  AOffset = 0;
  return AIndex == 0;
}

bool TParagraph::PortionBefore(TPortion* APortion, TPortion*& AResult) const {
  AResult = APortion ? APortion->Previous() : FLastPortion;
  return AResult != nullptr;
}

bool TParagraph::SetParagraphAttributes(TParagraphAttributes* AAttributes) {
  if (!AssignAttributes(FParagraphAttributes, AAttributes)) return false;
  Changed();
  return true;
}

bool TParagraph::SetTextAttributes(TTextAttributes* AAttributes) {
  if (!AssignAttributes(FTextAttributes, AAttributes)) return false;
  Changed();
  return true;
}

bool TParagraph::IteratePortions(TPortion* AStartPortion, int32_t AStartOffset, TPortion* AEndPortion,
                                 int32_t AEndOffset, bool AIncludeEnd, const TTextPieceCallback& ACallback) const {
  auto* self = const_cast<TParagraph*>(this);
  if (AStartPortion && AStartPortion == AEndPortion) {
    if (AEndOffset - AStartOffset < 1) return true;
    return ACallback({self, AStartPortion, AStartOffset, AEndOffset - AStartOffset});
  }
  int32_t offset = AStartOffset;
  for (TPortion* p = AStartPortion; p && p != AEndPortion; p = p->Next()) {
    const int32_t count = p->Length() - offset;
    if (count >= 1 && !ACallback({self, p, offset, count})) return false;
    offset = 0;
  }
  if (AEndPortion) {
    if (AEndOffset >= 1) return ACallback({self, AEndPortion, 0, AEndOffset});
  } else if (AIncludeEnd) {
    return ACallback({self, nullptr, 0, 0});
  }
  return true;
}

TRow* TParagraph::FirstRow() const {
  Sync();
  return FFirstRow;
}

TRow* TParagraph::LastRow() const {
  Sync();
  return FLastRow;
}

int32_t TParagraph::Top() const {
  Sync();
  return FTop;
}

void TParagraph::SyncShift() const {
  const int32_t shift = FTextor->ShiftAt(FIndex) - FAppliedShift;
  if (shift == 0) return;
  auto* self = const_cast<TParagraph*>(this);
  self->FAppliedShift += shift;
  self->MoveRows(shift);
}

void TParagraph::MarkDirty() { FTextor->AddToList(FTextor->FDirty, this, &TParagraph::FDirtySlot); }

void TParagraph::Changed() {
  FFormatted = false;
  MarkDirty();
  FTextor->Invalidate();
}

void TParagraph::InvalidateLayout() {
  FFormatted = false;
  MarkDirty();
  FTextor->RequestLayout(false);
}

void TParagraph::InvalidatePosition() {
  FPositioned = false;
  MarkDirty();
  FTextor->RequestLayout(false);
}

void TParagraph::Clear() {
  FTextor->BeginUpdate();
  while (FLastPortion) delete FLastPortion;
  FTextor->EndUpdate();
}

void TParagraph::ClearRows() {
  while (TRow* r = FLastRow) {
    FLastRow = r->FPrevious;
    delete r;
  }
  FFirstRow = nullptr;
}

void TParagraph::Format(int32_t AWrapWidth, const TRect& APadding, const TRect& AMargins) {
  Sync();
  if (!FFormatted) {
    ClearRows();
    Wrap(AWrapWidth, APadding, AMargins);
    return;
  }
  if (FPositioned) return;
  // Rows keep their heights: the paragraph follows the one above.
  const TRow* above = FPrevious ? FPrevious->LastRow() : nullptr;
  const int32_t top = above ? above->Bottom : 0;
  if (top != FTop) MoveVertically(top - FTop);
  FPositioned = true;
}

void TParagraph::MoveVertically(int32_t ADY) {
  MoveRows(ADY);
  MoveElements(ADY);
}

void TParagraph::MoveRows(int32_t ADY) {
  for (TRow* r = FFirstRow; r; r = r->FNext) r->Bottom += ADY;
  FTop += ADY;
}

void TParagraph::MoveElements(int32_t ADY) {
  if (FHasElements)
    for (TPortion* p = FFirstPortion; p; p = p->Next())
      if (p->Kind() == TPortionKind::pkElement) p->MoveTo(0, 0, ADY);
}

struct TParagraph::TWrapState {
  int32_t Wrap = 0;
  bool Wrapping = false;
  int32_t Avail = 0;
  int32_t LeftIndent = 0, FirstIndent = 0, RightIndent = 0;
  int32_t TextAscent = 0, TextDescent = 0;
  // The row being built: the largest ascent and descent and the x reached.
  int32_t A = 0, D = 0, W = 0;
  // The break candidate and the row's values when it ends there.
  TTextPosition Candidate;
  int Kind = 0;
  int32_t CA = 0, CD = 0, CW = 0;
  int32_t Y = 0;
  TTextPosition RowStart;
};

int32_t TParagraph::RowLeft(int32_t AWrapWidth, int32_t AWidth, bool AFirstRow) const {
  TParagraphAttributes* pa = GetParagraphAttributes();
  const int32_t l = pa ? pa->GetLeftIndent(0) : 0;
  const int32_t f = AFirstRow && pa ? pa->GetFirstLineIndent() : 0;
  const int32_t r = pa ? pa->GetRightIndent() : 0;
  // Without wrapping there is no right edge to align to.
  const uint8_t alignment = AWrapWidth > 0 && pa ? pa->Alignment() : uint8_t(paLeft);
  if (alignment == paRight) return AWrapWidth - r - AWidth;
  if (alignment == paCenter) return l + (AWrapWidth - l - r - AWidth) / 2 + f;
  return l + f;
}

TRow* TParagraph::AddRow(TRowKind AKind, const TTextPosition& AStart, const TTextPosition& AEnd, int32_t ADescent,
                         int32_t ABottom, int32_t AWidth) {
  TRow* row = new (FTextor->FPool) TRow(this, AKind);
  row->FStart = AStart;
  row->FEnd = AEnd;
  row->Descent = ADescent;
  row->Bottom = ABottom;
  row->Width = AWidth;
  row->FPrevious = FLastRow;
  (FLastRow ? FLastRow->FNext : FFirstRow) = row;
  FLastRow = row;
  return row;
}

bool TParagraph::CanBreakAfter(const TPortion* APortion, int32_t AIndex) const {
  int32_t next;
  if (AIndex + 1 < APortion->Length())
    next = APortion->GetChar(AIndex + 1);
  else if (APortion->Next())
    next = APortion->Next()->GetChar(0);
  else
    return false;
  return FTextor->CanBreakBetween(APortion->GetChar(AIndex), next);
}

bool TParagraph::FitPortion(TWrapState& AState, TPortion* APortion, int32_t AX0, int32_t AStart, int& AKind,
                            int32_t& AIndex, int32_t& AEndX) const {
  const int32_t length = APortion->Length();
  AEndX = AX0;
  const int32_t r = APortion->CharIndexAtX(AEndX, AState.Avail, AStart, length - AStart, false, nullptr);
  if (r > AStart) {
    for (int32_t i = r - 1; i >= AStart; --i)
      if (CanBreakAfter(APortion, i)) {
        AKind = 3;
        AIndex = i;
        return false;
      }
    AKind = 2;
    AIndex = r - 1;
  } else if (r == AStart) {
    AKind = 1;
    AIndex = AStart;
  } else {
    AKind = 2;
    AIndex = length - 1;
  }
  return r < 0;
}

void TParagraph::WrapPortion(TWrapState& S, TPortion* P) {
  int32_t ascent, descent;
  P->GetAscentDescent(ascent, descent);
  S.A = std::max(S.A, ascent);
  S.D = std::max(S.D, descent);
  const int32_t length = P->Length();
  int32_t x0 = S.W;
  P->MeasureChars(S.W, 0, length);
  if (!S.Wrapping) return;
  if (!P->Next() && S.W <= S.Avail) return;
  int32_t s = 0;
  // After a break, the rest of a text portion is measured only as far as the next row reaches, by the fit itself:
  // measuring all of it at every row made a long paragraph's layout quadratic.
  bool unmeasured = false;
  for (;;) {
    int kind;
    int32_t i, endX;
    const int32_t restFrom = s;
    const bool fits = FitPortion(S, P, x0, s, kind, i, endX);
    if (unmeasured) S.W = fits ? endX : S.Avail + 1;  // over the row: it breaks again
    if (kind >= S.Kind) {
      S.Candidate = Normalized(this, P, i + 1);
      S.Kind = kind;
      S.CA = S.A;
      S.CD = S.D;
      S.CW = x0;
      P->MeasureChars(S.CW, s, i - s + 1);
      s = i + 1;
    }
    if (!S.Candidate.Portion && unmeasured && !fits) {
      S.W = x0;
      P->MeasureChars(S.W, restFrom, length - restFrom);
    }
    if (S.W <= S.Avail || !S.Candidate.Portion) return;
    TRow* row = AddRow(FFirstRow ? TRowKind::rkWrappedInner : TRowKind::rkWrappedFirst, S.RowStart, S.Candidate, S.CD,
                       S.Y + S.CA + S.CD, S.CW);
    S.RowStart = S.Candidate;
    S.Y = row->Bottom;
    S.Avail = std::max(1, S.Wrap - (S.LeftIndent + S.RightIndent));
    // What follows the break is measured again from the new row's start: tab stops depend on the x.
    if (s == length) {
      S.W = 0;
    } else {
      x0 = 0;
      if (S.Candidate.Portion != P) {
        int32_t offset = S.Candidate.Offset;
        for (TPortion* q = S.Candidate.Portion; q && q != P; q = q->Next()) {
          q->MeasureChars(x0, offset, q->Length() - offset);
          offset = 0;
        }
      }
      S.W = x0;
      unmeasured = P->Kind() == TPortionKind::pkText;
      if (!unmeasured) P->MeasureChars(S.W, s, length - s);
    }
    S.Kind = 0;
    S.CA = S.TextAscent;
    S.CD = S.TextDescent;
    S.CW = 0;
    if (s == length) {
      S.A = S.TextAscent;
      S.D = S.TextDescent;
      return;
    }
    S.A = std::max(S.TextAscent, ascent);
    S.D = std::max(S.TextDescent, descent);
  }
}

void TParagraph::Wrap(int32_t AWrapWidth, const TRect& APadding, const TRect& AMargins) {
  TParagraphAttributes* pa = GetParagraphAttributes();
  TTextAttributes* ta = GetTextAttributes();
  TWrapState s;
  s.Wrap = AWrapWidth;
  s.Wrapping = AWrapWidth > 0;
  s.LeftIndent = pa ? pa->GetLeftIndent(0) : 0;
  s.FirstIndent = pa ? pa->GetFirstLineIndent() : 0;
  s.RightIndent = pa ? pa->GetRightIndent() : 0;
  if (s.Wrapping) s.Avail = std::max(1, AWrapWidth - (s.LeftIndent + s.FirstIndent + s.RightIndent));
  s.TextAscent = ta ? ta->GetAscent() : 0;
  s.TextDescent = ta ? ta->GetDescent() : 0;
  s.A = s.CA = s.TextAscent;
  s.D = s.CD = s.TextDescent;
  s.Candidate = s.RowStart = GetBeginPosition();
  const TRow* above = FPrevious ? FPrevious->LastRow() : nullptr;
  s.Y = above ? above->Bottom : 0;
  FTop = s.Y;
  // The embedded elements lie apart in the pool: all of them are fetched at once, the line of their interface and
  // the next, where the embedding classes keep their sizes, before the walk asks each in turn.
  for (const TPortion* p = FFirstPortion; p; p = p->Next())
    if (p->Kind() == TPortionKind::pkElement)
      if (const IEmbeddedElement* element = static_cast<const TElementPortion*>(p)->Element()) {
        __builtin_prefetch(element);
        __builtin_prefetch(reinterpret_cast<const char*>(element) + 64);
      }
  bool hasElements = false;
  for (TPortion* p = FFirstPortion; p; p = p->Next()) {
    WrapPortion(s, p);
    hasElements = hasElements || p->Kind() == TPortionKind::pkElement;
  }
  AddRow(FFirstRow ? TRowKind::rkWrappedLast : TRowKind::rkWholeParagraph, s.RowStart, GetEndPosition(), s.D,
         s.Y + s.A + s.D, s.W);
  const int32_t right = pa ? pa->GetRightIndent() : 0;
  FExtent = 0;
  for (TRow* r = FFirstRow; r; r = r->FNext) {
    r->FLeft = RowLeft(AWrapWidth, r->Width, r == FFirstRow);
    FExtent = std::max(FExtent, r->FLeft + r->Width + right);
  }
  FHasElements = hasElements;
  if (hasElements) {
    if (FElementSlot < 0) FTextor->FEmbeddedValid = false;
    FTextor->AddToList(FTextor->Book().ElementParagraphs, this, &TParagraph::FElementSlot);
    PlaceElements(APadding, AMargins);
  }
  FFormatted = true;
  FPositioned = true;
}

void TParagraph::PlaceElements(const TRect& APadding, const TRect& AMargins) {
  const TTextPoint origin{APadding.Left, APadding.Top - FTextor->ElementShiftAt(FIndex)};
  for (TRow* row = FFirstRow; row; row = row->FNext) {
    const int32_t left = row->GetLeft();
    const int32_t baseline = row->GetBaseline();
    int32_t x = 0;
    row->IteratePieces([&](const TTextPiece& APiece) {
      APiece.Portion->PlaceInRow(left + x, baseline, AMargins, origin);
      APiece.Portion->MeasureChars(x, APiece.Offset, APiece.Count);
      if (APiece.Portion->Kind() == TPortionKind::pkElement)
        if (const IEmbeddedElement* e = static_cast<const TElementPortion*>(APiece.Portion)->Element())
          FTextor->FElementRise = std::max(FTextor->FElementRise, FTop - (e->GetEmbeddedBounds().Top - origin.Y));
      return true;
    });
  }
}

// ---------------------------------------------------------------------------------------------------------------
// TTextor

TTextor::TTextor(TElementPool* APool) : FPool(APool), FFormatLock(1) { new (FPool) TParagraph(this, nullptr); }

TTextor::~TTextor() {
  ++FChangeLock;
  ++FFormatLock;
  FShiftPending = false;  // nothing is shown any more
  while (FLastParagraph) delete FLastParagraph;
}

void TTextor::NormalizePosition(TTextPosition& APosition) {
  if (APosition.Portion && APosition.Offset >= APosition.Portion->Length()) {
    APosition.Portion = APosition.Portion->Next();
    APosition.Offset = 0;
  }
}

int32_t TTextor::ParagraphCount() const {
  EnsureIndexes();
  return static_cast<int32_t>(FParagraphs.size());
}

void TTextor::BeginUpdate() {
  ++FChangeLock;
  ++FFormatLock;
}

void TTextor::EndUpdate() {
  if (FChangeLock <= 0) throw EProgrammingError(u"EndUpdate without BeginUpdate");
  EndFormatUpdate();
  if (--FChangeLock == 0 && FChangePending) {
    FChangePending = false;
    Changed();
  }
}

void TTextor::DropUpdate() {
  --FChangeLock;
  --FFormatLock;
}

void TTextor::BeginFormatUpdate() { ++FFormatLock; }

void TTextor::EndFormatUpdate() {
  if (FFormatLock <= 0) throw EProgrammingError(u"EndFormatUpdate without BeginFormatUpdate");
  if (--FFormatLock == 0 && FLayoutPending) {
    FLayoutPending = false;
    const bool changed = FLayoutChanged;
    FLayoutChanged = false;
    RequestLayout(changed);
  }
}

void TTextor::InvalidateLayout() {
  // A text that was never laid out waits for its first layout already: a document joining a sheet asks each of
  // its texts, which would otherwise each walk their paragraphs for nothing.
  if (!FLayoutBegun) return;
  BeginFormatUpdate();
  for (TParagraph* p = FFirstParagraph; p; p = p->Next()) p->InvalidateLayout();
  EndFormatUpdate();
}

bool TTextor::LaidOutAt(int32_t AWrapWidth, const TRect& APadding) const {
  return FFormatLock == 0 && !FLayoutPending && !FFormatting && FDirty.empty() && FLaidOutWrap == AWrapWidth &&
         FLaidOutPadding == APadding;
}

void TTextor::RequestLayout(bool AChanged) {
  if (FFormatting) return;
  if (FFormatLock == 0) {
    FormatText(AChanged);
  } else {
    FLayoutPending = true;
    FLayoutChanged = FLayoutChanged || AChanged;
  }
}

void TTextor::Invalidate() {
  RequestLayout(true);
  if (FFormatting) return;
  if (FChangeLock > 0)
    FChangePending = true;
  else
    Changed();
}

void TTextor::Clear() {
  Updating([&] {
    if (!FFirstParagraph) {
      new (FPool) TParagraph(this, nullptr);
      return;
    }
    while (FLastParagraph != FFirstParagraph) delete FLastParagraph;
    FFirstParagraph->Clear();
  });
}

void TTextor::SetText(std::u16string_view AText) {
  Updating([&] {
    Clear();
    TTextRange range;
    InsertText(GetEndPosition(), AText, nullptr, range);
  });
}

std::u16string TTextor::GetText() const {
  if (FFirstParagraph == FLastParagraph) {
    TPortion* p = FFirstParagraph->FirstPortion();
    if (!p) return {};
    if (p == FFirstParagraph->LastPortion() && p->Kind() == TPortionKind::pkText)
      return std::u16string(static_cast<TTextPortion*>(p)->Text());
  }
  return GetRangeText(GetWholeRange());
}

bool TTextor::IsEmpty() const {
  return !FFirstParagraph || (FFirstParagraph == FLastParagraph && FFirstParagraph->IsEmpty());
}

int32_t TTextor::GetHeight() const { return FLastParagraph->LastRow() ? FLastParagraph->LastRow()->Bottom : 0; }

bool TTextor::UsesExtentTree() const {
  // A short text is read whole: what it has is soon walked.
  constexpr size_t LongText = 64;
  EnsureIndexes();
  if (FParagraphs.size() < LongText) return false;
  if (!FExtentTreeValid) {
    auto& tree = Book().ExtentTree;
    const size_t n = FParagraphs.size();
    tree.assign(FPool, 2 * n, 0);
    for (size_t i = 0; i < n; ++i) tree[n + i] = FParagraphs[i]->FExtent;
    for (size_t i = n - 1; i > 0; --i) tree[i] = std::max(tree[2 * i], tree[2 * i + 1]);
    FExtentTreeValid = true;
  }
  return true;
}

void TTextor::ExtentChanged(const TParagraph* AParagraph) {
  if (!FExtentTreeValid || !FIndexesValid) return;
  auto& tree = FBook->ExtentTree;
  const size_t n = FParagraphs.size();
  size_t i = n + size_t(AParagraph->FIndex);
  tree[i] = AParagraph->FExtent;
  for (i /= 2; i > 0; i /= 2) tree[i] = std::max(tree[2 * i], tree[2 * i + 1]);
}

int32_t TTextor::GetWidth() const {
  if (UsesExtentTree()) return FBook->ExtentTree[1];
  if (!FWidthValid) {
    FWidth = 0;
    for (TParagraph* p = FFirstParagraph; p; p = p->Next()) FWidth = std::max(FWidth, p->FExtent);
    FWidthValid = true;
  }
  return FWidth;
}

void TTextor::InsertText(const TTextPosition& APosition, std::u16string_view AText, TTextAttributes* AAttributes,
                         TTextRange& ARange) {
  ARange = {APosition, APosition};
  if (AText.empty()) return;
  Updating([&] {
    const bool breaks = AllowsLineBreaks();
    const bool tabs = AllowsTabs();
    if (!breaks && !tabs) {
      InsertChars(APosition, AText, AAttributes, ARange);
      return;
    }
    auto isBreak = [&](char16_t c) { return breaks && (c == u'\r' || c == u'\n'); };
    auto isTab = [&](char16_t c) { return tabs && c == u'\t'; };
    bool first = true;
    TTextPosition at = APosition;
    const size_t n = AText.size();
    for (size_t i = 0; i < n;) {
      TTextRange piece;
      const char16_t c = AText[i];
      size_t j = i + 1;
      if (isBreak(c)) {
        if (j < n && AText[j] == (c == u'\r' ? u'\n' : u'\r')) ++j;
        SplitParagraph(at, AAttributes, piece);
      } else if (isTab(c)) {
        while (j < n && isTab(AText[j])) ++j;
        InsertTabs(at, static_cast<int32_t>(j - i), AAttributes, piece);
      } else {
        while (j < n && !isBreak(AText[j]) && !isTab(AText[j])) ++j;
        InsertChars(at, AText.substr(i, j - i), AAttributes, piece);
      }
      if (first) ARange.Start = piece.Start;
      first = false;
      ARange.End = at = piece.End;
      i = j;
    }
  });
}

void TTextor::InsertChars(const TTextPosition& APosition, std::u16string_view AText, TTextAttributes* AAttributes,
                          TTextRange& ARange) {
  InsertPortionChars(APosition, TPortionKind::pkText, AAttributes, AText.data(), nullptr,
                     static_cast<int32_t>(AText.size()), ARange);
}

void TTextor::InsertTabs(const TTextPosition& APosition, int32_t ACount, TTextAttributes* AAttributes,
                         TTextRange& ARange) {
  InsertPortionChars(APosition, TPortionKind::pkTabStops, AAttributes, nullptr, nullptr, ACount, ARange);
}

void TTextor::InsertElement(const TTextPosition& APosition, IEmbeddedElement* AElement, TTextAttributes* AAttributes,
                            TTextRange& ARange) {
  InsertPortionChars(APosition, TPortionKind::pkElement, AAttributes, nullptr, AElement, 1, ARange);
}

TPortion* TTextor::CreatePortion(TPortionKind AKind, TParagraph* AParagraph, TTextAttributes* AAttributes,
                                 TPortion* ABefore, IEmbeddedElement* AElement) {
  return NewPortion(AKind, AParagraph, AAttributes, ABefore, AElement);
}

void TTextor::InsertPortionChars(const TTextPosition& APosition, TPortionKind AKind, TTextAttributes* AAttributes,
                                 const char16_t* AText, IEmbeddedElement* AElement, int32_t ACount,
                                 TTextRange& ARange) {
  ARange = {APosition, APosition};
  if (ACount < 1) return;
  Updating([&] {
    TParagraph* paragraph = APosition.Paragraph;
    TPortion* at = APosition.Portion;
    TPortion* before = nullptr;
    if (at && at->Kind() == AKind && at->CanMergeWith(AAttributes)) {
      const int32_t n = at->InsertChars(APosition.Offset, AText, ACount);
      ARange.End = Normalized(paragraph, at, APosition.Offset + n);
    } else if (APosition.Offset == 0 && paragraph->PortionBefore(at, before) && before->Kind() == AKind &&
               before->CanMergeWith(AAttributes)) {
      const int32_t offset = before->Length();
      const int32_t n = before->InsertChars(offset, AText, ACount);
      ARange.Start = {paragraph, before, offset};
      ARange.End = Normalized(paragraph, before, offset + n);
    } else {
      TPortion* tail = at ? at->SplitAt(APosition.Offset) : nullptr;
      TPortion* portion = CreatePortion(AKind, paragraph, AAttributes, tail, AElement);
      const int32_t n = AKind == TPortionKind::pkElement ? 1 : portion->InsertChars(0, AText, ACount);
      ARange.Start = {paragraph, portion, 0};
      ARange.End = Normalized(paragraph, portion, n);
    }
    paragraph->Changed();
  });
}

void TTextor::SplitParagraph(const TTextPosition& APosition, TTextAttributes* AAttributes, TTextRange& ARange) {
  Updating([&] {
    TParagraph* old = APosition.Paragraph;
    TParagraph* paragraph = new (FPool) TParagraph(this, old->Next());
    const bool moved = APosition.Portion != nullptr;
    if (moved) MoveParagraphPortions(APosition.Portion->SplitAt(APosition.Offset), paragraph);
    paragraph->SetParagraphAttributes(old->ParagraphAttributes());
    paragraph->SetTextAttributes(moved ? old->TextAttributes() : AAttributes);
    ARange = {old->GetEndPosition(), paragraph->GetBeginPosition()};
  });
}

TParagraph* TTextor::AddParagraph(TParagraph* ABefore) {
  TParagraph* paragraph = nullptr;
  Updating([&] { paragraph = new (FPool) TParagraph(this, ABefore); });
  return paragraph;
}

void TTextor::LinkParagraph(TParagraph* AParagraph, TParagraph* ABefore) {
  // A paragraph added at the end takes the next place and leaves the others theirs, as the log adds its lines;
  // with no shift pending there is nothing it could owe.
  const bool appended = !ABefore && FIndexesValid && !FShiftPending;
  if (!appended) InvalidateIndexes();
  AParagraph->FNext = ABefore;
  AParagraph->FPrevious = ABefore ? ABefore->FPrevious : FLastParagraph;
  (AParagraph->FPrevious ? AParagraph->FPrevious->FNext : FFirstParagraph) = AParagraph;
  (ABefore ? ABefore->FPrevious : FLastParagraph) = AParagraph;
  if (!appended) return;
  AParagraph->FIndex = static_cast<int32_t>(FParagraphs.size());
  AParagraph->FAppliedShift = 0;
  FParagraphs.push_back(FPool, AParagraph);
  Book().ShiftTree.resize(FPool, FParagraphs.size() + 1);
}

void TTextor::UnlinkParagraph(TParagraph* AParagraph) {
  TParagraph* next = AParagraph->FNext;
  if (!next && !AParagraph->FPrevious && FFirstParagraph != AParagraph) return;  // not linked
  InvalidateIndexes();
  (AParagraph->FPrevious ? AParagraph->FPrevious->FNext : FFirstParagraph) = next;
  (next ? next->FPrevious : FLastParagraph) = AParagraph->FPrevious;
  AParagraph->FNext = AParagraph->FPrevious = nullptr;
  if (next) next->InvalidatePosition();
  // A paragraph not laid out yet takes its old bottom from the one above: the first laid-out paragraph below it must
  // learn of the removed height itself.
  for (TParagraph* p = next; p && !p->FFirstRow; p = p->FNext)
    if (p->FNext) p->FNext->InvalidatePosition();
  Invalidate();
}

void TTextor::MoveParagraphPortions(TPortion* AFirst, TParagraph* ADest) {
  // An element owes what its paragraph owes: it settles before it changes paragraphs.
  SyncElements();
  FEmbeddedValid = false;
  Updating([&] {
    for (TPortion* p = AFirst; p;) {
      TPortion* next = p->Next();
      p->Unlink();
      p->Link(ADest, nullptr, true);
      p = next;
    }
  });
}

void TTextor::DeleteRange(const TTextRange& ARange, TTextPosition& APosition) {
  APosition = ARange.Start;
  if (IsRangeEmpty(ARange)) return;
  Updating([&] {
    TTextPosition result = ARange.Start;
    TParagraph* first = ARange.Start.Paragraph;
    TParagraph* last = ARange.End.Paragraph;
    for (TParagraph* paragraph = first; paragraph;) {
      // Each next piece is fetched before the current one is freed.
      TParagraph* nextParagraph = paragraph->Next();
      if (paragraph != first && paragraph != last) {
        delete paragraph;
        paragraph = nextParagraph;
        continue;
      }
      VisitStretch(StretchOf(ARange, paragraph), [&](TPortion* p, int32_t AFrom, int32_t ATo) {
        const int32_t count = ATo - AFrom;
        if (AFrom == 0 && count == p->Length()) {
          if (result.Portion == p) result = {result.Paragraph, p->Next(), 0};
          delete p;
        } else if (count > 0) {
          p->Delete(AFrom, count);
          if (result.Portion == p) NormalizePosition(result);
        }
      });
      if (paragraph == last) break;
      paragraph = nextParagraph;
    }
    if (first != last) {
      if (!result.Portion) result = {first, last->FirstPortion(), 0};
      if (last->FirstPortion()) MoveParagraphPortions(last->FirstPortion(), first);
      delete last;
    }
    result.Paragraph = first;
    APosition = result;
  });
}

TPortion* TTextor::SplitPortionForRange(TTextRange& ARange, TPortion* APortion, int32_t AOffset, int32_t AEnd) {
  if (AEnd < APortion->Length()) {
    TPortion* tail = APortion->SplitAt(AEnd);
    if (ARange.End.Portion == APortion && ARange.End.Offset >= AEnd)
      ARange.End = {ARange.End.Paragraph, tail, ARange.End.Offset - AEnd};
  }
  if (AOffset > 0) {
    TPortion* piece = APortion->SplitAt(AOffset);
    if (ARange.Start.Portion == APortion && ARange.Start.Offset >= AOffset)
      ARange.Start = {ARange.Start.Paragraph, piece, ARange.Start.Offset - AOffset};
    if (ARange.End.Portion == APortion && ARange.End.Offset >= AOffset)
      ARange.End = {ARange.End.Paragraph, piece, ARange.End.Offset - AOffset};
    return piece;
  }
  return APortion;
}

void TTextor::SetRangeAttributes(const TTextRange& ARange, bool AIncludeLastEnd, TTextAttributes* AAttributes,
                                 TTextRange& ANewRange) {
  Updating([&] {
    TTextRange range = ARange;
    TParagraph* first = ARange.Start.Paragraph;
    TParagraph* last = ARange.End.Paragraph;
    for (TParagraph* paragraph = first; paragraph; paragraph = paragraph->Next()) {
      const TRangeStretch stretch = StretchOf(ARange, paragraph);
      VisitStretch(stretch, [&](TPortion* p, int32_t AFrom, int32_t ATo) {
        if (ATo > AFrom) SplitPortionForRange(range, p, AFrom, ATo)->SetAttributes(AAttributes);
      });
      if (paragraph != last || (AIncludeLastEnd && !stretch.End)) paragraph->SetTextAttributes(AAttributes);
      if (paragraph == last) break;
    }
    ANewRange = range;
  });
}

TTextAttributes* TTextor::GetAttributesAt(const TTextPosition& APosition) const {
  if (APosition.Portion && APosition.Offset > 0) return APosition.Portion->Attributes();
  TPortion* before;
  if (APosition.Paragraph->PortionBefore(APosition.Portion, before)) return before->Attributes();
  if (APosition.Portion) return APosition.Portion->Attributes();
  return APosition.Paragraph->TextAttributes();
}

bool TTextor::IterateRange(const TTextRange& ARange, bool AIncludeLastEnd, const TTextPieceCallback& ACallback) const {
  for (TParagraph* p = ARange.Start.Paragraph; p; p = p->Next()) {
    const bool isFirst = p == ARange.Start.Paragraph;
    const bool isLast = p == ARange.End.Paragraph;
    if (!p->IteratePortions(isFirst ? ARange.Start.Portion : p->FirstPortion(), isFirst ? ARange.Start.Offset : 0,
                            isLast ? ARange.End.Portion : nullptr, isLast ? ARange.End.Offset : 0,
                            !isLast || AIncludeLastEnd, ACallback))
      return false;
    if (isLast) break;
  }
  return true;
}

std::u16string TTextor::GetRangeText(const TTextRange& ARange) const {
  size_t length = 0;
  IterateRange(ARange, false, [&](const TTextPiece& APiece) {
    length += APiece.Portion ? static_cast<size_t>(APiece.Portion->CopyChars(APiece.Offset, APiece.Count, nullptr)) : 2;
    return true;
  });
  std::u16string text(length, u'\0');
  char16_t* dest = text.data();
  IterateRange(ARange, false, [&](const TTextPiece& APiece) {
    if (APiece.Portion) {
      dest += APiece.Portion->CopyChars(APiece.Offset, APiece.Count, dest);
    } else {
      *dest++ = u'\r';
      *dest++ = u'\n';
    }
    return true;
  });
  return text;
}

bool TTextor::NextChar(const TTextPosition& APosition, TTextPosition& ANext, int32_t& AChar) const {
  if (!APosition.Portion) return false;
  AChar = APosition.Portion->GetChar(APosition.Offset);
  ANext = Normalized(APosition.Paragraph, APosition.Portion, APosition.Offset + 1);
  return true;
}

bool TTextor::PreviousChar(const TTextPosition& APosition, TTextPosition& APrevious, int32_t& AChar) const {
  if (APosition.Offset > 0) {
    APrevious = {APosition.Paragraph, APosition.Portion, APosition.Offset - 1};
  } else {
    TPortion* before;
    if (!APosition.Paragraph->PortionBefore(APosition.Portion, before)) return false;
    APrevious = {APosition.Paragraph, before, before->Length() - 1};
  }
  AChar = APrevious.Portion->GetChar(APrevious.Offset);
  return true;
}

TTextPosition TTextor::NextCharPosition(const TTextPosition& APosition) const {
  if (APosition.Portion) return Normalized(APosition.Paragraph, APosition.Portion, APosition.Offset + 1);
  if (TParagraph* next = APosition.Paragraph->Next()) return next->GetBeginPosition();
  return APosition;
}

TTextPosition TTextor::PreviousCharPosition(const TTextPosition& APosition) const {
  TTextPosition previous;
  int32_t c;
  if (PreviousChar(APosition, previous, c)) return previous;
  if (TParagraph* p = APosition.Paragraph->Previous()) return p->GetEndPosition();
  return APosition;
}

bool TTextor::NextPortionPosition(const TTextPosition& APosition, TTextPosition& AResult, bool ACrossParagraphs) const {
  if (APosition.Portion) {
    AResult = {APosition.Paragraph, APosition.Portion->Next(), 0};
    return true;
  }
  TParagraph* next = APosition.Paragraph->Next();
  if (!ACrossParagraphs || !next) return false;
  AResult = next->GetBeginPosition();
  return true;
}

bool TTextor::PreviousPortionPosition(const TTextPosition& APosition, TTextPosition& AResult,
                                      bool ACrossParagraphs) const {
  if (APosition.Offset > 0) {
    AResult = {APosition.Paragraph, APosition.Portion, 0};
    return true;
  }
  TPortion* before;
  if (APosition.Paragraph->PortionBefore(APosition.Portion, before)) {
    AResult = {APosition.Paragraph, before, 0};
    return true;
  }
  TParagraph* previous = APosition.Paragraph->Previous();
  if (!ACrossParagraphs || !previous) return false;
  AResult = previous->GetEndPosition();
  return true;
}

TTextRange TTextor::GetTextStretch(const TTextPosition& APosition, bool AForwards, bool ACrossParagraphs) const {
  auto isElement = [](const TPortion* APortion) { return APortion && APortion->Kind() == TPortionKind::pkElement; };
  TTextPosition at = APosition;
  TTextPosition n;
  TPortion* before;
  if (AForwards) {
    while (isElement(at.Portion)) at = {at.Paragraph, at.Portion->Next(), 0};
    TTextPosition end = at;
    while (!isElement(end.Portion) && NextPortionPosition(end, n, ACrossParagraphs)) end = n;
    return {at, end};
  }
  while (at.Offset == 0 && at.Paragraph->PortionBefore(at.Portion, before) && isElement(before))
    at = {at.Paragraph, before, 0};
  TTextPosition start = at;
  while (!(start.Offset == 0 && start.Paragraph->PortionBefore(start.Portion, before) && isElement(before)) &&
         PreviousPortionPosition(start, n, ACrossParagraphs))
    start = n;
  return {start, at};
}

bool TTextor::WordRight(const TTextPosition& APosition, TTextPosition& AResult) const {
  AResult = APosition;
  TTextPosition next;
  int32_t previous, c;
  if (!NextChar(APosition, next, previous)) return false;
  while (NextChar(next, AResult, c) && IsSameWord(previous, c)) {
    previous = c;
    next = AResult;
  }
  AResult = next;
  return true;
}

bool TTextor::WordLeft(const TTextPosition& APosition, TTextPosition& AResult) const {
  TTextPosition at = APosition;
  if (IsAtTextEdge(at, true)) at = PreviousCharPosition(at);
  TTextPosition previous, next;
  int32_t before, after;
  while (PreviousChar(at, previous, before)) {
    if (!NextChar(at, next, after)) after = -1;
    if (!IsSameWord(before, after)) break;
    at = previous;
  }
  AResult = at;
  return !(AResult == APosition);
}

bool TTextor::IsBefore(const TTextPosition& A, const TTextPosition& B) const {
  if (A.Paragraph == B.Paragraph) {
    if (A.Portion == B.Portion) return A.Offset < B.Offset;
    if (!A.Portion) return false;
    if (!B.Portion) return true;
    for (TPortion* p = A.Portion->Next(); p; p = p->Next())
      if (p == B.Portion) return true;
    return false;
  }
  // By their places in the text: a walk from one to the other cost a selection over a long text the text's length
  // for every element it checked. A paragraph the text no longer holds is found by the walk as before.
  EnsureIndexes();
  if (HoldsAtIndex(A.Paragraph) && HoldsAtIndex(B.Paragraph)) return A.Paragraph->FIndex < B.Paragraph->FIndex;
  for (TParagraph* p = A.Paragraph->Next(); p; p = p->Next())
    if (p == B.Paragraph) return true;
  return false;
}

bool TTextor::HoldsAtIndex(const TParagraph* AParagraph) const {
  return AParagraph->FIndex >= 0 && size_t(AParagraph->FIndex) < FParagraphs.size() &&
         FParagraphs[size_t(AParagraph->FIndex)] == AParagraph;
}

bool TTextor::IsPositionInRange(const TTextPosition& APosition, const TTextRange& ARange) const {
  return !IsBefore(APosition, ARange.Start) && IsBefore(APosition, ARange.End);
}

bool TTextor::IsAtParagraphEdge(const TTextPosition& APosition, bool AForwards) const {
  if (AForwards) return !APosition.Portion;
  return APosition.Portion == APosition.Paragraph->FirstPortion() && APosition.Offset == 0;
}

bool TTextor::IsAtTextEdge(const TTextPosition& APosition, bool AForwards) const {
  return IsAtParagraphEdge(APosition, AForwards) &&
         APosition.Paragraph == (AForwards ? FLastParagraph : FFirstParagraph);
}

IEmbeddedElement* TTextor::ElementAt(const TTextPosition& APosition, bool AForwards) const {
  TPortion* p = nullptr;
  if (AForwards) {
    if (APosition.Offset == 0) p = APosition.Portion;
  } else if (APosition.Offset == 0) {
    APosition.Paragraph->PortionBefore(APosition.Portion, p);
  }
  if (!p || p->Kind() != TPortionKind::pkElement) return nullptr;
  return static_cast<TElementPortion*>(p)->Element();
}

int32_t TTextor::IndexOfParagraph(const TParagraph* AParagraph) const {
  EnsureIndexes();
  const int32_t i = AParagraph->FIndex;
  return i >= 0 && size_t(i) < FParagraphs.size() && FParagraphs[size_t(i)] == AParagraph ? i : -1;
}

TParagraph* TTextor::ParagraphAt(int32_t AIndex) const {
  EnsureIndexes();
  return AIndex >= 0 && size_t(AIndex) < FParagraphs.size() ? FParagraphs[size_t(AIndex)] : nullptr;
}

void TTextor::MakeIndexes() const {
  FExtentTreeValid = false;
  FParagraphs.clear();
  int32_t i = 0;
  for (TParagraph* p = FFirstParagraph; p; p = p->Next(), ++i) {
    p->FIndex = i;
    p->FAppliedShift = 0;
    FParagraphs.push_back(FPool, p);
  }
  // A text of one paragraph never shifts one: most texts are one, and they allocate no tree.
  if (FParagraphs.size() > 1)
    Book().ShiftTree.assign(FPool, FParagraphs.size() + 1, 0);
  else if (FBook)
    FBook->ShiftTree.clear();
  FIndexesValid = true;
}

void TTextor::InvalidateIndexes() {
  if (FShiftPending) FlushShifts();
  FIndexesValid = false;
  FEmbeddedValid = false;  // the elements' list holds places
}

void TTextor::AddShift(int32_t AFrom, int32_t ADelta, bool AElementsOwe) {
  // Only a paragraph with others after it shifts anything: the text has its book.
  TBook& book = *FBook;
  const size_t n = FParagraphs.size();
  for (size_t k = size_t(AFrom) + 1; k <= n; k += k & (~k + 1)) book.ShiftTree[k] += ADelta;
  FShiftPending = true;
  if (!AElementsOwe || book.ElementParagraphs.empty()) return;
  // A layout records its shifts top down: a shift lands at the end, or adds to one at its place.
  auto at = std::upper_bound(book.ElementShifts.begin(), book.ElementShifts.end(), AFrom, BeforeShift);
  if (at == book.ElementShifts.begin() || (at - 1)->From != AFrom)
    at = book.ElementShifts.insert(FPool, at, {AFrom, at == book.ElementShifts.begin() ? 0 : (at - 1)->Sum}) + 1;
  for (auto shift = at - 1; shift != book.ElementShifts.end(); ++shift) shift->Sum += ADelta;
}

int32_t TTextor::ShiftAt(int32_t AIndex) const {
  int32_t sum = 0;
  for (size_t k = size_t(AIndex) + 1; k > 0; k -= k & (~k + 1)) sum += FBook->ShiftTree[k];
  return sum;
}

void TTextor::FlushShifts() {
  SyncElements();
  for (TParagraph* p = FFirstParagraph; p; p = p->Next()) p->Sync();
  for (TParagraph* p = FFirstParagraph; p; p = p->Next()) p->FAppliedShift = 0;
  if (FBook) std::fill(FBook->ShiftTree.begin(), FBook->ShiftTree.end(), 0);
  FShiftPending = false;
}

int32_t TTextor::ElementShiftAt(int32_t AIndex) const {
  if (!FBook) return 0;
  const TPoolVector<TElementShift>& shifts = FBook->ElementShifts;
  auto at = std::upper_bound(shifts.begin(), shifts.end(), AIndex, BeforeShift);
  return at == shifts.begin() ? 0 : (at - 1)->Sum;
}

void TTextor::SyncElements(int32_t AThrough) {
  if (!OwesElementShifts()) return;
  EnsureIndexes();
  TBook& book = *FBook;
  if (!FEmbeddedValid) {
    std::sort(book.ElementParagraphs.begin(), book.ElementParagraphs.end(),
              [](const TParagraph* a, const TParagraph* b) { return a->FIndex < b->FIndex; });
    book.Embedded.clear();
    for (size_t i = 0; i < book.ElementParagraphs.size(); ++i) {
      TParagraph* paragraph = book.ElementParagraphs[i];
      paragraph->FElementSlot = static_cast<int32_t>(i);
      for (TPortion* p = paragraph->FFirstPortion; p; p = p->Next())
        if (p->Kind() == TPortionKind::pkElement)
          if (IEmbeddedElement* element = static_cast<TElementPortion*>(p)->Element())
            book.Embedded.push_back(FPool, {paragraph->FIndex, element});
    }
    FEmbeddedValid = true;
  }
  size_t i =
      std::partition_point(book.Embedded.begin(), book.Embedded.end(),
                           [&book](const TElementEntry& e) { return e.Index < book.ElementShifts.front().From; }) -
      book.Embedded.begin();
  const size_t n = std::partition_point(book.Embedded.begin() + i, book.Embedded.end(),
                                        [AThrough](const TElementEntry& e) { return e.Index <= AThrough; }) -
                   book.Embedded.begin();
  auto next = book.ElementShifts.begin();
  int32_t shift = 0;
  bool moved = false;
  FSettling = true;
  // The elements lie apart in the pool: those a few entries ahead are fetched while these move, the line of their
  // interface and the next, where the embedding classes keep their places.
  constexpr size_t Ahead = 8;
  for (; i < n; ++i) {
    if (i + Ahead < n) {
      const char* ahead = reinterpret_cast<const char*>(book.Embedded[i + Ahead].Element);
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + 64);
    }
    const TElementEntry& entry = book.Embedded[i];
    for (; next != book.ElementShifts.end() && next->From <= entry.Index; ++next) shift = next->Sum;
    if (shift != 0) {
      ShiftElement(entry.Element, shift);
      moved = true;
    }
  }
  FSettling = false;
  if (AThrough >= static_cast<int32_t>(FParagraphs.size()) - 1) {
    book.ElementShifts.clear();
  } else {
    // The paragraphs after AThrough owe what they did: the shifts above them fold into one at the first of them.
    const int32_t rest = ElementShiftAt(AThrough);
    book.ElementShifts.erase(
        book.ElementShifts.begin(),
        std::upper_bound(book.ElementShifts.begin(), book.ElementShifts.end(), AThrough, BeforeShift));
    if (rest != 0 && (book.ElementShifts.empty() || book.ElementShifts.front().From != AThrough + 1))
      book.ElementShifts.insert(FPool, book.ElementShifts.begin(), {AThrough + 1, rest});
  }
  if (moved) ElementsShifted();
}

void TTextor::SettleElementsThrough(const TParagraph* AParagraph) {
  if (!OwesElementShifts() || FFormatting || FSettling) return;
  EnsureIndexes();
  if (ElementShiftAt(AParagraph->FIndex) != 0) SyncElements(AParagraph->FIndex);
}

void TTextor::SettleElements() {
  if (FFormatting || FSettling) return;
  SyncElements();
}

void TTextor::SettleElementsAbove(int32_t AY) {
  if (!OwesElementShifts() || FFormatting || FSettling) return;
  EnsureIndexes();
  const TPoolVector<TElementShift>& shifts = FBook->ElementShifts;
  // The most that a paragraph at or after each shift owes.
  std::vector<int32_t> most(shifts.size());
  int32_t largest = INT32_MIN;
  for (size_t k = most.size(); k-- > 0;) most[k] = largest = std::max(largest, shifts[k].Sum);
  // An element belongs at most FElementRise above its paragraph's top, and stands what it owes above that. Both
  // bounds of a paragraph and of those after it grow with its place: the first paragraph whose bounds reach AY is
  // found by halving.
  const auto below = [&](int32_t AIndex) {
    const auto at = std::upper_bound(shifts.begin(), shifts.end(), AIndex, BeforeShift);
    int32_t owed = at == shifts.begin() ? 0 : (at - 1)->Sum;
    if (at != shifts.end()) owed = std::max(owed, most[size_t(at - shifts.begin())]);
    return FParagraphs[size_t(AIndex)]->Top() - FElementRise - std::max(owed, 0) >= AY;
  };
  int32_t low = shifts.front().From;
  int32_t high = static_cast<int32_t>(FParagraphs.size());
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (below(middle))
      high = middle;
    else
      low = middle + 1;
  }
  if (low > shifts.front().From) SyncElements(low == static_cast<int32_t>(FParagraphs.size()) ? INT32_MAX : low - 1);
}

void TTextor::AddToList(TParagraphList& AList, TParagraph* AParagraph, int32_t TParagraph::*ASlot) {
  if (AParagraph->*ASlot >= 0) return;
  AParagraph->*ASlot = static_cast<int32_t>(AList.size());
  AList.push_back(FPool, AParagraph);
}

void TTextor::RemoveFromList(TParagraphList& AList, TParagraph* AParagraph, int32_t TParagraph::*ASlot) {
  const int32_t slot = AParagraph->*ASlot;
  if (slot < 0) return;
  TParagraph* last = AList.back();
  AList[size_t(slot)] = last;
  last->*ASlot = slot;
  AList.pop_back();
  AParagraph->*ASlot = -1;
}

TTextor::TBook& TTextor::Book() const {
  if (!FBook) FBook.reset(new (TElementPool::Allocate(FPool, sizeof(TBook))) TBook);
  return *FBook;
}

void TTextor::TBookFree::operator()(TBook* ABook) const noexcept {
  ABook->~TBook();
  TElementPool::Free(ABook);
}

TIndexPosition TTextor::PositionToIndex(const TTextPosition& APosition) const {
  return {IndexOfParagraph(APosition.Paragraph), APosition.Paragraph->CharIndexOf(APosition.Portion, APosition.Offset)};
}

TIndexRange TTextor::RangeToIndexRange(const TTextRange& ARange) const {
  return {PositionToIndex(ARange.Start), PositionToIndex(ARange.End)};
}

bool TTextor::IndexToPosition(const TIndexPosition& AIndex, TTextPosition& APosition) const {
  TParagraph* p = ParagraphAt(AIndex.ParagraphIndex);
  TPortion* portion;
  int32_t offset;
  if (!p || !p->PositionOfCharIndex(AIndex.CharIndex, portion, offset)) return false;
  APosition = {p, portion, offset};
  return true;
}

bool TTextor::IndexRangeToRange(const TIndexRange& AIndex, TTextRange& ARange) const {
  TTextRange range;
  if (!IndexToPosition(AIndex.Start, range.Start) || !IndexToPosition(AIndex.End, range.End)) return false;
  ARange = range;
  return true;
}

void TTextor::ReinsertText() {
  Updating([&] {
    TTextPosition at = GetBeginPosition();
    for (;;) {
      const TTextRange stretch = GetTextStretch(at, true, true);
      if (IsRangeEmpty(stretch)) break;
      const std::u16string text = GetRangeText(stretch);
      TTextPosition start;
      DeleteRange(stretch, start);
      TTextRange inserted;
      InsertText(start, text, nullptr, inserted);
      at = inserted.End;
    }
  });
}

TRow* TTextor::FindRow(const TTextPosition& APosition, bool APreferNext, TRow* AHint) const {
  TParagraph* paragraph = APosition.Paragraph;
  if (!paragraph->FirstRow()) return nullptr;
  if (!APosition.Portion) return paragraph->LastRow();
  auto search = [&](TRow* AFrom) -> TRow* {
    for (TRow* r = AFrom; r; r = r->GetNextRow())
      if (r->Contains(APosition)) {
        if (APreferNext && r->GetNextRow() && APosition == r->GetEndPosition()) return r->GetNextRow();
        return r;
      }
    return nullptr;
  };
  if (AHint && AHint->GetParagraph() == paragraph)
    if (TRow* r = search(AHint)) return r;
  if (TRow* r = search(paragraph->FirstRow())) return r;
  return paragraph->LastRow();
}

TParagraph* TTextor::ParagraphAtY(int32_t AY) const {
  EnsureIndexes();
  size_t low = 0, high = FParagraphs.size();  // the answer lies in [low, high)
  while (high - low > 1) {
    const size_t middle = low + (high - low) / 2;
    if (FParagraphs[middle]->Top() <= AY)
      low = middle;
    else
      high = middle;
  }
  return FParagraphs[low];
}

TRow* TTextor::FindRowAtY(int32_t AY, bool AClamp) const {
  const int32_t height = GetHeight();
  if (AY < 0) return AClamp ? FFirstParagraph->FirstRow() : nullptr;
  if (AY >= height) return AClamp ? FLastParagraph->LastRow() : nullptr;
  TRow* r = ParagraphAtY(AY)->FirstRow();
  while (r && AY >= r->Bottom) r = r->GetNextTextRow();
  return r;
}

bool TTextor::PositionAtPoint(TTextPoint APoint, bool AClamp, bool ARound, const TTextDrag* ADrag, TRow*& ARow,
                              TTextPosition& APosition) const {
  ARow = FindRowAtY(APoint.Y, AClamp);
  if (!ARow) return false;
  const bool hit = ARow->PositionAtX(APoint.X, ARound, ADrag, APosition);
  return hit || AClamp;
}

void TTextor::FindRowsOfRange(const TTextRange& ARange, TRow*& AFirst, TRow*& ALast) const {
  AFirst = FindRow(ARange.Start, true);
  ALast = FindRow(ARange.End, false);
}

TRect TTextor::GetCaretRect(const TRow* ARow, const TTextPosition& APosition, int32_t ACaretWidth) const {
  const int32_t left = ARow->GetLeft() + ARow->PositionToX(APosition) - ACaretWidth / 2;
  return {left, ARow->GetTop(), left + ACaretWidth, ARow->Bottom};
}

TRect TTextor::GetClipRect(TCustomSheetCanvas& ACanvas) const {
  return {INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
}

void TTextor::PaintParagraphBackgrounds(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState) {
  const TRect clip = GetClipRect(ACanvas);
  int32_t width = GetWrapWidth();
  if (width <= 0) width = GetWidth();
  for (TParagraph* p = ParagraphAtY(clip.Top); p; p = p->Next()) {
    if (!p->LastRow() || p->LastRow()->Bottom <= clip.Top) continue;
    if (clip.Bottom <= p->Top()) break;
    if (TParagraphAttributes* pa = p->GetParagraphAttributes())
      pa->PaintBackground(ACanvas, TRect{0, p->Top(), width, p->LastRow()->Bottom});
  }
}

bool TTextor::RowBefore(const TRow* A, const TRow* B) const {
  if (A->GetParagraph() != B->GetParagraph())
    return IndexOfParagraph(A->GetParagraph()) < IndexOfParagraph(B->GetParagraph());
  for (const TRow* r = A->GetNextRow(); r; r = r->GetNextRow())
    if (r == B) return true;
  return false;
}

bool TTextor::ClipRange(const TRect& AClip, TTextRange& ARange, TRow*& AFirst, TRow*& ALast) const {
  FindRowsOfRange(ARange, AFirst, ALast);
  if (!AFirst || !ALast) return false;
  // The rows at the clip's edges, found from the nearer end rather than walked to from the range's start.
  TRow* top = FindRowAtY(AClip.Top, true);
  TRow* bottom = FindRowAtY(AClip.Bottom - 1, true);
  if (!top || !bottom) return false;
  if (RowBefore(AFirst, top)) {
    AFirst = top;
    ARange.Start = top->GetStartPosition();
  }
  if (RowBefore(bottom, ALast)) {
    ALast = bottom;
    ARange.End = bottom->GetEndPosition();
  }
  if (RowBefore(ALast, AFirst)) return false;
  return AFirst->Bottom > AClip.Top && AFirst->GetTop() < AClip.Bottom;
}

void TTextor::PaintRange(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TTextRange& ARange,
                         TTextPaintFlags AFlags, bool APaintSelection) {
  if (IsRangeEmpty(ARange)) return;
  const TRect clip = GetClipRect(ACanvas);
  TTextRange range = ARange;
  TRow* first;
  TRow* last;
  if (!ClipRange(clip, range, first, last)) return;
  if (IsRangeEmpty(range) && !AFlags.ContainsAny(tpSelection | tpWhiteSpace)) return;
  for (TRow* row = first; row; row = row->GetNextTextRow()) {
    const TRect rowRect = row->GetRect();
    if (clip.Right > rowRect.Left && clip.Left <= rowRect.Right + 5) {
      TParagraph* paragraph = row->GetParagraph();
      const TTextPosition start = row == first ? range.Start : row->GetStartPosition();
      const TTextPosition end = row == last ? range.End : row->GetEndPosition();
      const int32_t baseline = row->GetBaseline();
      int32_t x = rowRect.Left + row->PositionToX(start);
      paragraph->IteratePortions(
          start.Portion, start.Offset, end.Portion, end.Offset, true, [&](const TTextPiece& APiece) {
            if (APiece.Portion) {
              APiece.Portion->Paint(ACanvas, AState, rowRect, x, baseline, APiece.Offset, APiece.Count, AFlags);
              return x <= clip.Right;
            }
            TTextAttributes* a = paragraph->GetTextAttributes();
            if (!a) return false;
            const TRect rect = RunRect(a, rowRect, baseline);
            // The caller's end: a clip that cuts the range ends it at this row.
            if (AFlags.Contains(tpSelection) && APaintSelection && ARange.End.Paragraph != paragraph)
              a->PaintBlank(ACanvas, RunFlags(AState, AFlags), 5, x, rect);
            if (AFlags.Contains(tpWhiteSpace) && paragraph->Next()) {
              static constexpr char16_t pilcrow = u'\u00B6';
              int px = x;
              a->TextOut(ACanvas, 0, px, &pilcrow, 1, rect);
            }
            return false;
          });
    }
    if (row == last) break;
  }
}

bool TTextor::CanBreakBetween(int32_t APrev, int32_t ANext) const { return APrev < 0 || ANext < 0 || IsBlank(APrev); }

void TTextor::FormatOne(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding, const TRect& AMargins) {
  int32_t oldBottom = 0;
  if (const TRow* last = AParagraph->LastRow()) {
    oldBottom = last->Bottom;
  } else if (AParagraph->Previous()) {
    if (const TRow* above = AParagraph->Previous()->LastRow()) oldBottom = above->Bottom;
  }
  const int32_t oldExtent = AParagraph->FExtent;
  FormatParagraph(AParagraph, AWrapWidth, APadding, AMargins);
  if (AParagraph->FExtent != oldExtent) ExtentChanged(AParagraph);
  if (!AParagraph->LastRow()) return;  // a host that laid nothing out
  // The widest row stays known unless the widest paragraph narrowed.
  if (AParagraph->FExtent >= FWidth)
    FWidth = AParagraph->FExtent;
  else if (oldExtent == FWidth)
    FWidthValid = false;
  const int32_t shift = AParagraph->LastRow()->Bottom - oldBottom;
  if (shift != 0 && size_t(AParagraph->FIndex) + 1 < FParagraphs.size())
    AddShift(AParagraph->FIndex + 1, shift, AParagraph->FIndex + 1 < FFreshFrom);
}

void TTextor::FormatText(bool AChanged) {
  FFormatting = true;
  FLayoutBegun = true;
  try {
    const int32_t wrap = GetWrapWidth();
    TRect padding, margins;
    GetPadding(padding);
    GetElementMargins(margins);
    EnsureIndexes();
    TParagraphList dirty;
    dirty.swap(FDirty);
    for (TParagraph* p : dirty) p->FDirtySlot = -1;
    auto flagged = [](const TParagraph* p) { return !p->Formatted() || !p->Positioned(); };
    // The paragraphs at the end that were never laid out: a first layout places all of their elements where their
    // paragraphs end up, which then owe none of the shifts above.
    FFreshFrom = static_cast<int32_t>(FParagraphs.size());
    for (const TParagraph* p = FLastParagraph; p && !p->LastRow(); p = p->Previous()) FFreshFrom = p->FIndex;
    if (dirty.size() * 8 > FParagraphs.size()) {
      // Many: in text order without sorting.
      for (TParagraph* p = FFirstParagraph; p; p = p->Next())
        if (flagged(p)) FormatOne(p, wrap, padding, margins);
    } else {
      std::sort(dirty.begin(), dirty.end(),
                [](const TParagraph* a, const TParagraph* b) { return a->FIndex < b->FIndex; });
      for (TParagraph* p : dirty)
        if (flagged(p)) FormatOne(p, wrap, padding, margins);
    }
    // Embedded elements are on the sheet: they move now unless the host settles them as they are needed, the rest
    // when asked for. A layout that moved nothing leaves them where the last one put them.
    if (!DefersElementShifts()) SyncElements();
    // Paragraphs flagged while they were laid out (link detection) are done.
    for (size_t i = FDirty.size(); i-- > 0;)
      if (!flagged(FDirty[i])) RemoveFromList(FDirty, FDirty[i], &TParagraph::FDirtySlot);
    FLaidOutWrap = wrap;
    FLaidOutPadding = padding;
  } catch (...) {
    FFormatting = false;
    throw;
  }
  FFormatting = false;
}

bool TTextor::IsSameWord(int32_t APrev, int32_t ANext) const {
  if (APrev < 0 || ANext < 0) return false;
  if (IsBlank(ANext)) return true;
  if (IsWordChar(APrev) != IsWordChar(ANext)) return false;
  return !IsBlank(APrev);
}

void TTextor::FormatParagraph(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding,
                              const TRect& AMargins) {
  AParagraph->Format(AWrapWidth, APadding, AMargins);
}
