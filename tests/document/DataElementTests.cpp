// The data element on the fake sheet host: preview scale and size, the hexadecimal view, the hint, knot storage,
// dropped files, checks, keys and palette items; the private clipboard formats and pictures; format conversion
// and its undo.
#include "document/elements/diDataElement.h"
#include "controls/baAppCmpns.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImages.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwBitmaps.h"
#include "framework/fwClipboard.h"
#include "graphics/images/umUniversalImage.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes BytesOf(const TMemoryStream& AStream) {
  auto& stream = const_cast<TMemoryStream&>(AStream);
  return TBytes(stream.Memory(), stream.Memory() + stream.Size());
}

std::unique_ptr<TMemoryStream> StreamOf(const TBytes& ABytes) {
  auto stream = std::make_unique<TMemoryStream>();
  if (!ABytes.empty()) stream->WriteBuffer(ABytes.data(), ABytes.size());
  stream->SetPosition(0);
  return stream;
}

// A PNG of AWidth x AHeight in one opaque colour.
TBytes MakePng(int AWidth, int AHeight, TColor32 AColor = 0xFF3366CC) {
  TBitmap32 bitmap;
  bitmap.SetSize(AWidth, AHeight);
  bitmap.Clear(AColor);
  TMemoryStream bmp;
  bitmap.SaveToStream(bmp, true);
  bmp.SetPosition(0);
  TMemoryStream png;
  TUniversalImage::ConvertToPng(bmp, png);
  return BytesOf(png);
}

TBytes Inflate(const TBytes& APacked) {
  TMemoryStream plain;
  DecompressStream(*StreamOf(APacked), plain);
  return BytesOf(plain);
}

// Keeps the message boxes instead of showing them.
class TRecordingHost : public IUserInterfaceHost {
 public:
  void ShowScreenCursor(TCursor) override {}
  HCURSOR CursorHandle(TCursor) override { return nullptr; }
  int MessageBox(const std::u16string& AText, const std::u16string&, UINT) override {
    Boxes.push_back(AText);
    return IDOK;
  }
  std::vector<std::u16string> Boxes;
};

class DataElementTest : public ::testing::Test {
 public:
  void SetUp() override {
    StartClipboard();
    InitializePalette();
    InitializeTextorElement();
    InitializeSchemeImages();
    InitializeClassesGroups();
    InitializeDataElement();
    Host = std::make_unique<TSheetHostFixture>();
    SetUserInterfaceHost(&Boxes);
  }
  void TearDown() override {
    SetUserInterfaceHost(nullptr);
    SetDataFileDialog(nullptr);
    Host.reset();
    FinalizeDataElement();
    FinalizeClassesGroups();
    FinalizeSchemeImages();
    FinalizeTextorElement();
    FinalizePalette();
    EndClipboard();
  }

  TElement_Image* AddImage() {
    auto* e = TElement::CreateIn<TElement_Image>(&Host->Scheme, Host->Root);
    e->SetVisualParent(Host->Root);
    return e;
  }
  TElement_Image* AddImage(const TBytes& ABytes, const std::u16string& AType) {
    TElement_Image* e = AddImage();
    e->SetData(*StreamOf(ABytes), AType);
    return e;
  }
  int UndoSteps() const {
    int count = 0;
    for (TNode* n = Host->History.UndoStack().FirstChild(); n; n = n->NextSibling()) ++count;
    return count;
  }
  std::u16string TempFile(const std::u16string& AName) {
    const std::u16string name = GetTempFolder() + u"qb-data-" + AName;
    Files.push_back(name);
    return name;
  }
  ~DataElementTest() override {
    for (const std::u16string& name : Files) RemoveFile(name);
  }

  std::unique_ptr<TSheetHostFixture> Host;
  TRecordingHost Boxes;
  std::vector<std::u16string> Files;
};

// ---------------------------------------------------------------------------------------------------------------
// Element

