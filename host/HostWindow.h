#pragma once

#include "HostOptions.h"

#include <QMainWindow>

class QLineEdit;

namespace rbx {

class ModuleLoader;

// The host's main window: the branch to work on, the ways of opening the copy screen and its
// routine, and the operator's password change.
class HostWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostWindow)

public:
    HostWindow(const HostOptions &options, const ModuleLoader &module, QWidget *parent = nullptr);
    // The screens' status line goes nowhere once the window is gone.
    ~HostWindow() override;

    // Opens the copy screen through the module's IniProc; errors go to the error display.
    // "C" opens "Cópias realizadas" instead.
    void openScreen(const QString &mode);
    QString branch() const;

private:
    const ModuleLoader &m_module;
    QLineEdit *m_branch;
};

} // namespace rbx
