// The tree view of the settings dialog's page list: state-image check boxes that report clicks, node info tips
// the owner fills, selection by any mouse button, and double clicks only on nodes.
#pragma once

#include <string>

#include "framework/fwTreeView.h"

class TTreeViewEx : public TCustomTreeView {
 public:
  // The selection stays visible without the focus, and labels are not editable.
  explicit TTreeViewEx(TComponent* AOwner);

  // A change makes the window again.
  bool Checkboxes() const { return FCheckboxes; }
  void SetCheckboxes(bool AValue);

  // While assigned the window asks for info tips (TVS_INFOTIP).
  const TTVInfoTipEvent& OnInfoTip() const { return FOnInfoTip; }
  void SetOnInfoTip(TTVInfoTipEvent AValue);

  // A node's check box was clicked or toggled with Space; the control itself toggles the state.
  TTVChangedEvent OnClickCheck;

 protected:
  virtual void DoInfoTip(TTreeNode* ANode, std::u16string& AInfoTip);
  virtual void ClickCheck(TTreeNode* ANode);

  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void WndProc(TMessage& AMessage) override;
  void KeyPress(char16_t& AKey) override;

 private:
  void ButtonDown(TMessage& AMessage, bool ALeft);
  void HintShow(THintInfo& AInfo);

  bool FCheckboxes = false;
  TTVInfoTipEvent FOnInfoTip;
};