TEST_F(DataElementTest, ThePreviewScalesByTheWidthOnlyAndKeepsEachSideAtLeastOnePixel) {
  const struct {
    int Width, Height, Scale, PreviewWidth, PreviewHeight;
  } cases[] = {
      {700, 1, 100, 700, 1},   {961, 1, 75, 720, 1},    {962, 1, 50, 481, 1}, {2000, 1, 25, 500, 1},
      {36049, 1, 2, 720, 1},   {36050, 1, 1, 360, 1},   {40000, 20, 1, 400, 1},
  };
  for (const auto& c : cases) {
    TElement_Image* e = AddImage(MakePng(c.Width, c.Height), u"png");
    TUniversalImage* preview = e->Preview();
    ASSERT_NE(preview, nullptr) << c.Width;
    EXPECT_EQ(e->Scale(), c.Scale) << c.Width;
    EXPECT_EQ(e->ImageWidth(), c.Width);
    EXPECT_EQ(e->ImageHeight(), c.Height);
    EXPECT_EQ(preview->GetSize().cx, c.PreviewWidth) << c.Width;
    EXPECT_EQ(preview->GetSize().cy, c.PreviewHeight) << c.Width;
    e->Destroy();
  }
}

TEST_F(DataElementTest, TheSizeIsThePreviewTheHexadecimalLinesOrSixtyByFortyPlusThePadding) {
  TSheetCanvas* canvas = Host->Sheet->Canvas();
  const TRect padding = canvas->GetThemePadding(teImageContainer);
  const int padX = padding.Left + padding.Right;
  const int padY = padding.Top + padding.Bottom;
  const int lineHeight = canvas->TextExtent(ckFixed, u"0").cy;
  const int hexWidth = canvas->TextExtent(ckFixed, std::u16string(64, u'0')).cx;

  TElement_Image* empty = AddImage();
  EXPECT_EQ(empty->Width(), 60 + padX);
  EXPECT_EQ(empty->Height(), 40 + padY);

  TElement_Image* text = AddImage(TBytes(20, 'a'), u"txt");
  EXPECT_EQ(text->Preview(), nullptr);
  EXPECT_EQ(text->Width(), hexWidth + padX);
  EXPECT_EQ(text->Height(), 2 * lineHeight + padY);

  TElement_Image* picture = AddImage(MakePng(2000, 1000), u"png");
  EXPECT_EQ(picture->Width(), 500 + padX);
  EXPECT_EQ(picture->Height(), 250 + padY);
}

TEST_F(DataElementTest, APictureBeyondTheSizeLimitsTellsItCannotBePreviewedInPlaceOfItsBytes) {
  // The header of a 16384 x 16384 one-bit PNG.
  const TBytes png = {0x89, 'P', 'N', 'G',  0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D',
                      'R',  0,   0,   0x40, 0,    0,    0,    0x40, 0, 1, 0, 0,  0,   0};
  TElement_Image* e = AddImage(png, u"png");
  EXPECT_EQ(e->Preview(), nullptr);
  TSheetCanvas* canvas = Host->Sheet->Canvas();
  const TRect padding = canvas->GetThemePadding(teImageContainer);
  const SIZE line = canvas->TextExtent(ckElement, u"The picture is too large to be previewed");
  EXPECT_EQ(e->Width(), line.cx + padding.Left + padding.Right);
  EXPECT_EQ(e->Height(), line.cy + padding.Top + padding.Bottom);
  std::u16string hint;
  e->GetHint(hint);
  EXPECT_EQ(hint, u"png 16384x16384");
  EXPECT_EQ(BytesOf(e->Data()), png);
}

// The preview shows an icon's first frame; the others are not decoded for it.
TEST_F(DataElementTest, AnIconsPreviewDecodesOnlyTheFrameItShows) {
  const TBytes png = MakePng(8, 8);
  const uint8_t count = 3;
  TBytes icon = {0, 0, 1, 0, count, 0};
  for (uint32_t i = 0, offset = 6 + 16 * count; i < count; ++i, offset += uint32_t(png.size())) {
    const uint32_t entry[] = {8 | 8 << 8, 32u << 16, uint32_t(png.size()), offset};
    for (uint32_t v : entry)
      for (int shift = 0; shift < 32; shift += 8) icon.push_back(uint8_t(v >> shift));
  }
  for (uint8_t i = 0; i < count; ++i) icon.insert(icon.end(), png.begin(), png.end());
  TElement_Image* e = AddImage(icon, u"ico");
  TUniversalImage* preview = e->Preview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->Count(), 1);
  EXPECT_EQ(preview->GetSize().cx, 8);
}

TEST_F(DataElementTest, TheHexadecimalViewShowsSixteenBytesALineWithTheirCharacters) {
  TElement_Image* e = AddImage({0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x01}, u"txt");
  const std::span<const uint8_t> bytes(e->Data().Memory(), static_cast<size_t>(e->DataSize()));
  const std::u16string line = FormatHexLine(bytes, 0);
  EXPECT_EQ(line, u"48 65 6C 6C 6F 01 " + std::u16string(30, u' ') + u"Hello\u00B7");
  EXPECT_EQ(line.find(u"Hello"), 48u);
}

