// What the timed typing benchmarks share: the notes they type into and the rectangles a sheet asks to repaint.
#pragma once

#include "document/model/diSheet.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"

#include <algorithm>
#include <cstdint>

// The invalid rectangles a sheet reports.
class TRepaints {
 public:
  explicit TRepaints(TSheet* ASheet) : FSheet(ASheet) { FSheet->AddNotifyEvent(MakeMethod<&TRepaints::Handler>(this)); }
  ~TRepaints() { FSheet->RemoveNotifyEvent(MakeMethod<&TRepaints::Handler>(this)); }

  // The union of what was invalidated since the last call, clipped to the view.
  TRect Take(const TRect& AView) {
    TRect r = FAll ? AView : FUnion;
    FUnion = TRect();
    FAll = false;
    r.Left = std::max(r.Left, AView.Left);
    r.Top = std::max(r.Top, AView.Top);
    r.Right = std::min(r.Right, AView.Right);
    r.Bottom = std::min(r.Bottom, AView.Bottom);
    return r;
  }

 private:
  void Handler(TObject*, intptr_t ANotify, intptr_t AParam1, intptr_t) {
    if (ANotify != snRepaint) return;
    if (!AParam1) {
      FAll = true;
      return;
    }
    const TRect& r = *reinterpret_cast<const TRect*>(AParam1);
    if (FUnion.Left >= FUnion.Right || FUnion.Top >= FUnion.Bottom) {
      FUnion = r;
    } else {
      FUnion.Left = std::min(FUnion.Left, r.Left);
      FUnion.Top = std::min(FUnion.Top, r.Top);
      FUnion.Right = std::max(FUnion.Right, r.Right);
      FUnion.Bottom = std::max(FUnion.Bottom, r.Bottom);
    }
  }

  TSheet* FSheet;
  TRect FUnion;
  bool FAll = false;
};

// AParagraphs lines of text, an embedded element (the tests' "VisualLeaf") in every AElementEvery-th, as content for
// the plain root.
inline TNodePtr<TKnot> DocumentContent(int AParagraphs, int AElementEvery = 10) {
  TNodePtr<TKnot> content(new TKnot(std::u16string(ContentKnotName)));
  content->SetAddedOptions(content->AddedOptions() | koOrderedChildren);
  for (int i = 0; i < AParagraphs; ++i) {
    content->AddKnot(u"Chars")->WriteString(u"Value", u"Paragraph " + IntToStr(i) + u" of the notes, with some words");
    if (i % AElementEvery == 0) content->AddKnot(u"VisualLeaf")->WriteString(u"Text", u"e");
    if (i + 1 < AParagraphs) content->AddKnot(u"Br");
  }
  return content;
}
