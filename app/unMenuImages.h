// The pictures of the menus and actions: one 16-pixel strip that each form's image list holds whole, so that an
// action's ImageIndex names the same picture in its own form's list and in the main window's, whose menus mirror
// the actions of the editor and of its sheets.
#pragma once

class TImageList;

// The strip's pictures, left to right (scripts/gen_menu_images.py draws them in this order).
enum TMenuImage : int {
  imImport,
  imExport,
  imPageSetup,
  imPrint,
  imExit,
  imUndo,
  imRedo,
  imCut,
  imCopy,
  imCopyText,
  imPaste,
  imDelete,
  imFind,
  imFindNext,
  imReplace,
  imSelectAll,
  imSettings,
  imPalette,
  imNonPrintingCharacters,
  imOnlineHelp,
  imCheckUpdates,
  imProgramPage,
  imForum,
  imSendMessage,
  imAbout,
  imProgram,
  imCount
};

// Adds the strip to AImages, an empty 16 x 16 list that is given to no menu yet: picture i becomes image i.
void LoadMenuImages(TImageList& AImages);
