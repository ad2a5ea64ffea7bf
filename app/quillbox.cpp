#include "app/unMainForm.h"
#include "app/unStartup.h"
#include "app/unUtils.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "framework/fwApplication.h"
#include "framework/fwComponents.h"

#include <exception>
#include <string>

namespace {

// At log-off the application frees its forms and data modules, then the units end here and the process goes:
// the system ends it once the message returns, and nothing after the loop would run.
class TSessionEnd : public TObject {
 public:
  explicit TSessionEnd(TStartupList& AUnits) : FUnits(AUnits) {}
  void EndSession(TObject* ASender) {
    try {
      FUnits.EndAll();
    } catch (...) {
      // The session ends whatever a unit's end says.
    }
    ExitProcess(0);
  }

 private:
  TStartupList& FUnits;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ApplicationTitleId = MainTitleId;
  TStartupList units(ProgramStartupSteps());
  try {
    units.StartAll();
  } catch (const std::exception& e) {
    MessageBoxA(nullptr, e.what(), "Quillbox", MB_OK | MB_ICONERROR);
    return 1;
  }
  TSessionEnd sessionEnd(units);
  int exitCode = 0;
  try {
    // The main window gives the real title; the main window's own window carries the taskbar button.
    Application->SetTitle(u"");
    Application->OnEndSession = MakeMethod<&TSessionEnd::EndSession>(&sessionEnd);
    Application->CreateForm(Global);
    // After the data module: the title is in the saved language.
    if (CheckSingleInstance(Localization->GetLocStr(ApplicationTitleId))) {
      FreeAndNil(Global);
    } else {
      TMainForm* mainForm = nullptr;
      Application->CreateForm(mainForm);
      Application->Run();
    }
  } catch (...) {
    // The main window could not be made (a data file that cannot be read): reported, and the program ends
    // without writing anything.
    ShowMessageBox(CurrentExceptionMessage(), {}, MB_OK | MB_ICONERROR);
    FreeAndNil(Global);
    exitCode = 1;
  }
  Application->OnEndSession = {};
  try {
    units.EndAll();
  } catch (const std::exception& e) {
    MessageBoxA(nullptr, e.what(), "Quillbox", MB_OK | MB_ICONERROR);
    return 1;
  }
  return exitCode;
}
