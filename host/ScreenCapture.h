#pragma once

#include <QObject>
#include <QString>

class QTimer;
class QWidget;

namespace rbx {

// Saves the copy screen once its first activation has set the dates (or "Cópias realizadas"
// once its runs are listed), then closes it. An error
// box that shows instead is saved and closed too, and the capture counts as failed.
class ScreenCapture final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenCapture)

public:
    explicit ScreenCapture(QString file, QObject *parent = nullptr);

    void start();
    bool succeeded() const { return m_succeeded; }
    const QString &problem() const { return m_problem; }

private:
    void poll();
    bool save(QWidget *window, bool withFrame);

    QString m_file;
    QTimer *m_timer;
    int m_polls = 0;
    int m_readyPolls = 0;
    bool m_succeeded = false;
    QString m_problem;
};

} // namespace rbx