TEST_F(DataElementTest, ThePreviewIsPaintedInsideThePadding) {
  TElement_Image* e = AddImage(MakePng(10, 10, 0xFFFF0000), u"png");
  e->SetBounds(20, 30, e->Width(), e->Height(), e->Descent());
  const TRect padding = Host->Sheet->Canvas()->GetThemePadding(teImageContainer);
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info = TopDownBitmapInfo(100, 100);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, section);
  Host->Sheet->PaintTo(dc, TRect{0, 0, 100, 100}, {});
  GdiFlush();
  const auto pixel = [bits](int X, int Y) { return static_cast<const uint32_t*>(bits)[Y * 100 + X] & 0xFFFFFF; };
  EXPECT_EQ(pixel(20 + padding.Left + 5, 30 + padding.Top + 5), 0xFF0000u);
  EXPECT_NE(pixel(20 + padding.Left + 15, 30 + padding.Top + 5), 0xFF0000u);
  SelectObject(dc, old);
  DeleteObject(section);
  DeleteDC(dc);
}

TEST_F(DataElementTest, TheHintTellsTypeSizeAndScaleOrTheTypeAlone) {
  EXPECT_EQ([&] {
    std::u16string hint;
    AddImage(MakePng(2000, 1000), u"png")->GetHint(hint);
    return hint;
  }(), u"png 2000x1000 25%");
  EXPECT_EQ([&] {
    std::u16string hint;
    AddImage(MakePng(64, 48), u"png")->GetHint(hint);
    return hint;
  }(), u"png 64x48");
  EXPECT_EQ([&] {
    std::u16string hint;
    AddImage(TBytes(20, 'a'), u"txt")->GetHint(hint);
    return hint;
  }(), u"txt");
  // A header GDI+ cannot decode past still tells the size.
  EXPECT_EQ([&] {
    std::u16string hint;
    TElement_Image* e = AddImage({'G', 'I', 'F', '8', '9', 'a', 0x2C, 0x01, 0xC8, 0x00, 0xFF, 0xFF}, u"gif");
    EXPECT_EQ(e->Preview(), nullptr);
    e->GetHint(hint);
    return hint;
  }(), u"gif 300x200");
}

