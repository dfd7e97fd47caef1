#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace rbx {

// Keeps the journal of copy runs to its days: the runs started before them leave it (with
// what they pictured) when the server starts and once a day after.
class JournalPruning final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalPruning)

public:
    JournalPruning(QString databaseUrl, int days, QObject *parent = nullptr);

    // Prunes now and every day after. Throws EHouseError when the database refuses the first
    // pruning; later ones are logged.
    void start();
    // The runs removed.
    qint64 pruneNow();

private:
    QString m_databaseUrl;
    int m_days;
    QTimer *m_timer;
};

} // namespace rbx
