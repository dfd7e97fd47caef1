#include "BenchSeeder.h"

#include <db/Database.h>
#include <protocol/HouseError.h>
#include <db/OperatorAccounts.h>
#include <protocol/ScramVerifier.h>
#include <house/TNetConnection.h>
#include <protocol/OleDate.h>
#include <db/Schema.h>
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>
#include <db/SqlTransaction.h>

#include <algorithm>
#include <optional>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// A prepared INSERT of the named columns, bound in order.
class Rows
{
public:
    Rows(Database &database, const QString &table, const QStringList &columns)
        : m_columns(columns),
          m_statement(database.sql(), u"INSERT INTO %1 (%2) VALUES (:%3)"_s.arg(table, columns.join(u", "_s),
                                                                               columns.join(u", :"_s)))
    {
    }
    void insert(const QVariantList &values)
    {
        for (qsizetype i = 0; i < m_columns.size(); ++i)
            m_statement.bind(u':' + m_columns.at(i), values.at(i));
        m_statement.exec();
    }
    void finish() { m_statement.finish(); }

private:
    QStringList m_columns;
    SqlStatement m_statement;
};

QString zeroPadded(int value, int width) { return u"%1"_s.arg(value, width, 10, QChar(u'0')); }

} // namespace

namespace BenchSeeder {

QString patientCode(int n) { return zeroPadded(n + 1, 12); }

void seed(Database &database, const BenchShape &shape)
{
    Schema::create(database);
    SqlTransaction transaction(database);
    const SqlDialect &dialect = database.dialect();
    const double origin = OleDate::fromDate(shape.origin);
    const QVariant originValue = dialect.dateTimeValue(origin);
    const QString diet = u"0101"_s;
    {
        Rows(database, u"DIETPADR"_s, {u"CDDIETPAD"_s, u"DSDIETPAD"_s, u"IDFORMDIET"_s})
            .insert({diet, u"Dieta padrão enteral – hiperproteica"_s, u"E"_s});
        Rows servico(database, u"SERVICO"_s, {u"CDFILIAL"_s, u"CDSERVFILI"_s, u"NMSERVICO"_s, u"IDTPSERVHOSP"_s});
        Rows dietserv(database, u"DIETSERV"_s, {u"CDFILIAL"_s, u"CDSERVFILI"_s, u"CDDIETPAD"_s});
        for (int s = 0; s < shape.services; ++s) {
            const QString code = zeroPadded(90001 + s, 5);
            servico.insert({Branch, code, u"Nutrição Enteral nº %1"_s.arg(s + 1), u"1"_s});
            dietserv.insert({Branch, code, diet});
        }
        Rows(database, u"NUTRICIO"_s, {u"CDFILIAL"_s, u"CDNUTRICIO"_s, u"CDOPERADOR"_s, u"NMNUTRICIO"_s})
            .insert({Branch, u"001"_s, Operator, u"Nutricionista de Bancada"_s});
        Rows(database, u"PADRAOSERV"_s, {u"CDFILIAL"_s, u"CDSERPADDIE"_s, u"NMSERPADDIE"_s})
            .insert({Branch, u"01"_s, u"Padrão"_s});
        Rows(database, u"ANDAR"_s, {u"CDFILIAL"_s, u"CDANDAR"_s, u"NMANDAR"_s}).insert({Branch, u"01"_s, u"Térreo"_s});
        Rows(database, u"ALA"_s, {u"CDFILIAL"_s, u"CDALA"_s, u"NMALA"_s}).insert({Branch, u"A01"_s, u"Ala Sul"_s});

        Rows leito(database, u"LEITO"_s, {u"CDFILIAL"_s, u"CDLEITO"_s, u"NMLEITO"_s, u"CDANDAR"_s, u"CDALA"_s});
        const int beds = std::max(shape.beds, shape.patients);
        for (int b = 0; b < beds; ++b)
            leito.insert({Branch, zeroPadded(b + 1, 6), u"Quarto %1 – Leito %2"_s.arg(b / 2 + 1).arg(b % 2 ? u'B' : u'A'),
                          u"01"_s, u"A01"_s});

        Rows paciente(database, u"PACIENTE"_s, {u"CDPACIENTE"_s, u"NMPACIENTE"_s, u"DTNASCPACI"_s, u"IDSEXOPACI"_s});
        Rows internac(database, u"INTERNAC"_s,
                      {u"CDFILIAL"_s, u"CDPACIENTE"_s, u"DTINTERNA"_s, u"CDLEITO"_s, u"CDSERPADDIE"_s});
        Rows servinte(database, u"SERVINTE"_s,
                      {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDFILIAL"_s, u"CDSERVFILI"_s,
                       u"CDDIETPAD"_s, u"NRACOMPANA"_s, u"STPACIACOM"_s, u"IDIMPRSERV"_s, u"IDTIPOSERINT"_s,
                       u"IDRESTSERIN"_s, u"CDDIETGRUPSI"_s, u"CDNUTRICIO"_s, u"DTINTERNA"_s, u"DSSERVINTE"_s,
                       u"NRSERVPESO"_s});
        Rows confesco(database, u"CONFESCO"_s,
                      {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDSEQUCOPR"_s, u"CDFILIAL"_s,
                       u"QTSERVCONF"_s, u"QTPRATCONF"_s, u"QTINFUCONF"_s, u"HRCONSCONF"_s, u"DTCONSCONF"_s,
                       u"CDPRODUTO"_s, u"CDVIACESDIET"_s, u"IDPREPCONF"_s, u"DSOBSCONF"_s});
        const QVariant admitted = dialect.dateTimeValue(origin - 3 + 0.4375);
        const QVariant born = dialect.dateTimeValue(origin - 365.25 * 60);
        for (int p = 0; p < shape.patients; ++p) {
            const QString patient = patientCode(p);
            paciente.insert({patient, u"Paciente de Bancada nº %1 – São João"_s.arg(p + 1), born,
                             p % 2 ? u"F"_s : u"M"_s});
            internac.insert({Branch, patient, admitted, zeroPadded(p + 1, 6), u"01"_s});
            for (int s = 0; s < shape.services; ++s) {
                const QString sequence = zeroPadded(s + 1, 2);
                servinte.insert({patient, originValue, sequence, Branch, zeroPadded(90001 + s, 5), diet, u"0"_s,
                                 u"N"_s, u"S"_s, u"N"_s, u"N"_s, diet, u"001"_s, admitted,
                                 u"Administrar em bomba de infusão; elevar cabeceira a 30°"_s, 72.5});
                for (int i = 0; i < shape.items; ++i) {
                    const double hour = (8 + 4 * i) % 24 / 24.0;
                    confesco.insert({patient, originValue, sequence, zeroPadded(i + 1, 4), Branch, 1.0, 250.0, 62.5,
                                     hour, dialect.dateTimeValue(origin + hour), u"PROD%1"_s.arg(i + 1, 6, 10, QChar(u'0')),
                                     u"SNE"_s, u"S"_s, u"Diluir em água filtrada; não misturar com medicação"_s});
                }
            }
        }
        for (Rows *rows : {&leito, &paciente, &internac, &servinte, &confesco})
            rows->finish();
    } // the prepared statements go before the commit
    transaction.commit();
    const std::optional<ScramVerifier> verifier = ScramVerifier::fromPassword(Password);
    if (!verifier)
        throw EDatabaseError(u"the bench password has no verifier"_s);
    OperatorAccounts::setPassword(database, Operator, *verifier);
}

void signIn(TNetConnection &connection)
{
    connection.Operator = Operator;
    connection.Password = Password;
}

} // namespace BenchSeeder

} // namespace rbx
