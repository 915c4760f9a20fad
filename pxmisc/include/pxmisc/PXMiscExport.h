#pragma once

// The library is built with hidden visibility; only what carries this mark is exported from
// libpxmisc.so. On ELF the same mark serves the library and its users.
#define PXMISC_EXPORT __attribute__((visibility("default")))
