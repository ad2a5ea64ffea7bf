// The interface in each of its eleven languages: every view shows its table's text (English only where the table
// has none), and the settings dialog's texts fit their controls and draw with real glyphs.
#include "app/diPaletteForm.h"
#include "app/sfEditorSubForm.h"
#include "app/sfGeneralSubForm.h"
#include "app/sfPaletteSubForm.h"
#include "app/sfPrintSubForm.h"
#include "app/sfSettingsForm.h"
#include "app/sfSoundsSubForm.h"
#include "app/unMainForm.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baPainterStyles.h"
#include "controls/baStyledPainter.h"
#include "controls/baTreeViewEx.h"
#include "controls/baUserButtons.h"
#include "document/model/diPalette.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwActions.h"
#include "framework/fwMenus.h"
#include "framework/fwStdCtrls.h"
#include "tests/app/AppFixture.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using TGlobalPtr = std::unique_ptr<TGlobal, TComponentDeleter>;
using TDialogPtr = std::unique_ptr<TSettingsForm, TComponentDeleter>;

std::string Utf8(std::u16string_view AText) {
  std::string result;
  for (char16_t c : AText) {
    const unsigned u = c;
    if (u < 0x80) {
      result += static_cast<char>(u);
    } else if (u < 0x800) {
      result += static_cast<char>(0xC0 | (u >> 6));
      result += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      result += static_cast<char>(0xE0 | (u >> 12));
      result += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return result;
}

struct TLanguage {
  std::u16string Code;
  LANGID Id;
};

// The languages the program offers, in its order.
std::vector<TLanguage> Languages() {
  std::vector<TLanguage> list;
  for (const std::u16string& code : GetAvailableLanguages()) {
    LANGID id;
    if (FindLanguageLocale(code, id)) list.push_back({code, id});
  }
  return list;
}

// What a view must show for AId in ALanguage: the language's text, English where that table has none.
std::u16string Shown(int AId, LANGID ALanguage) {
  const std::u16string text = TLocalization::LoadStringForLanguage(AId, ALanguage);
  return text.empty() ? TLocalization::LoadStringForLanguage(AId, LangEnglishUS) : text;
}

// The font a window draws its text in.
HFONT WindowFont(TWinControl& AControl) {
  return reinterpret_cast<HFONT>(SendMessageW(AControl.Handle(), WM_GETFONT, 0, 0));
}

std::u16string WindowText(HWND AWindow) {
  std::vector<wchar_t> buffer(static_cast<size_t>(GetWindowTextLengthW(AWindow)) + 1);
  const int length = GetWindowTextW(AWindow, buffer.data(), static_cast<int>(buffer.size()));
  return FromWide(buffer.data(), static_cast<size_t>(length));
}

// The text a control shows: a window's own text, a windowless control's caption.
std::u16string ControlText(TControl& AControl) {
  if (auto* windowed = dynamic_cast<TWinControl*>(&AControl)) return WindowText(windowed->Handle());
  return AControl.Caption();
}

// ---------------------------------------------------------------------------------------------------------------
// Menus

struct TMenuEntry {
  TMenuItem* Item;
  std::u16string Text;
};

// Every item but separators, sub-menus after their item, as the menu handles hold them.
void ReadMenu(HMENU AMenu, std::vector<TMenuEntry>& AEntries) {
  const int count = GetMenuItemCount(AMenu);
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU | MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfoW(AMenu, static_cast<UINT>(i), TRUE, &info));
    if (info.fType & MFT_SEPARATOR) continue;
    std::vector<wchar_t> buffer(info.cch + 1);
    info.dwTypeData = buffer.data();
    info.cch = static_cast<UINT>(buffer.size());
    ASSERT_TRUE(GetMenuItemInfoW(AMenu, static_cast<UINT>(i), TRUE, &info));
    AEntries.push_back({reinterpret_cast<TMenuItem*>(info.dwItemData), FromWide(buffer.data(), info.cch)});
    if (info.hSubMenu) ReadMenu(info.hSubMenu, AEntries);
  }
}

