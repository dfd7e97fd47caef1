#pragma once

#include <contract/CopyServiceContract.h>
#include "FakeScramLogin.h"
#include <protocol/WireProtocol.h>

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVariant>

namespace rbx {

// A stand-in for "Rbx53207.rdmCopiaForm" behind a ScriptedServer: answers the copy's calls from
// scripted rows, records every call with its arguments, writes back chosen by-reference values
// and fails a chosen call. Configure it before the run; read what it saw after. A client of the
// original contract opens without a login; one that logs in does so with the test password.
class FakeCopyService
{
public:
    struct Call
    {
        QString method;
        QList<Wire::Arg> args;
    };

    using Row = QHash<QString, QVariant>; // column name -> value; missing columns are null

    // Rows answered by getNutricio (one by default: the operator is a nutritionist).
    QList<Row> nutricio = {{{QStringLiteral("CDNUTRICIO"), QStringLiteral("001")}}};
    QList<Row> pacientes; // getPaciente
    QList<Row> services; // getServInte
    // getConfesco, keyed by the origin service's patient and sequence (itemsKey()).
    QHash<QString, QList<Row>> items;
    QString nrServInte = QStringLiteral("00");
    QString nrConfesco = QStringLiteral("0000");
    // For the n-th call of a method (1-based), the texts it leaves in by-reference positions.
    QHash<QString, QMap<int, QMap<int, QString>>> writeBack;
    // Fail the n-th call of a method (1-based) with -32000 and failureMessage.
    QString failMethod;
    int failOccurrence = 0;
    QString failureMessage = QStringLiteral("Falha simulada no serviço de cópia.");
    bool rollbackFails = false;
    bool dropOnFailure = false; // close the connection instead of answering the failing call
    FakeScramLogin login;

    static QString itemsKey(const QString &cdPaciente, const QString &nrSequServ)
    {
        return cdPaciente + u'|' + nrSequServ;
    }

    // The script for ScriptedServer.
    QByteArray answer(const QByteArray &line);

    QList<Call> calls() const;
    QStringList methods() const;                    // the methods called, in order
    QList<Call> callsOf(const QString &method) const; // in order

private:
    Wire::Packet packet(const QList<CopyService::FieldLayout> &layout, const QList<Row> &rows) const;

    mutable QMutex m_mutex;
    QList<Call> m_calls;
    QHash<QString, int> m_counts;
};

} // namespace rbx
