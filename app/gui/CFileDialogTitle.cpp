#include "app/gui/CFileDialogTitle.h"

#include <QGridLayout>
#include <QTimer>

namespace norvo {

namespace {

// Width of the dialog with a side widget: the file list keeps about the room it has alone.
constexpr int kSideWidgetDialogWidth = 900;

}  // namespace

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

void CFileDialogTitle::SetSideWidget(QWidget* widget) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    // Qt's own dialog lays its parts out on a grid: the widget takes a column of its own.
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(widget, 0, grid->columnCount(), grid->rowCount(), 1);
        // Room for the file list beside it, too.
        resize(sizeHint().expandedTo(QSize(kSideWidgetDialogWidth, 0)));
    } else {
        widget->setParent(this);
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