// The caption ids of the main window's menu items, by item name.
const std::map<std::u16string, int>& MainMenuCaptions() {
  static const std::map<std::u16string, int> ids = {
      {u"miFile", 2023},
      {u"FileImport1", 4004},
      {u"FileExport1", 4005},
      {u"FilePageSetup1", 2032},
      {u"FilePrint1", 2033},
      {u"FileExit2", 2034},
      {u"miEdit", 2035},
      {u"miUndo", 2036},
      {u"miRedo", 2037},
      {u"miCut", 2038},
      {u"miCopy", 2039},
      {u"miCopyText", 2940},
      {u"miPaste", 2040},
      {u"miDelete", 2041},
      {u"miFind", 2941},
      {u"miFindNext", 2942},
      {u"miReplace", 2943},
      {u"miSelectAll", 2042},
      {u"miTools", 2045},
      {u"ToolsSettings1", 2046},
      {u"miView", 2043},
      {u"miPalette", 2947},
      {u"miNonPrintingCharacters", 2948},
      {u"miHelp", 2048},
      {u"HelpOnlineHelp1", 2050},
      {u"HelpCheckUpdates1", 2051},
      {u"HelpProgramPage1", 2052},
      {u"HelpForum1", 2054},
      {u"HelpSendMessage1", 2053},
      {u"HelpAbout1", 2058},
      {u"miStayOnTop", 4006},
      {u"miQuillbox", IdMainTitle},
      {u"FileExit1", 2034},
  };
  return ids;
}

// The text the menu shows for an item whose caption is ACaption: the shortcut after a tab; the bar's "Always on
// Top" item carries its state sign and a blank.
std::u16string MenuText(const TMenuItem& AItem, const std::u16string& ACaption, bool AStayOnTop) {
  if (AItem.Name() == u"miStayOnTop") return (AStayOnTop ? u"+ " : u"- ") + ACaption + u" ";
  const std::u16string shortCut = ShortCutToText(AItem.ShortCut());
  return shortCut.empty() ? ACaption : ACaption + u"\t" + shortCut;
}

// ---------------------------------------------------------------------------------------------------------------
// Text measuring and drawing

// The side of a check box's box and the room the button class leaves between box and text (the themed button
// leaves 6 pixels, the classic one half a digit).
constexpr int CheckBoxSide = 13;
constexpr int CheckBoxGap = 6;

// The size DrawTextW gives AText in AFont on one line, "&" taken as the accelerator mark as the controls draw it.
SIZE TextSize(HFONT AFont, const std::u16string& AText) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, AFont);
  RECT rect{0, 0, 0, 0};
  DrawTextW(dc, WStr(AText), static_cast<int>(AText.size()), &rect, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The pixels of single characters drawn in a font, to tell a drawn glyph from the missing-glyph mark: fallback
// fonts draw what the font lacks, so only the picture can say.
class TGlyphCanvas {
 public:
  static constexpr int Width = 64, Height = 48;

  TGlyphCanvas() {
    FDC = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    FBitmap = CreateDIBSection(FDC, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&FBits), nullptr, 0);
    FOldBitmap = SelectObject(FDC, FBitmap);
  }
  ~TGlyphCanvas() {
    SelectObject(FDC, FOldBitmap);
    DeleteObject(FBitmap);
    DeleteDC(FDC);
  }
  TGlyphCanvas(const TGlyphCanvas&) = delete;
  TGlyphCanvas& operator=(const TGlyphCanvas&) = delete;

  std::vector<uint32_t> Draw(HFONT AFont, char16_t AChar) {
    PatBlt(FDC, 0, 0, Width, Height, WHITENESS);
    HGDIOBJ old = SelectObject(FDC, AFont);
    SetBkMode(FDC, TRANSPARENT);
    SetTextColor(FDC, RGB(0, 0, 0));
    RECT rect{2, 2, Width, Height};
    DrawTextW(FDC, reinterpret_cast<const wchar_t*>(&AChar), 1, &rect, DT_NOPREFIX | DT_SINGLELINE | DT_NOCLIP);
    SelectObject(FDC, old);
    GdiFlush();
    return std::vector<uint32_t>(FBits, FBits + Width * Height);
  }

  // The characters of AText that draw in AFont as an unassigned code point does.
  std::u16string Missing(HFONT AFont, const std::u16string& AText) {
    auto [mark, added] = FMarks.try_emplace(AFont);
    if (added) mark->second = Draw(AFont, u'\u0378');
    std::u16string missing;
    for (char16_t c : AText)
      if (c > u' ' && c != u'&' && Draw(AFont, c) == mark->second && missing.find(c) == std::u16string::npos)
        missing += c;
    return missing;
  }

 private:
  HDC FDC;
  HBITMAP FBitmap;
  HGDIOBJ FOldBitmap;
  uint32_t* FBits = nullptr;
  std::map<HFONT, std::vector<uint32_t>> FMarks;
};

