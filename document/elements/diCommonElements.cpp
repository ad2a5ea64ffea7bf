#include "document/elements/diCommonElements.h"

#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diThemes.h"

#include <algorithm>

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

const TElementClassInfo TCustomCommentElement::ClassInfo{u"TCustomCommentElement", &TTextorElement::ClassInfo,
                                                         nullptr};

TCustomCommentElement::TCustomCommentElement(TScheme* AScheme) : TTextorElement(AScheme) {
  SetTextorOptions(xoRich | xoLinks | xoCommentFont);
  // Free text: the character checks have nothing to say about a note.
  SetTextOptions(AnyTextOptions);
}

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

// ---------------------------------------------------------------------------------------------------------------
// Start-up

namespace {

void RemoveFromGroup(int AGroup, TElementClass AClass) {
  if (!ClassesGroups || AGroup < 0 || AGroup >= ClassesGroups->Count()) return;
  TElementClassList& group = ClassesGroups->GetGroup(AGroup);
  group.erase(std::remove(group.begin(), group.end(), AClass), group.end());
}

}  // namespace

void InitializeCommonElements() {
  if (SchemeSmallImages) CommonElementsSmallImagesIndex = SchemeSmallImages->AddFromResource(u"diCommonElementsSmallImages");
  if (ClassesGroups) {
    SignsClassesGroup = ClassesGroups->Add();
    AddUnique(ClassesGroups->GetGroup(0), &TElement_Comment::ClassInfo);
  }
  if (!Palette) return;
  PaletteCommentItem = new TElementPaletteItem(PaletteAdditionalGroup, 1000, &TElement_Comment::ClassInfo,
                                               IdPaletteComment, IdPaletteCommentHint,
                                               CommonElementsSmallImagesIndex, {});
  PaletteSignsGroup = new TPaletteGroup(Palette.get(), 1500, IdPaletteSigns);
}

void FinalizeCommonElements() {
  if (PaletteSignsGroup) PaletteSignsGroup->Free();
  if (PaletteCommentItem) PaletteCommentItem->Free();
  if (PaletteLogicFrameItem) PaletteLogicFrameItem->Free();
  PaletteSignsGroup = nullptr;
  PaletteCommentItem = PaletteLogicFrameItem = nullptr;
  RemoveFromGroup(0, &TElement_Comment::ClassInfo);
  SignsClassesGroup = -1;
  CommonElementsSmallImagesIndex = 0;
}
