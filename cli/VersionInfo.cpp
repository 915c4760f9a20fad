// The product facts orvanta-cli carries in its own file, read back by CMiscFunc::GetAppVersion.
// The header needs nothing else from PXMisc, so the tool does not link the library for it.
#include "pxmisc/VersionBlock.h"

#define ORVANTA_CLI_VERSION_ENTRIES                                                                \
    PXMISC_VERSION_ENTRY("ProductName", "Orvanta")                                                 \
    PXMISC_VERSION_ENTRY("ProductVersion", "1.00")                                                 \
    PXMISC_VERSION_ENTRY("LegalCopyright", "Copyright (C) 2026 Orvanta")                           \
    PXMISC_VERSION_ENTRY("LegalTrademarks", "Orvanta is a trademark of its makers")

PXMISC_VERSION_BLOCK(ORVANTA_CLI_VERSION_ENTRIES);
