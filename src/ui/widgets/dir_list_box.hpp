#pragma once

#include <string>

#include <QListWidget>

namespace hotfix {

class FolderBrowser;

// A folder list in the classic manner: the path down to the current folder, one row per folder, then
// the current folder's subfolders. Opening a row (double-click, Enter) makes it the current folder;
// a row that is only highlighted is not.
class DirListBox final : public QListWidget {
    Q_OBJECT

public:
    explicit DirListBox(FolderBrowser& browser, QWidget* parent = nullptr);

    // The current folder's full path; a drive's root ends in "\" (C:\), no other folder does.
    const std::string& path() const { return m_path; }
    void setPath(const std::string& folder);

    // Opens the highlighted row, as Enter does.
    void openCurrentRow();

    // The path of a row.
    std::string rowPath(int row) const;

signals:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();

    FolderBrowser& m_browser;
    std::string m_path;
};

// The root of a path's drive ("C:\"), or empty when the path names no drive.
std::string driveRootOfPath(const std::string& path);

} // namespace hotfix