// ---------------------------------------------------------------------------------------------------------------

class LanguageTest : public TStartedUnitsTest {
 protected:
  void SetUp() override {
    TStartedUnitsTest::SetUp();
    ApplicationTitleId = IdMainTitle;
    FGlobal.reset(New<TGlobal>(nullptr, TGlobalPlaces{Scratch() + u"program\\Quillbox.exe", Scratch() + u"local",
                                                      Scratch() + u"documents", u"OrrenwickStudios", u"Quillbox"}));
    Global = FGlobal.get();
    SwitchTo(u"ENU");
  }
  void TearDown() override {
    FGlobal.reset();
    Global = nullptr;
    Localization->SetLanguage(LangEnglishUS);
    TStartedUnitsTest::TearDown();
  }

  TSettings& Settings() const { return *FGlobal->Settings(); }

  // The interface language as the settings dialog sets it.
  void SwitchTo(const std::u16string& ACode) { Settings().General->Language->SetValue(ACode); }

  // Each language in turn, then back to English.
  std::vector<TLanguage> Round() const {
    std::vector<TLanguage> round = Languages();
    round.push_back({u"ENU", LangEnglishUS});
    return round;
  }

  TDialogPtr NewDialog() {
    return TDialogPtr(New<TSettingsForm>(nullptr, Settings(), 0, u"", TSettingsApplyHook(), nullptr));
  }

 private:
  TGlobalPtr FGlobal;
};

// The caption id of every control of the dialog that shows a table's text; the rest show data (a file name, a
// theme's name, a number).
std::map<TControl*, int> DialogCaptions(TSettingsForm& ADialog) {
  auto& general = *static_cast<TGeneralSubForm*>(ADialog.Pages(0));
  auto& palette = *static_cast<TPaletteSubForm*>(ADialog.Pages(1));
  auto& editor = *static_cast<TEditorSubForm*>(ADialog.Pages(2));
  auto& sounds = *static_cast<TSoundsSubForm*>(ADialog.Pages(3));
  auto& print = *static_cast<TPrintSubForm*>(ADialog.Pages(4));
  std::map<TControl*, int> ids = {
      {ADialog.ubOK, 2012},
      {ADialog.ubCancel, 2013},
      {ADialog.ubApply, 2015},
      {general.lbGroup, 4161},
      {general.lbLanguage, 4162},
      {general.lbDataFile, 4168},
      {general.btBrowse, 4160},
      {general.lbExplanation, 4169},
      {general.chAutoStart, 4163},
      {general.chShowInTray, 4164},
      {general.chShowByHotKey, 4165},
      {general.chHideByEsc, 4166},
      {general.chHideToTrayByMinimizeButton, 4167},
      {palette.lbGroup, 4170},
      {palette.chShowHeaders, 4171},
      {palette.chShowCaptions, 4172},
      {palette.chShowHints, 4173},
      {editor.chFocusNew, 4180},
      {editor.chDropDownOnFocusNew, 4181},
      {editor.chShowHints, 4182},
      {editor.chIncreaseWorkspaceHeight, 4183},
      {editor.chNonPrinting, 4184},
      {sounds.lbGroup, 4200},
      {sounds.chEnabled, 4201},
      {print.lbScale, 4203},
  };
  for (TAppearanceGroup* group : {&editor.Appearance, &print.Appearance}) {
    ids[group->lbGroup] = 4175;
    ids[group->lbTheme] = 4176;
    ids[group->lbFontSize] = 4178;
    ids[group->btGetMore] = 4177;
  }
  return ids;
}

