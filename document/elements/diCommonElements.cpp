#include "document/elements/diCommonElements.h"

#include "document/elements/diDataElement.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "document/model/diThemes.h"
#include "foundation/cuLocalization.h"

#include <algorithm>
#include <array>
#include <cstdint>

int CommonElementsSmallImagesIndex = 0;
int SignsClassesGroup = -1;
TPaletteGroup* PaletteSignsGroup = nullptr;

namespace {

// The class group comments offer besides the one every rich text offers.
constexpr int CommentClassesGroup = 1;

// Palette items of the unit outside its own group, freed with it.
TElementPaletteItem* PaletteCommentItem = nullptr;
TElementPaletteItem* PaletteLogicFrameItem = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Comments

const TElementClassInfo TCustomCommentElement::ClassInfo{u"TCustomCommentElement", &TTextorElement::ClassInfo, nullptr};

TCustomCommentElement::TCustomCommentElement(TScheme* AScheme) : TTextorElement(AScheme) {
  SetTextorOptions(xoRich | xoLinks | xoCommentFont);
  // Free text: the character checks have nothing to say about a note.
  SetTextOptions(AnyTextOptions);
}

TElementClass TCustomCommentElement::GetDataClass() { return &TElement_Image::ClassInfo; }

bool TCustomCommentElement::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  if (TTextorElement::HandleMessage(AMsg, AParam1, AParam2)) return true;
  if (AMsg != nmAskDataClass || !AParam1) return false;
  const TElementClass dataClass = GetDataClass();
  if (!dataClass) return false;
  *reinterpret_cast<TElementClass*>(AParam1) = dataClass;
  return true;
}

bool TCustomCommentElement::GetFrameThemeElement(int& AIndex) {
  AIndex = teComment;
  return true;
}

void TCustomCommentElement::GetChildClasses(TElementClassList& AList) {
  TTextorElement::GetChildClasses(AList);
  if (ClassesGroups && ClassesGroups->Count() > CommentClassesGroup)
    AddListUnique(AList, ClassesGroups->GetGroup(CommentClassesGroup));
}

const TElementClassInfo TElement_Comment::ClassInfo{u"TElement_Comment", &TCustomCommentElement::ClassInfo,
                                                    &ElementFactory<TElement_Comment>};

TElement_Comment::TElement_Comment(TScheme* AScheme) : TCustomCommentElement(AScheme) {
  SetVisualOptions(VisualOptions() | voCanBeDisabled);
  SetTextorOptions(TextorOptions() | xoEmptyKeepsWidth | xoWrap720);
}

TVisualElement* TElement_Comment::GetNavigationParent() {
  if (TVisualElement* described = GetDescribedElement(this)) return described;
  return TCustomCommentElement::GetNavigationParent();
}

bool TElement_Comment::ComputeVisible() {
  if (TVisualElement* described = GetDescribedElement(this); described && !described->IsVisible()) return false;
  return TCustomCommentElement::ComputeVisible();
}

// ---------------------------------------------------------------------------------------------------------------
// Logic frames

const TElementClassInfo TLogicFrameCaptionField::ClassInfo{
    u"TLogicFrameCaptionField", &TCustomCommentElement::ClassInfo, &ElementFactory<TLogicFrameCaptionField>};

const TElementClassInfo TLogicFrameContentContainer::ClassInfo{
    u"TLogicFrameContentContainer", &TTitledTextContainer::ClassInfo, &ElementFactory<TLogicFrameContentContainer>};

const TElementClassInfo TElement_LogicFrame::ClassInfo{u"TElement_LogicFrame", &TTitledElementWithContent::ClassInfo,
                                                       &ElementFactory<TElement_LogicFrame>};

TElement_LogicFrame::TElement_LogicFrame(TScheme* AScheme)
    : TTitledElementWithContent(AScheme, &TElement_Comment::ClassInfo, &TLogicFrameContentContainer::ClassInfo) {
  SetTitleFlags(TitleFlags() | tlCommand);
  // The content takes its storage, fonts and child classes from the text around the frame.
  auto* content = static_cast<TTextorElement*>(Content());
  content->SetTextorOptions(content->TextorOptions() | xoHosted);
  // Stored after the content, but visited before it: it is in the title row above.
  FCaption = static_cast<TLogicFrameCaptionField*>(
      CreatePartAt(&TLogicFrameCaptionField::ClassInfo, this, nullptr, this, Content()));
  FCaption->SetTextorOptions(FCaption->TextorOptions() | xoEmptyKeepsWidth | xoWrap480);
}

