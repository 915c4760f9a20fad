#include "PageFixture.h"

#include "ProgramPages.h"
#include "WizardTabControl.h"
#include "WorkFiles.h"

#include <QTest>
#include <filesystem>

PageFixture::PageFixture() : m_oldTmpDir(qgetenv("TMPDIR")) {
    ClearSettings();
    // The preview plays in real time into nothing: no test needs a sound device.
    qputenv("ORVANTA_AUDIO_SINK", "fakesink sync=true");
    // The folder's own name, without the trailing "/", as a user's TMPDIR would be set.
    qputenv("TMPDIR", QByteArray::fromStdString(tempFolder.Path("x")).chopped(2));
}

PageFixture::~PageFixture() {
    window.reset();
    CloseProgressWindow();
    orvanta::CurrentWorkFiles() = {};
    qputenv("TMPDIR", m_oldTmpDir);
}

void PageFixture::Open() {
    window = std::make_unique<MainWizardWindow>(MakeProgramPages());
    window->show();
}

void PageFixture::Next() {
    QTest::mouseClick(window->NextButton(), Qt::LeftButton);
}

void PageFixture::Previous() {
    QTest::mouseClick(window->PreviousButton(), Qt::LeftButton);
}

int PageFixture::Current() const {
    return window->TabControl()->CurrentIndex();
}

std::string PageFixture::Text(const char* identifier) const {
    return StringTable::Instance().Lookup(identifier);
}

std::vector<std::string> PageFixture::TempEntries() const {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tempFolder.Path(""))) {
        entries.push_back(entry.path().string());
    }
    return entries;
}

std::string PageFixture::MakeSong(const std::string& name, int seconds) const {
    const std::string path = dir.Path(name);
    orvanta::test::WriteBytes(
        path, orvanta::test::MakeWav16(
                  orvanta::test::MusicSamples(2, 44100, static_cast<uint32_t>(seconds) * 44100), 2,
                  44100));
    return path;
}