std::vector<TControl*> PageControls(TSettingsSubForm& APage) {
  std::vector<TControl*> list;
  for (int i = 0; i < APage.ControlCount(); ++i) list.push_back(APage.Controls(i));
  return list;
}

TEST_F(LanguageTest, TheMainWindowsMenusShowEachLanguagesTextsAndEnglishAgainAfterTheRound) {
  TMainFormSystem system;
  system.NotifyIcon = [](DWORD, const NOTIFYICONDATAW&) { return true; };
  system.MessageBox = [](const std::u16string& AText, UINT) {
    ADD_FAILURE() << Utf8(AText);
    return IDOK;
  };
  system.StartupFolder = [this] { return Scratch(); };
  system.ProgramFileName = Scratch() + u"program\\Quillbox.exe";
  std::unique_ptr<TMainForm, TComponentDeleter> form(New<TMainForm>(nullptr, system));
  const bool stayOnTop = (GetWindowLongW(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;

  for (const TLanguage& language : Round()) {
    SwitchTo(language.Code);
    ASSERT_EQ(Localization->Language(), language.Id) << Utf8(language.Code);
    std::vector<TMenuEntry> entries;
    ReadMenu(GetMenu(form->Handle()), entries);
    const size_t barEntries = entries.size();
    ReadMenu(form->pmTray->Handle(), entries);
    ASSERT_GT(barEntries, 30u);
    ASSERT_EQ(entries.size(), barEntries + 2);
    for (const TMenuEntry& entry : entries) {
      ASSERT_NE(entry.Item, nullptr);
      const auto id = MainMenuCaptions().find(entry.Item->Name());
      if (id == MainMenuCaptions().end()) {
        ADD_FAILURE() << "no caption id for " << Utf8(entry.Item->Name()) << ": " << Utf8(entry.Text);
        continue;
      }
      EXPECT_EQ(Utf8(entry.Text), Utf8(MenuText(*entry.Item, Shown(id->second, language.Id), stayOnTop)))
          << Utf8(language.Code) << " " << Utf8(entry.Item->Name());
    }
  }
}

TEST_F(LanguageTest, ThePalettesCaptionsFollowEachLanguage) {
  // The groups leave the program's palette however the test ends, after the sheet that offered their items.
  std::vector<TNodePtr<TPaletteGroup>> made;
  auto host = std::make_unique<TSheetHostFixture>();
  struct TGroupCase {
    int Weight, Caption;
    std::vector<int> Items;
  };
  const TGroupCase groups[] = {{900, IdPaletteActions, {IdPaletteInsert, IdPaletteOther}},
                               {800, IdPaletteAdditional, {IdPaletteState, IdPaletteDisabled}}};
  std::map<const TPaletteItem*, int> captions;
  auto* leaf = AddVisual<TTestVisualLeaf>(host->Root, 0, 0, 50, 20);
  leaf->SetText(u"x");
  for (const TGroupCase& g : groups) {
    made.emplace_back(new TPaletteGroup(Palette.get(), g.Weight, g.Caption));
    int weight = 50;
    for (int id : g.Items) {
      auto* item = new TSchemePaletteItem(made.back().get(), weight--, id, IdPaletteOtherHint, 0, {});
      leaf->ExtraPaletteItems.push_back(item);
      captions[item] = id;
    }
  }
  host->Sheet->SetFocused(leaf);
  {
    std::unique_ptr<TPaletteForm, TComponentDeleter> form(New<TPaletteForm>(nullptr));
    form->SetBounds(0, 0, 1600, 100);
    form->Show();
    form->SetSheet(host->Sheet.get());
    host->Sheet->SetActive(true);

    for (const TLanguage& language : Round()) {
      SwitchTo(language.Code);
      ASSERT_FALSE(form->Compacted()) << Utf8(language.Code);
      ASSERT_EQ(form->Groups().size(), 2u) << Utf8(language.Code);
      for (size_t g = 0; g < 2; ++g) {
        ASSERT_NE(form->Groups()[g].CaptionButton, nullptr);
        EXPECT_EQ(Utf8(form->Groups()[g].CaptionButton->Caption()), Utf8(Shown(groups[g].Caption, language.Id)))
            << Utf8(language.Code);
      }
      ASSERT_EQ(form->Buttons().size(), captions.size()) << Utf8(language.Code);
      for (const TPaletteForm::TButtonEntry& entry : form->Buttons())
        EXPECT_EQ(Utf8(entry.Button->Caption()), Utf8(Shown(captions.at(entry.Tune.Item), language.Id)))
            << Utf8(language.Code);
    }
  }
  host.reset();
}

TEST_F(LanguageTest, TheSettingsDialogShowsEachLanguagesTexts) {
  for (const TLanguage& language : Round()) {
    SwitchTo(language.Code);
    const std::string code = Utf8(language.Code);
    TDialogPtr dialog = NewDialog();
    EXPECT_EQ(Utf8(WindowText(dialog->Handle())), Utf8(Shown(2047, language.Id))) << code;
    const int pageIds[] = {4161, 4170, 4174, 4200, 4202};
    ASSERT_EQ(dialog->tv1->Items().Count(), 5);
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(Utf8(dialog->tv1->Items().Item(i)->Text()), Utf8(Shown(pageIds[i], language.Id))) << code << " " << i;

    const std::map<TControl*, int> ids = DialogCaptions(*dialog);
    for (TControl* button : {static_cast<TControl*>(dialog->ubOK), static_cast<TControl*>(dialog->ubCancel),
                             static_cast<TControl*>(dialog->ubApply)})
      EXPECT_EQ(Utf8(ControlText(*button)), Utf8(Shown(ids.at(button), language.Id))) << code;
    for (int p = 0; p < dialog->PageCount(); ++p)
      for (TControl* control : PageControls(*dialog->Pages(p))) {
        const std::u16string text = ControlText(*control);
        const auto id = ids.find(control);
        if (id != ids.end()) {
          EXPECT_EQ(Utf8(text), Utf8(Shown(id->second, language.Id))) << code << " page " << p;
        } else if (!dynamic_cast<TComboBox*>(control) && !dynamic_cast<TCustomEdit*>(control)) {
          EXPECT_EQ(Utf8(text), "") << code << " page " << p << ": a text without a table";
        }
      }

    // The lists: every language by its own name, the font sizes from the table.
    auto& general = *static_cast<TGeneralSubForm*>(dialog->Pages(0));
    ASSERT_EQ(general.cbLanguage->Items().Count(), 11);
    for (const TLanguage& other : Languages())
      EXPECT_EQ(general.cbLanguage->Items()[general.IndexOfLanguage(other.Code)],
                TLocalization::LoadStringForLanguage(2011, other.Id));
    EXPECT_EQ(general.cbLanguage->Text(), TLocalization::LoadStringForLanguage(2011, language.Id)) << code;
    for (TAppearanceGroup* group : {&static_cast<TEditorSubForm*>(dialog->Pages(2))->Appearance,
                                    &static_cast<TPrintSubForm*>(dialog->Pages(4))->Appearance}) {
      std::u16string items;
      for (int i = 0; i < group->cbFontSize->Items().Count(); ++i)
        items += (i ? u"\r\n" : u"") + group->cbFontSize->Items()[i];
      EXPECT_EQ(Utf8(items), Utf8(Shown(4179, language.Id))) << code;
    }
  }
}

TEST_F(LanguageTest, TheSettingsDialogsTextsFitTheirControlsAndDrawInEveryLanguage) {
  TGlyphCanvas glyphs;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
  HFONT captionFont = CreateFontIndirectW(&metrics.lfCaptionFont);
  // Where a language needs glyphs beyond the Latin ones.
  const std::set<std::u16string> scripts = {u"RUS", u"JPN", u"CHS"};
  int checked = 0;
  for (const TLanguage& language : Languages()) {
    SwitchTo(language.Code);
    const std::string code = Utf8(language.Code);
    TDialogPtr dialog = NewDialog();
    const bool glyphCheck = scripts.contains(language.Code);
    checked += glyphCheck;
    auto draws = [&](HFONT AFont, const std::u16string& AText, const std::string& AWhere) {
      if (!glyphCheck) return;
      const std::u16string missing = glyphs.Missing(AFont, AText);
      EXPECT_EQ(Utf8(missing), "") << code << " " << AWhere << ": " << Utf8(AText);
    };
    auto buttonFits = [&](TUserWinButton& AButton, const std::string& AWhere) {
      auto* painter = dynamic_cast<TStyledPainter*>(AButton.Painter());
      ASSERT_TRUE(painter && painter->Styler()) << AWhere;
      HFONT font = painter->Styler()->Font().Handle();
      const std::u16string text = ControlText(AButton);
      const SIZE size = TextSize(font, text);
      EXPECT_LE(size.cx + painter->Padding().Left() + painter->Padding().Right(), AButton.ClientWidth())
          << code << " " << AWhere << ": " << Utf8(text);
      draws(font, text, AWhere);
    };

    draws(captionFont, WindowText(dialog->Handle()), "caption");
    for (int i = 0; i < dialog->tv1->Items().Count(); ++i)
      draws(WindowFont(*dialog->tv1), dialog->tv1->Items().Item(i)->Text(), "page list");
    for (TUserWinButton* button : {dialog->ubOK, dialog->ubCancel, dialog->ubApply}) {
      buttonFits(*button, Utf8(button->Name()));
      EXPECT_GE(button->Left(), dialog->tv1->Left()) << code;
    }
    EXPECT_GE(dialog->ubApply->Left() - dialog->ubCancel->Left(), dialog->ubCancel->Width()) << code;

    for (int p = 0; p < dialog->PageCount(); ++p) {
      TSettingsSubForm& page = *dialog->Pages(p);
      const std::string where = code + " " + Utf8(page.Name());
      for (TControl* control : PageControls(page)) {
        if (!control->Visible()) continue;
        const std::u16string text = ControlText(*control);
        const RECT bounds = control->BoundsRect();
        // Within the page: a label or box that runs past it is cut off.
        EXPECT_TRUE(bounds.left >= 0 && bounds.top >= 0 && bounds.right <= page.ClientWidth() &&
                    bounds.bottom <= page.ClientHeight())
            << where << ": " << Utf8(text) << " at " << bounds.left << "," << bounds.top << "-" << bounds.right << ","
            << bounds.bottom;
        if (auto* box = dynamic_cast<TCheckBox*>(control)) {
          HFONT font = WindowFont(*box);
          const SIZE size = TextSize(font, text);
          EXPECT_LE(CheckBoxSide + CheckBoxGap + size.cx, box->ClientWidth()) << where << ": " << Utf8(text);
          EXPECT_LE(size.cy, box->ClientHeight()) << where << ": " << Utf8(text);
          draws(font, text, where);
        } else if (auto* button = dynamic_cast<TUserWinButton*>(control)) {
          buttonFits(*button, where);
        } else if (auto* label = dynamic_cast<TLabel*>(control)) {
          draws(label->Font().Handle(), text, where);
        } else if (auto* list = dynamic_cast<TComboBox*>(control)) {
          // The language list names every language in its own script.
          for (int i = 0; i < list->Items().Count(); ++i) draws(WindowFont(*list), list->Items()[i], where);
        }
      }
    }
  }
  DeleteObject(captionFont);
  EXPECT_EQ(checked, 3);
}

}  // namespace
