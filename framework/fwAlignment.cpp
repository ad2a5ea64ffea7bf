#include "framework/fwAlignment.h"

#include <algorithm>

#include "framework/fwControls.h"

void TAlignment::Place(const std::vector<TControl*>& AChildren, RECT& ARect, const RECT& AClient) {
  auto aligned = [&](TAlign AAlign) {
    std::vector<TControl*> list;
    for (TControl* c : AChildren)
      if (c->FVisible && c->FAlign == AAlign) list.push_back(c);
    return list;
  };
  auto width = [&] { return std::max<int>(ARect.right - ARect.left, 0); };
  auto height = [&] { return std::max<int>(ARect.bottom - ARect.top, 0); };

  std::vector<TControl*> list = aligned(TAlign::alTop);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->Top() < b->Top(); });
  for (TControl* c : list) {
    c->SetBounds(ARect.left, ARect.top, width(), c->Height());
    ARect.top += c->Height();
  }
  list = aligned(TAlign::alBottom);
  std::stable_sort(list.begin(), list.end(),
                   [](TControl* a, TControl* b) { return a->Top() + a->Height() > b->Top() + b->Height(); });
  for (TControl* c : list) {
    c->SetBounds(ARect.left, ARect.bottom - c->Height(), width(), c->Height());
    ARect.bottom -= c->Height();
  }
  list = aligned(TAlign::alLeft);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
  for (TControl* c : list) {
    c->SetBounds(ARect.left, ARect.top, c->Width(), height());
    ARect.left += c->Width();
  }
  list = aligned(TAlign::alRight);
  std::stable_sort(list.begin(), list.end(),
                   [](TControl* a, TControl* b) { return a->Left() + a->Width() > b->Left() + b->Width(); });
  for (TControl* c : list) {
    c->SetBounds(ARect.right - c->Width(), ARect.top, c->Width(), height());
    ARect.right -= c->Width();
  }
  for (TControl* c : aligned(TAlign::alClient)) c->SetBounds(ARect.left, ARect.top, width(), height());

  for (TControl* c : AChildren)
    if (c->FAlign == TAlign::alNone && c->FAnchors != (akLeft | akTop)) PlaceAnchored(c, AClient);
}

void TAlignment::PlaceAnchored(TControl* AControl, const RECT& AClient) {
  const TAnchors anchors = AControl->FAnchors;
  const RECT b = AControl->FAnchorBounds;
  const int dx = (AClient.right - AClient.left) - AControl->FAnchorParentSize.cx;
  const int dy = (AClient.bottom - AClient.top) - AControl->FAnchorParentSize.cy;
  int left = b.left, top = b.top, w = b.right - b.left, h = b.bottom - b.top;
  if (anchors.Contains(akRight)) {
    if (anchors.Contains(akLeft))
      w += dx;
    else
      left += dx;
  } else if (!anchors.Contains(akLeft)) {
    left += dx / 2;
  }
  if (anchors.Contains(akBottom)) {
    if (anchors.Contains(akTop))
      h += dy;
    else
      top += dy;
  } else if (!anchors.Contains(akTop)) {
    top += dy / 2;
  }
  AControl->SetBounds(left, top, w, h);
}
