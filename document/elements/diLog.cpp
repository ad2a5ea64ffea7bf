#include "document/elements/diLog.h"

#include "document/elements/diCustomElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "document/model/diTextorAttributesWin.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuKnot.h"

#include <string_view>
#include <utility>

std::unique_ptr<TLogSettings, TNodeDeleter> LogSettings;
std::unique_ptr<TSchemeImages> LogImages;

namespace {

constexpr int LogImageSize = 9;
// Links of the log are blue and underlined until followed.
constexpr TColor32 LinkColor = 0xFF0000FF;

// The attributes of the log's text, made at start-up.
TAttributesRef<TRichTextAttributes>& LogAttributes() {
  static TAttributesRef<TRichTextAttributes> attributes;
  return attributes;
}

TRichTextAttributes* MakeShared(const TRichTextAttributes& AAttributes) {
  return static_cast<TRichTextAttributes*>(AAttributes.Acquire());
}

// "12,15" as identifiers; a piece that is no number is left out.
std::vector<int32_t> ParseIdentifiers(std::u16string_view AText) {
  std::vector<int32_t> result;
  while (!AText.empty()) {
    const size_t comma = AText.find(u',');
    const std::u16string_view piece = AText.substr(0, comma);
    int64_t value = 0;
    bool valid = !piece.empty();
    for (char16_t c : piece) {
      if (c < u'0' || c > u'9' || value > INT32_MAX) {
        valid = false;
        break;
      }
      value = value * 10 + (c - u'0');
    }
    if (valid && value <= INT32_MAX) result.push_back(static_cast<int32_t>(value));
    if (comma == std::u16string_view::npos) break;
    AText.remove_prefix(comma + 1);
  }
  return result;
}

// A copy is called: the handler may replace itself while it runs.
TSettingsLinkHandler& SettingsLinkHandler() {
  static TSettingsLinkHandler handler;
  return handler;
}

}  // namespace

TSettingsLinkHandler SetSettingsLinkHandler(TSettingsLinkHandler AHandler) {
  TSettingsLinkHandler previous = std::move(SettingsLinkHandler());
  SettingsLinkHandler() = std::move(AHandler);
  return previous;
}

// ---------------------------------------------------------------------------------------------------------------
// Settings and start-up

TLogSettings::TLogSettings(TProperty* AParent) : TProperty(AParent, u"Log") {
  WriteInformation = new TBooleanProperty(this, u"WriteInformation", true);
  WriteHints = new TBooleanProperty(this, u"WriteHints", true);
  WriteWarnings = new TBooleanProperty(this, u"WriteWarnings", true);
}

void InitializeLog() {
  LogSettings.reset(new TLogSettings(nullptr));
  LogImages = std::make_unique<TSchemeImages>(LogImageSize, LogImageSize);
  LogImages->AddFromResource(u"diLogImages");
  TRichTextAttributes attributes;
  LogAttributes() = TAttributesRef<TRichTextAttributes>(MakeShared(attributes));
}

void FinalizeLog() {
  LogAttributes() = TAttributesRef<TRichTextAttributes>();
  LogImages.reset();
  LogSettings.reset();
}

// ---------------------------------------------------------------------------------------------------------------
// Sign

const TElementClassInfo TElement_Sign::ClassInfo{u"TElement_Sign", &TVisualElement::ClassInfo,
                                                 &ElementFactory<TElement_Sign>};

TElement_Sign::TElement_Sign(TScheme* AScheme) : TVisualElement(AScheme) {
  SetVisualOptions(VisualOptions() | voNotInCopies);
  SetBounds(Left(), Top(), LogImageSize, LogImageSize, 0);
}

void TElement_Sign::SetKind(uint8_t AValue) {
  if (AValue == FKind) return;
  FKind = AValue;
  Invalidate();
}

int TElement_Sign::ImageOfKind(uint8_t AKind) {
  switch (AKind) {
    case mkHint:
      return 0;
    case mkWarning:
    case mkValueNeeded:
    case mkElementError:
      return 1;
    case mkError:
      return 2;
    default:
      return -1;
  }
}

