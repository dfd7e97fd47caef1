#pragma once

#include <QObject>

class QSocketNotifier;

namespace rbx {

// Turns SIGTERM and SIGINT into a Qt signal on the main thread, so that the server closes its
// sessions (rolling back open transactions) instead of dying mid-write.
class ShutdownSignal final : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownSignal(QObject *parent = nullptr);
    ~ShutdownSignal() override;

signals:
    void requested();

private:
    static void handle(int signalNumber);
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace rbx
