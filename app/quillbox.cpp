#include "app/unStartup.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"

#include <exception>
#include <string>

constexpr int IdApplicationTitle = 4000;  // "Quillbox"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    ApplicationTitleId = IdApplicationTitle;
    TStartupList units(ProgramStartupSteps());
    units.StartAll();
    const std::u16string title = Localization->GetLocStr(ApplicationTitleId);
    MessageBoxW(nullptr, L"Quillbox has started its libraries. The editor window is not built yet.", WStr(title),
                MB_OK | MB_ICONINFORMATION);
    units.EndAll();
    return 0;
  } catch (const std::exception& e) {
    MessageBoxA(nullptr, e.what(), "Quillbox", MB_OK | MB_ICONERROR);
    return 1;
  }
}
