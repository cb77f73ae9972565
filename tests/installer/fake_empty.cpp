// A library on the medium that exports none of the calls the installer looks for.
#include "plat/windows.h"

extern "C" DLLEXPORT int SomethingElse() { return 7; }
