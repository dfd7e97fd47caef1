#pragma once

#include <db/SqlSession.h>

#include <QString>

#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace rbx {

// Open database sessions kept between client connections, so that opening a connection's
// session does not wait for a new attachment (tens of milliseconds on Firebird). Only sessions
// that may move between threads are kept; a spare taken is replaced in the background.
class SqlSessionPool final
{
public:
    static SqlSessionPool &instance();

    explicit SqlSessionPool(int spares = 2, int mostIdle = 8) : m_spares(spares), m_mostIdle(mostIdle) {}
    ~SqlSessionPool();
    SqlSessionPool(const SqlSessionPool &) = delete;
    SqlSessionPool &operator=(const SqlSessionPool &) = delete;

    // An idle session on the URL, or a new one when there is none. Throws as SqlSession::open.
    std::unique_ptr<SqlSession> take(const QString &url, const QString &connectionName);
    // Keeps a session no longer used, with no transaction open, when it can move between threads,
    // still reaches its database and the pool is not full; drops it otherwise.
    void give(const QString &url, std::unique_ptr<SqlSession> session);
    // Opens spares for the URL in the background.
    void prewarm(const QString &url);
    int idle(const QString &url) const;
    // Stops refilling and drops every idle session; before the program ends.
    void close();

    // How a session is opened; SqlSession::open unless a test says otherwise.
    using Opener = std::unique_ptr<SqlSession> (*)(const QString &url, const QString &connectionName);
    void setOpener(Opener opener) { m_opener = opener; }

private:
    void refill(const QString &url);
    int idleLocked(const QString &url) const;

    const int m_spares;
    const int m_mostIdle;
    Opener m_opener = &SqlSession::open;
    mutable std::mutex m_mutex;
    std::unordered_map<QString, std::vector<std::unique_ptr<SqlSession>>> m_idle;
    bool m_refilling = false;
    bool m_closing = false;
    std::thread m_refiller;
};

} // namespace rbx
