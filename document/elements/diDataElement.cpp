#include "document/elements/diDataElement.h"

#include "controls/baAppCmpns.h"
#include "document/elements/diDataElementUtils.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImages.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "document/model/diThemes.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuStreams.h"
#include "foundation/cuUtils.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwBitmaps.h"
#include "framework/fwClipboard.h"
#include "graphics/images/umUniversalImage.h"
#include "graphics/pixels/pxImageSize.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <new>
#include <span>
#include <vector>

IDataExternalEditing* DataExternalEditing = nullptr;
unsigned DataClipboardFormat = 0;
unsigned DataTypeClipboardFormat = 0;
int DataElementLargeImagesIndex = -1;
int DataElementSmallImagesIndex = -1;
TPaletteGroup* PaletteDataEditGroup = nullptr;
TPaletteGroup* PaletteDataFormatGroup = nullptr;

namespace {

constexpr std::u16string_view DataClipboardFormatName = u"Ravelwright Binary Data";
constexpr std::u16string_view DataTypeClipboardFormatName = u"Ravelwright Binary Data Type";

// The class group the plain root and comments offer.
constexpr int DataClassesGroup = 1;

// ---------------------------------------------------------------------------------------------------------------
// In-process copies: a knot carries a token, never a pointer; the token finds the shared bytes while any element
// still holds them. Expired entries go at the next registration.

class TDataTokens {
 public:
  int64_t Register(const std::shared_ptr<TMemoryStream>& AData) {
    for (auto it = FEntries.begin(); it != FEntries.end();) it = it->second.expired() ? FEntries.erase(it) : ++it;
    const int64_t token = ++FLast;
    FEntries.emplace(token, AData);
    return token;
  }
  std::shared_ptr<TMemoryStream> Find(int64_t AToken) {
    auto it = FEntries.find(AToken);
    return it == FEntries.end() ? nullptr : it->second.lock();
  }

 private:
  int64_t FLast = 0;
  std::map<int64_t, std::weak_ptr<TMemoryStream>> FEntries;
};

TDataTokens& DataTokens() {
  static TDataTokens tokens;
  return tokens;
}

// ---------------------------------------------------------------------------------------------------------------
// Palette items of the unit.

class TDataEditPaletteItem : public TSubExecutablePaletteItem {
 public:
  using TSubExecutablePaletteItem::TSubExecutablePaletteItem;

