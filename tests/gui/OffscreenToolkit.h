#pragma once

// Qt set up for windows nobody sees (tests and benchmarks): the offscreen platform unless one
// was chosen, and none of the warnings that platform gives on every start, which would only
// hide real ones in the build's and the tests' output.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>

namespace norvo::testing {

// Call before the application object is made; keep the result alive as long as it.
inline std::unique_ptr<QTemporaryDir> PrepareOffscreenToolkit() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Build machines and CI have no session, so no runtime folder: a private one, as a session
    // would give (QTemporaryDir makes it 0700), instead of Qt's warning and fallback.
    std::unique_ptr<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime = std::make_unique<QTemporaryDir>();
        if (runtime->isValid()) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
        }
    }
    // The offscreen platform says this for every window that is shown.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (message != QStringLiteral("This plugin does not support propagateSizeHints()")) {
                previous(type, context, message);
            }
        });
    return runtime;
}

}  // namespace norvo::testing
