#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress of a long run that a person may stop: a text, a bar and "Interromper". Stopping
// is a request the run honours at its own pace, so the dialog stays until the run removes it;
// Escape and the window's close button ask for the stop as the button does.
class RBX_HOUSE_WIDGETS_EXPORT StopProgressDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StopProgressDialog)

public:
    explicit StopProgressDialog(const QString &title, QWidget *parent = nullptr);

    // A maximum of 0 shows a bar that only says something is going on.
    void setProgress(const QString &text, qint64 value, qint64 maximum);
    bool stopAsked() const { return m_stopAsked; }

    QLabel *label() const { return m_label; }
    QProgressBar *bar() const { return m_bar; }
    QPushButton *stopButton() const { return m_stop; }

signals:
    void stopRequested();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void askToStop();

    QLabel *m_label;
    QProgressBar *m_bar;
    QPushButton *m_stop;
    bool m_stopAsked = false;
};