  void GetSubCommands(IPaletteTarget* AElement, std::vector<TPaletteSubCommand>& AList) override {
    if (DataExternalEditing)
      DataExternalEditing->GetEditSubCommands(dynamic_cast<TCustomDataElement*>(AElement), AList);
  }
  void ExecuteSub(IPaletteTarget* AElement, const std::u16string& AParameter) override {
    auto* element = dynamic_cast<TCustomDataElement*>(AElement);
    if (element && DataExternalEditing) DataExternalEditing->RunEditSubCommand(element, AParameter);
  }
};

struct TFormatEntry {
  TDataType Type;
  int32_t Weight;
  int Caption;
  int Hint;
};

// In the order of the "Format" group, heaviest first.
const std::array<TFormatEntry, 6> FormatEntries{{
    {dtPng, 90, IdPalettePng, IdPalettePngHint},
    {dtJpeg, 85, IdPaletteJpeg, IdPaletteJpegHint},
    {dtGif, 82, IdPaletteGif, IdPaletteGifHint},
    {dtBmp, 80, IdPaletteBmp, IdPaletteBmpHint},
    {dtIco, 70, IdPaletteIco, IdPaletteIcoHint},
    {dtCur, 60, IdPaletteCur, IdPaletteCurHint},
}};

TSchemePaletteItem* PaletteEditItem = nullptr;
TSchemePaletteItem* PaletteApplyItem = nullptr;
TSchemePaletteItem* PaletteCancelItem = nullptr;
std::array<TSchemePaletteItem*, FormatEntries.size()> PaletteFormatItems{};
TSchemePaletteItem* PaletteLoadItem = nullptr;
TSchemePaletteItem* PaletteSaveItem = nullptr;
TElementPaletteItem* PaletteImageItem = nullptr;

// The data type a format item sets; -1 for any other item.
TDataType FormatItemType(const TPaletteItem* AItem) {
  for (size_t i = 0; i < FormatEntries.size(); ++i)
    if (AItem && AItem == PaletteFormatItems[i]) return FormatEntries[i].Type;
  return -1;
}

void PushItem(TPaletteList& AList, TPaletteItem* AItem) {
  if (!AItem) return;
  if (auto* group = dynamic_cast<TPaletteNode*>(AItem->Parent());
      group && std::find(AList.begin(), AList.end(), group) == AList.end())
    AList.push_back(group);
  AList.push_back(AItem);
}

// ---------------------------------------------------------------------------------------------------------------
// The file dialogs.

using TDialogPtr = std::unique_ptr<TOpenSaveDialog, TComponentDeleter>;

TDataFileDialog& FileDialogRunner() {
  static TDataFileDialog runner;
  return runner;
}

bool RunFileDialog(TOpenSaveDialog& ADialog, bool AOpen) {
  if (const TDataFileDialog& runner = FileDialogRunner()) return runner(ADialog, AOpen);
  return AOpen ? ADialog.ExecuteOpen() : ADialog.ExecuteSave();
}

// ---------------------------------------------------------------------------------------------------------------
// Pictures.

std::span<const uint8_t> Bytes(const TMemoryStream& AStream) {
  return {AStream.Memory(), static_cast<size_t>(const_cast<TMemoryStream&>(AStream).Size())};
}

struct TDecodedPreview {
  std::unique_ptr<TUniversalImage> Image;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Scale = 100;
};

// The picture in AData with its full size, scaled down to the preview's width; no image when it has no frame of a
// size.
TDecodedPreview DecodePreview(TMemoryStream& AData) {
  TDecodedPreview result;
  auto image = std::make_unique<TUniversalImage>();
  AData.SetPosition(0);
  image->LoadFromStream(AData, true);
  if (image->Empty()) return result;
  const SIZE size = image->GetSize();
  if (size.cx <= 0 || size.cy <= 0) return result;
  result.Width = size.cx;
  result.Height = size.cy;
  result.Scale = PreviewScale(result.Width);
  if (result.Scale < 100) {
    const TImageSize scaled = PreviewSize({result.Width, result.Height}, result.Scale);
    auto small = std::make_unique<TUniversalImage>();
    TBitmap32* frame = small->AddFrame();
    frame->SetSize(scaled.Width, scaled.Height);
    frame->Clear(0);
    TBitmap32* source = image->First();
    const TDrawMode mode = source->DrawMode();
    source->SetDrawMode(dmOpaque);
    source->StretchDrawTo(frame, TRect{0, 0, scaled.Width, scaled.Height}, source->BoundsRect());
    source->SetDrawMode(mode);
    image = std::move(small);
  }
  // An opaque picture is copied, not blended: blending at full alpha is not exact.
  TBitmap32* frame = image->First();
  const TColor32* bits = frame->Bits();
  const size_t count = size_t(frame->Width()) * frame->Height();
  frame->SetDrawMode(std::all_of(bits, bits + count, [](TColor32 APixel) { return APixel >> 24 == 0xFF; }) ? dmOpaque
                                                                                                           : dmBlend);
  result.Image = std::move(image);
  return result;
}

std::u16string PreviewTooLargeText() {
  return FormatLocStrOr(IdDataPreviewTooLarge, u"The picture is too large to be previewed", {});
}

// Whether the headers give a picture beyond MaxImageSide or MaxImagePixels, all its frames together.
bool PictureTooLarge(const TMemoryStream& AData) {
  TPictureHeader header;
  return ReadPictureHeader(Bytes(AData), header) == TImageFormatError::TooLarge;
}

// A 32-bit bitmap of ASource composed over opaque white.
std::unique_ptr<TBitmap32> FlattenOnWhite(TBitmap32& ASource) {
  auto result = std::make_unique<TBitmap32>();
  result->SetSize(ASource.Width(), ASource.Height());
  result->Clear(0xFFFFFFFF);
  const TDrawMode mode = ASource.DrawMode();
  ASource.SetDrawMode(dmBlend);
  ASource.DrawTo(result.get(), 0, 0);
  ASource.SetDrawMode(mode);
  return result;
}

std::unique_ptr<TBitmap32> BlankBitmap() {
  auto blank = CreateBlankImage();
  auto result = std::make_unique<TBitmap32>();
  result->Assign(blank.get());
  return result;
}

// An icon, or a cursor with its hot spot at 0, 0, of the system's icon size with APicture stretched over white.
void WriteIconFile(TBitmap32& APicture, bool ACursor, TStream& ADest) {
  const int width = std::max(1, GetSystemMetrics(SM_CXICON));
  const int height = std::max(1, GetSystemMetrics(SM_CYICON));
  TBitmap32 colour;
  colour.SetSize(width, height);
  colour.Clear(0xFFFFFFFF);
  const TDrawMode mode = APicture.DrawMode();
  APicture.SetDrawMode(dmBlend);
  APicture.StretchDrawTo(&colour, TRect{0, 0, width, height}, APicture.BoundsRect());
  APicture.SetDrawMode(mode);
  colour.ResetAlpha(0xFF);
  TBitmap colourBitmap;
  colour.AssignTo(colourBitmap);
  // A mask all black: every pixel of the colour bitmap shows.
  const size_t maskStride = ((static_cast<size_t>(width) + 15) / 16) * 2;
  std::vector<uint8_t> maskBits(maskStride * height, 0);
  HBITMAP mask = CreateBitmap(width, height, 1, 1, maskBits.data());
  if (!mask) throw EOSError(u"Cannot create an icon mask", GetLastError());
  ICONINFO info{};
  info.fIcon = ACursor ? FALSE : TRUE;
  info.hbmMask = mask;
  info.hbmColor = colourBitmap.Handle();
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  if (!icon) throw EOSError(u"Cannot create an icon", GetLastError());
  TIcon file;
  file.SetHandle(icon);
  TMemoryStream written;
  file.SaveToStream(written);
  if (ACursor && written.Size() >= 22) {
    // The cursor directory: type 2, and the entry's planes and bit count become the hot spot.
    uint8_t* bytes = written.Memory();
    bytes[2] = 2;
    bytes[3] = 0;
    std::memset(bytes + 6 + 4, 0, 4);
  }
  written.SetPosition(0);
  ADest.CopyFrom(written, 0);
}

// The type name stored with the data: letters and digits, lower case, at most ten.
std::u16string SafeTypeName(const std::u16string& AName) { return SanitizeTypeName(AName); }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// The element

const TElementClassInfo TCustomDataElement::ClassInfo{u"TCustomDataElement", &TVisualElement::ClassInfo, nullptr};

TCustomDataElement::TCustomDataElement(TScheme* AScheme)
    : TVisualElement(AScheme), FData(std::make_shared<TMemoryStream>()) {
  SetOptions(Options() | eoValue);
  SetVisualOptions(VisualOptions() | voClickFocus | voFocusable | voTakesPastes);
}

TCustomDataElement::~TCustomDataElement() = default;

int64_t TCustomDataElement::DataSize() const { return FData->Size(); }

TDataType TCustomDataElement::DataType() const { return DataTypeOfExtension(FTypeName); }

void TCustomDataElement::ReplaceData(std::shared_ptr<TMemoryStream> AData, const std::u16string& ATypeName) {
  FData = std::move(AData);
  FTypeName = SafeTypeName(ATypeName);
  ValueChanged();
}

void TCustomDataElement::SetData(TStream& AStream, const std::u16string& ATypeName) {
  auto data = std::make_shared<TMemoryStream>();
  data->CopyFrom(AStream, 0);
  data->SetPosition(0);
  ReplaceData(std::move(data), ATypeName);
}

void TCustomDataElement::SetPackedData(TStream& APacked, const std::u16string& ATypeName) {
  TBusyCursor busy;
  // Unpacked aside: a damaged block leaves the element as it was.
  auto data = std::make_shared<TMemoryStream>();
  DecompressStream(APacked, *data);
  ReplaceData(std::move(data), ATypeName);
}

void TCustomDataElement::SetPackedDataUndoable(TStream& APacked, const std::u16string& ATypeName) {
  auto copy = std::make_unique<TMemoryStream>();
  copy->CopyFrom(APacked, 0);
  TSchemeOperation::Perform(
      TNodePtr<TSchemeOperation>(new TDataNewDataOperation(this, std::move(copy), SafeTypeName(ATypeName))));
}

void TCustomDataElement::SetPlainDataUndoable(TStream& AStream, const std::u16string& ATypeName) {
  auto packed = std::make_unique<TMemoryStream>();
  {
    TBusyCursor busy;
    CompressStream(AStream, *packed);
  }
  TSchemeOperation::Perform(
      TNodePtr<TSchemeOperation>(new TDataNewDataOperation(this, std::move(packed), SafeTypeName(ATypeName))));
}

void TCustomDataElement::PackData(TStream& ADest) const {
  TBusyCursor busy;
  CompressStream(*FData, ADest);
}

void TCustomDataElement::WriteDataTo(TStream& ADest) const {
  const int64_t size = FData->Size();
  ADest.SetSize(size);
  ADest.SetPosition(0);
  if (size) ADest.WriteBuffer(FData->Memory(), static_cast<size_t>(size));
}

void TCustomDataElement::LoadFromFile(const std::u16string& AFileName) {
  TBusyCursor busy;
  TFileStream file(AFileName, TFileMode::fmOpenRead);
  SetData(file, LowerCaseAscii(ExtractFileExtNoDot(AFileName)));
}

void TCustomDataElement::LoadFromFileUndoable(const std::u16string& AFileName) {
  TBusyCursor busy;
  TFileStream file(AFileName, TFileMode::fmOpenRead);
  SetPlainDataUndoable(file, LowerCaseAscii(ExtractFileExtNoDot(AFileName)));
}

bool TCustomDataElement::FillFromFile(const std::u16string& AFileName) {
  if (DataTypeOfFileName(AFileName) <= dtOther) return false;
  LoadFromFile(AFileName);
  return HasValue();
}

void TCustomDataElement::SetExternalEditingFileName(const std::u16string& AName) {
  if (AName == FExternalEditingFileName) return;
  FExternalEditingFileName = AName;
  SetExternalEditing(!AName.empty());
  Check();
}

void TCustomDataElement::SetExternalEditingUndoable(const std::u16string& AName) {
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TDataExternalEditingModeOperation(this, AName)));
}

