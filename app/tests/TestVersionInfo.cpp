// The test program carries a version block of its own, with a version no release has, so the
// tests can tell that a window read it from the running file.
#include "pxmisc/VersionBlock.h"

PXMISC_VERSION_BLOCK(PXMISC_VERSION_ENTRY("ProductName", "Orvanta")
                         PXMISC_VERSION_ENTRY("ProductVersion", "9.87")
                             PXMISC_VERSION_ENTRY("LegalCopyright", "Copyright (C) Test")
                                 PXMISC_VERSION_ENTRY("LegalTrademarks", "TM Test"));
