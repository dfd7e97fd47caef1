#include "WriteGate.h"

#include <protocol/HouseError.h>

#include <QDeadlineTimer>
#include <QHash>

#include <memory>

namespace rbx {

using namespace Qt::StringLiterals;

WriteGate &WriteGate::forDatabase(const QString &key)
{
    static QMutex registryMutex;
    static QHash<QString, std::shared_ptr<WriteGate>> registry;
    const QMutexLocker lock(&registryMutex);
    std::shared_ptr<WriteGate> &gate = registry[key];
    if (!gate)
        gate = std::make_shared<WriteGate>();
    return *gate;
}

WriteGate::Turn WriteGate::enter(int timeoutMs)
{
    QMutexLocker lock(&m_mutex);
    if (!m_taken && m_line.empty()) {
        m_taken = true;
        return Turn(*this);
    }
    Waiter me;
    const auto place = m_line.insert(m_line.end(), &me);
    const QDeadlineTimer deadline(timeoutMs);
    while (!me.granted) {
        if (!me.wake.wait(&m_mutex, deadline) && !me.granted) {
            m_line.erase(place);
            throw EDatabaseError(u"O banco de dados está ocupado com outras gravações há mais de %1 s; tente de novo."_s
                                     .arg(timeoutMs / 1000));
        }
    }
    // leave() took us out of the line and handed the turn over
    return Turn(*this);
}

int WriteGate::waiting() const
{
    const QMutexLocker lock(&m_mutex);
    return int(m_line.size());
}

void WriteGate::leave()
{
    const QMutexLocker lock(&m_mutex);
    if (m_line.empty()) {
        m_taken = false;
        return;
    }
    Waiter *next = m_line.front();
    m_line.pop_front();
    next->granted = true;
    next->wake.wakeOne();
}

void WriteGate::Turn::release()
{
    if (WriteGate *gate = std::exchange(m_gate, nullptr))
        gate->leave();
}

} // namespace rbx