// ---------------------------------------------------------------------------------------------------------------
// Preview, size and painting

void TCustomDataElement::ReleasePreview() {
  FPreview.reset();
  FPreviewBuilt = false;
  FPreviewTooLarge = false;
  FWidth = FHeight = 0;
  FScale = 100;
}

void TCustomDataElement::BuildPreview() {
  if (FPreviewBuilt) return;
  FPreviewBuilt = true;
  if (!HasValue() || DataType() <= dtOther) return;
  TDecodedPreview preview;
  // Data that is no readable picture, or memory that cannot be had for one, leaves the element without a preview.
  try {
    preview = DecodePreview(*FData);
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
  }
  if (!preview.Image) {
    FPreviewTooLarge = PictureTooLarge(*FData);
    return;
  }
  FPreview = std::move(preview.Image);
  FWidth = preview.Width;
  FHeight = preview.Height;
  FScale = preview.Scale;
}

TUniversalImage* TCustomDataElement::Preview() {
  BuildPreview();
  return FPreview.get();
}

void TCustomDataElement::GetPadding(TRect& ARect) {
  ARect = Sheet() ? Sheet()->Canvas()->GetThemePadding(teImageContainer) : TRect();
}

void TCustomDataElement::UpdateSize() {
  TSheet* sheet = Sheet();
  if (!sheet || !IsVisible()) return;
  int32_t width = 60;
  int32_t height = 40;
  if (HasValue()) {
    if (TUniversalImage* preview = Preview()) {
      const SIZE size = preview->GetSize();
      width = size.cx;
      height = size.cy;
    } else if (FPreviewTooLarge) {
      const SIZE size = sheet->Canvas()->TextExtent(ckElement, PreviewTooLargeText());
      width = size.cx;
      height = size.cy;
    } else {
      TSheetCanvas* canvas = sheet->Canvas();
      width = canvas->TextExtent(ckFixed, std::u16string(HexLineChars, u'0')).cx;
      height = static_cast<int32_t>(HexLineCount(static_cast<size_t>(DataSize()))) *
               canvas->TextExtent(ckFixed, u"0").cy;
    }
  }
  TRect padding;
  GetPadding(padding);
  width += padding.Left + padding.Right;
  height += padding.Top + padding.Bottom;
  if (width != Width() || height != Height()) SetBounds(Left(), Top(), width, height, Descent());
}

void TCustomDataElement::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  if (!HasValue()) return;
  TRect padding;
  GetPadding(padding);
  if (TUniversalImage* preview = Preview()) {
    TBitmap32* frame = preview->First();
    TBitmap32* target = ACanvas->Bitmap();
    if (!frame || !target) return;
    POINT origin{};
    GetViewportOrgEx(ACanvas->GetHandle(), &origin);
    frame->DrawTo(target, origin.x + padding.Left, origin.y + padding.Top);
    return;
  }
  if (FPreviewTooLarge) {
    ACanvas->ElementTextOut(padding.Left, padding.Top, PreviewTooLargeText());
    return;
  }
  const int32_t lineHeight = ACanvas->TextExtent(ckFixed, u"0").cy;
  if (lineHeight <= 0) return;
  const size_t lines = HexLineCount(static_cast<size_t>(DataSize()));
  const TRect clip = ACanvas->ClipRect();
  const int64_t first = std::max<int64_t>(0, (int64_t(clip.Top) - padding.Top) / lineHeight);
  const TColor32 colour = ACanvas->Theme().GetFont(tfFixedFont).FontColor;
  const std::span<const uint8_t> bytes = Bytes(*FData);
  for (size_t line = static_cast<size_t>(first); line < lines; ++line) {
    const int64_t top = padding.Top + int64_t(line) * lineHeight;
    if (top >= clip.Bottom) break;
    ACanvas->TextOut(padding.Left, static_cast<int>(top), FormatHexLine(bytes, line), colour);
  }
}

void TCustomDataElement::BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) {
  if (AOldRect.Width() != Width() || AOldRect.Height() != Height()) CaretChanged();
}

void TCustomDataElement::VisibleChanged() {
  TVisualElement::VisibleChanged();
  UpdateSize();
}

void TCustomDataElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                         bool AHeightChanged) {
  TVisualElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  if (ASheetChanged || ASettingsChanged) UpdateSize();
}

uint8_t TCustomDataElement::GetCaret(TRect& ARect) {
  ARect = GetSizeRect();
  return ckDataFrame;
}

void TCustomDataElement::FocusChanged() {
  TVisualElement::FocusChanged();
  Invalidate();
}

void TCustomDataElement::ExternalEditingChanged() {
  TVisualElement::ExternalEditingChanged();
  ReportCommandState();
  EditStateChanged();
  Invalidate();
}

