#pragma once

#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <string>

// A program folder for the tests, named with spaces, quotes and a "$", so that a shell or a
// split on spaces anywhere on the way shows.
class ProgramFolder {
public:
    ProgramFolder();

    bool valid() const { return m_root.isValid() && !m_path.empty(); }
    // Ends with "/".
    const std::string& Path() const { return m_path; }
    // Writes the stand-in updater "Navorel", which records the number of its arguments and the
    // first one.
    bool AddStandInUpdater() const;
    // What the stand-in recorded, "<count>\n<first argument>", once it has run; "" when it did
    // not run within a few seconds.
    std::string WaitForUpdaterCall() const;

private:
    QTemporaryDir m_root;
    std::string m_path;
};

// Runs the event loop until `condition` holds or `timeout` has passed; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Writes `content` to `path`; false on failure.
bool WriteTextFile(const std::string& path, const std::string& content);
// The whole file, "" when it cannot be read.
std::string ReadTextFile(const std::string& path);
