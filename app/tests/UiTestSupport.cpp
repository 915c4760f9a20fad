#include "UiTestSupport.h"

#include "StringTable.h"

#include <QDesktopServices>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

void FailOnUnexpectedMessages() {
    SetMessageResponder([](const std::string& text, MessageButtons) {
        ADD_FAILURE() << "unexpected message box: " << text;
        return static_cast<int>(IDOK);
    });
}

MessageRecorder::MessageRecorder(std::vector<int> answers) : m_answers(std::move(answers)) {
    SetDetailedMessageResponder([this](const Message& message) {
        m_shown.push_back({message.text, message.buttons, message.kind, message.detail});
        if (m_shown.size() <= m_answers.size()) {
            return m_answers[m_shown.size() - 1];
        }
        return static_cast<int>(message.buttons == MessageButtons::YesNo ? IDYES : IDOK);
    });
}

MessageRecorder::~MessageRecorder() {
    FailOnUnexpectedMessages();
}

ScopedStringTable::ScopedStringTable(const std::string& xml, const std::string& language) {
    StringTable::Release();
    const QString path = m_folder.filePath("strings.xml");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(xml.data(), static_cast<qint64>(xml.size())) ==
            static_cast<qint64>(xml.size())) {
        file.close();
        m_loaded = StringTable::Instance().Load(path.toStdString(), language);
    }
}

ScopedStringTable::ScopedStringTable(const std::string& language) {
    StringTable::Release();
    m_loaded = StringTable::Instance().Load(ORVANTA_STRINGS_XML, language);
}

ScopedStringTable::~ScopedStringTable() {
    StringTable::Release();
}

void ClearSettings() {
    QSettings settings;
    settings.clear();
    settings.sync();
}

UrlCatcher::UrlCatcher(const QString& scheme) : m_scheme(scheme) {
    QDesktopServices::setUrlHandler(m_scheme, this, "Open");
}

UrlCatcher::~UrlCatcher() {
    QDesktopServices::unsetUrlHandler(m_scheme);
}
