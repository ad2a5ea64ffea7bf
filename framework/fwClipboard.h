// The clipboard: opening with retry, registered formats, Unicode text, bitmaps, metafiles and raw byte blocks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuStreams.h"
#include "foundation/cuWin32.h"
#include "framework/fwBitmaps.h"

class TUtilityWindow;

// The clipboard stayed busy (another program held it open) or refused data.
class EClipboardError : public Exception {
 public:
  using Exception::Exception;
};

// Every operation opens and closes the clipboard around itself; an outer Open/Close bracket keeps it open over
// several operations. The first write inside a bracket empties the clipboard, so one bracket puts several
// formats of the same content. The clipboard's owner is a hidden window of this object.
class TClipboard : public TObject {
 public:
  TClipboard();
  ~TClipboard() override;

  // Nestable. The first Open retries for about a second while another program holds the clipboard, then raises.
  void Open();
  void Close();
  // Empties the clipboard.
  void Clear();

  // Available formats, also those the system converts to (CF_BITMAP from CF_DIB, CF_TEXT from Unicode text).
  static bool HasFormat(UINT AFormat);
  // The format number for a name; the same name gives the same number in every process.
  static UINT RegisterFormat(std::u16string_view AName);

  // CF_UNICODETEXT; empty when there is none.
  std::u16string AsText();
  void SetAsText(std::u16string_view AText);

  // The whole memory block of a format (its global size); false when the format is missing.
  bool GetBuffer(UINT AFormat, std::vector<uint8_t>& AData);
  bool GetBuffer(UINT AFormat, TStream& AStream);
  void SetBuffer(UINT AFormat, const void* AData, size_t ASize);

  // A bitmap from CF_DIB (which the system also makes from CF_BITMAP); false when there is none.
  bool GetBitmap(TBitmap& ABitmap);
  // Puts the bitmap as CF_DIB with its exact pixels; the system offers it as CF_BITMAP too.
  void SetBitmap(const TBitmap& ABitmap);
  // An enhanced metafile (CF_ENHMETAFILE), else a Windows metafile (CF_METAFILEPICT); false when neither.
  bool GetMetafile(TMetafile& AMetafile);
  void SetMetafile(const TMetafile& AMetafile);

  // The raw handle of a format (owned by the clipboard; valid while it is open).
  HANDLE GetAsHandle(UINT AFormat);
  // Hands a handle to the clipboard, which then owns it.
  void SetAsHandle(UINT AFormat, HANDLE AData);

 private:
  void Adding();
  HWND Window() const;

  int FOpenCount = 0;
  bool FEmptied = false;
  std::unique_ptr<TUtilityWindow> FWindow;
};

// Exists between StartClipboard and EndClipboard.
extern TClipboard* Clipboard;
void StartClipboard();
void EndClipboard();
