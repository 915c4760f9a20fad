#pragma once

// The version block: the product facts a program carries inside its own executable, so that
// CMiscFunc::GetAppVersion can read them back from the file. It needs nothing from the library
// at link time; a program that only embeds a block does not have to link PXMisc.
//
// A program embeds exactly one block, in one of its own .cpp files:
//
//     #include "pxmisc/VersionBlock.h"
//
//     PXMISC_VERSION_BLOCK(PXMISC_VERSION_ENTRY("ProductName", "Orvanta")
//                          PXMISC_VERSION_ENTRY("ProductVersion", "1.00"));
//
// Layout in the ELF section named PXMISC_VERSION_SECTION: the magic text with its NUL, then
// pairs of NUL-terminated key and value, then one more NUL (an empty key) that ends the list.
// Keys and values are UTF-8 and must not contain NUL. A second block in the same program is a
// link error (the symbol is defined twice), so a lookup can never pick the wrong one.

// The section's name, as the reader looks for it in the section header table.
#define PXMISC_VERSION_SECTION ".pxmisc_version"

// First bytes of the block, NUL included; tells a block of ours from an unrelated section that
// happens to share the name.
#define PXMISC_VERSION_MAGIC "PXMISC-VERSION-1"

// `retain` keeps the section even under --gc-sections, where the toolchain supports it; `used`
// alone only stops the compiler from dropping an unreferenced variable.
#if defined(__has_attribute)
#if __has_attribute(retain)
#define PXMISC_VERSION_RETAIN_ __attribute__((retain))
#endif
#endif
#ifndef PXMISC_VERSION_RETAIN_
#define PXMISC_VERSION_RETAIN_
#endif

// One key/value pair; both arguments must be string literals. Kept as separate literals so an
// escape such as "\0" is never merged with a leading digit of the next text.
#define PXMISC_VERSION_ENTRY(key, value) key "\0" value "\0"

// Defines the program's block from a sequence of PXMISC_VERSION_ENTRY. The literal's own
// terminating NUL is the empty key that ends the list. Hidden visibility keeps the symbol out of
// the dynamic exports when the block sits in a shared library built with default visibility.
#define PXMISC_VERSION_BLOCK(entries)                                                              \
    extern __attribute__((visibility("hidden"))) const char pxmiscVersionBlock[];                  \
    __attribute__((section(PXMISC_VERSION_SECTION), used))                                         \
    PXMISC_VERSION_RETAIN_ const char pxmiscVersionBlock[] = PXMISC_VERSION_MAGIC "\0" entries