TEST_F(DataElementTest, AStoredPictureHasItsTypeAndUpperCaseHexadecimalAndNoCachedSize) {
  const TBytes png = MakePng(3, 2);
  TElement_Image* e = AddImage(png, u"png");
  TKnot knot;
  Host->Scheme.SaveElement(e, fmDocument, &knot, {});
  EXPECT_EQ(knot.ReadString(u"Type", u""), u"png");
  std::u16string hex;
  for (uint8_t b : png) {
    const char16_t digits[] = u"0123456789ABCDEF";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  ASSERT_NE(knot.FindParam(u"Value"), nullptr);
  EXPECT_EQ(knot.FindParam(u"Value")->GetAsString(), hex);
  EXPECT_EQ(knot.FindParam(u"W"), nullptr);
  EXPECT_EQ(knot.FindParam(u"H"), nullptr);
  EXPECT_EQ(knot.FindParam(u"ExternalEditingFileName"), nullptr);

  TElement_Image* loaded = AddImage();
  TKnot copy;
  copy.LoadFromString(knot.SaveToString());
  Host->Scheme.LoadElement(loaded, fmDocument, &copy);
  EXPECT_EQ(BytesOf(loaded->Data()), png);
  EXPECT_EQ(loaded->TypeName(), u"png");
}

TEST_F(DataElementTest, AValueThatIsNoHexadecimalIsADataReadErrorAndNoData) {
  TElementMessages messages;
  TKnot knot;
  knot.LoadFromString(u"<Image Type=\"png\" Value=\"ABC\"/>");
  TElement_Image* e = AddImage();
  {
    TSchemeLoader loader(&Host->Scheme, fmDocument, {}, &knot, &messages);
    e->LoadFromKnot(&loader, &knot);
    loader.Finish();
  }
  EXPECT_FALSE(e->HasValue());
  EXPECT_EQ(e->DataSize(), 0);
  ASSERT_EQ(messages.GetCount(), 1);
  EXPECT_EQ(messages.GetItem(0)->Kind(), mkWarning);
  EXPECT_EQ(messages.GetItem(0)->GetText(), u"Data read error in the element");
}

// A picture its headers refuse to every decoder is named in the log when the document is read.
TEST_F(DataElementTest, APictureRefusedByItsHeadersIsNamedInTheLoadersMessages) {
  const struct {
    const char16_t* Knot;
    const char16_t* Message;  // none: nullptr
  } rows[] = {
      // The header of a 16384 x 16384 one-bit PNG.
      {u"<Image Type=\"png\" Value=\"89504E470D0A1A0A0000000D49484452000040000000400001000000\"/>",
       u"The picture is too large to be previewed"},
      // A TIFF whose width is stated twice.
      {u"<Image Type=\"tif\" Value=\"49492A00080000000300000104000100000040000000000104000100000001000000010104000100"
       u"00004000000000000000\"/>",
       u"The picture is damaged and cannot be previewed"},
      {u"<Image Type=\"png\" Value=\"01020304\"/>", nullptr},
  };
  for (const auto& row : rows) {
    TElementMessages messages;
    TKnot knot;
    knot.LoadFromString(row.Knot);
    TElement_Image* e = AddImage();
    {
      TSchemeLoader loader(&Host->Scheme, fmDocument, {}, &knot, &messages);
      e->LoadFromKnot(&loader, &knot);
      loader.Finish();
    }
    EXPECT_TRUE(e->HasValue());
    ASSERT_EQ(messages.GetCount(), row.Message ? 1 : 0);
    if (!row.Message) continue;
    EXPECT_EQ(messages.GetItem(0)->Kind(), mkWarning);
    EXPECT_EQ(messages.GetItem(0)->GetText(), row.Message);
  }
}

TEST_F(DataElementTest, TypeNamesKeepLettersAndDigitsOnly) {
  TElement_Image* e = AddImage({1, 2, 3}, u"../E X.e!\u00E9xe12345678");
  EXPECT_EQ(e->TypeName(), u"exexe12345");
  TKnot knot;
  knot.LoadFromString(u"<Image Type=\"b a\\t\" Value=\"0102\"/>");
  TElement_Image* loaded = AddImage();
  Host->Scheme.LoadElement(loaded, fmDocument, &knot);
  EXPECT_EQ(loaded->TypeName(), u"bat");
}

TEST_F(DataElementTest, OnlyFilesOfTheTableAreTakenWhenDroppedEachInOneStep) {
  const std::u16string text = TempFile(u"a.txt");
  const std::u16string png = TempFile(u"B.PNG");
  const TBytes pngBytes = MakePng(4, 4);
  StreamOf({'h', 'i'})->SaveToFile(text);
  StreamOf(pngBytes)->SaveToFile(png);
  TElement_Image* e = AddImage();

  EXPECT_FALSE(e->DropFiles({text}));
  EXPECT_FALSE(e->HasValue());
  EXPECT_EQ(UndoSteps(), 0);

  EXPECT_TRUE(e->DropFiles({png}));
  EXPECT_EQ(e->TypeName(), u"png");
  EXPECT_EQ(BytesOf(e->Data()), pngBytes);
  EXPECT_EQ(UndoSteps(), 1);
  Host->History.Undo();
  EXPECT_FALSE(e->HasValue());
  EXPECT_EQ(e->TypeName(), u"");
}

TEST_F(DataElementTest, ADataTypeOutsideTheAcceptedSetIsReported) {
  TElement_Image* e = AddImage({1, 2, 3, 4}, u"tiff");
  e->Check();
  EXPECT_TRUE(e->HasNoProblems());
  e->SetAcceptedTypes(0x1FFF);
  e->Check();
  ASSERT_NE(e->Messages(), nullptr);
  ASSERT_EQ(e->Messages()->GetCount(), 1);
  EXPECT_EQ(e->Messages()->GetItem(0)->Kind(), mkElementError);
  EXPECT_EQ(e->Messages()->GetItem(0)->GetText(), u"Invalid data type in the element");
}

TEST_F(DataElementTest, EnterOnAReadOnlyElementPassesOnAndOtherKeysAreTaken) {
  TElement_Image* e = AddImage(MakePng(2, 2), u"png");
  Host->Scheme.SetReadOnly(true);
  uint16_t key = VK_RETURN;
  e->KeyDown(key, {});
  EXPECT_EQ(key, VK_RETURN);
  char16_t c = u'x';
  e->KeyPress(c);
  EXPECT_EQ(c, 0);
}

TEST_F(DataElementTest, APngOnlyElementOffersEditingThePngItemAndTheFileItems) {
  TElement_Image* e = AddImage();
  e->SetAcceptedTypes(0x0800);
  TPaletteList list;
  e->GetPaletteItems(list);
  std::vector<int> captions;
  for (TPaletteNode* node : list)
    if (auto* item = dynamic_cast<TPaletteItem*>(node); item && item->CaptionID() >= 2780 && item->CaptionID() <= 2813)
      captions.push_back(item->CaptionID());
  EXPECT_EQ(captions, (std::vector<int>{IdPaletteEdit, IdPaletteApply, IdPaletteCancel, IdPalettePng,
                                        IdPaletteLoadFromFile, IdPaletteSaveToFile}));
}

TEST_F(DataElementTest, TheCheckedFormatItemDoesNothingForAnotherExtensionOfItsFormat) {
  TElement_Image* e = AddImage();
  e->ConvertFormat(dtJpeg);
  TMemoryStream jpeg;
  e->WriteDataTo(jpeg);
  e->SetData(jpeg, u"jpg");
  const TBytes before = BytesOf(e->Data());
  TPaletteList list;
  e->GetPaletteItems(list);
  TPaletteItem* jpegItem = nullptr;
  for (TPaletteNode* node : list)
    if (auto* item = dynamic_cast<TPaletteItem*>(node); item && item->CaptionID() == IdPaletteJpeg) jpegItem = item;
  ASSERT_NE(jpegItem, nullptr);
  TPaletteItemState state;
  e->QueryPaletteItemState(jpegItem, state);
  EXPECT_TRUE(state.Ticked);
  e->RunPaletteItem(static_cast<TSchemePaletteItem*>(jpegItem), 0);
  EXPECT_EQ(UndoSteps(), 0);
  EXPECT_EQ(BytesOf(e->Data()), before);
  EXPECT_EQ(e->TypeName(), u"jpg");
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(DataElementTest, OnlyAnExistingTemporaryFileOfOursKeepsTheEditingModeAndCopiesCarryNone) {
  const std::u16string ours = GetTempFolder() + u"File9731.png";
  Files.push_back(ours);
  StreamOf({1})->SaveToFile(ours);
  const struct {
    std::u16string Name;
    uint8_t Mode;
    bool Kept;
  } cases[] = {
      {ours, fmDocument, true},
      {ours, fmCopy, false},
      {GetTempFolder() + u"File9732.png", fmDocument, false},
      {GetTempFolder() + u"File9731.png.exe", fmDocument, false},
      {u"C:\\windows\\win.ini", fmDocument, false},
      {u"File9731.png", fmDocument, false},
  };
  for (const auto& c : cases) {
    TElement_Image* source = AddImage({1, 2}, u"png");
    source->SetExternalEditingFileName(c.Name);
    TKnot knot;
    Host->Scheme.SaveElement(source, c.Mode, &knot, {});
    EXPECT_EQ(knot.FindParam(u"ExternalEditingFileName") != nullptr, c.Mode != fmCopy);
    // A foreign copy may carry one all the same.
    if (c.Mode == fmCopy) knot.WriteString(u"ExternalEditingFileName", c.Name);
    TElementMessages messages;
    TElement_Image* loaded = AddImage();
    {
      TSchemeLoader loader(&Host->Scheme, c.Mode, {}, &knot, &messages);
      loaded->LoadFromKnot(&loader, &knot);
      loader.Finish();
    }
    EXPECT_EQ(loaded->ExternalEditingFileName(), c.Kept ? c.Name : u"") << c.Mode;
    EXPECT_EQ(loaded->HasVisualState(vsExternalEditing), c.Kept);
    EXPECT_EQ(messages.GetCount(), c.Kept || c.Mode == fmCopy ? 0 : 1) << c.Mode;
    source->SetExternalEditingFileName(u"");
  }
  EXPECT_EQ(UndoSteps(), 0);
  EXPECT_TRUE(FileExists(ours));
}

TEST_F(DataElementTest, InProcessCopiesShareTheBytesThroughATokenAndAnUnknownTokenIsAReadError) {
  const TBytes png = MakePng(30, 20);
  TElement_Image* source = AddImage(png, u"png");
  ASSERT_NE(source->Preview(), nullptr);
  TKnot knot;
  Host->Scheme.SaveElement(source, fmRecord, &knot, ffInProcessCopy);
  const std::u16string token = knot.ReadString(u"Value", u"");
  EXPECT_FALSE(token.empty());
  EXPECT_TRUE(std::all_of(token.begin(), token.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }));
  EXPECT_EQ(knot.ReadInteger(u"W", 0, 0, 0), 30);
  EXPECT_EQ(knot.ReadInteger(u"H", 0, 0, 0), 20);

  TElement_Image* copy = AddImage();
  {
    TSchemeLoader loader(&Host->Scheme, fmRecord, ffInProcessCopy, &knot, nullptr);
    copy->LoadFromKnot(&loader, &knot);
    loader.Finish();
  }
  EXPECT_EQ(&copy->Data(), &source->Data());
  std::u16string hint;
  copy->GetHint(hint);
  EXPECT_EQ(hint, u"png 30x20");
  // The source changing its data leaves the copy's bytes alone.
  source->SetData(*StreamOf({7}), u"bin");
  EXPECT_EQ(BytesOf(copy->Data()), png);

  TKnot unknown;
  unknown.LoadFromString(u"<Image Type=\"png\" Value=\"987654321987\"/>");
  TElementMessages messages;
  TElement_Image* lost = AddImage();
  {
    TSchemeLoader loader(&Host->Scheme, fmRecord, ffInProcessCopy, &unknown, &messages);
    lost->LoadFromKnot(&loader, &unknown);
    loader.Finish();
  }
  EXPECT_FALSE(lost->HasValue());
  ASSERT_EQ(messages.GetCount(), 1);
  EXPECT_EQ(messages.GetItem(0)->GetText(), u"Data read error in the element");
}

// ---------------------------------------------------------------------------------------------------------------
// Clipboard

TEST_F(DataElementTest, ACopyPutsThePackedDataItsTypeAndABitmap) {
  const TBytes png = MakePng(5, 3);
  AddImage(png, u"png")->Copy();
  TBytes type;
  TBytes packed;
  ASSERT_TRUE(Clipboard->GetBuffer(DataTypeClipboardFormat, type));
  ASSERT_TRUE(Clipboard->GetBuffer(DataClipboardFormat, packed));
  EXPECT_EQ(type, (TBytes{0x70, 0, 0x6E, 0, 0x67, 0, 0, 0}));
  ASSERT_GE(packed.size(), 2u);
  EXPECT_EQ(packed[0], 0x78);
  EXPECT_EQ(packed[1], 0x9C);
  EXPECT_EQ(Inflate(packed), png);
  EXPECT_TRUE(TClipboard::HasFormat(CF_BITMAP));
}

TEST_F(DataElementTest, APasteElsewhereGivesTheSameBytesAndTypeInOneStep) {
  const TBytes png = MakePng(7, 7);
  AddImage(png, u"png")->Copy();
  TElement_Image* target = AddImage({9, 9}, u"bin");
  EXPECT_TRUE(target->Paste());
  EXPECT_EQ(BytesOf(target->Data()), png);
  EXPECT_EQ(target->TypeName(), u"png");
  EXPECT_EQ(UndoSteps(), 1);
  Host->History.Undo();
  EXPECT_EQ(BytesOf(target->Data()), (TBytes{9, 9}));
  EXPECT_EQ(target->TypeName(), u"bin");
}

TEST_F(DataElementTest, TextAlonePastesNothingAndRecordsNothing) {
  Clipboard->SetAsText(u"plain");
  TElement_Image* e = AddImage();
  EXPECT_FALSE(e->Paste());
  EXPECT_FALSE(e->HasValue());
  EXPECT_EQ(UndoSteps(), 0);
}

TEST_F(DataElementTest, APastedBitmapBecomesAnOpaquePng) {
  TBitmap bitmap(10, 10, TPixelFormat::pf32bit);
  for (int y = 0; y < 10; ++y) {
    auto* row = static_cast<uint32_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < 10; ++x) row[x] = 0x00336699;
  }
  Clipboard->SetBitmap(bitmap);
  TElement_Image* e = AddImage();
  ASSERT_TRUE(e->Paste());
  EXPECT_EQ(e->TypeName(), u"png");
  const TBytes data = BytesOf(e->Data());
  ASSERT_GE(data.size(), 4u);
  EXPECT_EQ(TBytes(data.begin(), data.begin() + 4), (TBytes{0x89, 0x50, 0x4E, 0x47}));
  TUniversalImage image;
  image.LoadFromStream(*StreamOf(data));
  ASSERT_FALSE(image.Empty());
  EXPECT_EQ(image.First()->Pixel(4, 4), 0xFF336699u);
}

