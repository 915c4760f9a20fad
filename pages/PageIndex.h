#pragma once

// The wizard's pages by tab index, as the frame hands them to OnActivate and CanLeave.
inline constexpr int kImportPageIndex = 0;
inline constexpr int kEditPageIndex = 1;
inline constexpr int kSavePageIndex = 2;
