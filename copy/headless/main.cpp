#include "HeadlessCopy.h"
#include <protocol/QtTranslations.h>

#include <QCoreApplication>
#include <QDate>
#include <QTextStream>

using namespace rbx;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rbx53207-copy"));
    installQtTranslations();

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    QTextStream in(stdin);
    in.setEncoding(QStringConverter::Utf8);
    // Without --yes the question is read from stdin; a closed or empty stdin answers No.
    const int code = runHeadlessCopy(QCoreApplication::arguments(), QDate::currentDate(), out, err, &in);
    out.flush();
    err.flush();
    return code;
}