TEST_F(DataElementTest, AWindowsMetafileIsStoredAsAPlaceableOneWhereEnhancedOnesAreNotTaken) {
  HDC recorder = CreateMetaFileW(nullptr);
  Rectangle(recorder, 0, 0, 200, 100);
  HMETAFILE metafile = CloseMetaFile(recorder);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
  auto* pict = static_cast<METAFILEPICT*>(GlobalLock(memory));
  *pict = METAFILEPICT{MM_ANISOTROPIC, 2000, 1000, metafile};
  GlobalUnlock(memory);
  Clipboard->Open();
  Clipboard->Clear();
  Clipboard->SetAsHandle(CF_METAFILEPICT, memory);
  Clipboard->Close();
  TElement_Image* e = AddImage();
  e->SetAcceptedTypes(AllDataTypes & ~(1u << dtBmp) & ~(1u << dtEmf));
  ASSERT_TRUE(e->Paste());
  EXPECT_EQ(e->TypeName(), u"wmf");
  const TBytes data = BytesOf(e->Data());
  ASSERT_GE(data.size(), 22u);
  EXPECT_EQ(TBytes(data.begin(), data.begin() + 4), (TBytes{0xD7, 0xCD, 0xC6, 0x9A}));
  EXPECT_EQ(UndoSteps(), 1);
}

