#pragma once

#include <string>

namespace orvanta {

// A folder of its own inside the system's temporary folder ($TMPDIR, else /tmp), made with mode
// 700 under a random name, so no other user can predict or plant anything in it. Removed with
// whatever it holds when the owner goes.
class PrivateTempFolder {
public:
    PrivateTempFolder();
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    // The folder with its trailing "/"; empty when it could not be made.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace orvanta
