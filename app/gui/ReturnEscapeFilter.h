#pragma once

#include <QObject>

class QWidget;

namespace norvo {

// Swallows key presses of Return, Enter and Escape so that neither closes a dialog nor
// presses one of its buttons, whichever of its controls has the focus.
class ReturnEscapeFilter : public QObject {
    Q_OBJECT
public:
    explicit ReturnEscapeFilter(QObject* parent = nullptr);

    // Installs one filter owned by `dialog` on it and on every widget inside it.
    static void InstallOn(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace norvo
