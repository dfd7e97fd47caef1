#include "CopyReport.h"

#include <house/FormatText.h>

namespace rbx {

namespace {

QString itemCount(qint64 items)
{
    return items == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 itens").arg(formatCount(items));
}

} // namespace

namespace CopyReport {

QString interrupted(const CopyOutcome &outcome)
{
    return QStringLiteral("Cópia interrompida: %1 de %2 serviços copiados, com %3. Os serviços não copiados "
                          "ficaram como estavam no destino.")
        .arg(formatCount(outcome.services), formatCount(outcome.servicesTotal), itemCount(outcome.items));
}

QString completed(const CopyOutcome &outcome, QDate origin, QDate destination)
{
    const QString what = QStringLiteral("%1 %2 e %3 copiados de %4 para %5")
                             .arg(formatCount(outcome.services),
                                  outcome.services == 1 ? QStringLiteral("serviço") : QStringLiteral("serviços"),
                                  itemCount(outcome.items), origin.toString(QStringLiteral("dd/MM")),
                                  destination.toString(QStringLiteral("dd/MM")));
    return outcome.runId > 0 ? QStringLiteral("Execução %1: %2").arg(outcome.runId).arg(what) : what;
}

QString failed(const CopyOutcome &outcome)
{
    // Each service is deleted at the destination before its copy is inserted, and a failed one
    // is rolled back whole: a second run leaves nothing doubled.
    const QString again = QStringLiteral("Executar a mesma cópia novamente é seguro: cada serviço copiado "
                                         "substitui o que houver dele no destino.");
    if (outcome.unconfirmed > 0) {
        // The answers lost with the connection leave the count open: the journal has it exact.
        const QString where = outcome.runId > 0
                                  ? QStringLiteral("A contagem exata está em \"Cópias realizadas\", execução %1 "
                                                   "(rbx53207-copy --show-run %1). ")
                                        .arg(outcome.runId)
                                  : QString();
        return QStringLiteral("Serviços copiados com resposta do servidor antes da falha: %1 (%2), de %3 a copiar. "
                              "A conexão caiu com %4 sem resposta: podem ter sido copiados. ")
                   .arg(formatCount(outcome.services), itemCount(outcome.items), formatCount(outcome.servicesTotal),
                        outcome.unconfirmed == 1 ? QStringLiteral("1 serviço enviado")
                                                 : QStringLiteral("%1 serviços enviados").arg(formatCount(outcome.unconfirmed))) +
               where + again;
    }
    if (outcome.services == 0)
        return QStringLiteral("Nenhum serviço foi copiado antes da falha. ") + again;
    return QStringLiteral("Serviços copiados antes da falha: %1 (%2), de %3 a copiar; o serviço em que a falha "
                          "ocorreu ficou como estava no destino. ")
               .arg(formatCount(outcome.services), itemCount(outcome.items), formatCount(outcome.servicesTotal)) +
           again;
}

} // namespace CopyReport

} // namespace rbx
