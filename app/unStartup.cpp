#include "app/unStartup.h"

#include <exception>
#include <utility>

#include "app/diPaletteForm.h"
#include "app/diSheetForm.h"
#include "document/elements/diCommonElements.h"
#include "document/elements/diCustomElements.h"
#include "document/elements/diLog.h"
#include "document/elements/diTableElement.h"
#include "document/elements/diTitled.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diNaming.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSounds.h"
#include "document/model/diSoundsWin.h"
#include "document/model/diTextorAttributes.h"
#include "document/text/diTextorElement.h"
#include "document/text/diTextorInteractiveWin.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuLocalization.h"
#include "framework/fwApplication.h"
#include "framework/fwClipboard.h"
#include "framework/fwPrinters.h"
#include "framework/fwScreen.h"
#include "framework/fwThemes.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxResamplers.h"
#include "graphics/pixels/pxSystem.h"
#include "graphics/pixels/pxTextGDI.h"
#include "graphics/pixels/pxThemeServices.h"
#include "graphics/pixels/pxXPThemes.h"

TStartupList::TStartupList(std::vector<TStartupStep> steps) : steps_(std::move(steps)) {}

TStartupList::~TStartupList() {
  try {
    EndAll();
  } catch (...) {
    // Destruction runs while an exception may already be unwinding; the explicit EndAll reports errors.
  }
}

void TStartupList::StartAll() {
  while (started_ < static_cast<int>(steps_.size())) {
    const TStartupStep& step = steps_[started_];
    try {
      if (step.Start) step.Start();
    } catch (...) {
      EndAll();
      throw;
    }
    ++started_;
  }
}

void TStartupList::EndAll() {
  std::exception_ptr first;
  while (started_ > 0) {
    const TStartupStep& step = steps_[--started_];
    try {
      if (step.End) step.End();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

std::vector<TStartupStep> ProgramStartupSteps() {
  return {
      {"localization", InitializeLocalization, FinalizeLocalization},
      // Processor detection binds the pixel routines before anything draws; unbound they stay portable.
      {"pixel routines", pxSystemStart, pxBindingsEnd},
      {"fills", pxLowLevelStart, nullptr},
      {"blending", pxBlendStart, nullptr},
      {"resamplers", pxResamplersStart, pxResamplersEnd},
      {"visual styles", InitializeXPThemes, FinalizeXPThemes},
      {"text on bitmaps", InitializeTextGDI, FinalizeTextGDI},
      {"bitmap backend", InitializeGDIBackend, FinalizeGDIBackend},
      {"GDI+", InitializeGdiPlus, FinalizeGdiPlus},
      // Shared text attributes hold fonts of the device-context manager: the pool goes first.
      {"device-context manager", InitializeDeviceContextManager,
       [] {
         TAttributes::FreePool();
         FinalizeDeviceContextManager();
       }},
      {"application", StartApplication, EndApplication},
      {"screen and cursors", StartScreen, EndScreen},
      {"text cursors", InitializeTextorCursors, nullptr},
      {"expand button cursor", InitializeExpandButtonCursor, nullptr},
      {"theme services", StartThemeServices, EndThemeServices},
      {"themed drawing", InstallXPThemeServices, UninstallXPThemeServices},
      {"clipboard", StartClipboard, EndClipboard},
      {"printer", StartPrinter, EndPrinter},
      {"palette", InitializePalette, FinalizePalette},
      // The "Format" group and the default text attributes, released before the pool goes.
      {"text element", InitializeTextorElement, FinalizeTextorElement},
      {"element images", InitializeSchemeImages, FinalizeSchemeImages},
      {"class groups", InitializeClassesGroups, FinalizeClassesGroups},
      {"sounds settings", InitializeSoundsSettings, FinalizeSoundsSettings},
      {"sound player", InitializeSoundPlayer, FinalizeSoundPlayer},
      // Its picture is the second of the engine's large strip, so it waits for the image lists.
      {"Disabled palette item", [] { InitializeDisableItem(ClassesLargeImagesIndex + 1); }, FinalizeDisableItem},
      {"naming settings", InitializeNamingSettings, FinalizeNamingSettings},
      // Its strips, its class group and its palette items: after the image lists, the class groups and the palette.
      {"table element", InitializeTableElement, FinalizeTableElement},
      {"table cursors", InitializeTableCursors, nullptr},
      {"sheet form", InitializeSheetForm, FinalizeSheetForm},
      {"palette form", InitializePaletteForm, FinalizePaletteForm},
      // Its items take pictures from the large image list and go into the palette's groups.
      {"titled elements", InitializeTitled, FinalizeTitled},
      // Its strip, class groups and palette items join those of the engine.
      {"common elements", InitializeCommonElements, FinalizeCommonElements},
      // Its shared attributes hold a font, so it ends before the pool of attributes is freed.
      {"log", InitializeLog, FinalizeLog},
  };
}
