#include "app/gui/MessageBox.h"

#include <QCoreApplication>

#include "app/gui/LocaleText.h"
#include "app/gui/WindowTexts.h"

namespace norvo {

const QString& MessageBox::WarningCaption() {
    static const QString caption = ShownText(kWarningCaptionText);
    return caption;
}

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, const QString& text, MessageKind kind,
                                             const QString& details) {
    QMessageBox box(parent);
    switch (kind) {
        case MessageKind::Warning:
            box.setWindowTitle(WarningCaption());
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageKind::Plain:
            box.setWindowTitle(QCoreApplication::applicationName());
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    box.setText(text);
    // Names and addresses come from the user and the web: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty()) {
        box.setDetailedText(details);  // always plain text
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);

    if (!nextAnswers().empty()) {
        const QMessageBox::StandardButton answer = nextAnswers().front();
        nextAnswers().pop_front();
        shown().push_back(
            {box.windowTitle(), box.text(), box.detailedText(), box.icon(), box.standardButtons()});
        return answer;
    }
    box.exec();
    return QMessageBox::Ok;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) {
    nextAnswers().push_back(answer);
}

std::vector<MessageBox::Shown> MessageBox::takeShown() {
    std::vector<Shown> result;
    result.swap(shown());
    return result;
}

void MessageBox::resetTestHook() {
    nextAnswers().clear();
    shown().clear();
}

std::deque<QMessageBox::StandardButton>& MessageBox::nextAnswers() {
    static std::deque<QMessageBox::StandardButton> answers;
    return answers;
}

std::vector<MessageBox::Shown>& MessageBox::shown() {
    static std::vector<Shown> record;
    return record;
}

}  // namespace norvo
