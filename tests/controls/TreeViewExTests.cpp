// The extended tree view on a shown form, driven by SendInput and posted keys: selection by the right button,
// double clicks only on nodes, check-box reports with and without Checkboxes, its creation styles and the info tip
// its owner fills shown as the hint.
#include <gtest/gtest.h>

#include <string>

#include "controls/baTreeViewEx.h"
#include "framework/fwHints.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class TTreeForm : public TForm {
 public:
  TTreeForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), FJournal(AJournal) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 240, 240);
  }
  void Rebuild(TJournal*) {
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
    NewInto(Tree, this);
    Tree->SetBounds(0, 0, 200, 200);
    Tree->SetParent(this);
    for (const char16_t* text : {u"alpha", u"beta", u"gamma"}) Tree->Items().Add(nullptr, text);
    Tree->OnDblClick = MakeMethod<&TTreeForm::DoubleClicked>(this);
    Tree->OnClickCheck = MakeMethod<&TTreeForm::Checked>(this);
  }
  void DoubleClicked(TObject*) { FJournal->push_back("double click"); }
  void Checked(TObject*, TTreeNode* ANode) {
    FJournal->push_back("check " + std::string(ANode->Text().begin(), ANode->Text().end()));
  }
  void InfoTip(TObject*, TTreeNode*, std::u16string& ATip) { ATip = u"about " + ATip; }

  TTreeViewEx* Tree = nullptr;

 private:
  TJournal* FJournal;
};

using TreeViewExTest = SharedFormTest<TTreeForm>;

void MouseAt(TControl& AControl, POINT AClient) {
  const POINT screen = AControl.ClientToScreen(AClient);
  SetCursorPos(screen.x, screen.y);
  Application->ProcessMessages();
}

void Button(DWORD ADownFlag, DWORD AUpFlag) {
  INPUT input[2]{};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = ADownFlag;
  input[1].mi.dwFlags = AUpFlag;
  SendInput(2, input, sizeof(INPUT));
  Application->ProcessMessages();
}

void LeftClick() { Button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }

POINT Centre(const RECT& ARect) { return POINT{(ARect.left + ARect.right) / 2, (ARect.top + ARect.bottom) / 2}; }

// The first point left of the node's text where the control reports its state icon.
bool StateIconPoint(TTreeViewEx& ATree, TTreeNode& ANode, POINT& APoint) {
  const RECT text = ANode.DisplayRect(true);
  const int y = (text.top + text.bottom) / 2;
  for (int x = 0; x < text.left; ++x)
    if (ATree.GetHitTestInfoAt(x, y).Contains(htOnStateIcon)) {
      APoint = POINT{x + 3, y};
      return ATree.GetHitTestInfoAt(APoint.x, y).Contains(htOnStateIcon);
    }
  return false;
}

}  // namespace

TEST_F(TreeViewExTest, CreationStylesKeepTheSelectionShownAndLabelsFixed) {
  const LONG_PTR style = GetWindowLongPtrW(form->Tree->Handle(), GWL_STYLE);
  EXPECT_FALSE(style & TVS_EDITLABELS);
  EXPECT_TRUE(style & TVS_SHOWSELALWAYS);
  EXPECT_FALSE(style & TVS_CHECKBOXES);
  form->Tree->SetCheckboxes(true);
  EXPECT_TRUE(GetWindowLongPtrW(form->Tree->Handle(), GWL_STYLE) & TVS_CHECKBOXES);
  EXPECT_EQ(form->Tree->Items().Count(), 3);
}

TEST_F(TreeViewExTest, TheRightButtonSelectsItsNodeAndDoubleClicksCountOnlyOnNodes) {
  TTreeViewEx& tree = *form->Tree;
  TTreeNode* gamma = tree.Items().Item(2);
  tree.SetSelected(tree.Items().Item(0));
  MouseAt(tree, Centre(gamma->DisplayRect(true)));
  Button(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  EXPECT_EQ(tree.Selected(), gamma);

  journal.clear();
  MouseAt(tree, POINT{100, 180});  // below the last node
  LeftClick();
  LeftClick();
  EXPECT_TRUE(journal.empty());
  Sleep(GetDoubleClickTime() + 50);
  Application->ProcessMessages();
  MouseAt(tree, Centre(tree.Items().Item(1)->DisplayRect(true)));
  LeftClick();
  LeftClick();
  EXPECT_EQ(journal, (TJournal{"double click"}));
}

TEST_F(TreeViewExTest, SpaceAndStateIconClicksReportTheNodeOnlyWithCheckboxes) {
  TTreeViewEx& tree = *form->Tree;
  for (bool checkboxes : {true, false}) {
    SCOPED_TRACE(checkboxes);
    tree.SetCheckboxes(checkboxes);
    TTreeNode* beta = tree.Items().Item(1);
    tree.SetSelected(beta);
    tree.SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return tree.Focused(); }, 2000));
    journal.clear();
    PressKey(tree.Handle(), VK_SPACE);
    POINT icon{};
    if (checkboxes) {
      ASSERT_TRUE(StateIconPoint(tree, *tree.Items().Item(2), icon));
    } else {
      const RECT text = tree.Items().Item(2)->DisplayRect(true);
      icon = POINT{text.left - 8, (text.top + text.bottom) / 2};
    }
    MouseAt(tree, icon);
    LeftClick();
    Sleep(GetDoubleClickTime() + 50);
    Application->ProcessMessages();
    EXPECT_EQ(journal, checkboxes ? (TJournal{"check beta", "check gamma"}) : TJournal{});
  }
}

TEST_F(TreeViewExTest, TheOwnersInfoTipShowsAsTheHintBesideItsNode) {
  TTreeViewEx& tree = *form->Tree;
  tree.SetShowHint(true);
  tree.SetOnInfoTip(MakeMethod<&TTreeForm::InfoTip>(form));
  EXPECT_TRUE(GetWindowLongPtrW(tree.Handle(), GWL_STYLE) & TVS_INFOTIP);
  TTreeNode* beta = tree.Items().Item(1);
  const RECT text = beta->DisplayRect(true);
  const POINT at = Centre(text);
  MouseAt(tree, at);
  Application->ActivateHint(tree.ClientToScreen(at));
  THintWindow* hint = Application->HintWindow();
  ASSERT_NE(hint, nullptr);
  EXPECT_TRUE(hint->Visible());
  EXPECT_EQ(hint->Caption(), u"about beta");
  RECT bounds{};
  GetWindowRect(hint->Handle(), &bounds);
  const POINT expected = tree.ClientToScreen(POINT{text.left + 12, text.top + GetSystemMetrics(SM_CYCURSOR)});
  EXPECT_EQ(bounds.left, expected.x);
  EXPECT_EQ(bounds.top, expected.y);
  Application->CancelHint();
}
