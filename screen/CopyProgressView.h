#pragma once

#include <copy/FormulationCopy.h>

#include <QPointer>

class QWidget;
class StopProgressDialog;

// What the screen shows while its copy runs: a modal progress dialog with "Interromper" and
// the wait cursor over the screen. The run stays on the interface thread, so the view lets
// the events through after the confirmation and after each service: the windows repaint and
// the stop button answers, while the modal dialog keeps every other input (Confirm again,
// closing the screen) away until the run ends.
class CopyProgressView final
{
public:
    CopyProgressView(QWidget &screen, rbx::FormulationCopy &copy);
    ~CopyProgressView();
    CopyProgressView(const CopyProgressView &) = delete;
    CopyProgressView &operator=(const CopyProgressView &) = delete;

    // Removes the dialog and the wait cursor, so that a message comes up over the screen alone.
    void close();

private:
    void open();
    // Shows how far the run is, then lets the events through.
    void show(qsizetype done, qsizetype total);
    void render(qsizetype done, qsizetype total);

    QWidget &m_screen;
    rbx::FormulationCopy &m_copy;
    QPointer<StopProgressDialog> m_dialog;
    qsizetype m_total = 0;
    bool m_opened = false;
};