void TElement_LogicFrame::WriteTitle(TTitleWriter& AWriter) {
  AWriter.AddGap(2);
  TTitledElement::WriteTitle(AWriter);
  AWriter.AddElement(FCaption, taCenter);
  WriteContent(AWriter);
}

void TElement_LogicFrame::GetPartHint(TElement* APart, std::u16string& AText) {
  if (APart && APart == FCaption) {
    AText = FormatLocStrOr(IdLogicFrameCaptionHint, u"Description of the data included in the Logic Frame.", {});
    return;
  }
  TTitledElementWithContent::GetPartHint(APart, AText);
}

void TElement_LogicFrame::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (APart && APart == FCaption)
    AName = u"Caption";
  else
    TTitledElementWithContent::GetPartNodeName(APart, AFiler, AName);
}

void TElement_LogicFrame::GetPadding(TRect& ARect) {
  if (!IsExpanded()) {
    ARect = TRect();
    return;
  }
  TTitledElementWithContent::GetPadding(ARect);
}

int TElement_LogicFrame::GetThemeElement() { return teLogicFrame; }

void TElement_LogicFrame::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  TTitledElementWithContent::Paint(ACanvas, AFlags);
  if (IsExpanded()) {
    TRect frame;
    GetClientRect(frame);
    frame.Top = FCaption->Top() + FCaption->Baseline() / 2;
    ACanvas->DrawThemeElement(teLogicFrame, frame);
  }
  // The caption's background reaches back under the button, so both read as one tab.
  const TVisualElement* button = ExpandButton();
  const TRect caption = FCaption->GetBoundsRect();
  TRect tab = caption;
  if (button) {
    tab.Left = button->Left();
    tab.Top = std::min(caption.Top, button->Top());
    tab.Bottom = std::max(caption.Bottom, button->Top() + button->Height());
  }
  ACanvas->DrawThemeElement(teComment, tab);
}

