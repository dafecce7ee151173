#include "app/gui/ReturnEscapeFilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace norvo {

ReturnEscapeFilter::ReturnEscapeFilter(QObject* parent) : QObject(parent) {}

void ReturnEscapeFilter::InstallOn(QWidget* dialog) {
    auto* filter = new ReturnEscapeFilter(dialog);
    dialog->installEventFilter(filter);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        child->installEventFilter(filter);
    }
}

bool ReturnEscapeFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                return true;
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace norvo