void TCustomDataElement::GetHint(std::u16string& AText) {
  TVisualElement::GetHint(AText);
  if (!HasValue()) return;
  if (!AText.empty()) AText += u"\r\n";
  // The size an in-process copy brought along, else the preview's, else what the headers tell.
  if (FWidth <= 0 || FHeight <= 0) BuildPreview();
  int32_t width = FWidth;
  int32_t height = FHeight;
  const int32_t scale = width > 0 && height > 0 ? PreviewScale(width) : 100;
  if (width <= 0 || height <= 0) {
    TImageSize size;
    FData->SetPosition(0);
    if (GetImageSize(*FData, DataType(), size)) {
      width = size.Width;
      height = size.Height;
    }
  }
  if (width > 0 && height > 0) {
    AText += FTypeName + u" " + IntToStr(width) + u"x" + IntToStr(height);
    if (scale != 100) AText += u" " + IntToStr(scale) + u"%";
  } else {
    AText += FTypeName;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Element hooks

bool TCustomDataElement::CalcHasValue() { return FData->Size() > 0; }

void TCustomDataElement::CheckValue() {
  if (!AcceptsType(DataType()))
    GetMessages()->AddLinked(mkElementError,
                             FormatLocStrOr(IdDataInvalidType, u"Invalid [data type] in the element", {}),
                             IntToStr(ID()));
  if (IsExternalEditing())
    GetMessages()->AddLinked(
        mkElementError,
        FormatLocStrOr(IdDataExternalEditingMode,
                       u"The element is in the mode of [editing by third-party program] — you need to choose "
                       u"\"Apply\" or \"Cancel\"",
                       {}),
        IntToStr(ID()));
}

void TCustomDataElement::HasValueChanged() {
  TVisualElement::HasValueChanged();
  AvailabilityChanged();
  EditStateChanged();
}

void TCustomDataElement::ValueChanged() {
  ReleasePreview();
  TVisualElement::ValueChanged();
  ReportCommandState();
  UpdateSize();
  Invalidate();
}

namespace {

bool IsPathDelimiter(char16_t C) { return C == u'\\' || C == u'/'; }

// The system's answer of a path routine that takes a buffer and returns the length it needs; empty on failure.
template <class TCall>
std::u16string PathAnswer(TCall ACall) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = ACall(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return FromWide(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return {};
}

std::u16string LongName(const std::u16string& AName) {
  return PathAnswer([&AName](wchar_t* ABuffer, DWORD ASize) { return GetLongPathNameW(WStr(AName), ABuffer, ASize); });
}

// The name under which the file system finds AName: full, with "." and ".." resolved, "/" as "\", the trailing
// dots and spaces the system drops dropped, and short names of what exists made long. Empty for a name that
// depends on the current folder or drive, a device or "\\?\" name, a stream name, or wildcards.
std::u16string ResolvedFileName(const std::u16string& AName) {
  const bool drive = AName.size() >= 3 &&
                     ((AName[0] >= u'A' && AName[0] <= u'Z') || (AName[0] >= u'a' && AName[0] <= u'z')) &&
                     AName[1] == u':' && IsPathDelimiter(AName[2]);
  const bool share = AName.size() >= 3 && IsPathDelimiter(AName[0]) && IsPathDelimiter(AName[1]) && AName[2] != u'?' &&
                     AName[2] != u'.' && !IsPathDelimiter(AName[2]);
  if (!drive && !share) return {};
  if (AName.find_first_of(u"*?\"<>|", 0) != std::u16string::npos || AName.find(u':', 2) != std::u16string::npos)
    return {};
  if (std::any_of(AName.begin(), AName.end(), [](char16_t C) { return C < u' '; })) return {};
  const std::u16string full = PathAnswer(
      [&AName](wchar_t* ABuffer, DWORD ASize) { return GetFullPathNameW(WStr(AName), ASize, ABuffer, nullptr); });
  if (full.empty()) return {};
  if (std::u16string name = LongName(full); !name.empty()) return name;
  const std::u16string folder = LongName(ExtractFilePath(full));
  return folder.empty() ? full : folder + ExtractFileName(full);
}

// Folders compare without their trailing delimiter.
std::u16string_view FolderPart(std::u16string_view AFolder) {
  while (!AFolder.empty() && IsPathDelimiter(AFolder.back())) AFolder.remove_suffix(1);
  return AFolder;
}

// Names compare as the file system does: code unit by code unit after the system's upper-casing.
bool SameFileNameText(std::u16string_view A, std::u16string_view B) {
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(A.data()), static_cast<int>(A.size()),
                              reinterpret_cast<const wchar_t*>(B.data()), static_cast<int>(B.size()),
                              TRUE) == CSTR_EQUAL;
}

// Two names of one file: one volume, one file number. False when either cannot be opened.
bool SameFile(const std::u16string& A, const std::u16string& B) {
  const auto identify = [](const std::u16string& AName, BY_HANDLE_FILE_INFORMATION& AInfo) {
    HANDLE file = CreateFileW(WStr(AName), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &AInfo) != 0;
    CloseHandle(file);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  return identify(A, a) && identify(B, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

bool IsEditingFileName(const std::u16string& AName, const std::u16string& ATypeName,
                       const std::u16string& ADocumentFile) {
  const std::u16string resolved = ResolvedFileName(AName);
  if (resolved.empty() || !FileExists(resolved)) return false;
  const std::u16string name = ExtractFileName(resolved);
  if (!IsEditingFileNamePattern(name) || !SameTextAscii(ExtractFileExtNoDot(name), EditingFileExtension(ATypeName)))
    return false;
  const std::u16string document = ADocumentFile.empty() ? std::u16string() : ResolvedFileName(ADocumentFile);
  const std::u16string folder = ExtractFilePath(resolved);
  const auto sameFolder = [&folder](const std::u16string& AOther) {
    return !AOther.empty() && SameFileNameText(FolderPart(AOther), FolderPart(folder));
  };
  if (!sameFolder(ResolvedFileName(GetTempFolder())) && !sameFolder(ExtractFilePath(document))) return false;
  // A data file may itself bear such a name. Its backup and kept damaged copies, named "...Backup.qbx" and
  // "...Damaged<n>.qbx", never do under their long names; another name of the same file is caught by its identity.
  if (document.empty()) return true;
  for (const std::u16string& own : {document, BackupFileName(document)})
    if (SameFileNameText(resolved, own) || SameFile(resolved, own)) return false;
  return true;
}

void TCustomDataElement::ReportRefusedPicture(TElementMessages& AMessages) {
  TPictureHeader header;
  switch (ReadPictureHeader(Bytes(*FData), header)) {
    case TImageFormatError::TooLarge:
      AMessages.AddLinked(mkWarning,
                          FormatLocStrOr(IdDataPictureTooLarge, u"The [picture] is too large to be previewed", {}),
                          IntToStr(ID()));
      break;
    case TImageFormatError::Truncated:
      AMessages.AddLinked(mkWarning,
                          FormatLocStrOr(IdDataPictureDamaged, u"The [picture] is damaged and cannot be previewed", {}),
                          IntToStr(ID()));
      break;
    default:
      break;
  }
}

void TCustomDataElement::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TBusyCursor busy;
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  const bool inProcess = ALoader->HasFlags(ffInProcessCopy);
  std::shared_ptr<TMemoryStream> data;
  bool readError = false;
  if (TKnotParam* value = AKnot->FindParam(u"Value")) {
    if (inProcess) {
      const std::u16string text = value->GetAsString();
      int64_t token = 0;
      bool number = !text.empty();
      for (char16_t c : text) {
        if (c < u'0' || c > u'9' || token > (INT64_MAX - 9) / 10) {
          number = false;
          break;
        }
        token = token * 10 + (c - u'0');
      }
      data = number ? DataTokens().Find(token) : nullptr;
      readError = !data;
      if (data) {
        FWidth = AKnot->ReadInteger(u"W", 0, 0, 0);
        FHeight = AKnot->ReadInteger(u"H", 0, 0, 0);
      }
    } else {
      // Read into a stream of its own: the parameter writes at the destination's position.
      data = std::make_shared<TMemoryStream>();
      if (!value->ReadStream(*data)) {
        data.reset();
        readError = true;
      }
    }
  }
  if (readError && ALoader->Messages())
    ALoader->Messages()->AddLinked(mkWarning, FormatLocStrOr(IdDataReadError, u"[Data read error] in the element", {}),
                                   IntToStr(ID()));
  const int32_t width = FWidth;
  const int32_t height = FHeight;
  FData = data ? std::move(data) : std::make_shared<TMemoryStream>();
  FData->SetPosition(0);
  FTypeName = SafeTypeName(AKnot->ReadString(u"Type", u""));
  ValueChanged();
  if (!inProcess && ALoader->Messages() && DataType() > dtOther) ReportRefusedPicture(*ALoader->Messages());
  if (inProcess && width > 0 && height > 0) {
    FWidth = width;
    FHeight = height;
  }
  // Copies never carry the editing mode; elsewhere only a temporary file of ours is taken.
  std::u16string editing;
  if (TKnotParam* name = AKnot->FindParam(u"ExternalEditingFileName")) {
    if (ALoader->Mode() != fmCopy)
      editing = name->GetAsString();
    else
      name->SetUsed(true);
  }
  if (!editing.empty() && !IsEditingFileName(editing, FTypeName, Scheme() ? Scheme()->FileName() : std::u16string())) {
    if (ALoader->Messages())
      ALoader->Messages()->AddLinked(
          mkWarning,
          FormatLocStrOr(IdDataEditingFileRefused,
                         u"The file \"%1\" of [editing by third-party program] was not accepted",
                         {QuoteMessageValue(editing)}),
          IntToStr(ID()));
    editing.clear();
  }
  SetExternalEditingFileName(editing);
}

void TCustomDataElement::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TBusyCursor busy;
  TVisualElement::SaveToKnot(ASaver, AKnot);
  if (HasValue()) {
    AKnot->WriteString(u"Type", FTypeName);
    if (ASaver->HasFlags(ffInProcessCopy)) {
      AKnot->WriteInteger(u"Value", DataTokens().Register(FData));
      if (FPreview || (FWidth > 0 && FHeight > 0)) {
        AKnot->WriteInteger(u"W", FWidth);
        AKnot->WriteInteger(u"H", FHeight);
      }
    } else if (ASaver->HasFlags(ffStreamsByReference)) {
      AKnot->WriteStreamRef(u"Value", FData.get());
    } else {
      AKnot->WriteStream(u"Value", *FData);
    }
  }
  if (IsExternalEditing() && ASaver->Mode() != fmCopy)
    AKnot->WriteString(u"ExternalEditingFileName", FExternalEditingFileName);
}

// ---------------------------------------------------------------------------------------------------------------
// Interaction

bool TCustomDataElement::CanDelete() { return HasValue() && !IsExternalEditing() && !IsReadOnly(); }

bool TCustomDataElement::CanPaste() { return TVisualElement::CanPaste() && !IsExternalEditing(); }

void TCustomDataElement::DeleteSelection() {
  if (!CanDelete()) return;
  TSchemeOperation::Perform(
      TNodePtr<TSchemeOperation>(new TDataNewDataOperation(this, std::make_unique<TMemoryStream>(), u"")));
}

bool TCustomDataElement::DropFiles(const std::vector<std::u16string>& AFileNames) {
  if (IsReadOnly() || IsExternalEditing()) return false;
  bool loaded = false;
  for (const std::u16string& name : AFileNames) {
    if (DataTypeOfFileName(name) <= dtOther) continue;
    LoadFromFileUndoable(name);
    loaded = true;
  }
  return loaded;
}

bool TCustomDataElement::ExecuteDefaultAction() {
  if (IsReadOnly()) return false;
  if (HasValue()) {
    if (!DataExternalEditing || !DataExternalEditing->EditsByDefault(DataType())) return false;
    DataExternalEditing->StartExternalEditing(this, {}, false);
    return true;
  }
  if (AcceptsType(dtPng)) {
    if (!DataExternalEditing || !DataExternalEditing->EditsByDefault(dtPng)) return false;
    DataExternalEditing->StartExternalEditing(this, {}, false);
    return true;
  }
  return LoadFromFileDialog();
}

void TCustomDataElement::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (AKey == VK_RETURN && AShift.Empty() && ExecuteDefaultAction()) AKey = 0;
}

void TCustomDataElement::KeyPress(char16_t& AChar) { AChar = 0; }

void TCustomDataElement::DblClick() {
  TVisualElement::DblClick();
  if (!ExecuteDefaultAction()) ElementBeep();
}

// ---------------------------------------------------------------------------------------------------------------
// Palette

void TCustomDataElement::GetPaletteItems(TPaletteList& AList) {
  PushItem(AList, PaletteEditItem);
  PushItem(AList, PaletteApplyItem);
  PushItem(AList, PaletteCancelItem);
  for (size_t i = 0; i < FormatEntries.size(); ++i)
    if (AcceptsType(FormatEntries[i].Type)) PushItem(AList, PaletteFormatItems[i]);
  PushItem(AList, PaletteLoadItem);
  PushItem(AList, PaletteSaveItem);
  TVisualElement::GetPaletteItems(AList);
}

void TCustomDataElement::GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) {
  if (!AItem) return;
  if (const TDataType type = FormatItemType(AItem); type >= 0) {
    AState.Ticked = HasValue() && SameDataFormat(type, DataType());
    AState.Accepted = !IsExternalEditing();
  } else if (AItem == PaletteLoadItem) {
    AState.Accepted = !IsExternalEditing();
  } else if (AItem == PaletteSaveItem) {
    AState.Accepted = HasValue();
  } else if (AItem == PaletteEditItem) {
    if (!DataExternalEditing)
      AState.Accepted = false;
    else if (HasValue())
      AState.Accepted = DataExternalEditing->EditsByDefault(DataType());
    else
      AState.Accepted = AcceptsType(dtPng) && DataExternalEditing->EditsByDefault(dtPng);
  } else if (AItem == PaletteApplyItem || AItem == PaletteCancelItem) {
    AState.Accepted = IsExternalEditing() && DataExternalEditing;
  } else {
    TVisualElement::GetPaletteItemState(AItem, AState);
  }
}

bool TCustomDataElement::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (const TDataType type = FormatItemType(AItem); type >= 0) {
    if (!HasValue() || !SameDataFormat(type, DataType())) SetFormatUndoable(type);
    return true;
  }
  if (AItem && AItem == PaletteEditItem) {
    if (DataExternalEditing) DataExternalEditing->StartExternalEditing(this, {}, false);
    return true;
  }
  if (AItem && AItem == PaletteApplyItem) {
    if (DataExternalEditing && IsExternalEditing()) DataExternalEditing->ApplyExternalEditing(this);
    return true;
  }
  if (AItem && AItem == PaletteCancelItem) {
    if (DataExternalEditing && IsExternalEditing()) DataExternalEditing->CancelExternalEditing(this);
    return true;
  }
  if (AItem && AItem == PaletteLoadItem) {
    LoadFromFileDialog();
    return true;
  }
  if (AItem && AItem == PaletteSaveItem) {
    SaveToFileDialog();
    return true;
  }
  return TVisualElement::ExecutePaletteItem(ATarget, AItem, AValue);
}

// ---------------------------------------------------------------------------------------------------------------
// Files

bool TCustomDataElement::LoadFromFileDialog() {
  TDialogPtr owned(New<TOpenSaveDialog>(nullptr));
  TOpenSaveDialog& dialog = *owned;
  TFileFilters& filters = dialog.FileFilters();
  std::vector<std::u16string_view> names;
  for (TDataType type = dtBmp; type < DataTypeCount; ++type)
    if (AcceptsType(type) && std::find(names.begin(), names.end(), DataTypeFormatName(type)) == names.end())
      names.push_back(DataTypeFormatName(type));
  if (names.size() > 1) {
    const std::u16string all = FormatLocStrOr(IdAllImagesFilter, u"All Images", {});
    for (TDataType type = dtBmp; type < DataTypeCount; ++type)
      if (AcceptsType(type)) filters.AddFilter(std::u16string(DataTypeExtension(type)), all);
  }
  for (std::u16string_view name : names)
    for (TDataType type = dtBmp; type < DataTypeCount; ++type)
      if (AcceptsType(type) && DataTypeFormatName(type) == name)
        filters.AddFilter(std::u16string(DataTypeExtension(type)), std::u16string(name));
  if (!FFlags.Contains(dfOwnFormatsFirst)) dialog.SetOptions(dialog.Options() | osoDefaultFilterAll);
  if (!RunFileDialog(dialog, true)) return false;
  LoadFromFileUndoable(dialog.FileName());
  return true;
}

bool TCustomDataElement::SaveToFileDialog() {
  if (!HasValue()) return false;
  TDialogPtr owned(New<TOpenSaveDialog>(nullptr));
  TOpenSaveDialog& dialog = *owned;
  const std::u16string_view name = DataTypeFormatName(DataType());
  dialog.FileFilters().AddFilter(FTypeName, std::u16string(name));
  if (!RunFileDialog(dialog, false)) return false;
  TBusyCursor busy;
  TFileStream file(dialog.FileName(), TFileMode::fmCreate);
  file.WriteBuffer(FData->Memory(), static_cast<size_t>(FData->Size()));
  return true;
}

TDataFileDialog SetDataFileDialog(TDataFileDialog ADialog) {
  TDataFileDialog previous = std::move(FileDialogRunner());
  FileDialogRunner() = std::move(ADialog);
  return previous;
}

// ---------------------------------------------------------------------------------------------------------------
// Formats

void TCustomDataElement::SetFormatUndoable(TDataType AType) {
  if (HasValue() && !SameDataFormat(AType, DataType()) && AType != dtBmp && AType != dtPng)
    ShowMessageBox(FormatLocStrOr(IdFormatQualityWarning,
                                  u"Setting this format can lead to poor of image quality, change the size or loss "
                                  u"of transparency.\r\nYou can use the Undo, if it is found that the required data "
                                  u"is lost.",
                                  {}),
                   {}, MB_OK | MB_ICONINFORMATION);
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TDataNewDataFormatOperation(this, AType)));
}