bool TElement_LogicFrame::IsDefault(TSchemeSaver* ASaver, TKnot* AKnot) {
  static_cast<TTextorElement*>(Content())->IterateRange(ASaver, AKnot, nullptr);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Signs

const TElementClassInfo TCustomSignElement::ClassInfo{u"TCustomSignElement", &TCustomSmallImageElement::ClassInfo,
                                                      nullptr};

TCustomSignElement::TCustomSignElement(TScheme* AScheme) : TCustomSmallImageElement(AScheme) {
  SetVisualOptions(VisualOptions() - voCanBeDisabled);
}

namespace {

// Offsets in the strip; 0 and 1 are the palette pictures of the comment and the logic frame.
enum : int {
  ofsComment = 0,
  ofsLogicFrame = 1,
  ofsStar = 2,
  ofsInformation = 3,
  ofsQuestion = 4,
  ofsImportant = 5,
  ofsReady = 6,
  ofsStop = 7,
};

}  // namespace

const TElementClassInfo TElement_Star::ClassInfo{u"TElement_Star", &TCustomSignElement::ClassInfo,
                                                 &ElementFactory<TElement_Star>};
int TElement_Star::GetImageIndex() { return CommonElementsSmallImagesIndex + ofsStar; }

const TElementClassInfo TElement_Information::ClassInfo{u"TElement_Information", &TCustomSignElement::ClassInfo,
                                                        &ElementFactory<TElement_Information>};
int TElement_Information::GetImageIndex() { return CommonElementsSmallImagesIndex + ofsInformation; }

const TElementClassInfo TElement_Question::ClassInfo{u"TElement_Question", &TCustomSignElement::ClassInfo,
                                                     &ElementFactory<TElement_Question>};
int TElement_Question::GetImageIndex() { return CommonElementsSmallImagesIndex + ofsQuestion; }

const TElementClassInfo TElement_Important::ClassInfo{u"TElement_Important", &TCustomSignElement::ClassInfo,
                                                      &ElementFactory<TElement_Important>};
int TElement_Important::GetImageIndex() { return CommonElementsSmallImagesIndex + ofsImportant; }

const TElementClassInfo TElement_Ready::ClassInfo{u"TElement_Ready", &TCustomSignElement::ClassInfo,
                                                  &ElementFactory<TElement_Ready>};
int TElement_Ready::GetImageIndex() { return CommonElementsSmallImagesIndex + ofsReady; }

const TElementClassInfo TElement_Stop::ClassInfo{u"TElement_Stop", &TCustomSignElement::ClassInfo,
                                                 &ElementFactory<TElement_Stop>};
int TElement_Stop::GetImageIndex() { return CommonElementsSmallImagesIndex + ofsStop; }

// ---------------------------------------------------------------------------------------------------------------
// Start-up

namespace {

struct TSignEntry {
  TElementClass Class;
  int32_t Weight;
  int Offset;
  int Caption;
  int Hint;
};

// In the order of the "Signs" group, heaviest first.
const std::array<TSignEntry, 6> SignEntries{{
    {&TElement_Information::ClassInfo, 40, ofsInformation, IdPaletteInformation, IdPaletteInformationHint},
    {&TElement_Question::ClassInfo, 35, ofsQuestion, IdPaletteQuestion, IdPaletteQuestionHint},
    {&TElement_Star::ClassInfo, 32, ofsStar, IdPaletteStar, IdPaletteStarHint},
    {&TElement_Important::ClassInfo, 30, ofsImportant, IdPaletteImportant, IdPaletteImportantHint},
    {&TElement_Stop::ClassInfo, 20, ofsStop, IdPaletteStop, IdPaletteStopHint},
    {&TElement_Ready::ClassInfo, 10, ofsReady, IdPaletteReady, IdPaletteReadyHint},
}};

// The class group every rich text offers.
constexpr int RichTextClassesGroup = 0;

void RemoveFromGroup(int AGroup, TElementClass AClass) {
  if (!ClassesGroups || AGroup < 0 || AGroup >= ClassesGroups->Count()) return;
  TElementClassList& group = ClassesGroups->GetGroup(AGroup);
  group.erase(std::remove(group.begin(), group.end(), AClass), group.end());
}

}  // namespace

void InitializeCommonElements() {
  if (SchemeSmallImages)
    CommonElementsSmallImagesIndex = SchemeSmallImages->AddFromResource(u"diCommonElementsSmallImages");
  if (ClassesGroups) {
    SignsClassesGroup = ClassesGroups->Add();
    AddUnique(ClassesGroups->GetGroup(RichTextClassesGroup), &TElement_Comment::ClassInfo);
    AddUnique(ClassesGroups->GetGroup(RichTextClassesGroup), &TElement_LogicFrame::ClassInfo);
    AddUnique(ClassesGroups->GetGroup(CommentClassesGroup), &TElement_LogicFrame::ClassInfo);
    for (const TSignEntry& sign : SignEntries) {
      AddUnique(ClassesGroups->GetGroup(CommentClassesGroup), sign.Class);
      AddUnique(ClassesGroups->GetGroup(SignsClassesGroup), sign.Class);
    }
  }
  if (!Palette) return;
  const int first = CommonElementsSmallImagesIndex;
  PaletteCommentItem = new TElementPaletteItem(PaletteAdditionalGroup, 1000, &TElement_Comment::ClassInfo,
                                               IdPaletteComment, IdPaletteCommentHint, first + ofsComment, {});
  PaletteLogicFrameItem =
      new TElementPaletteItem(PaletteAdditionalGroup, 900, &TElement_LogicFrame::ClassInfo, IdPaletteLogicFrame,
                              IdPaletteLogicFrameHint, first + ofsLogicFrame, pfBlockInsertion);
  PaletteLogicFrameItem->SetKeyText(u"L");
  PaletteSignsGroup = new TPaletteGroup(Palette.get(), 1500, IdPaletteSigns);
  for (const TSignEntry& sign : SignEntries)
    new TElementPaletteItem(PaletteSignsGroup, sign.Weight, sign.Class, sign.Caption, sign.Hint, first + sign.Offset,
                            pfNoCaption);
}

void FinalizeCommonElements() {
  if (PaletteSignsGroup) PaletteSignsGroup->Free();
  if (PaletteCommentItem) PaletteCommentItem->Free();
  if (PaletteLogicFrameItem) PaletteLogicFrameItem->Free();
  PaletteSignsGroup = nullptr;
  PaletteCommentItem = PaletteLogicFrameItem = nullptr;
  RemoveFromGroup(RichTextClassesGroup, &TElement_Comment::ClassInfo);
  RemoveFromGroup(RichTextClassesGroup, &TElement_LogicFrame::ClassInfo);
  RemoveFromGroup(CommentClassesGroup, &TElement_LogicFrame::ClassInfo);
  for (const TSignEntry& sign : SignEntries) RemoveFromGroup(CommentClassesGroup, sign.Class);
  SignsClassesGroup = -1;
  CommonElementsSmallImagesIndex = 0;
}
