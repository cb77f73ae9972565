// The raster operations the drawing and picture paths name, and each ROP3
// byte's boolean function in reverse-Polish form over D (destination),
// P (pattern) and S (source) with the operators a (and), o (or), x (xor)
// and n (not).
#pragma once

#include "plat/base.h"

// ROP3 bytes. The platform's own SRCCOPY and friends (plat/dialog.h) are the
// 32-bit GDI codes the installer draws with; these are the bytes the engine
// hands to a driver.
inline constexpr ULONG kRop3Blackness = 0x00;
inline constexpr ULONG kRop3NotSrcErase = 0x11;  // DSon
inline constexpr ULONG kRop3Dsna = 0x22;         // destination AND NOT source
inline constexpr ULONG kRop3NotSrcCopy = 0x33;
inline constexpr ULONG kRop3SrcErase = 0x44;  // SDna
inline constexpr ULONG kRop3PatInvert = 0x5A;
inline constexpr ULONG kRop3SrcInvert = 0x66;
inline constexpr ULONG kRop3Dsan = 0x77;
inline constexpr ULONG kRop3SrcAnd = 0x88;
inline constexpr ULONG kRop3Dsxn = 0x99;
inline constexpr ULONG kRop3PatAnd = 0xA0;  // DPa
inline constexpr ULONG kRop3Dest = 0xAA;    // the destination stays as it is
inline constexpr ULONG kRop3PatSelect = 0xB8;  // PSDPxax: the pattern where the source is 0
inline constexpr ULONG kRop3MergePaint = 0xBB;
inline constexpr ULONG kRop3SrcCopy = 0xCC;
inline constexpr ULONG kRop3Sdno = 0xDD;
inline constexpr ULONG kRop3SrcPaint = 0xEE;
inline constexpr ULONG kRop3PatCopy = 0xF0;
inline constexpr ULONG kRop3Whiteness = 0xFF;

// The ROP3 in the low byte of a ROP4 (the operation where the mask is 1).
constexpr ULONG Rop3Of(ULONG rop4) { return rop4 & 0xFF; }
// The ROP4 of a blit without a mask: the ROP3 in both bytes.
constexpr ULONG Rop4Of(ULONG rop3) { return rop3 * 0x101; }

inline constexpr ULONG kRop4NotSrcErase = Rop4Of(kRop3NotSrcErase);
inline constexpr ULONG kRop4Dsna = Rop4Of(kRop3Dsna);
inline constexpr ULONG kRop4NotSrcCopy = Rop4Of(kRop3NotSrcCopy);
inline constexpr ULONG kRop4SrcErase = Rop4Of(kRop3SrcErase);
inline constexpr ULONG kRop4PatInvert = Rop4Of(kRop3PatInvert);
inline constexpr ULONG kRop4SrcInvert = Rop4Of(kRop3SrcInvert);
inline constexpr ULONG kRop4Dsan = Rop4Of(kRop3Dsan);
inline constexpr ULONG kRop4SrcAnd = Rop4Of(kRop3SrcAnd);
inline constexpr ULONG kRop4Dsxn = Rop4Of(kRop3Dsxn);
inline constexpr ULONG kRop4PatAnd = Rop4Of(kRop3PatAnd);
inline constexpr ULONG kRop4PatSelect = Rop4Of(kRop3PatSelect);
inline constexpr ULONG kRop4MergePaint = Rop4Of(kRop3MergePaint);
inline constexpr ULONG kRop4SrcCopy = Rop4Of(kRop3SrcCopy);
inline constexpr ULONG kRop4Sdno = Rop4Of(kRop3Sdno);
inline constexpr ULONG kRop4SrcPaint = Rop4Of(kRop3SrcPaint);
inline constexpr ULONG kRop4PatCopy = Rop4Of(kRop3PatCopy);
// What a stretch blit leaves in the ROP4 history: SRCCOPY where the mask is
// 1, WHITENESS where it is 0.
inline constexpr ULONG kRop4StretchCopy = (kRop3Whiteness << 8) | kRop3SrcCopy;
// What an alpha blend and a transparent blit leave in the ROP4 history.
inline constexpr ULONG kRop4BlendMark = (kRop3Dest << 8) | kRop3SrcCopy;
inline constexpr ULONG kRop4TransparentMark = (kRop3MergePaint << 8) | kRop3SrcCopy;

// The ROP3 of each ROP2 code 1..16 (R2_BLACK .. R2_WHITE): the pattern
// stands for the pen.
inline constexpr BYTE kRop3OfRop2[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                         0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};

// Longest name plus its terminator.
inline constexpr int kRop3NameSlot = 15;
extern const char Rop3NameTable[256][kRop3NameSlot];

// The name of the ROP3 in the low byte of rop.
inline const char* Rop3Name(ULONG rop) { return Rop3NameTable[rop & 0xFF]; }

// Whether the ROP3 (low byte) uses the source and no pattern / the pattern.
BOOL RopIsSourceOnly(ULONG rop);
BOOL RopUsesPattern(ULONG rop);
