#include "SqlSessionPool.h"

#include <protocol/HouseError.h>
#include "ServerLog.h"

namespace rbx {

using namespace Qt::StringLiterals;

SqlSessionPool &SqlSessionPool::instance()
{
    static SqlSessionPool pool;
    return pool;
}

SqlSessionPool::~SqlSessionPool() { close(); }

void SqlSessionPool::close()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    if (m_refiller.joinable())
        m_refiller.join();
    std::unordered_map<QString, std::vector<std::unique_ptr<SqlSession>>> idle;
    {
        const std::lock_guard lock(m_mutex);
        idle.swap(m_idle);
    }
}

std::unique_ptr<SqlSession> SqlSessionPool::take(const QString &url, const QString &connectionName)
{
    std::unique_ptr<SqlSession> session;
    {
        const std::lock_guard lock(m_mutex);
        auto found = m_idle.find(url);
        if (found != m_idle.end() && !found->second.empty()) {
            session = std::move(found->second.back());
            found->second.pop_back();
        }
    }
    if (!session)
        session = m_opener(url, connectionName);
    if (session->movableAcrossThreads())
        prewarm(url);
    return session;
}

void SqlSessionPool::give(const QString &url, std::unique_ptr<SqlSession> session)
{
    if (!session || !session->movableAcrossThreads())
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (m_closing || idleLocked(url) >= m_mostIdle)
            return;
    }
    // a session whose database went away is of no use to the next connection
    if (!session->reaches(nullptr))
        return;
    const std::lock_guard lock(m_mutex);
    m_idle[url].push_back(std::move(session));
}

int SqlSessionPool::idle(const QString &url) const
{
    const std::lock_guard lock(m_mutex);
    return idleLocked(url);
}

int SqlSessionPool::idleLocked(const QString &url) const
{
    const auto found = m_idle.find(url);
    return found == m_idle.end() ? 0 : int(found->second.size());
}

void SqlSessionPool::prewarm(const QString &url)
{
    const std::lock_guard lock(m_mutex);
    if (m_refilling || m_closing || idleLocked(url) >= m_spares)
        return;
    m_refilling = true;
    if (m_refiller.joinable())
        m_refiller.join(); // finished: it cleared m_refilling before it ended
    m_refiller = std::thread([this, url] { refill(url); });
}

void SqlSessionPool::refill(const QString &url)
{
    for (int opened = 0;; ++opened) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_closing || idleLocked(url) >= m_spares) {
                m_refilling = false;
                return;
            }
        }
        try {
            std::unique_ptr<SqlSession> session = m_opener(url, u"rbx-spare-%1"_s.arg(opened));
            const std::lock_guard lock(m_mutex);
            if (!session->movableAcrossThreads()) {
                m_refilling = false; // a kind the pool cannot keep
                return;
            }
            m_idle[url].push_back(std::move(session));
        } catch (const EHouseError &error) {
            // the next connection opens its own and reports why it cannot
            serverLog(u"spare database session not opened: "_s + error.message());
            const std::lock_guard lock(m_mutex);
            m_refilling = false;
            return;
        }
    }
}

} // namespace rbx
