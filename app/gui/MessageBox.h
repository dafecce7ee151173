#pragma once

#include <QMessageBox>
#include <QString>
#include <deque>
#include <vector>

#include "app/RunView.h"

namespace norvo {

// The program's message boxes: one OK button each. Tests answer them through the hook below
// instead of a human, and read back what would have been shown.
class MessageBox {
public:
    // Caption of every warning.
    static const QString& WarningCaption();

    // Modal to `parent`; Warning: the warning caption and the exclamation icon; Plain: the
    // application's name as caption and no icon. Returns once the box is answered.
    // Non-empty `details` go into the box's unfoldable details.
    static QMessageBox::StandardButton Show(QWidget* parent, const QString& text, MessageKind kind,
                                            const QString& details = QString());

    // What one box looked like.
    struct Shown {
        QString caption;
        QString text;
        QString details;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    // Test hook: the next box is not shown but answered at once with `answer` and recorded.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    // Test hook: the boxes answered by setNextAnswer so far, oldest first; clears the record.
    static std::vector<Shown> takeShown();
    // Test hook: forgets queued answers and the record.
    static void resetTestHook();

private:
    static std::deque<QMessageBox::StandardButton>& nextAnswers();
    static std::vector<Shown>& shown();
};

}  // namespace norvo
