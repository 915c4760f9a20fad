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
    bool valid() const { return !m_path.empty(); }
    // Ends with "/".
    const std::string& Path() const { return m_path; }

private:
    QTemporaryDir m_root;
    std::string m_path;
};

// Runs the event loop until `condition` holds or `timeout` has passed; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

bool WriteTextFile(const std::string& path, const std::string& content);
// The whole file, "" when it cannot be read.
std::string ReadTextFile(const std::string& path);
