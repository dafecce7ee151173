#include "app/gui/CMainApp.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <string>

#include "app/EmbeddedGallery.h"
#include "app/ServiceSetup.h"
#include "app/UserLanguage.h"
#include "app/WindowedRun.h"
#include "app/gui/CMainDialog.h"
#include "app/gui/CProgressDialog.h"
#include "app/gui/LocaleText.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QuitOnSignal.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "saori/WorkFolder.h"

namespace norvo {

int CMainApp::InitInstance(int argc, char** argv) {
    // The services come first: setting the probe address is only safe before the toolkit
    // starts threads of its own. Their failures are told once a window can be shown.
    EmbeddedGallery gallery;
    ServiceAddresses services;
    std::string why;
    const ServiceSetupStatus setup = SetUpServices("", "", gallery, services, why);
    WorkFolder work;

    QApplication app(argc, argv);
    // Qt's own buttons speak the language of the program's texts.
    TranslateToolkitTexts();
    // The plain message box is captioned with the application name, which Qt takes from the
    // executable file name without its extension.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/norvo/norvo.png")));

    if (setup != ServiceSetupStatus::Ok) {
        MessageBox::Show(nullptr, QString::fromLocal8Bit(why), MessageKind::Warning);
        return 1;
    }
    if (!work.IsValid()) {
        MessageBox::Show(nullptr, ShownText(WorkFolder::describe(work.CreateStatus())),
                         MessageKind::Warning);
        return 1;
    }

    // One landmark model for all runs, read on a thread of its own once the windows are up.
    auto landmarks = std::make_shared<LandmarkModel>(LandmarkModel::DefaultPath());
    const RunSettings settings = MakeWindowedRunSettings(work.Path(), services, landmarks);

    CProgressDialog progress;
    CMainDialog dialog;
    progress.SetMainWindow(&dialog);
    dialog.SetProgressWindow(&progress);
    dialog.SetRunJob([settings](RunView& view, const std::string& body, const std::string& face) {
        RunWindowed(settings, view, body, face);
    });

    // The program lives as long as the main dialog, not as long as any window is open.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&dialog, &QDialog::finished, &app, &QCoreApplication::quit);
    // Interrupted from outside, the program closes as if the window were closed.
    // A box or the save dialog the run has open is answered as cancelled, so the run can
    // reach its next stage boundary and stop.
    QuitOnSignal onSignal([&dialog] {
        dialog.close();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window != &dialog && window->isVisible() && window->isModal()) {
                window->close();
            }
        }
    });
    dialog.show();
    landmarks->StartLoading(PrepareNaturalBlend);
    QApplication::exec();
    return 0;
}

}  // namespace norvo
