#pragma once

#include <string>

namespace orvanta {

// A folder of its own inside the system's temporary folder ($TMPDIR, else /tmp), made with mode
// 700 under a random name, so no other user can predict or plant anything in it. Removed with
// whatever it holds when the owner goes.
//
// An owner that is killed cannot remove it, so the folder says whose it is: its name carries the
// maker's process id and start time ("orvanta-PID-START-XXXXXX"), and the maker holds a lock on
// the folder itself for as long as it lives. RemoveAbandoned finds the folders whose maker is
// proved gone by both.
class PrivateTempFolder {
public:
    PrivateTempFolder();
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    // The folder with its trailing "/"; empty when it could not be made.
    const std::string& Path() const { return m_path; }

    // Removes, from the temporary folder, the private folders that processes of this user left
    // behind when they ended without removing them. Nothing else goes: not a folder whose maker
    // still runs or whose lock is still held, not another user's, not a link, not anything whose
    // name lacks the marker. Returns how many folders were removed.
    static int RemoveAbandoned();

private:
    std::string m_path;
    int m_lock = -1; // the folder, opened and locked while this object lives
};

} // namespace orvanta
