#include "TerminalPassword.h"

#include <QByteArray>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxPasswordBytes = 1024;

void writeAll(int fd, const QByteArray &text)
{
    const char *at = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, std::size_t(left));
        if (written <= 0)
            return;
        at += written;
        left -= written;
    }
}

// The terminal's descriptor; `owned` when it was opened here.
int terminal(bool &owned)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    owned = tty >= 0;
    if (owned)
        return tty;
    return ::isatty(STDIN_FILENO) ? STDIN_FILENO : -1;
}

} // namespace

std::optional<QString> askPasswordOnTerminal(const QString &operatorCode)
{
    bool owned = false;
    const int fd = terminal(owned);
    if (fd < 0)
        return std::nullopt;
    termios shown{};
    if (::tcgetattr(fd, &shown) != 0) {
        if (owned)
            ::close(fd);
        return std::nullopt;
    }
    writeAll(STDERR_FILENO, QStringLiteral("Senha de %1: ").arg(operatorCode).toUtf8());
    termios hidden = shown;
    hidden.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &hidden);

    QByteArray line;
    char c = 0;
    while (line.size() < MaxPasswordBytes && ::read(fd, &c, 1) == 1 && c != '\n')
        line.append(c);
    ::tcsetattr(fd, TCSAFLUSH, &shown);
    writeAll(STDERR_FILENO, "\n"); // the Enter was not echoed
    if (owned)
        ::close(fd);
    if (line.endsWith('\r'))
        line.chop(1);
    const QString password = QString::fromUtf8(line);
    line.fill('\0');
    return password;
}
