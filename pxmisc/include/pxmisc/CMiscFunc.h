#pragma once

#include "pxmisc/PXMiscExport.h"

#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QWidget;

// Small helpers with no state: time and size texts, the version block of an executable, string
// sorting, paths of the running program, decimal conversion, free disk space, file ages, and a
// few window-system shortcuts (rectangles, message boxes, combo boxes, folder picker, keys,
// cursor).
class PXMISC_EXPORT CMiscFunc {
public:
    CMiscFunc() = default;
    CMiscFunc(const CMiscFunc&) = default;
    CMiscFunc& operator=(const CMiscFunc&) = default;
    virtual ~CMiscFunc();

    // "m:ss"-style clock text of a duration in ms: "[h:]mm:ss", hours only when there are any and
    // never zero-filled, e.g. 83000 -> "01:23", 3723000 -> "1:02:03". Fractions of a second are
    // dropped; a negative duration reads as its magnitude behind a "-".
    static std::string GetPrettyTimeString(int milliseconds);

    // The value of `key` in the version block that `filePath` carries (see
    // "pxmisc/VersionBlock.h"); "" when the file cannot be read, is not an ELF file, has no
    // block, is damaged, or lacks the key. Keys are compared exactly.
    static std::string GetAppVersion(const char* filePath, const char* key);

    // Sorts in place by byte values (so UTF-8 texts sort by code point, upper-case ASCII before
    // lower-case, "10" before "9"); ascending unless `descending`. Not stable.
    static void SortStringArray(std::vector<std::string>& array, bool descending);

    // Whole kilobytes, rounded to nearest, with "," between groups of three digits and " KB"
    // after: 1536 -> "2 KB", 1048576 -> "1,024 KB".
    static std::string GetFormatedFileSize(std::uint64_t bytes);

    // The size in the largest of GB, MB and KB (1024 each) that is at least 1, with `decimals`
    // digits after the point and the unit right after ("1.50MB"); below 1 KB the plain byte
    // count with no unit. `decimals` is held to 0..20.
    static std::string GetPrettyFileSize(std::uint64_t bytes, int decimals);

    // The running executable's full path; "" if the system will not tell.
    static std::string GetExePathName();
    // The folder of GetExePathName(), ending with "/"; "" if the path is unknown.
    static std::string GetExePath();
    // GetExePath() followed by `text`.
    static std::string GetUserPath(const std::string& text);
    // GetExePath(), `folder`, a "/" unless `folder` already ends with one, and `file`.
    static std::string GetUserFile(const std::string& folder, const std::string& file);

    // Decimal text to number as atoi reads it (leading white space, a sign, digits up to the
    // first non-digit; 0 when there are none), except that values beyond int are held at
    // INT_MIN or INT_MAX instead of being undefined.
    static int String2Int(const std::string& text);
    static std::string Int2String(int number);

    // Free space available to this user on the volume of `path`, in whole MB, as
    // "Free Space: <n> MB". False, and `text` untouched, when the volume cannot be queried.
    static bool GetFreeDiskSpace(const std::string& path, std::string& text);

    // The zero-based index of the element just before `position` in `list`, walking from the
    // head: -1 when `position` is the head or not an element of `list`. A position is the
    // address of an element; nullptr stands for the place after the tail, so it gives the
    // index of the last element.
    template <class List>
    static int ObList_Position2Index(const List& list, const typename List::value_type* position) {
        auto step = list.begin();
        int index = 0;
        while (step != list.end()) {
            ++step;
            const typename List::value_type* reached = step == list.end() ? nullptr : &*step;
            if (reached == position) {
                return index;
            }
            ++index;
        }
        return -1;
    }

    // File types are registered by the desktop's own means on Linux, so this does nothing and
    // reports success, as designed.
    static bool AssociateFile(const std::string& extension, const std::string& typeName,
                              const std::string& description, const std::string& iconPath,
                              const std::string& openCommand);

    // True when both files exist and `second` was last written strictly later than `first`.
    static bool IsDependentFileNew(const std::string& first, const std::string& second);

    // The window's client rectangle (at 0,0, in its own coordinates) and its frame rectangle on
    // the screen; an empty rectangle for no window.
    static QRect GetClientRect(const QWidget* window);
    static QRect GetWindowRect(const QWidget* window);

    // Message box styles and results, with the values the design's callers pass and expect.
    enum MB_STYLE : uint32_t {
        MB_OK = 0x0,
        MB_OKCANCEL = 0x1,
        MB_YESNOCANCEL = 0x3,
        MB_YESNO = 0x4,
        MB_ICONERROR = 0x10,
        MB_ICONQUESTION = 0x20,
        MB_ICONWARNING = 0x30,
        MB_ICONINFORMATION = 0x40,
    };
    enum MB_RESULT : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

    // A modal message box: the text, and the detail after a blank line when there is one
    // ("%s\n\n %s"), under `caption`, with the buttons and icon of `style`. Returns the button
    // pressed (IDCANCEL when the box is closed otherwise).
    static int ResMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                             const std::string& detail, uint32_t style);

    // The item data of the item at `index`, -1 when there is no such item; the index of the
    // first item whose data equals `data`, -1 when none does.
    static int ComboBox_Index2Data(int index, const QComboBox* box);
    static int ComboBox_Data2Index(int data, const QComboBox* box);

    // The desktop's folder picker, starting at `folder`; on a choice `folder` receives the chosen
    // folder, ending with "/", and the result is true. False when the user cancels.
    static bool BrowseFolder(QWidget* owner, std::string& folder, const std::string& title);

    // 0x8000 while the key was down at the last input event, else 0.
    static int CtrlHold();
    static int ShiftHold();
    static int AltHold();

    // Shows or hides the mouse cursor over the program's windows; repeated calls do not stack.
    static void ShowCursor(bool show);
};
