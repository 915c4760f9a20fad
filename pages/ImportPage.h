#pragma once

#include "PrivateTempFolder.h"
#include "WizardPage.h"
#include "WorkFiles.h"

#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

// The first step: the user names the song, and Next decodes it into the working WAV and builds
// its peak file behind one progress window. Only a whole success replaces the current job.
class ImportPage : public WizardPage {
    Q_OBJECT

public:
    explicit ImportPage(QWidget* parent = nullptr);
    ~ImportPage() override;

    void OnActivate(int previous) override;
    bool CanLeave(int target) override;

    // Opens the file dialog and puts the chosen path into the path box. The dialog starts in the
    // typed path's folder, else in the folder chosen from last time, else in the music folder.
    void Browse();
    // Loads `path` as if it had been typed and Load File pressed: the program's start with a file,
    // or a later start handing one over. While a step runs or a box asks something, the path
    // waits its turn. Over a job on the edit or save page the user is asked first, and the job is
    // replaced only once the new song has been imported.
    void OpenFile(const QString& path);
    // The path box, as a dropped file or a test fills it.
    void SetSourcePath(const QString& path);
    QString SourcePath() const;

    // The file-dialog filters: every format the engine reads first, then MP3, then each other
    // format, then all files.
    static QStringList FileFilters();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ImportedJob {
        std::unique_ptr<orvanta::PrivateTempFolder> folder;
        orvanta::WorkFiles files;
    };

    void AcceptDropsOnWindow();
    void LoadTypedPath();
    bool Import(const std::string& sourcePath);
    std::optional<ImportedJob> Decode(const std::string& sourcePath);
    void Adopt(ImportedJob job);
    QString BrowseStartFolder() const;
    bool IsIdle() const;
    void OpenWaitingFile();
    void ReplaceJobWith(const QString& path);

    QLabel* m_description;
    QLineEdit* m_path;
    QPushButton* m_browse;
    QWidget* m_dropWindow = nullptr;
    // The private folder of the current job's working files; the folder of an import that
    // fails or is cancelled goes with everything the attempt wrote.
    std::unique_ptr<orvanta::PrivateTempFolder> m_jobFolder;
    // Files handed to OpenFile that wait for the program to be idle, and the timer that looks.
    QStringList m_waitingFiles;
    QTimer m_openTimer;
    // A song imported over a running job, taken over on the way to the edit page.
    std::optional<ImportedJob> m_importedJob;
};
