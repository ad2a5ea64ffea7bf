// The data element: one file's worth of binary data, normally a picture, with its type (the file extension). It
// shows a preview of a readable image or a hexadecimal view, stores the bytes in the document, converts images
// between formats, loads and saves files and takes pictures and its own data from the clipboard. Every change of
// the bytes a user makes is an undoable operation that keeps the old and new data packed.
#pragma once

#include "document/elements/diCustomElements.h"
#include "document/elements/diDataSupport.h"
#include "document/model/diElementOperations.h"
#include "document/model/diVisualElement.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCustomDataElement;
class TMemoryStream;
class TOpenSaveDialog;
class TPaletteGroup;
class TStream;
class TUniversalImage;

// String identifiers of the unit.
enum : int {
  IdPaletteDataEdit = 2780,
  IdPaletteEdit = 2781,
  IdPaletteEditHint = 2782,
  IdPaletteOpenWith = 2783,
  IdPaletteApply = 2784,
  IdPaletteApplyHint = 2785,
  IdPaletteCancel = 2786,
  IdPaletteCancelHint = 2787,
  IdPaletteDataFormat = 2788,
  IdPaletteBmp = 2789,
  IdPaletteIco = 2790,
  IdPaletteCur = 2791,
  IdPalettePng = 2792,
  IdPaletteGif = 2793,
  IdPaletteJpeg = 2794,
  IdPaletteBmpHint = 2795,
  IdPaletteIcoHint = 2796,
  IdPaletteCurHint = 2797,
  IdPalettePngHint = 2798,
  IdPaletteGifHint = 2799,
  IdPaletteJpegHint = 2800,
  IdFormatQualityWarning = 2801,
  IdPaletteLoadFromFile = 2802,
  IdPaletteLoadFromFileHint = 2803,
  IdPaletteSaveToFile = 2804,
  IdPaletteSaveToFileHint = 2805,
  IdDataEditingFileRefused = 2807,
  IdAllImagesFilter = 2808,
  IdDataExternalEditingMode = 2809,
  IdDataInvalidType = 2810,
  IdDataReadError = 2811,
  IdPaletteImage = 2812,
  IdPaletteImageHint = 2813,
  IdDataPreviewTooLarge = 2842,
  IdDataPictureTooLarge = 2843,
  IdDataPictureDamaged = 2844,
};

// The element's own flag byte.
enum class TDataElementFlag : uint8_t {
  dfOwnFormatsFirst = 0x02,  // the Load from File dialog opens on the element's formats, not on "All Files"
};
constexpr bool IsFlagFamily(TDataElementFlag) { return true; }
using enum TDataElementFlag;
using TDataElementFlags = TSet<TDataElementFlag>;

// What the external-editing unit supplies: the editor categories' settings, starting an editor, Apply and Cancel
// and the Edit item's sub-commands. Installed at that unit's start-up, nil before it and after its end; without
// it the Edit, Apply and Cancel items are never enabled and Enter on an empty element opens the file dialog.
class IDataExternalEditing {
 public:
  // Whether the default action of AType's editor category is other than "None".
  virtual bool EditsByDefault(TDataType AType) = 0;
  // Writes the data to a new temporary file and starts a program on it (one undo group), or starts it again on
  // the file of an element already in editing mode. AProgram: a program chosen from the Edit item's menu;
  // AOpenWithDialog: the shell's Open With dialog; neither: the category's default action. Data of type 0 is
  // never started itself: where the file's associated program would run, the Open With dialog opens instead.
  virtual void StartExternalEditing(TCustomDataElement* AElement, const std::u16string& AProgram,
                                    bool AOpenWithDialog) = 0;
  // The file read back undoably, deleted, and the mode left: one undo group.
  virtual void ApplyExternalEditing(TCustomDataElement* AElement) = 0;
  // The file deleted and the mode left undoably.
  virtual void CancelExternalEditing(TCustomDataElement* AElement) = 0;
  // The Edit item's menu for AElement (nil: no element); a parameter names a program, an empty one the dialog.
  virtual void GetEditSubCommands(TCustomDataElement* AElement, std::vector<TPaletteSubCommand>& AList) = 0;
  virtual void RunEditSubCommand(TCustomDataElement* AElement, const std::u16string& AParameter) = 0;

 protected:
  ~IDataExternalEditing() = default;
};
extern IDataExternalEditing* DataExternalEditing;

