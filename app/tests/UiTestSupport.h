#pragma once

#include "MessageBox.h"

#include <QObject>
#include <QTemporaryDir>
#include <QUrl>
#include <string>
#include <vector>

// A message box that no test expects fails the running test and is answered with OK.
void FailOnUnexpectedMessages();

// Answers every message box while it lives, in order from `answers` (then IDOK for an OK box
// and IDYES for a question), and keeps what was shown.
class MessageRecorder {
public:
    struct Shown {
        std::string text;
        MessageButtons buttons;
        MessageKind kind;
        std::string detail;
    };

    explicit MessageRecorder(std::vector<int> answers = {});
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<Shown>& shown() const { return m_shown; }

private:
    std::vector<int> m_answers;
    std::vector<Shown> m_shown;
};

// Fills the process-wide string table from `xml` (a whole language file) for `language` and
// empties it again at the end of the scope.
class ScopedStringTable {
public:
    ScopedStringTable(const std::string& xml, const std::string& language);
    // The program's own language file.
    explicit ScopedStringTable(const std::string& language);
    ~ScopedStringTable();
    ScopedStringTable(const ScopedStringTable&) = delete;
    ScopedStringTable& operator=(const ScopedStringTable&) = delete;

    bool loaded() const { return m_loaded; }

private:
    QTemporaryDir m_folder;
    bool m_loaded = false;
};

// Removes the program's settings so that every test starts from the defaults.
void ClearSettings();

// Receives, while it lives, the addresses of `scheme` that the program asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    explicit UrlCatcher(const QString& scheme);
    ~UrlCatcher() override;
    UrlCatcher(const UrlCatcher&) = delete;
    UrlCatcher& operator=(const UrlCatcher&) = delete;

    std::vector<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls.push_back(url); }

private:
    QString m_scheme;
};
