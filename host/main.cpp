#include <house/widgets/ErrorDisplay.h>
#include <house/HandlerGuard.h>
#include <house/HouseSession.h>
#include "HostLogin.h"
#include "HostOptions.h"
#include "HostWindow.h"
#include "ModuleLoader.h"
#include <protocol/QtTranslations.h>
#include "ScreenCapture.h"
#include <house/widgets/WidgetDialogs.h>

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

using namespace rbx;

int main(int argc, char *argv[])
{
    // --help needs no display, which the QApplication would
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (readHostOptions(arguments, QProcessEnvironment(), QString()).helpShown) {
        std::fputs(qPrintable(hostUsage()), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("rbx53207-host"));
    installQtTranslations();
    installWidgetDialogs();

    const HostOptionsResult read =
        configureHost(QApplication::arguments().mid(1), QProcessEnvironment::systemEnvironment(),
                      QApplication::applicationDirPath());
    if (!read.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(read.error));
        return 2;
    }
    HostOptions options = read.options;

    // Cancelling the login ends the host; a refused password file ends it with the reason.
    const HostLoginResult login = logInHost(options, nullptr);
    if (!login.loggedIn) {
        if (login.error.isEmpty())
            return 0;
        std::fprintf(stderr, "%s\n", qPrintable(login.error));
        return 3;
    }
    options.operatorCode = Operador();

    ModuleLoader module;
    bool ready = false;
    guarded(nullptr, [&] {
        module.load(options.modulePath, QApplication::applicationDirPath());
        ready = true;
    });
    if (!ready)
        return 1;

    HostWindow window(options, module);
    window.show();

    if (options.mode.isEmpty())
        return QApplication::exec();

    // Opened directly: the screen first; with --screenshot the host quits once it is saved.
    ScreenCapture capture(options.screenshot);
    QTimer::singleShot(0, &window, [&] {
        if (!options.screenshot.isEmpty())
            capture.start();
        window.openScreen(options.mode);
        if (options.screenshot.isEmpty())
            return;
        if (capture.succeeded()) {
            std::printf("screenshot saved to %s\n", qPrintable(QFileInfo(options.screenshot).absoluteFilePath()));
            QApplication::exit(0);
        } else {
            std::fprintf(stderr, "no screenshot: %s\n", qPrintable(capture.problem()));
            QApplication::exit(1);
        }
    });
    return QApplication::exec();
}
