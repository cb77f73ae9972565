// Names of the ternary raster operations: each ROP3 byte's boolean function
// in reverse-Polish form over D (destination), P (pattern) and S (source)
// with the operators a (and), o (or), x (xor) and n (not).
#pragma once

#include "plat/base.h"

// Longest name plus its terminator.
inline constexpr int kRop3NameSlot = 15;
extern const char Rop3NameTable[256][kRop3NameSlot];

// The name of the ROP3 in the low byte of rop.
inline const char* Rop3Name(ULONG rop) { return Rop3NameTable[rop & 0xFF]; }
