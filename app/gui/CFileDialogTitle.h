#pragma once

#include <QFileDialog>
#include <QString>
#include <deque>
#include <optional>

namespace norvo {

// A file dialog that carries a caption of its own, set when it opens.
class CFileDialogTitle : public QFileDialog {
    Q_OBJECT
public:
    // `defaultExt` with or without its dot; `filter` in Qt's "Name(*.ext)" form.
    CFileDialogTitle(bool openFileDialog, const QString& defaultExt, const QString& fileName,
                     QFileDialog::Options options, const QString& filter, QWidget* parent);

    // Puts `widget` beside the file list (the dialog is then always Qt's own, not the
    // desktop's, which has no room for it). The dialog takes ownership.
    void SetSideWidget(QWidget* widget);

    // Runs the dialog modally under the caption m_strTitle; QDialog::Accepted or Rejected.
    int DoModal();
    // The chosen full path after DoModal accepted, with the default extension added to a
    // name typed without one.
    QString GetPathName() const;

    // Caption shown while the dialog is open; empty after construction.
    QString m_strTitle;

    // Test hook: the next dialog opens and is at once filled with `typed` (a name or a full
    // path, as a user would type it) and accepted, or cancelled when `typed` is nullopt.
    static void setNextAnswer(std::optional<QString> typed);
    // Test hook: forgets queued answers.
    static void resetTestHook();

private:
    static std::deque<std::optional<QString>>& nextAnswers();
};

}  // namespace norvo