void WriteBlankPng(TStream& ADest) {
  TMemoryStream flat;
  BlankBitmap()->SaveToStream(flat, true);
  flat.SetPosition(0);
  TUniversalImage::ConvertToPng(flat, ADest);
}

void TCustomDataElement::ConvertFormat(TDataType AType) {
  TBusyCursor busy;
  const TDataType current = DataType();
  // The full image: the preview itself unless it was scaled.
  std::unique_ptr<TUniversalImage> full;
  TBitmap32* picture = nullptr;
  if (TUniversalImage* preview = Preview()) {
    if (FScale < 100) {
      full = std::make_unique<TUniversalImage>();
      try {
        FData->SetPosition(0);
        full->LoadFromStream(*FData, true);
      } catch (const Exception&) {
        full.reset();
      }
      picture = full && !full->Empty() ? full->First() : preview->First();
    } else {
      picture = preview->First();
    }
  }
  TMemoryStream result;
  if (AType == dtIco || AType == dtCur) {
    std::unique_ptr<TBitmap32> blank;
    if (!picture) {
      blank = BlankBitmap();
      picture = blank.get();
    }
    WriteIconFile(*picture, AType == dtCur, result);
  } else {
    TMemoryStream flat;
    TStream* source = FData.get();
    if (!picture || current == dtIco || current == dtCur) {
      std::unique_ptr<TBitmap32> bitmap = picture ? FlattenOnWhite(*picture) : BlankBitmap();
      bitmap->SaveToStream(flat, true);
      source = &flat;
    }
    source->SetPosition(0);
    switch (AType) {
      case dtBmp:
        TUniversalImage::ConvertToBmp(*source, result);
        break;
      case dtGif:
        TUniversalImage::ConvertToGif(*source, result);
        break;
      case dtPng:
        TUniversalImage::ConvertToPng(*source, result);
        break;
      case dtTif:
      case dtTiff:
        TUniversalImage::ConvertToTiff(*source, result);
        break;
      default:
        if (AType >= dtJpeg && AType <= dtJfif) {
          TUniversalImage::ConvertToJpeg(*source, result);
          AType = dtJpeg;
          break;
        }
        throw EProgrammingError(u"No conversion to data type " + IntToStr(AType));
    }
    if (AType == dtTiff) AType = dtTif;
  }
  result.SetPosition(0);
  SetData(result, std::u16string(DataTypeExtension(AType)));
}

