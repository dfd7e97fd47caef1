// The write turns of a one-writer database: handed over in the order writers arrived, a writer
// that gives up leaves the line without blocking those behind it, and a turn ends exactly once.
#include <protocol/HouseError.h>
#include <server/WriteGate.h>

#include <QMutex>
#include <QtTest>

#include <thread>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

} // namespace

class TestWriteGate final : public QObject
{
    Q_OBJECT

private slots:
    void turnsFollowArrival()
    {
        WriteGate &gate = WriteGate::forDatabase(u"arrival"_s);
        WriteGate::Turn first = gate.enter(1000);
        QMutex orderMutex;
        QStringList order;
        std::vector<std::thread> writers;
        for (const QString &name : {u"B"_s, u"C"_s, u"D"_s, u"E"_s}) {
            const int before = gate.waiting();
            writers.emplace_back([&, name] {
                const WriteGate::Turn turn = gate.enter(10000);
                const QMutexLocker lock(&orderMutex);
                order << name;
            });
            QVERIFY(waitUntil([&] { return gate.waiting() == before + 1; }));
        }
        first.release();
        for (std::thread &writer : writers)
            writer.join();
        QCOMPARE(order, QStringList({u"B"_s, u"C"_s, u"D"_s, u"E"_s}));
        QCOMPARE(gate.waiting(), 0);
        // the gate is free again: no wait at all
        QVERIFY(gate.enter(0).held());
    }

    void writerGivingUpLeavesTheLine()
    {
        WriteGate &gate = WriteGate::forDatabase(u"giving-up"_s);
        WriteGate::Turn holder = gate.enter(1000);
        QString why;
        try {
            gate.enter(100);
        } catch (const EDatabaseError &error) {
            why = error.message();
        }
        QVERIFY2(why.contains(u"ocupado"_s), qPrintable(why));
        QCOMPARE(gate.waiting(), 0);

        bool entered = false;
        std::thread patient([&] { entered = gate.enter(10000).held(); });
        QVERIFY(waitUntil([&] { return gate.waiting() == 1; }));
        holder.release();
        patient.join();
        QVERIFY(entered);
    }

    void turnEndsOnce()
    {
        WriteGate &gate = WriteGate::forDatabase(u"once"_s);
        WriteGate::Turn moved;
        {
            WriteGate::Turn turn = gate.enter(1000);
            moved = std::move(turn);
            QVERIFY(!turn.held());
        } // the emptied turn must not free the gate
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, gate.enter(50));
        moved.release();
        moved.release();
        WriteGate::Turn again = gate.enter(50);
        QVERIFY(again.held());
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, gate.enter(50));
    }

    void gatesAreSeparatePerDatabase()
    {
        const WriteGate::Turn one = WriteGate::forDatabase(u"one"_s).enter(50);
        QVERIFY(WriteGate::forDatabase(u"other"_s).enter(50).held());
        QCOMPARE(&WriteGate::forDatabase(u"one"_s), &WriteGate::forDatabase(u"one"_s));
    }
};

QTEST_GUILESS_MAIN(TestWriteGate)
#include "tst_write_gate.moc"