void TElement_Sign::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  SetKind(static_cast<uint8_t>(AKnot->ReadInteger(u"Kind", mkInformation, 0, 255)));
}

void TElement_Sign::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TVisualElement::SaveToKnot(ASaver, AKnot);
  AKnot->WriteInteger(u"Kind", FKind);
}

void TElement_Sign::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  const int image = ImageOfKind(FKind);
  if (image >= 0 && LogImages && image < LogImages->Count()) ACanvas->DrawImage(*LogImages, image, 0, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Log root

const TElementClassInfo TLogRoot::ClassInfo{u"TLogRoot", &TTextorElement::ClassInfo, &ElementFactory<TLogRoot>};

TLogRoot::TLogRoot(TScheme* AScheme) : TTextorElement(AScheme), FMessages(std::make_unique<TElementMessages>()) {
  SetTextorOptions(TextorOptions() | xoRich | xoNoNonPrinting | xoWrapUnbounded | xoMinWidthAvailable |
                   xoMinHeightAvailable);
  SetTextOptions(TTextOptions::FromBits(111));
  FMessages->OnAdding = MakeMethod<&TLogRoot::AcceptsMessage>(this);
  FMessages->OnAdded = MakeMethod<&TLogRoot::WriteMessage>(this);
  FMessages->OnClear = MakeMethod<&TLogRoot::MessagesCleared>(this);
}

TLogRoot::~TLogRoot() {
  // The list fires OnClear as it goes; the text it would clear is on its way out.
  FMessages->OnAdding = {};
  FMessages->OnAdded = {};
  FMessages->OnClear = {};
  FMessages.reset();
}

void TLogRoot::AcceptsMessage(TElementMessages* ASender, TElementMessage* AMessage, bool& AAccept) {
  if (!LogSettings) return;
  switch (AMessage->Kind()) {
    case mkInformation:
      AAccept = LogSettings->WriteInformation->Value();
      break;
    case mkHint:
      AAccept = LogSettings->WriteHints->Value();
      break;
    case mkWarning:
      AAccept = LogSettings->WriteWarnings->Value();
      break;
    default:
      break;
  }
}

void TLogRoot::WriteMessage(TElementMessages* ASender, TElementMessage* AMessage) {
  TSheet* sheet = Sheet();
  if (sheet) sheet->PlaySound(u"diLogMessageSound");

  TNodePtr<TKnot> content(new TKnot(std::u16string(ContentKnotName)));
  content->SetAddedOptions(content->AddedOptions() | koOrderedChildren);
  if (!Textor()->IsEmpty()) content->AddKnot(std::u16string(BreakKnotName));
  if (AMessage->Kind() != mkInformation) {
    content->AddKnot(u"Sign")->WriteInteger(u"Kind", AMessage->Kind());
    content->AddKnot(std::u16string(CharsKnotName))->WriteString(u"Value", u" ");
  }
  for (const TElementMessagePart& part : AMessage->Parts()) {
    TKnot* chars = content->AddKnot(std::u16string(CharsKnotName));
    chars->WriteString(u"Value", part.Text);
    switch (part.PartKind) {
      case mpElementLink:
        chars->WriteString(u"Elements", part.Target);
        break;
      case mpFileLink:
        chars->WriteString(u"FileName", part.Target);
        break;
      case mpSettingsLink:
        chars->WriteString(u"Settings", part.Target);
        break;
      default:
        break;
    }
  }

  if (sheet) sheet->BeginUpdate();
  try {
    TSchemeTextorInteractive* interactive = Interactive();
    TTextor* textor = Textor();
    const bool caretAtEnd =
        !interactive || interactive->CaretIndex() == textor->PositionToIndex(textor->GetEndPosition());
    TIndexRange selection;
    bool caretAtStart = false;
    if (!caretAtEnd) {
      selection = interactive->SelectionIndex();
      caretAtStart = interactive->CaretIndex() == selection.Start && !(selection.Start == selection.End);
    }
    TTextRange inserted;
    InsertContent(content.get(), fmDocument, inserted, textor->GetEndPosition(), {});
    if (TSchemeTextorInteractive* now = Interactive()) {
      if (caretAtEnd) {
        now->SetCaretPosition(textor->GetEndPosition());
      } else {
        TTextRange range;
        if (textor->IndexRangeToRange(selection, range)) now->SelectRange(range, caretAtStart);
      }
    }
  } catch (...) {
    if (sheet) sheet->EndUpdate();
    throw;
  }
  if (sheet) {
    sheet->EndUpdate();
    sheet->SetScreenPos({0, sheet->ScreenPos().Y});
  }
  if (OnChange) OnChange(this);
}

void TLogRoot::MessagesCleared(TElementMessages* ASender) {
  Clear();
  if (OnChange) OnChange(this);
}

void TLogRoot::ActivateLink(TPortion* APortion) {
  TTextorElement::ActivateLink(APortion);
  TextChangedFlag = false;
  TTextAttributes* attributes = APortion->GetAttributes();
  if (!attributes) return;
  // Copied: a handler may change the text and free the portion with its attributes.
  const std::u16string target = attributes->LinkTarget();
  if (target.empty()) return;
  const std::u16string_view rest = std::u16string_view(target).substr(1);
  switch (target[0]) {
    case u'E':
      if (OnElementsLink) OnElementsLink(this, ParseIdentifiers(rest));
      break;
    case u'F':
      if (OnFileLink) OnFileLink(this, std::u16string(rest));
      break;
    case u'S':
      if (OnSettingsLink)
        OnSettingsLink(this, std::u16string(rest));
      else if (TSettingsLinkHandler handler = SettingsLinkHandler())
        handler(std::u16string(rest));
      else
        ElementBeep();
      break;
    default:
      break;
  }
  if (TextChangedFlag) return;
  auto* rich = dynamic_cast<TRichTextAttributes*>(APortion->GetAttributes());
  if (!rich || rich->TextColor() == VisitedLinkColor) return;
  TRichTextAttributes visited;
  visited.Assign(*rich);
  visited.SetColor(VisitedLinkColor);
  // Straight on the portion: the log keeps no undo history, and a visited link is no edit.
  Textor()->BeginUpdate();
  APortion->SetAttributes(MakeShared(visited));
  Textor()->EndUpdate();
  Invalidate();
}

TTextAttributes* TLogRoot::GetLinkAttributes(TKnot* AKnot) {
  std::u16string target;
  if (TKnotParam* p = AKnot->FindParam(u"FileName")) {
    target = u"F" + p->Value();
    p->SetUsed(true);
  } else if (TKnotParam* p = AKnot->FindParam(u"Elements")) {
    target = u"E" + p->Value();
    p->SetUsed(true);
  } else if (TKnotParam* p = AKnot->FindParam(u"Settings")) {
    target = u"S" + p->Value();
    p->SetUsed(true);
  } else {
    return TTextorElement::GetLinkAttributes(AKnot);
  }
  TRichTextAttributes link;
  if (TTextAttributes* base = GetTextAttributes()) link.Assign(*base);
  link.SetColor(LinkColor);
  link.SetStyle(static_cast<uint8_t>(link.Style() | fsUnderline));
  link.SetLink(1, std::move(target));
  return MakeShared(link);
}

TTextAttributes* TLogRoot::GetTextAttributes() {
  if (TRichTextAttributes* attributes = LogAttributes().get()) return attributes;
  return TTextorElement::GetTextAttributes();
}

void TLogRoot::TextChanged() {
  TextChangedFlag = true;
  TTextorElement::TextChanged();
}

void TLogRoot::GetChildClasses(TElementClassList& AList) {
  AList.push_back(&TElement_Sign::ClassInfo);
  TTextorElement::GetChildClasses(AList);
}

void TLogRoot::GetPadding(TRect& ARect) { ARect = Sheet() ? Sheet()->Canvas()->GetThemePadding(teSheet) : TRect(); }
