#pragma once

#include "PrivateTempFolder.h"
#include "WizardPage.h"

#include <memory>
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

    // Opens the file dialog and puts the chosen path into the path box.
    void Browse();
    // The path box, as a dropped file or a test fills it.
    void SetSourcePath(const QString& path);
    QString SourcePath() const;

    // The file-dialog filters: MP3 first, then every other format the engine reads, then all.
    static QStringList FileFilters();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AcceptDropsOnWindow();
    void LoadTypedPath();
    bool Import(const std::string& sourcePath);

    QLabel* m_description;
    QLineEdit* m_path;
    QPushButton* m_browse;
    QWidget* m_dropWindow = nullptr;
    // The private folder of the current job's working files; the folder of an import that
    // fails or is cancelled goes with everything the attempt wrote.
    std::unique_ptr<orvanta::PrivateTempFolder> m_jobFolder;
};
