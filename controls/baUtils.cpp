#include "controls/baUtils.h"

#include <algorithm>
#include <climits>

#include "framework/fwForms.h"
#include "framework/fwGraphics.h"
#include "framework/fwMessages.h"
#include "framework/fwRuntime.h"
#include "framework/fwThemes.h"

TCustomForm* FindParentForm(TComponent* AComponent) {
  for (TComponent* c = AComponent; c; c = c->Owner())
    if (auto* form = dynamic_cast<TCustomForm*>(c)) return form;
  return nullptr;
}

void SetScrollBarRange(HWND AWnd, int ABar, int AMin, int AMax, int APage, bool ADisableNoScroll) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | (ADisableNoScroll ? SIF_DISABLENOSCROLL : 0);
  info.nMin = AMin;
  info.nMax = AMax;
  info.nPage = static_cast<UINT>(std::max(APage, 0));
  SetScrollInfo(AWnd, ABar, &info, TRUE);
}

int ScrollCodeToPos(HWND AWnd, int ABar, int ACode, int APos, int ALine, int APage) {
  switch (ACode) {
    case SB_LINEUP:
      return APos - ALine;
    case SB_LINEDOWN:
      return APos + ALine;
    case SB_PAGEUP:
      return APos - APage;
    case SB_PAGEDOWN:
      return APos + APage;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      SCROLLINFO info{};
      info.cbSize = sizeof(info);
      info.fMask = SIF_ALL;
      GetScrollInfo(AWnd, ABar, &info);
      return info.nTrackPos;
    }
    case SB_TOP:
      return 0;
    case SB_BOTTOM:
      return INT_MAX;
    default:
      return APos;
  }
}

// ---------------------------------------------------------------------------------------------------------------

TBufPainter::TBufPainter(TCanvas& ACanvas, const RECT& ARect) : FTarget(ACanvas.Handle()) { Create(ARect); }

TBufPainter::TBufPainter(HDC ATarget, const RECT& ARect) : FTarget(ATarget) { Create(ARect); }

void TBufPainter::Create(const RECT& ARect) {
  RECT clip{};
  if (GetClipBox(FTarget, &clip) == ERROR || !IntersectRect(&FRect, &clip, &ARect)) {
    FRect = RECT{};
    return;
  }
  FDC = CreateCompatibleDC(FTarget);
  if (!FDC) RaiseLastOSError(u"Buffer context");
  FBitmap = CreateCompatibleBitmap(FTarget, FRect.right - FRect.left, FRect.bottom - FRect.top);
  if (!FBitmap) {
    DeleteDC(FDC);
    RaiseLastOSError(u"Buffer bitmap");
  }
  FOldBitmap = SelectObject(FDC, FBitmap);
  SetViewportOrgEx(FDC, -FRect.left, -FRect.top, nullptr);
}

TBufPainter::~TBufPainter() {
  if (!FDC) return;
  SetViewportOrgEx(FDC, 0, 0, nullptr);
  BitBlt(FTarget, FRect.left, FRect.top, FRect.right - FRect.left, FRect.bottom - FRect.top, FDC, 0, 0, SRCCOPY);
  SelectObject(FDC, FOldBitmap);
  DeleteDC(FDC);
  DeleteObject(FBitmap);
}

// ---------------------------------------------------------------------------------------------------------------

TBorderedControl::TBorderedControl(TComponent* AOwner) : TCustomControl(AOwner) {}

void TBorderedControl::SetBorderStyle(TControlBorderStyle AValue) {
  if (AValue == FBorderStyle) return;
  FBorderStyle = AValue;
  TControlStyle style = ControlStyle();
  style.Set(csNeedsBorderPaint, AValue == TControlBorderStyle::bsTheme);
  SetControlStyle(style);
  RecreateWnd();
}

void TBorderedControl::InvalidateRect(const RECT& ARect) { TWinControl::InvalidateRect(ARect, false); }

void TBorderedControl::DoShowHint(bool& ACanShow, THintInfo& AHintInfo) {
  if (OnShowHint) OnShowHint(this, ACanShow, AHintInfo);
}

void TBorderedControl::CreateParams(TCreateParams& AParams) {
  TCustomControl::CreateParams(AParams);
  if (FBorderStyle == TControlBorderStyle::bsNone) return;
  // With visual styles a 3-D border is the client edge the theme paints; a plain line otherwise.
  if (Ctl3D() && ThemeServices && ThemeServices->Enabled()) {
    AParams.Style &= ~static_cast<DWORD>(WS_BORDER);
    AParams.ExStyle |= WS_EX_CLIENTEDGE;
  } else {
    AParams.Style |= WS_BORDER;
  }
}

void TBorderedControl::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CM_CTL3DCHANGED:
      if (FBorderStyle != TControlBorderStyle::bsNone && ThemeServices && ThemeServices->Enabled()) RecreateWnd();
      break;
    case CM_HINTSHOW: {
      bool canShow = true;
      DoShowHint(canShow, *LParamObject<THintInfo>(AMessage));
      if (!canShow) {
        AMessage.Answer(1);
        return;
      }
      break;
    }
    default:
      break;
  }
  TCustomControl::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------

TTransparencyControl::TTransparencyControl(TComponent* AOwner) : TBorderedControl(AOwner) {
  SetControlStyle(ControlStyle() | csOpaque);
}

void TTransparencyControl::SetTransparent(bool AValue) {
  if (AValue == FTransparent) return;
  FTransparent = AValue;
  TControlStyle style = ControlStyle();
  style.Set(csOpaque, !AValue);
  SetControlStyle(style);
  RecreateWnd();
}

void TTransparencyControl::CreateParams(TCreateParams& AParams) {
  TBorderedControl::CreateParams(AParams);
  if (FTransparent) AParams.ExStyle |= WS_EX_TRANSPARENT;
}

void TTransparencyControl::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_ERASEBKGND:
      // An opaque control paints all of itself: erasing first would only flicker.
      if (!FTransparent) {
        AMessage.Answer(1);
        return;
      }
      break;
    case WM_WINDOWPOSCHANGED:
      TBorderedControl::WndProc(AMessage);
      // What shows through changed with the place.
      if (FTransparent && !IsDestroying()) Invalidate();
      return;
    default:
      break;
  }
  TBorderedControl::WndProc(AMessage);
}