class TCustomDataElement : public TVisualElement, public IDataElementFill {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }

  explicit TCustomDataElement(TScheme* AScheme);
  ~TCustomDataElement() override;

  TDataElementFlags DataFlags() const { return FFlags; }
  void SetDataFlags(TDataElementFlags AValue) { FFlags = AValue; }
  // Bit n: data type n may be held.
  TDataTypes AcceptedTypes() const { return FAcceptedTypes; }
  void SetAcceptedTypes(TDataTypes AValue) { FAcceptedTypes = AValue; }
  bool AcceptsType(TDataType AType) const { return DataTypeIn(AType, FAcceptedTypes); }

  // The raw bytes; shared, never changed in place (a change replaces the stream), so an in-process copy may hold
  // the same bytes.
  const TMemoryStream& Data() const { return *FData; }
  int64_t DataSize() const;
  const std::u16string& TypeName() const { return FTypeName; }
  // The index of the type name in the data-type table, 0 when absent.
  TDataType DataType() const;

  // The temporary file while the element is in external-editing mode, else empty.
  const std::u16string& ExternalEditingFileName() const { return FExternalEditingFileName; }
  bool IsExternalEditing() const { return !FExternalEditingFileName.empty(); }
  // No undo: the external-editing state follows the name (an empty name leaves the mode).
  void SetExternalEditingFileName(const std::u16string& AName);
  // One undo step.
  void SetExternalEditingUndoable(const std::u16string& AName);

  // The decoded picture, built once after each data change; nil when the data is no readable image or a picture
  // beyond MaxImageSide or MaxImagePixels, which the element tells instead of showing its bytes. Scaled when
  // Scale() is below 100.
  TUniversalImage* Preview();
  // The full image's pixel size and the preview's percent; 0 until a preview was built.
  int32_t ImageWidth() const { return FWidth; }
  int32_t ImageHeight() const { return FHeight; }
  int32_t Scale() const { return FScale; }

  // No undo. The whole of AStream with the type name (sanitized), then ValueChanged.
  void SetData(TStream& AStream, const std::u16string& ATypeName);
  // No undo. The bytes unpacked from APacked with the type name, then ValueChanged. A block that cannot be
  // unpacked raises EDecompressionError and leaves the element as it was.
  void SetPackedData(TStream& APacked, const std::u16string& ATypeName);
  // One undo step each: new data given packed, or raw to be packed.
  void SetPackedDataUndoable(TStream& APacked, const std::u16string& ATypeName);
  void SetPlainDataUndoable(TStream& AStream, const std::u16string& ATypeName);
  // The data packed into ADest (rewound).
  void PackData(TStream& ADest) const;
  // ADest sized to the data and filled with the raw bytes.
  void WriteDataTo(TStream& ADest) const;

  // The type name is the file's extension; no undo (for new elements). Raises the file error.
  void LoadFromFile(const std::u16string& AFileName);
  void LoadFromFileUndoable(const std::u16string& AFileName);
  // The open and save dialogs; false when the user cancelled.
  bool LoadFromFileDialog();
  bool SaveToFileDialog();

  // The warning 2801 for a conversion that may lose quality, then one undo step that converts.
  void SetFormatUndoable(TDataType AType);
  // No undo: the data re-encoded as AType (a blank image when it is no readable image).
  void ConvertFormat(TDataType AType);

  // The private formats first, then a picture of an accepted type; false when nothing was taken.
  bool PasteFromClipboard(bool AUndoable);

  // Enter and a double click: external editing by the category's default, the Load from File dialog when there
  // is nothing to edit; false when nothing was done.
  virtual bool ExecuteDefaultAction();

  // Filling a new element made for pasted or dropped data.
  bool FillFromClipboard() override { return PasteFromClipboard(false); }
  bool FillFromFile(const std::u16string& AFileName) override;

  // Element.
  void CheckValue() override;
  bool CalcHasValue() override;
  void HasValueChanged() override;
  void ValueChanged() override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;

  // Visual element.
  void BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) override;
  bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) override;
  void GetPaletteItems(TPaletteList& AList) override;
  void GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) override;
  bool Paste() override { return PasteFromClipboard(true); }
  void ExternalEditingChanged() override;
  void FocusChanged() override;
  uint8_t GetCaret(TRect& ARect) override;
  void GetPadding(TRect& ARect) override;
  void VisibleChanged() override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  bool CanDelete() override;
  bool CanCopy() override { return HasValue(); }
  bool CanPaste() override;
  void DeleteSelection() override;
  void Copy() override;
  bool DropFiles(const std::vector<std::u16string>& AFileNames) override;
  void GetHint(std::u16string& AText) override;
  void KeyDown(uint16_t& AKey, TShiftKeys AShift) override;
  void KeyPress(char16_t& AChar) override;
  void DblClick() override;

  // Sized to the preview, the line that tells a picture is too large, the hexadecimal view or 60 x 40, plus the
  // padding, while on a sheet and visible.
  void UpdateSize();

 private:
  friend class TCustomDataChangeOperation;
  friend class TDataNewDataOperation;
  // Replaces the bytes; the preview goes with them.
  void ReplaceData(std::shared_ptr<TMemoryStream> AData, const std::u16string& ATypeName);
  void BuildPreview();
  void ReleasePreview();
  // A picture whose headers refuse it to every decoder, too large or damaged, is named in the loader's messages.
  void ReportRefusedPicture(TElementMessages& AMessages);

  TDataElementFlags FFlags;
  std::shared_ptr<TMemoryStream> FData;
  std::u16string FTypeName;
  TDataTypes FAcceptedTypes = AllDataTypes;
  bool FPreviewBuilt = false;
  std::unique_ptr<TUniversalImage> FPreview;
  bool FPreviewTooLarge = false;  // no preview: the headers give a picture beyond the limits
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FScale = 100;
  std::u16string FExternalEditingFileName;
};

