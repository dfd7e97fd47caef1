#include "TestServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
constexpr int StartTimeoutMs = 15000;
constexpr int StopTimeoutMs = 15000;
} // namespace

TestServer::TestServer() = default;

TestServer::~TestServer()
{
    stop();
}

QString TestServer::executablePath() { return QStringLiteral(RBX_SERVER_EXECUTABLE); }

bool TestServer::start(const QString &databaseUrl, const TestServerOptions &options)
{
    stop();
    m_databaseUrl = databaseUrl;
    m_options = options;
    m_port = 0;
    return launch({u"--listen"_s, u"127.0.0.1:0"_s});
}

bool TestServer::restart()
{
    stop();
    return launch({u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_port)});
}

bool TestServer::launch(const QStringList &listen)
{
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder for the server"_s;
        return false;
    }
    QStringList arguments{u"--database"_s, m_databaseUrl};
    arguments << listen;
    if (!m_options.token.isEmpty()) {
        QFile file(m_dir.filePath(u"token"_s));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_options.token.toUtf8() + '\n') < 0) {
            m_error = u"cannot write the token file"_s;
            return false;
        }
        arguments << u"--token-file"_s << file.fileName();
    }
    if (m_options.maxConnections > 0)
        arguments << u"--max-connections"_s << QString::number(m_options.maxConnections);
    if (m_options.maxMessageBytes > 0)
        arguments << u"--max-message-bytes"_s << QString::number(m_options.maxMessageBytes);
    if (m_options.stallTimeoutMs >= 0)
        arguments << u"--stall-timeout-ms"_s << QString::number(m_options.stallTimeoutMs);
    if (m_options.idleTimeoutMs >= 0)
        arguments << u"--idle-timeout-ms"_s << QString::number(m_options.idleTimeoutMs);
    arguments << m_options.extraArguments;

    m_process = std::make_unique<QProcess>();
    m_process->setProgram(executablePath());
    m_process->setArguments(arguments);
    if (!m_options.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : std::as_const(m_options.environment))
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        m_process->setProcessEnvironment(environment);
    }
    m_process->setStandardErrorFile(m_dir.filePath(u"server.log"_s), QIODevice::Append);
    m_process->start();
    if (!m_process->waitForStarted(StartTimeoutMs)) {
        m_error = u"cannot start %1: %2"_s.arg(executablePath(), m_process->errorString());
        m_process.reset();
        return false;
    }
    static const QRegularExpression listening(u"^listening on (.+):(\\d+)$"_s);
    const QDeadlineTimer deadline(StartTimeoutMs);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (m_process->canReadLine() || m_process->waitForReadyRead(int(deadline.remainingTime()))) {
            while (m_process->canReadLine()) {
                const QString line = QString::fromUtf8(m_process->readLine()).trimmed();
                const auto match = listening.match(line);
                if (match.hasMatch()) {
                    m_host = match.captured(1);
                    m_port = match.captured(2).toUShort();
                    return true;
                }
            }
        }
        if (m_process->state() != QProcess::Running)
            break;
    }
    m_error = u"the server did not report listening; its log:\n"_s + log();
    kill();
    return false;
}

void TestServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(StopTimeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(StopTimeoutMs);
        }
    }
    m_process.reset();
}

void TestServer::kill()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(StopTimeoutMs);
    }
    m_process.reset();
}

qint64 TestServer::processId() const { return isRunning() ? m_process->processId() : 0; }

bool TestServer::isRunning() const { return m_process && m_process->state() == QProcess::Running; }

QString TestServer::log() const
{
    QFile file(m_dir.filePath(u"server.log"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace rbx