TEST_F(DataElementTest, TheChosenFileIsLoadedInOneStepAndSavedAsTheRawBytes) {
  const std::u16string source = TempFile(u"picture.GIF");
  const std::u16string target = TempFile(u"copy.gif");
  const TBytes gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 1, 0, 1, 0, 0, 0, 0, 0x3B};
  StreamOf(gif)->SaveToFile(source);
  std::vector<std::u16string> saveFilters;
  SetDataFileDialog([&](TOpenSaveDialog& ADialog, bool AOpen) {
    if (!AOpen) saveFilters.push_back(BuildFilterString(ADialog.FileFilters(), false, false, nullptr, false, false));
    ADialog.SetFileName(AOpen ? source : target);
    return true;
  });
  TElement_Image* e = AddImage();
  EXPECT_TRUE(e->LoadFromFileDialog());
  EXPECT_EQ(e->TypeName(), u"gif");
  EXPECT_EQ(BytesOf(e->Data()), gif);
  EXPECT_EQ(UndoSteps(), 1);
  EXPECT_TRUE(e->SaveToFileDialog());
  EXPECT_EQ(saveFilters, std::vector<std::u16string>{u"GIF (*.gif)|*.gif"});
  TMemoryStream written;
  written.LoadFromFile(target);
  EXPECT_EQ(BytesOf(written), gif);
}

