#include "app/gui/CFileDialogTitle.h"

#include <QTimer>

namespace norvo {

CFileDialogTitle::CFileDialogTitle(bool openFileDialog, const QString& defaultExt,
                                   const QString& fileName, QFileDialog::Options options,
                                   const QString& filter, QWidget* parent)
    : QFileDialog(parent) {
    setAcceptMode(openFileDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    setFileMode(openFileDialog ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    setOptions(options);
    QString suffix = defaultExt;
    if (suffix.startsWith(QLatin1Char('.'))) {
        suffix.remove(0, 1);
    }
    setDefaultSuffix(suffix);
    if (!filter.isEmpty()) {
        setNameFilter(filter);
    }
    if (!fileName.isEmpty()) {
        selectFile(fileName);
    }
}

int CFileDialogTitle::DoModal() {
    setWindowTitle(m_strTitle);
    if (!nextAnswers().empty()) {
        const std::optional<QString> typed = nextAnswers().front();
        nextAnswers().pop_front();
        // The hook drives this very dialog, so the default extension and the overwrite
        // question are the dialog's own.
        setOption(QFileDialog::DontUseNativeDialog, true);
        QTimer::singleShot(0, this, [this, typed] {
            if (typed) {
                selectFile(*typed);
                accept();
            } else {
                reject();
            }
        });
    }
    return exec();
}

QString CFileDialogTitle::GetPathName() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

void CFileDialogTitle::setNextAnswer(std::optional<QString> typed) {
    nextAnswers().push_back(std::move(typed));
}

void CFileDialogTitle::resetTestHook() {
    nextAnswers().clear();
}

std::deque<std::optional<QString>>& CFileDialogTitle::nextAnswers() {
    static std::deque<std::optional<QString>> answers;
    return answers;
}

}  // namespace norvo