// ---------------------------------------------------------------------------------------------------------------
// Clipboard

namespace {

class TClipboardScope {
 public:
  TClipboardScope() { Clipboard->Open(); }
  ~TClipboardScope() { Clipboard->Close(); }
  TClipboardScope(const TClipboardScope&) = delete;
  TClipboardScope& operator=(const TClipboardScope&) = delete;
};

// The type block read within its size up to the first zero.
std::u16string ReadTypeBlock(const std::vector<uint8_t>& ABlock) {
  std::u16string name;
  for (size_t i = 0; i + 1 < ABlock.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(ABlock[i] | (ABlock[i + 1] << 8));
    if (!c) break;
    name += c;
    if (name.size() > 256) break;
  }
  return name;
}

}  // namespace

bool ClipboardHasBinaryData() {
  return DataClipboardFormat && DataTypeClipboardFormat && TClipboard::HasFormat(DataClipboardFormat) &&
         TClipboard::HasFormat(DataTypeClipboardFormat);
}

bool ClipboardHasPicture() {
  return TClipboard::HasFormat(CF_BITMAP) || TClipboard::HasFormat(CF_ENHMETAFILE) ||
         TClipboard::HasFormat(CF_METAFILEPICT);
}

bool DataClipboardHasData() { return ClipboardHasBinaryData() || ClipboardHasPicture(); }

