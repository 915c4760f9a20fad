// The product facts the program carries in its own file; the about box and the settings' root
// read them back from there.
#include "pxmisc/VersionBlock.h"

PXMISC_VERSION_BLOCK(
    PXMISC_VERSION_ENTRY("ProductName", "Orvanta") PXMISC_VERSION_ENTRY("ProductVersion", "1.00")
        PXMISC_VERSION_ENTRY("LegalCopyright", "Copyright (C) 2026 the Orvanta makers.")
            PXMISC_VERSION_ENTRY("LegalTrademarks", "Orvanta is a trademark of its makers."));