TEST_F(DataElementTest, DamagedPrivateBlocksLeaveTheOldDataIntact) {
  std::mt19937 random(17);
  TBytes noise(300);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  TMemoryStream packed;
  CompressStream(*StreamOf(MakePng(6, 6)), packed);
  TBytes cut = BytesOf(packed);
  cut.resize(cut.size() / 2);
  // A zero-bomb: far more than the unpacking limit.
  TMemoryStream zeros;
  zeros.SetSize(int64_t(300) << 20);
  TMemoryStream bomb;
  CompressStream(zeros, bomb);
  zeros.Clear();
  const TBytes blocks[] = {noise, cut, BytesOf(bomb)};
  const TBytes typeBlock = {0x70, 0, 0x6E, 0, 0x67, 0};  // "png" without its zero
  for (const TBytes& block : blocks) {
    TElement_Image* e = AddImage({1, 2, 3}, u"bin");
    Clipboard->Open();
    Clipboard->Clear();
    Clipboard->SetBuffer(DataClipboardFormat, block.data(), block.size());
    Clipboard->SetBuffer(DataTypeClipboardFormat, typeBlock.data(), typeBlock.size());
    Clipboard->Close();
    EXPECT_FALSE(e->Paste()) << block.size();
    EXPECT_EQ(BytesOf(e->Data()), (TBytes{1, 2, 3}));
    EXPECT_EQ(e->TypeName(), u"bin");
    EXPECT_EQ(UndoSteps(), 0);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Conversion

TEST_F(DataElementTest, ConvertingWarnsOnlyForLossyFormatsAndUndoRestoresTheExactBytes) {
  const TBytes png = MakePng(16, 16);
  TElement_Image* e = AddImage(png, u"png");
  e->SetFormatUndoable(dtBmp);
  EXPECT_TRUE(Boxes.Boxes.empty());
  EXPECT_EQ(e->TypeName(), u"bmp");
  const TBytes bmp = BytesOf(e->Data());
  EXPECT_EQ(TBytes(bmp.begin(), bmp.begin() + 2), (TBytes{'B', 'M'}));
  Host->History.Undo();
  EXPECT_EQ(BytesOf(e->Data()), png);
  EXPECT_EQ(e->TypeName(), u"png");

  e->SetFormatUndoable(dtJpeg);
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].substr(0, 30), u"Setting this format can lead t");
  EXPECT_EQ(e->TypeName(), u"jpeg");
  const TBytes jpeg = BytesOf(e->Data());
  EXPECT_EQ(TBytes(jpeg.begin(), jpeg.begin() + 2), (TBytes{0xFF, 0xD8}));
  Host->History.Undo();
  EXPECT_EQ(BytesOf(e->Data()), png);
  Host->History.Redo();
  EXPECT_EQ(e->TypeName(), u"jpeg");
  EXPECT_EQ(BytesOf(e->Data()), jpeg);
  EXPECT_EQ(Boxes.Boxes.size(), 1u);
}