void TCustomDataElement::Copy() {
  TVisualElement::Copy();
  if (!Clipboard || !HasValue()) return;
  TMemoryStream packed;
  PackData(packed);
  std::unique_ptr<TBitmap32> flat;
  if (TUniversalImage* preview = Preview()) {
    std::unique_ptr<TUniversalImage> full;
    TBitmap32* picture = preview->First();
    if (FScale < 100) {
      full = std::make_unique<TUniversalImage>();
      try {
        FData->SetPosition(0);
        full->LoadFromStream(*FData, true);
        if (!full->Empty()) picture = full->First();
      } catch (const Exception&) {
      }
    }
    if (picture) flat = FlattenOnWhite(*picture);
  }
  TClipboardScope scope;
  Clipboard->Clear();
  if (DataClipboardFormat && DataTypeClipboardFormat) {
    Clipboard->SetBuffer(DataClipboardFormat, packed.Memory(), static_cast<size_t>(packed.Size()));
    Clipboard->SetBuffer(DataTypeClipboardFormat, FTypeName.c_str(), (FTypeName.size() + 1) * sizeof(char16_t));
  }
  if (flat) {
    TBitmap bitmap;
    flat->AssignTo(bitmap);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    Clipboard->SetBitmap(bitmap);
  }
}

bool TCustomDataElement::PasteFromClipboard(bool AUndoable) {
  if (!Clipboard) return false;
  TClipboardScope scope;
  if (ClipboardHasBinaryData()) {
    std::vector<uint8_t> typeBlock;
    TMemoryStream packed;
    if (!Clipboard->GetBuffer(DataTypeClipboardFormat, typeBlock) || !Clipboard->GetBuffer(DataClipboardFormat, packed))
      return false;
    const std::u16string typeName = SafeTypeName(ReadTypeBlock(typeBlock));
    // Unpacked first: a damaged or foreign block pastes nothing.
    TMemoryStream check;
    try {
      TBusyCursor busy;
      DecompressStream(packed, check);
    } catch (const EStreamError&) {
      return false;
    }
    if (check.Size() == 0) return false;
    if (AUndoable)
      SetPlainDataUndoable(check, typeName);
    else
      SetData(check, typeName);
    return true;
  }
  TMemoryStream stream;
  TDataType type = dtOther;
  if (AcceptsType(dtBmp) && TClipboard::HasFormat(CF_BITMAP)) {
    TBitmap bitmap;
    if (!Clipboard->GetBitmap(bitmap) || bitmap.Empty()) return false;
    // Alpha ignored: a screenshot's fourth byte is no transparency.
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    TMemoryStream bmp;
    bitmap.SaveToStream(bmp);
    type = dtBmp;
    if (AcceptsType(dtPng)) {
      TBusyCursor busy;
      bmp.SetPosition(0);
      TUniversalImage::ConvertToPng(bmp, stream);
      type = dtPng;
    } else {
      bmp.SetPosition(0);
      stream.CopyFrom(bmp, 0);
    }
  } else if (AcceptsType(dtEmf) && TClipboard::HasFormat(CF_ENHMETAFILE)) {
    TMetafile metafile;
    if (!Clipboard->GetMetafile(metafile)) return false;
    metafile.SetEnhanced(true);
    metafile.SaveToStream(stream);
    type = dtEmf;
  } else if (AcceptsType(dtWmf) && TClipboard::HasFormat(CF_METAFILEPICT)) {
    TMetafile metafile;
    if (!Clipboard->GetMetafile(metafile)) return false;
    metafile.SetEnhanced(false);
    metafile.SaveToStream(stream);
    type = dtWmf;
  } else {
    return false;
  }
  if (stream.Size() == 0) return false;
  stream.SetPosition(0);
  const std::u16string typeName(DataTypeExtension(type));
  if (AUndoable)
    SetPlainDataUndoable(stream, typeName);
  else
    SetData(stream, typeName);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// The image element

const TElementClassInfo TElement_Image::ClassInfo{u"TElement_Image", &TCustomDataElement::ClassInfo,
                                                  &ElementFactory<TElement_Image>};

TElement_Image::TElement_Image(TScheme* AScheme) : TCustomDataElement(AScheme) {
  SetVisualOptions(VisualOptions() | voCanBeDisabled);
  SetDataFlags(DataFlags() | dfOwnFormatsFirst);
}

void TElement_Image::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  if (!HasValue()) ACanvas->DrawThemeElement(teFrameDot, GetSizeRect());
  TCustomDataElement::Paint(ACanvas, AFlags);
}

// ---------------------------------------------------------------------------------------------------------------
// Operations

TCustomDataChangeOperation::TCustomDataChangeOperation(TCustomDataElement* AElement)
    : TElementOperation(AElement, false), FSavedData(std::make_unique<TMemoryStream>()) {}

TCustomDataChangeOperation::~TCustomDataChangeOperation() = default;

void TCustomDataChangeOperation::DoElement(TElement* AElement) {
  auto* element = dynamic_cast<TCustomDataElement*>(AElement);
  if (element && !FSaved) {
    element->PackData(*FSavedData);
    FSavedTypeName = element->TypeName();
    FSaved = true;
  }
  TElementOperation::DoElement(AElement);
}

void TCustomDataChangeOperation::UndoElement(TElement* AElement) {
  if (auto* element = dynamic_cast<TCustomDataElement*>(AElement)) {
    element->SetPackedData(*FSavedData, FSavedTypeName);
    element->RequestScrollToCaret();
  }
  TElementOperation::UndoElement(AElement);
}

