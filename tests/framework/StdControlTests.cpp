// Standard controls on a shown form, driven through the loop: the tree view made again with its nodes, open
// branches and selection, a collapse its handler refuses, the rows an owner-drawn list draws, a splitter dragged
// with the mouse against both minimums, combo boxes chosen from the keyboard in every style, and labels whose
// accelerator focuses their control.
#include <gtest/gtest.h>

#include <map>

#include "framework/fwExtCtrls.h"
#include "framework/fwListBox.h"
#include "framework/fwStdCtrls.h"
#include "framework/fwTreeView.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class TControlsForm : public TForm {
 public:
  TControlsForm(TComponent* AOwner, TJournal*) : TForm(AOwner) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 240, 240);
  }
  void Rebuild(TJournal*) {
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
  }
};

using StdControlTest = SharedFormTest<TControlsForm>;

std::string Narrow(const std::u16string& AText) { return std::string(AText.begin(), AText.end()); }

// A press and release of the left button where the pointer is, from the input queue.
void MouseButton(bool ADown) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = ADown ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof(input));
  Application->ProcessMessages();
}

void MoveMouse(POINT AScreen) {
  SetCursorPos(AScreen.x, AScreen.y);
  Application->ProcessMessages();
}

// The text of the window's item, read from the window itself.
std::u16string WindowItemText(HWND AWindow, HTREEITEM AItem) {
  wchar_t buffer[64] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = AItem;
  item.pszText = buffer;
  item.cchTextMax = 64;
  SendMessageW(AWindow, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return FromWide(buffer);
}

// ---------------------------------------------------------------------------------------------------------------

class TTreeJournal : public TObject {
 public:
  explicit TTreeJournal(TJournal* AJournal) : FJournal(AJournal) {}
  bool AllowCollapse = true;
  void Changed(TObject*, TTreeNode* ANode) { FJournal->push_back("change " + (ANode ? Narrow(ANode->Text()) : "-")); }
  void Collapsing(TObject*, TTreeNode* ANode, bool& AAllow) {
    FJournal->push_back("collapsing " + Narrow(ANode->Text()));
    AAllow = AllowCollapse;
  }

 private:
  TJournal* FJournal;
};

TEST_F(StdControlTest, ATreeViewMadeAgainKeepsItsNodesOpenBranchesAndTheUsersSelectionAndTellsNoChange) {
  TTreeView* tree = nullptr;
  NewInto(tree, form);
  tree->SetBounds(0, 0, 240, 240);
  tree->SetParent(form);
  TTreeJournal events(&journal);
  tree->OnChange = MakeMethod<&TTreeJournal::Changed>(&events);
  int pageA = 0;
  TTreeNode* a = tree->Items().AddChild(nullptr, u"A", &pageA);
  tree->Items().AddChild(a, u"A1");
  TTreeNode* a2 = tree->Items().AddChild(a, u"A2");
  TTreeNode* b = tree->Items().AddChild(nullptr, u"B");
  tree->Items().AddChild(b, u"B1");
  tree->SetSelected(a);
  tree->SetFocus();
  // The user opens A and walks down to A2.
  PressKey(tree->Handle(), VK_RIGHT);
  PressKey(tree->Handle(), VK_DOWN);
  PressKey(tree->Handle(), VK_DOWN);
  ASSERT_EQ(tree->Selected(), a2);
  journal.clear();

  const HWND old = tree->Handle();
  tree->SetRowSelect(true);
  const HWND window = tree->Handle();
  ASSERT_NE(window, old);
  EXPECT_TRUE(journal.empty()) << journal.front();
  EXPECT_EQ(tree->Items().Count(), 5);
  EXPECT_EQ(SendMessageW(window, TVM_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(tree->Selected(), a2);
  EXPECT_EQ(WindowItemText(window, reinterpret_cast<HTREEITEM>(SendMessageW(window, TVM_GETNEXTITEM, TVGN_CARET, 0))),
            u"A2");
  EXPECT_TRUE(a->Expanded());
  EXPECT_FALSE(b->Expanded());
  EXPECT_EQ(a->Data(), &pageA);
  EXPECT_EQ(a2->AbsoluteIndex(), 2);
  EXPECT_EQ(tree->Items().Item(3), b);
  const RECT r = a2->DisplayRect(true);
  EXPECT_EQ(tree->GetNodeAt((r.left + r.right) / 2, (r.top + r.bottom) / 2), a2);
  EXPECT_TRUE(tree->GetHitTestInfoAt((r.left + r.right) / 2, (r.top + r.bottom) / 2).ContainsAny(htOnItem));
  EXPECT_TRUE(PumpUntil([&] { return tree->Focused(); }));

  // The user's next choice is told again.
  PressKey(tree->Handle(), VK_UP);
  EXPECT_EQ(journal, (TJournal{"change A1"}));
}

TEST_F(StdControlTest, ABranchWhoseCollapseIsRefusedStaysOpen) {
  TTreeView* tree = nullptr;
  NewInto(tree, form);
  tree->SetBounds(0, 0, 240, 240);
  tree->SetParent(form);
  TTreeJournal events(&journal);
  tree->OnCollapsing = MakeMethod<&TTreeJournal::Collapsing>(&events);
  TTreeNode* a = tree->Items().AddChild(nullptr, u"A");
  tree->Items().AddChild(a, u"A1");
  a->SetExpanded(true);
  tree->SetSelected(a);
  tree->SetFocus();
  journal.clear();

  events.AllowCollapse = false;
  PressKey(tree->Handle(), VK_LEFT);
  EXPECT_EQ(journal, (TJournal{"collapsing A"}));
  EXPECT_TRUE(a->Expanded());
  EXPECT_EQ(tree->Selected(), a);

  events.AllowCollapse = true;
  PressKey(tree->Handle(), VK_LEFT);
  EXPECT_FALSE(a->Expanded());
}

// ---------------------------------------------------------------------------------------------------------------

class TRowJournal : public TObject {
 public:
  struct TRow {
    RECT Rect;
    bool Selected;
  };
  std::map<int, TRow> Rows;  // the last drawing of each item
  int Clicks = 0;
  void Draw(TObject* ASender, int AIndex, const RECT& ARect, TOwnerDrawState AState) {
    Rows[AIndex] = TRow{ARect, AState.Contains(odSelected)};
    static_cast<TListBox*>(ASender)->Canvas().FillRect(ARect);
  }
  void Click(TObject*) { ++Clicks; }
};

TEST_F(StdControlTest, AnOwnerDrawnListDrawsEachShownRowInItsRectangleAndAClickChoosesTheRowUnderThePointer) {
  constexpr int kRow = 18;
  TListBox* list = nullptr;
  NewInto(list, form);
  list->SetStyle(TListBoxStyle::lbOwnerDrawFixed);
  list->SetItemHeight(kRow);
  list->SetParent(form);
  list->SetBounds(10, 10, 120, 100);
  list->SetClientSize(100, 5 * kRow);
  TRowJournal rows;
  list->OnDrawItem = MakeMethod<&TRowJournal::Draw>(&rows);
  list->OnClick = MakeMethod<&TRowJournal::Click>(&rows);
  list->BeginUpdate();
  for (const char16_t* text : {u"zero", u"one", u"two", u"three", u"four", u"five", u"six"}) list->Items().Add(text);
  list->EndUpdate();
  list->SetItemIndex(1);
  list->Update();
  const int width = list->ClientWidth();

  // Row i of the window shows item TopIndex + i, in the full width.
  for (int top : {0, 2}) {
    SCOPED_TRACE(top);
    rows.Rows.clear();
    list->SetTopIndex(top);
    list->Invalidate();
    list->Update();
    ASSERT_EQ(rows.Rows.size(), 5u);
    for (int row = 0; row < 5; ++row) {
      const auto& drawn = rows.Rows.at(top + row);
      EXPECT_EQ(drawn.Rect.left, 0);
      EXPECT_EQ(drawn.Rect.top, row * kRow);
      EXPECT_EQ(drawn.Rect.right, width);
      EXPECT_EQ(drawn.Rect.bottom, (row + 1) * kRow);
      EXPECT_EQ(drawn.Selected, top + row == 1);
      EXPECT_EQ(list->ItemAtPos(POINT{5, row * kRow + 3}, true), top + row);
    }
  }

  // The user clicks the fourth row: item 2 + 3 is chosen and told once.
  MoveMouse(list->ClientToScreen(POINT{20, 3 * kRow + 5}));
  MouseButton(true);
  MouseButton(false);
  EXPECT_EQ(list->ItemIndex(), 5);
  EXPECT_EQ(rows.Clicks, 1);
  EXPECT_TRUE(rows.Rows.at(5).Selected);

  // Floating free of the form's window, at screen coordinates, it keeps its rows and still hears its clicks. (The
  // focus goes elsewhere first: a window made again gets the focus back, and a pop-up would take the activation.)
  TEdit* edit = nullptr;
  NewInto(edit, form);
  edit->SetParent(form);
  edit->SetFocus();
  list->SetFloating(true);
  const POINT at = form->ClientToScreen(POINT{60, 120});
  list->SetBounds(at.x, at.y, 120, 100);
  list->SetClientSize(100, 5 * kRow);
  list->Show();
  EXPECT_EQ(GetAncestor(list->Handle(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(list->ClientOrigin().y, at.y + (list->Height() - list->ClientHeight()) / 2);
  EXPECT_EQ(list->TopIndex(), 2);
  MoveMouse(list->ClientToScreen(POINT{20, 1 * kRow + 5}));
  MouseButton(true);
  MouseButton(false);
  EXPECT_EQ(list->ItemIndex(), 3);
  EXPECT_EQ(rows.Clicks, 2);
}

// ---------------------------------------------------------------------------------------------------------------

class TMovedJournal : public TObject {
 public:
  int Moves = 0;
  void Moved(TObject*) { ++Moves; }
};

TEST_F(StdControlTest, ASplitterDraggedWithTheMouseResizesLiveAndStopsAtTheMinimumOfEitherSide) {
  TCustomControl* header = nullptr;
  NewInto(header, form);
  header->SetHeight(40);
  header->SetAlign(TAlign::alTop);
  header->SetParent(form);
  TCustomControl* log = nullptr;
  NewInto(log, form);
  log->SetBounds(0, 200, 240, 100);
  log->SetAlign(TAlign::alBottom);
  log->SetParent(form);
  TSplitter* splitter = nullptr;
  NewInto(splitter, form);
  splitter->SetBounds(0, 100, 240, 8);
  splitter->SetAlign(TAlign::alBottom);
  splitter->SetParent(form);
  TCustomControl* sheet = nullptr;
  NewInto(sheet, form);
  sheet->SetAlign(TAlign::alClient);
  sheet->SetParent(form);
  TMovedJournal moved;
  splitter->OnMoved = MakeMethod<&TMovedJournal::Moved>(&moved);
  ASSERT_EQ(splitter->Top(), 240 - 100 - 8);
  ASSERT_EQ(splitter->FindPane(), log);
  ASSERT_EQ(sheet->Height(), 240 - 40 - 8 - 100);

  const POINT grip = form->ClientToScreen(POINT{120, splitter->Top() + 4});
  MoveMouse(grip);
  MouseButton(true);
  // Far down: the log stops at its minimum, while the button is still down.
  MoveMouse(POINT{grip.x, grip.y + 200});
  EXPECT_EQ(log->Height(), 30);
  EXPECT_EQ(splitter->Top(), 240 - 30 - 8);
  EXPECT_EQ(sheet->Height(), 240 - 40 - 8 - 30);
  EXPECT_EQ(moved.Moves, 0);
  // Far up: the sheet on the other side stops at the minimum.
  MoveMouse(POINT{grip.x, grip.y - 400});
  EXPECT_EQ(sheet->Height(), 30);
  EXPECT_EQ(log->Height(), 240 - 40 - 8 - 30);
  MouseButton(false);
  EXPECT_EQ(moved.Moves, 1);

  // A parent too small for both minimums keeps the bar where it is.
  splitter->SetMinSize(120);
  MoveMouse(form->ClientToScreen(POINT{120, splitter->Top() + 4}));
  MouseButton(true);
  MoveMouse(POINT{grip.x, grip.y + 50});
  MouseButton(false);
  EXPECT_EQ(log->Height(), 240 - 40 - 8 - 30);
  EXPECT_EQ(moved.Moves, 1);
}

// ---------------------------------------------------------------------------------------------------------------

class TComboJournal : public TObject {
 public:
  explicit TComboJournal(TJournal* AJournal) : FJournal(AJournal) {}
  void Changed(TObject* ASender) {
    auto* combo = static_cast<TComboBox*>(ASender);
    FJournal->push_back("change " + std::to_string(combo->ItemIndex()) + " " + Narrow(combo->Text()));
  }

 private:
  TJournal* FJournal;
};

TEST_F(StdControlTest, AComboBoxChosenFromTheKeyboardTellsTheNewItemAndTextWhileCodeTellsNothing) {
  static const TComboBoxStyle kStyles[] = {TComboBoxStyle::csDropDown, TComboBoxStyle::csSimple,
                                           TComboBoxStyle::csDropDownList, TComboBoxStyle::csOwnerDrawFixed};
  TObject objects[3];
  for (TComboBoxStyle style : kStyles) {
    SCOPED_TRACE(static_cast<int>(style));
    TComboBox* combo = nullptr;
    NewInto(combo, form);
    combo->SetStyle(style);
    combo->SetBounds(10, 10, 150, style == TComboBoxStyle::csSimple ? 100 : 21);
    combo->SetParent(form);
    TComboJournal events(&journal);
    combo->OnChange = MakeMethod<&TComboJournal::Changed>(&events);
    combo->Items().SetText(u"alpha\r\nbeta\r\ngamma");
    for (int i = 0; i < 3; ++i) combo->Items().SetObject(i, &objects[i]);
    combo->SetItemIndex(0);
    EXPECT_EQ(combo->Text(), u"alpha");
    combo->SetFocus();
    journal.clear();

    PressKey(combo->Handle(), VK_DOWN);
    EXPECT_EQ(journal, (TJournal{"change 1 beta"}));
    EXPECT_EQ(combo->Items().Objects(combo->ItemIndex()), &objects[1]);

    journal.clear();
    combo->SetText(u"gamma");
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->SetText(u"delta");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), combo->IsListStyle() ? u"" : u"delta");
    combo->SetItemIndex(2);
    EXPECT_TRUE(journal.empty()) << journal.front();

    // A window made again shows the same items, choice and text.
    combo->RecreateWnd();
    EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(combo->Text(), u"gamma");
    combo->Free();
  }
}

// ---------------------------------------------------------------------------------------------------------------

TEST_F(StdControlTest, ALabelsAcceleratorFocusesItsControlUnlessTheFocusedControlTakesTheLetterAsText) {
  TCheckBox* check = nullptr;
  NewInto(check, form);
  check->SetBounds(10, 10, 100, 17);
  check->SetParent(form);
  TEdit* name = nullptr;
  NewInto(name, form);
  name->SetBounds(10, 40, 100, 21);
  name->SetParent(form);
  TEdit* other = nullptr;
  NewInto(other, form);
  other->SetBounds(10, 70, 100, 21);
  other->SetParent(form);
  TLabel* nameLabel = nullptr;
  NewInto(nameLabel, form);
  nameLabel->SetCaption(u"&Name");
  nameLabel->SetFocusControl(name);
  nameLabel->SetParent(form);
  TLabel* offLabel = nullptr;
  NewInto(offLabel, form);
  offLabel->SetCaption(u"&Off");
  offLabel->SetFocusControl(other);
  offLabel->SetEnabled(false);
  offLabel->SetParent(form);

  struct TCase {
    TWinControl* Focused;
    char16_t Key;
    bool Alt;
    TWinControl* Expected;
  };
  const TCase cases[] = {
      {check, u'N', true, name},                                // Alt+letter
      {check, u'N', false, name},                               // a check box takes no typed letters
      {other, u'N', false, other},                              // an edit does: the letter is text
      {other, u'N', true, name},   {check, u'O', true, check},  // a disabled label has no accelerator
      {check, u'X', true, check},                               // nobody's letter
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c.Key)) + (c.Alt ? " with Alt" : ""));
    c.Focused->SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return c.Focused->Focused(); }));
    PressKey(c.Focused->Handle(), c.Key, c.Alt);
    EXPECT_TRUE(c.Expected->Focused());
  }

  // A freed focus control is forgotten, not focused.
  name->Free();
  check->SetFocus();
  PressKey(check->Handle(), u'N', true);
  EXPECT_TRUE(check->Focused());
  EXPECT_EQ(nameLabel->FocusControl(), nullptr);
}

TEST_F(StdControlTest, AnAutoSizedLabelFollowsItsCaptionAndAWrappedOneOnlyInHeight) {
  TLabel* label = nullptr;
  NewInto(label, form);
  label->SetParent(form);
  label->SetCaption(u"Short");
  const int shortWidth = label->Width();
  const int lineHeight = label->Height();
  EXPECT_GT(lineHeight, 0);
  label->SetCaption(u"A much longer caption");
  EXPECT_GT(label->Width(), shortWidth);
  EXPECT_EQ(label->Height(), lineHeight);

  label->SetWordWrap(true);
  label->SetWidth(shortWidth + 4);
  EXPECT_EQ(label->Width(), shortWidth + 4);
  EXPECT_GE(label->Height(), 3 * lineHeight);
  label->SetAutoSize(false);
  label->SetCaption(u"x");
  EXPECT_GE(label->Height(), 3 * lineHeight);
}

}  // namespace
