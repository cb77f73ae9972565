// Stand-ins of plane routines whose owners have not built them yet; each is
// deleted here when its real routine arrives.
#include "render/plane_ops.h"

namespace {

// Whether the ROP3 (low byte) depends on the operand whose bit in the truth
// table index is mask (P 4, S 2, D 1).
bool RopReads(ULONG rop, int mask) {
  rop &= 0xFF;
  for (int index = 0; index < 8; ++index)
    if (!(index & mask) && ((rop >> index) & 1) != ((rop >> (index | mask)) & 1)) return true;
  return false;
}

}  // namespace

// The ROP names hold exactly the operands the ROP depends on.
BOOL RopUsesPattern(ULONG rop) { return RopReads(rop, 4) ? TRUE : FALSE; }
BOOL RopIsSourceOnly(ULONG rop) { return RopReads(rop, 2) && !RopReads(rop, 4) ? TRUE : FALSE; }