TEST_F(DataElementTest, IconsAndCursorsFromDataThatIsNoImageAreTheGreyBlank) {
  const int size = GetSystemMetrics(SM_CXICON);
  for (TDataType type : {dtIco, dtCur}) {
    TElement_Image* e = AddImage({'n', 'o', 't'}, u"txt");
    e->SetFormatUndoable(type);
    const TBytes data = BytesOf(e->Data());
    ASSERT_GE(data.size(), 22u);
    EXPECT_EQ(TBytes(data.begin(), data.begin() + 6), (TBytes{0, 0, uint8_t(type == dtIco ? 1 : 2), 0, 1, 0}));
    EXPECT_EQ(data[6], uint8_t(size));
    if (type == dtCur) {
      EXPECT_EQ(TBytes(data.begin() + 10, data.begin() + 14), (TBytes{0, 0, 0, 0}));
    }
    EXPECT_EQ(e->TypeName(), type == dtIco ? u"ico" : u"cur");
    TUniversalImage image;
    image.LoadIconStream(*StreamOf(data));
    ASSERT_FALSE(image.Empty());
    EXPECT_EQ(image.First()->Pixel(size / 2, size / 2), BlankImageColor);
  }
}

TEST_F(DataElementTest, DeletingTheContentLeavesNoDataAndNoTypeUndoably) {
  const TBytes png = MakePng(3, 3);
  TElement_Image* e = AddImage(png, u"png");
  ASSERT_TRUE(e->CanDelete());
  e->DeleteSelection();
  EXPECT_FALSE(e->HasValue());
  EXPECT_EQ(e->TypeName(), u"");
  Host->History.Undo();
  EXPECT_EQ(BytesOf(e->Data()), png);
  EXPECT_EQ(e->TypeName(), u"png");
  Host->History.Redo();
  EXPECT_FALSE(e->HasValue());
}

TEST_F(DataElementTest, TheOpenDialogListsAllImagesThenEachFormatOnItsOwnFormatsFirst) {
  std::u16string filter;
  TOpenSaveOptions options;
  SetDataFileDialog([&](TOpenSaveDialog& ADialog, bool AOpen) {
    EXPECT_TRUE(AOpen);
    filter = BuildFilterString(ADialog.FileFilters(), true, true, nullptr, false, false);
    options = ADialog.Options();
    return false;
  });
  TElement_Image* e = AddImage();
  EXPECT_FALSE(e->LoadFromFileDialog());
  EXPECT_FALSE(options.Contains(osoDefaultFilterAll));
  EXPECT_EQ(filter,
            u"All Images (*.bmp, *.ico, *.cur, *.emf, *.wmf, *.jpeg, *.jpg, *.jpe, *.jfif, *.gif, *.png, *.tif, "
            u"*.tiff)|*.bmp;*.ico;*.cur;*.emf;*.wmf;*.jpeg;*.jpg;*.jpe;*.jfif;*.gif;*.png;*.tif;*.tiff|"
            u"Bitmap (*.bmp)|*.bmp|Icon (*.ico)|*.ico|Cursor (*.cur)|*.cur|Metafile (*.emf, *.wmf)|*.emf;*.wmf|"
            u"JPEG (*.jpeg, *.jpg, *.jpe, *.jfif)|*.jpeg;*.jpg;*.jpe;*.jfif|GIF (*.gif)|*.gif|PNG (*.png)|*.png|"
            u"TIFF (*.tif, *.tiff)|*.tif;*.tiff");
}

}  // namespace