TDataNewDataOperation::TDataNewDataOperation(TCustomDataElement* AElement, std::unique_ptr<TMemoryStream> ANewData,
                                             std::u16string ANewTypeName)
    : TCustomDataChangeOperation(AElement), FNewData(std::move(ANewData)), FNewTypeName(std::move(ANewTypeName)) {}

TDataNewDataOperation::~TDataNewDataOperation() = default;

void TDataNewDataOperation::DoElement(TElement* AElement) {
  TCustomDataChangeOperation::DoElement(AElement);
  if (auto* element = dynamic_cast<TCustomDataElement*>(AElement)) {
    element->SetPackedData(*FNewData, FNewTypeName);
    element->RequestScrollToCaret();
  }
}

void TDataNewDataFormatOperation::DoElement(TElement* AElement) {
  TCustomDataChangeOperation::DoElement(AElement);
  if (auto* element = dynamic_cast<TCustomDataElement*>(AElement)) {
    element->ConvertFormat(FDataType);
    element->RequestScrollToCaret();
  }
}

namespace {

// Only a file of ours is removed. One that is gone is made again, so the editor gets the data back.
void SwitchEditingFile(const TCustomDataElement& AElement, const std::u16string& AFrom, const std::u16string& ATo) {
  const TScheme* scheme = AElement.Scheme();
  if (!AFrom.empty() && AFrom != ATo &&
      IsEditingFileName(AFrom, AElement.TypeName(), scheme ? scheme->FileName() : std::u16string()))
    RemoveFile(AFrom);
  if (!ATo.empty() && !FileExists(ATo)) {
    TFileStream file(ATo, TFileMode::fmCreate);
    AElement.WriteDataTo(file);
  }
}

}  // namespace

void TDataExternalEditingModeOperation::DoElement(TElement* AElement) {
  if (auto* element = dynamic_cast<TCustomDataElement*>(AElement)) {
    FOldName = element->ExternalEditingFileName();
    SwitchEditingFile(*element, FOldName, FNewName);
    element->SetExternalEditingFileName(FNewName);
    element->RequestScrollToCaret();
  }
  TElementOperation::DoElement(AElement);
}

void TDataExternalEditingModeOperation::UndoElement(TElement* AElement) {
  if (auto* element = dynamic_cast<TCustomDataElement*>(AElement)) {
    SwitchEditingFile(*element, FNewName, FOldName);
    element->SetExternalEditingFileName(FOldName);
    element->RequestScrollToCaret();
  }
  TElementOperation::UndoElement(AElement);
}

// ---------------------------------------------------------------------------------------------------------------
// Start-up

void InitializeDataElement() {
  if (SchemeLargeImages)
    DataElementLargeImagesIndex = SchemeLargeImages->AddFromResource(u"diDataElementLargeImages");
  if (SchemeSmallImages)
    DataElementSmallImagesIndex = SchemeSmallImages->AddFromResource(u"diDataElementSmallImages");
  if (ClassesGroups && ClassesGroups->Count() > DataClassesGroup)
    AddUnique<TElementClass>(ClassesGroups->GetGroup(DataClassesGroup), &TElement_Image::ClassInfo);
  PlainRootImageClass = &TElement_Image::ClassInfo;
  DataClipboardFormat = TClipboard::RegisterFormat(DataClipboardFormatName);
  DataTypeClipboardFormat = TClipboard::RegisterFormat(DataTypeClipboardFormatName);
  if (!Palette) return;
  const int large = DataElementLargeImagesIndex;
  const auto image = [large](int AOffset) { return large < 0 ? GetNoImageIndex() : large + AOffset; };
  PaletteDataEditGroup = new TPaletteGroup(Palette.get(), 1500, IdPaletteDataEdit);
  PaletteEditItem = new TDataEditPaletteItem(PaletteDataEditGroup, 100, IdPaletteEdit, IdPaletteEditHint, image(0),
                                             pfNotForSelection | pfNeedsWritable | pfLargeImage | pfOpensMenu |
                                                 pfTwoPart);
  PaletteApplyItem = new TSchemePaletteItem(PaletteDataEditGroup, 60, IdPaletteApply, IdPaletteApplyHint, image(1),
                                            pfNotForSelection | pfNeedsWritable | pfLargeImage);
  PaletteCancelItem = new TSchemePaletteItem(PaletteDataEditGroup, 30, IdPaletteCancel, IdPaletteCancelHint, image(2),
                                             pfNotForSelection | pfNeedsWritable | pfLargeImage);
  PaletteDataFormatGroup = new TPaletteGroup(Palette.get(), 100, IdPaletteDataFormat);
  for (size_t i = 0; i < FormatEntries.size(); ++i)
    PaletteFormatItems[i] =
        new TSchemePaletteItem(PaletteDataFormatGroup, FormatEntries[i].Weight, FormatEntries[i].Caption,
                               FormatEntries[i].Hint, image(3), pfNeedsWritable | pfLargeImage | pfToggle);
  if (PaletteActionsGroup) {
    PaletteLoadItem = new TSchemePaletteItem(PaletteActionsGroup, 40, IdPaletteLoadFromFile,
                                             IdPaletteLoadFromFileHint, image(4),
                                             pfNotForSelection | pfNeedsWritable | pfLargeImage);
    PaletteSaveItem = new TSchemePaletteItem(PaletteActionsGroup, 30, IdPaletteSaveToFile, IdPaletteSaveToFileHint,
                                             image(5), pfNotForSelection | pfLargeImage);
  }
  if (PaletteInsertGroup)
    PaletteImageItem = new TElementPaletteItem(PaletteInsertGroup, 100, &TElement_Image::ClassInfo, IdPaletteImage,
                                               IdPaletteImageHint, image(7), pfLargeImage);
}

void FinalizeDataElement() {
  for (TPaletteNode* node :
       std::initializer_list<TPaletteNode*>{PaletteImageItem, PaletteSaveItem, PaletteLoadItem,
                                            PaletteDataFormatGroup, PaletteDataEditGroup})
    if (node) node->Free();
  PaletteImageItem = nullptr;
  PaletteSaveItem = PaletteLoadItem = nullptr;
  PaletteFormatItems.fill(nullptr);
  PaletteEditItem = PaletteApplyItem = PaletteCancelItem = nullptr;
  PaletteDataFormatGroup = PaletteDataEditGroup = nullptr;
  if (PlainRootImageClass == &TElement_Image::ClassInfo) PlainRootImageClass = nullptr;
  if (ClassesGroups && ClassesGroups->Count() > DataClassesGroup) {
    TElementClassList& group = ClassesGroups->GetGroup(DataClassesGroup);
    group.erase(std::remove(group.begin(), group.end(), &TElement_Image::ClassInfo), group.end());
  }
  DataClipboardFormat = DataTypeClipboardFormat = 0;
  DataElementLargeImagesIndex = DataElementSmallImagesIndex = -1;
}
