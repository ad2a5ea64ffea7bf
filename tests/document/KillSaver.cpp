// Saves a large test document over and over, one version after another, until it is killed.
//   document_kill_saver <data file> <first version> <event name>
// The named event is set once the document is built, just before the first save starts.
#include "document/model/diClasses.h"
#include "foundation/cuWin32.h"
#include "tests/document/TestElements.h"

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::u16string file = FromWide(argv[1]);
  int version = std::stoi(argv[2]);
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  TScheme scheme(&TElement_TestRoot::ClassInfo, u"Quillbox");
  FillTestDocument(scheme.Root(), KillTestElements, version);
  if (ready) SetEvent(ready);
  for (;;) {
    scheme.SaveToFile(file, false);
    ++version;
    while (TElement* e = scheme.Root()->FirstChildElement()) e->Destroy();
    FillTestDocument(scheme.Root(), KillTestElements, version);
  }
}
