#include "SecretInput.h"

#include <QByteArray>

#include <termios.h>
#include <unistd.h>

namespace rbx {

namespace SecretInput {

bool isTerminal(std::FILE *input) { return input && ::isatty(::fileno(input)) == 1; }

std::optional<QString> readLine(std::FILE *input, const QString &prompt)
{
    const int fd = ::fileno(input);
    termios saved{};
    const bool terminal = isTerminal(input) && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(input)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.append(char(c));
    }
    if (terminal)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    if (!any)
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    QString secret = QString::fromUtf8(line);
    line.fill('\0');
    return secret;
}

} // namespace SecretInput

} // namespace rbx
