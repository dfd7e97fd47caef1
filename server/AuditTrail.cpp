#include "AuditTrail.h"

#include "ArgReader.h"
#include "ServerLog.h"

#include <atomic>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
std::atomic<quint64> g_servicesWritten = 0;
}

AuditTrail::~AuditTrail()
{
    if (!m_pending.isEmpty()) {
        serverLog(u"#%1 audit: %2 pending write(s) discarded: the transaction was rolled back"_s.arg(m_connectionId)
                      .arg(m_pending.size()));
    }
}

AuditTrail::Entry *AuditTrail::find(const QString &paciente, double destino, const QString &filial,
                                    const QString &sequencia)
{
    for (Entry &entry : m_pending) {
        if (entry.paciente == paciente && entry.destino == destino && entry.filial == filial
            && entry.sequencia == sequencia)
            return &entry;
    }
    return nullptr;
}

void AuditTrail::removed(const QString &paciente, double destino, const QString &filial, const QString &servico,
                         const QString &dieta, qint64 rows)
{
    if (rows <= 0)
        return;
    Entry entry = noted();
    entry.paciente = paciente;
    entry.destino = destino;
    entry.filial = filial;
    entry.servico = servico;
    entry.dieta = dieta;
    entry.replaced = rows;
    m_pending.append(entry);
}

void AuditTrail::serviceInserted(const QString &paciente, double destino, const QString &sequencia,
                                 const QString &filial, const QString &servico, const QString &dieta)
{
    // the removal of the same service just before is the replaced version of this one
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        Entry &entry = m_pending[i];
        if (entry.sequencia.isEmpty() && entry.paciente == paciente && entry.destino == destino
            && entry.filial == filial && entry.servico == servico && entry.dieta == dieta) {
            entry.sequencia = sequencia;
            return;
        }
    }
    Entry entry = noted();
    entry.paciente = paciente;
    entry.destino = destino;
    entry.filial = filial;
    entry.servico = servico;
    entry.dieta = dieta;
    entry.sequencia = sequencia;
    m_pending.append(entry);
}

void AuditTrail::itemInserted(const QString &paciente, double destino, const QString &sequencia, const QString &filial)
{
    if (Entry *entry = find(paciente, destino, filial, sequencia)) {
        ++entry->items;
        return;
    }
    // an item added to a service written earlier: a line of its own, without service or diet
    Entry entry = noted();
    entry.paciente = paciente;
    entry.destino = destino;
    entry.filial = filial;
    entry.sequencia = sequencia;
    entry.items = 1;
    m_pending.append(entry);
}

QString AuditTrail::line(const Entry &entry) const
{
    const QString origem = entry.origem ? formatDate(*entry.origem) : u"-"_s;
    const QString operador = entry.operador.isEmpty() ? u"-"_s : excerpt(entry.operador);
    if (entry.sequencia.isEmpty()) {
        return u"#%1 audit: operador %2 filial %3 paciente %4 serviço %5 dieta %6 destino %7: %8 serviço(s) removido(s)"_s
            .arg(m_connectionId)
            .arg(operador, entry.filial, entry.paciente, entry.servico, entry.dieta, formatDate(entry.destino))
            .arg(entry.replaced)
            + where();
    }
    return u"#%1 audit: operador %2 filial %3 paciente %4 serviço %5 dieta %6 origem %7 destino %8 sequência %9"_s
               .arg(m_connectionId)
               .arg(operador, entry.filial, entry.paciente, entry.servico.isEmpty() ? u"-"_s : entry.servico,
                    entry.dieta.isEmpty() ? u"-"_s : entry.dieta, origem, formatDate(entry.destino), entry.sequencia)
           + u" itens %1 substituídos %2"_s.arg(entry.items).arg(entry.replaced) + where();
}

QString AuditTrail::where() const { return m_peer.isEmpty() ? QString() : u" (endereço %1)"_s.arg(m_peer); }

void AuditTrail::patientsRead(const QString &filial, qsizetype rows)
{
    serverLog(u"#%1 audit: operador %2 filial %3: %4 paciente(s) internado(s) lido(s)"_s.arg(m_connectionId)
                  .arg(m_operator.isEmpty() ? u"-"_s : excerpt(m_operator), excerpt(filial))
                  .arg(rows)
              + where());
}

void AuditTrail::passwordChanged(const QString &operador)
{
    serverLog(u"#%1 audit: operador %2 alterou a própria senha"_s.arg(m_connectionId).arg(excerpt(operador)) + where());
}

void AuditTrail::commit()
{
    quint64 services = 0;
    for (const Entry &entry : std::as_const(m_pending)) {
        serverLog(line(entry));
        // a removal alone has no sequence, an item added to an earlier service no service
        if (!entry.sequencia.isEmpty() && !entry.servico.isEmpty())
            ++services;
    }
    m_pending.clear();
    g_servicesWritten += services;
}

quint64 AuditTrail::servicesWritten() { return g_servicesWritten; }

void AuditTrail::rollback() { m_pending.clear(); }

void AuditTrail::undone(qint64 run, const QString &paciente, double destino, const QString &filial,
                        const QString &servico, const QString &dieta, const QString &removed, const QString &restored)
{
    serverLog(u"#%1 audit: operador %2 filial %3 paciente %4 serviço %5 dieta %6 destino %7: execução %8 desfeita,"
              u" sequência %9 removida, restaurada %10"_s.arg(m_connectionId)
                  .arg(m_operator.isEmpty() ? u"-"_s : excerpt(m_operator), filial, paciente, servico, dieta,
                       formatDate(destino))
                  .arg(run)
                  .arg(removed.isEmpty() ? u"-"_s : removed, restored.isEmpty() ? u"-"_s : restored)
              + where());
}

void AuditTrail::undoRefused(qint64 run, const QString &paciente, double destino, const QString &filial,
                             const QString &servico, const QString &dieta, const QString &why)
{
    serverLog(u"#%1 audit: operador %2 filial %3 paciente %4 serviço %5 dieta %6 destino %7: execução %8 não desfeita: %9"_s
                  .arg(m_connectionId)
                  .arg(m_operator.isEmpty() ? u"-"_s : excerpt(m_operator), filial, paciente, servico, dieta,
                       formatDate(destino))
                  .arg(run)
                  .arg(why)
              + where());
}

} // namespace rbx
