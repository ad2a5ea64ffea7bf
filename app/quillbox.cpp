#include "app/unStartup.h"
#include "foundation/cuWin32.h"

#include <exception>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    TStartupList units(ProgramStartupSteps());
    units.StartAll();
    MessageBoxW(nullptr, L"Quillbox has started its libraries. The editor window is not built yet.", L"Quillbox",
                MB_OK | MB_ICONINFORMATION);
    units.EndAll();
    return 0;
  } catch (const std::exception& e) {
    MessageBoxA(nullptr, e.what(), "Quillbox", MB_OK | MB_ICONERROR);
    return 1;
  }
}
