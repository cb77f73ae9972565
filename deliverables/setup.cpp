// setup: the program the user starts from the installation medium.
#include "launcher/launcher.h"

int main() { return launcher::WinMain(GetModuleHandleW(nullptr)); }
