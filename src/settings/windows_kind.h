// The kind of Windows the driver runs on, as the model load stores it with the
// capabilities and the DEVMODE carries it to the printer.
#pragma once

// 104 (5.0), 106 (5.1), 107 (5.2 workstation on x86-64), 108/109 (6.0),
// 110/111 (6.1), 112/113 (6.2) workstation, the odd code on x86-64; 0 for
// every other system; -1 when the version cannot be read.
int GetWindowsKind();