// The blank picture an element without data becomes, as PNG.
void WriteBlankPng(TStream& ADest);

// The palette's picture: "FrameDot" while empty, can be disabled, opens its own formats first.
class TElement_Image : public TCustomDataElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_Image(TScheme* AScheme);

  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
};

// ---------------------------------------------------------------------------------------------------------------
// Operations: each keeps the old data packed, taken at its first run.

class TCustomDataChangeOperation : public TElementOperation {
 public:
  explicit TCustomDataChangeOperation(TCustomDataElement* AElement);
  ~TCustomDataChangeOperation() override;

  const TMemoryStream& SavedData() const { return *FSavedData; }

 protected:
  void DoElement(TElement* AElement) override;
  void UndoElement(TElement* AElement) override;

 private:
  std::unique_ptr<TMemoryStream> FSavedData;
  std::u16string FSavedTypeName;
  bool FSaved = false;
};

// New data given packed; an empty stream and type clear the element.
class TDataNewDataOperation : public TCustomDataChangeOperation {
 public:
  TDataNewDataOperation(TCustomDataElement* AElement, std::unique_ptr<TMemoryStream> ANewData,
                        std::u16string ANewTypeName);
  ~TDataNewDataOperation() override;

 protected:
  void DoElement(TElement* AElement) override;

 private:
  std::unique_ptr<TMemoryStream> FNewData;
  std::u16string FNewTypeName;
};

// A conversion, run again from the restored data on redo.
class TDataNewDataFormatOperation : public TCustomDataChangeOperation {
 public:
  TDataNewDataFormatOperation(TCustomDataElement* AElement, TDataType AType)
      : TCustomDataChangeOperation(AElement), FDataType(AType) {}

 protected:
  void DoElement(TElement* AElement) override;

 private:
  TDataType FDataType;
};

// The temporary file follows the mode in every direction: the name left loses its file (only a file of ours), the
// name taken gets one from the element's data when it has none.
class TDataExternalEditingModeOperation : public TElementOperation {
 public:
  TDataExternalEditingModeOperation(TCustomDataElement* AElement, std::u16string ANewName)
      : TElementOperation(AElement, false), FNewName(std::move(ANewName)) {}

 protected:
  void DoElement(TElement* AElement) override;
  void UndoElement(TElement* AElement) override;

 private:
  std::u16string FNewName;
  std::u16string FOldName;
};

// ---------------------------------------------------------------------------------------------------------------
// The clipboard.

// The private formats, registered at start-up (0 before).
extern unsigned DataClipboardFormat;
extern unsigned DataTypeClipboardFormat;
bool ClipboardHasBinaryData();
bool ClipboardHasPicture();
bool DataClipboardHasData();

// The Load and Save dialogs, replaceable by tests: runs ADialog (ExecuteOpen when AOpen, else ExecuteSave); false
// when cancelled. SetDataFileDialog returns the previous runner; an empty one restores the system's dialogs.
using TDataFileDialog = std::function<bool(TOpenSaveDialog& ADialog, bool AOpen)>;
TDataFileDialog SetDataFileDialog(TDataFileDialog ADialog);

// Whether AName may be a temporary file of external editing for data typed ATypeName in the document kept in
// ADocumentFile (empty while it has none): File<n>.<ext> in the document's folder or the temporary folder, ext
// being what such data is written under, and never the document's file or its backup, however either is spelled.
// Names are compared as the file system resolves them; a relative, device or stream name is none. The file must
// exist.
bool IsEditingFileName(const std::u16string& AName, const std::u16string& ATypeName,
                       const std::u16string& ADocumentFile);

// ---------------------------------------------------------------------------------------------------------------
// Start-up: the strips, the class group, the palette groups and items and the clipboard formats.

extern int DataElementLargeImagesIndex;
extern int DataElementSmallImagesIndex;
extern TPaletteGroup* PaletteDataEditGroup;
extern TPaletteGroup* PaletteDataFormatGroup;
// After the clipboard, the palette, the element images and the class groups.
void InitializeDataElement();
void FinalizeDataElement();
