// The ternary raster operations by name, and the questions the blit paths
// ask of a ROP.
#include <cstring>

#include "planes/plane_ops.h"
#include "planes/rop_names.h"

const char Rop3NameTable[256][kRop3NameSlot] = {
    "0", "DPSoon", "DPSona", "PSon", "SDPona", "DPon", "PDSxnon", "PDSaon",  // 0x00
    "SDPnaa", "PDSxon", "DPna", "PSDnaon", "SPna", "PDSnaon", "PDSonon", "Pn",  // 0x08
    "PDSona", "DSon", "SDPxnon", "SDPaon", "DPSxnon", "DPSaon", "PSDPSanaxx", "SSPxDSxaxn",  // 0x10
    "SPxPDxa", "SDPSanaxn", "PDSPaox", "SDPSxaxn", "PSDPaox", "DSPDxaxn", "PDSox", "PDSoan",  // 0x18
    "DPSnaa", "SDPxon", "DSna", "SPDnaon", "SPxDSxa", "PDSPanaxn", "SDPSaox", "SDPSxnox",  // 0x20
    "DPSxa", "PSDPSaoxxn", "DPSana", "SSPxPDxaxn", "SPDSoax", "PSDnox", "PSDPxox", "PSDnoan",  // 0x28
    "PSna", "SDPnaon", "SDPSoox", "Sn", "SPDSaox", "SPDSxnox", "SDPox", "SDPoan",  // 0x30
    "PSDPoax", "SPDnox", "SPDSxox", "SPDnoan", "PSx", "SPDSonox", "SPDSnaox", "PSan",  // 0x38
    "PSDnaa", "DPSxon", "SDxPDxa", "SPDSanaxn", "SDna", "DPSnaon", "DSPDaox", "PSDPxaxn",  // 0x40
    "SDPxa", "PDSPDaoxxn", "DPSDoax", "PDSnox", "SDPana", "SSPxDSxoxn", "PDSPxox", "PDSnoan",  // 0x48
    "PDna", "DSPnaon", "DPSDaox", "SPDSxaxn", "DPSonon", "Dn", "DPSox", "DPSoan",  // 0x50
    "PDSPoax", "DPSnox", "DPx", "DPSDonox", "DPSDxox", "DPSnoan", "DPSDnaox", "DPan",  // 0x58
    "PDSxa", "DSPDSaoxxn", "DSPDoax", "SDPnox", "SDPSoax", "DSPnox", "DSx", "SDPSonox",  // 0x60
    "DSPDSonoxxn", "PDSxxn", "DPSax", "PSDPSoaxxn", "SDPax", "PDSPDoaxxn", "SDPSnoax", "PDSxnan",  // 0x68
    "PDSana", "SSDxPDxaxn", "SDPSxox", "SDPnoan", "DSPDxox", "DSPnoan", "SDPSnaox", "DSan",  // 0x70
    "PDSax", "DSPDSoaxxn", "DPSDnoax", "SDPxnan", "SPDSnoax", "DPSxnan", "SPxDSxo", "DPSaan",  // 0x78
    "DPSaa", "SPxDSxon", "DPSxna", "SPDSnoaxn", "SDPxna", "PDSPnoaxn", "DSPDSoaxx", "PDSaxn",  // 0x80
    "DSa", "SDPSnaoxn", "DSPnoa", "DSPDxoxn", "SDPnoa", "SDPSxoxn", "SSDxPDxax", "PDSanan",  // 0x88
    "PDSxna", "SDPSnoaxn", "DPSDPoaxx", "SPDaxn", "PSDPSoaxx", "DPSaxn", "DPSxx", "PSDPSonoxx",  // 0x90
    "SDPSonoxn", "DSxn", "DPSnax", "SDPSoaxn", "SPDnax", "DSPDoaxn", "DSPDSaoxx", "PDSxan",  // 0x98
    "DPa", "PDSPnaoxn", "DPSnoa", "DPSDxoxn", "PDSPonoxn", "PDxn", "DSPnax", "PDSPoaxn",  // 0xA0
    "DPSoa", "DPSoxn", "D", "DPSono", "SPDSxax", "DPSDaoxn", "DSPnao", "DPno",  // 0xA8
    "PDSnoa", "PDSPxoxn", "SSPxDSxox", "SDPanan", "PSDnax", "DPSDoaxn", "DPSDPaoxx", "SDPxan",  // 0xB0
    "PSDPxax", "DSPDaoxn", "DPSnao", "DSno", "SPDSanax", "SDxPDxan", "DPSxo", "DPSano",  // 0xB8
    "PSa", "SPDSnaoxn", "SPDSonoxn", "PSxn", "SPDnoa", "SPDSxoxn", "SDPnax", "PSDPoaxn",  // 0xC0
    "SDPoa", "SPDoxn", "DPSDxax", "SPDSaoxn", "S", "SDPono", "SDPnao", "SPno",  // 0xC8
    "PSDnoa", "PSDPxoxn", "PDSnax", "SPDSoaxn", "SSPxPDxax", "DPSanan", "PSDPSaoxx", "DPSxan",  // 0xD0
    "PDSPxax", "SDPSaoxn", "DPSDanax", "SPxDSxan", "SPDnao", "SDno", "SDPxo", "SDPano",  // 0xD8
    "PDSoa", "PDSoxn", "DSPDxax", "PSDPaoxn", "SDPSxax", "PDSPaoxn", "SDPSanax", "SPxPDxan",  // 0xE0
    "SSPxDSxax", "DSPDSanaxxn", "DPSao", "DPSxno", "SDPao", "SDPxno", "DSo", "SDPnoo",  // 0xE8
    "P", "PDSono", "PDSnao", "PSno", "PSDnao", "PDno", "PDSxo", "PDSano",  // 0xF0
    "PDSao", "PDSxno", "DPo", "DPSnoo", "PSo", "PSDnoo", "DPSoo", "1",  // 0xF8
};

BOOL RopIsSourceOnly(ULONG rop) {
  const char* name = Rop3Name(rop);
  return (std::strchr(name, 'S') && !std::strchr(name, 'P')) ? TRUE : FALSE;
}

BOOL RopUsesPattern(ULONG rop) { return std::strchr(Rop3Name(rop), 'P') ? TRUE : FALSE; }
