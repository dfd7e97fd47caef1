#include "DemoHospital.h"

#include "Database.h"
#include "DemoCatalog.h"
#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include "Schema.h"
#include "SqlDialect.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"

#include <QHash>

#include <cmath>
#include <memory>

namespace rbx {

using namespace Qt::StringLiterals;
using namespace DemoCatalog;

namespace {

// SplitMix64: tiny, and unlike the standard distributions the same on every platform.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int bound) { return int(next() % quint64(bound)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool percent(int chance) { return below(100) < chance; }
    template <typename List>
    const auto &pick(const List &list)
    {
        return list.at(below(int(list.size())));
    }

private:
    quint64 m_state;
};

// One prepared INSERT for every column of a table; columns not set in a row are null.
class Inserter
{
public:
    Inserter(Database &database, const QString &tableName) : m_table(Schema::table(tableName))
    {
        QStringList names, placeholders;
        for (const Schema::Column &column : m_table.columns) {
            m_index.insert(column.name, int(names.size()));
            placeholders << u':' + column.name;
            names << column.name;
        }
        m_statement = std::make_unique<SqlStatement>(
            database.sql(), u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(m_table.name, names.join(u", "_s),
                                                                    placeholders.join(u", "_s)));
        m_values.resize(names.size());
    }

    Inserter &set(const QString &column, const QVariant &value)
    {
        const auto it = m_index.constFind(column);
        if (it == m_index.constEnd())
            throw std::out_of_range("no column " + column.toStdString());
        m_values[*it] = value;
        return *this;
    }

    void insert()
    {
        for (qsizetype i = 0; i < m_values.size(); ++i) {
            m_statement->bind(u':' + m_table.columns.at(i).name, m_values.at(i));
            m_values[i] = QVariant();
        }
        m_statement->exec();
        ++m_rows;
    }

    int rows() const { return m_rows; }

private:
    const Schema::Table &m_table;
    QHash<QString, int> m_index;
    std::unique_ptr<SqlStatement> m_statement;
    QList<QVariant> m_values;
    int m_rows = 0;
};

struct Bed
{
    QString branch;
    QString code;
    Ward ward;
};

struct Stay
{
    QString branch;
    QString patient;
    double admitted = 0;
    Ward ward = Ward::Adult;
};

class Generator
{
public:
    Generator(Database &database, const DemoOptions &options)
        : m_db(database), m_options(options), m_random(options.seed), m_servico(database, u"SERVICO"_s),
          m_dietpadr(database, u"DIETPADR"_s), m_dietserv(database, u"DIETSERV"_s), m_andar(database, u"ANDAR"_s),
          m_ala(database, u"ALA"_s), m_leito(database, u"LEITO"_s), m_paciente(database, u"PACIENTE"_s),
          m_padraoserv(database, u"PADRAOSERV"_s), m_internac(database, u"INTERNAC"_s),
          m_nutricio(database, u"NUTRICIO"_s), m_operador(database, u"OPERADOR"_s), m_servinte(database, u"SERVINTE"_s), m_confesco(database, u"CONFESCO"_s)
    {
    }

    DemoSummary run()
    {
        const int inPatients = m_options.patients * 4 / 5;
        lookups();
        for (const Branch &branch : branches())
            beds(branch, inPatients * branch.tenths / 10 + 1);
        patients(inPatients);
        DemoSummary summary;
        summary.patients = m_paciente.rows();
        summary.inPatients = inPatients;
        summary.beds = m_leito.rows();
        summary.services = m_servicesOnDate;
        summary.items = m_confesco.rows();
        summary.otherServices = m_servinte.rows() - m_servicesOnDate;
        return summary;
    }

private:
    QVariant when(QDate date, int minutes = 0) const
    {
        return m_db.dialect().dateTimeValue(OleDate::fromDate(date) + minutes / 1440.0);
    }
    double day() const { return OleDate::fromDate(m_options.date); }

    void lookups()
    {
        for (const Diet &diet : diets()) {
            m_dietpadr.set(u"CDDIETPAD"_s, diet.code)
                .set(u"DSDIETPAD"_s, diet.description)
                .set(u"IDFORMDIET"_s, diet.formulation)
                .insert();
        }
        for (const Branch &branch : branches()) {
            for (const QString &code : branch.services) {
                const Service &service = DemoCatalog::service(code);
                m_servico.set(u"CDFILIAL"_s, branch.code)
                    .set(u"CDSERVFILI"_s, code)
                    .set(u"NMSERVICO"_s, service.name)
                    .set(u"IDTPSERVHOSP"_s, service.type)
                    .insert();
                for (const QString &diet : service.diets) {
                    m_dietserv.set(u"CDFILIAL"_s, branch.code)
                        .set(u"CDSERVFILI"_s, code)
                        .set(u"CDDIETPAD"_s, diet)
                        .insert();
                }
            }
            for (int floor = 0; floor < branch.floors; ++floor) {
                m_andar.set(u"CDFILIAL"_s, branch.code)
                    .set(u"CDANDAR"_s, floorCode(floor))
                    .set(u"NMANDAR"_s, floorName(floor))
                    .insert();
            }
            for (const QString &code : branch.wings) {
                m_ala.set(u"CDFILIAL"_s, branch.code).set(u"CDALA"_s, code).set(u"NMALA"_s, wing(code).name).insert();
            }
            for (const auto &[code, name] : standards()) {
                m_padraoserv.set(u"CDFILIAL"_s, branch.code)
                    .set(u"CDSERPADDIE"_s, code)
                    .set(u"NMSERPADDIE"_s, name)
                    .insert();
            }
            for (const Nutritionist &nutritionist : branch.nutritionists) {
                m_nutricio.set(u"CDFILIAL"_s, branch.code)
                    .set(u"CDNUTRICIO"_s, nutritionist.code)
                    .set(u"CDOPERADOR"_s, nutritionist.operatorCode)
                    .set(u"NMNUTRICIO"_s, nutritionist.name)
                    .insert();
            }
        }
        operators();
    }

    // The nutritionists' operators and VISITA, who is none, without passwords: none of them logs
    // in until one is set. ADMIN may undo the runs of others.
    void operators()
    {
        QStringList codes;
        for (const Branch &branch : branches()) {
            for (const Nutritionist &nutritionist : branch.nutritionists) {
                if (!codes.contains(nutritionist.operatorCode))
                    codes << nutritionist.operatorCode;
            }
        }
        codes << u"VISITA"_s;
        for (const QString &code : codes) {
            m_operador.set(u"CDOPERADOR"_s, code)
                .set(u"IDATIVO"_s, u"S"_s)
                .set(u"IDSUPERVISOR"_s, code == u"ADMIN"_s ? u"S"_s : u"N"_s)
                .insert();
        }
    }

    static QString floorCode(int floor) { return u"%1"_s.arg(floor, 2, 10, QChar(u'0')); }

    // Rooms of two beds, a quarter spare; each wing takes a run of neighbouring rooms so that
    // every wing has beds however small the hospital.
    void beds(const Branch &branch, int needed)
    {
        const int perFloor = (std::max(12, (needed * 5 / 4 + 1) / 2) + branch.floors - 1) / branch.floors;
        const int run = std::max(1, perFloor * branch.floors / int(branch.wings.size()));
        QList<Bed> all;
        for (int floor = 0; floor < branch.floors; ++floor) {
            for (int room = 1; room <= perFloor; ++room) {
                const int index = floor * perFloor + room - 1;
                const QString &wingCode = branch.wings.at(index / run % branch.wings.size());
                for (const QChar letter : {u'A', u'B'}) {
                    const QString code = floorCode(floor) + u"%1"_s.arg(room, 3, 10, QChar(u'0')) + letter;
                    m_leito.set(u"CDFILIAL"_s, branch.code)
                        .set(u"CDLEITO"_s, code)
                        .set(u"NMLEITO"_s, u"Quarto %1.%2 – Leito %3"_s.arg(floor).arg(room, 2, 10, QChar(u'0')).arg(letter))
                        .set(u"CDANDAR"_s, floorCode(floor))
                        .set(u"CDALA"_s, wingCode)
                        .insert();
                    all.append({branch.code, code, wing(wingCode).ward});
                }
            }
        }
        // the order in which in-patients take beds, shuffled so that wards mix
        for (qsizetype i = all.size() - 1; i > 0; --i)
            all.swapItemsAt(i, m_random.below(int(i + 1)));
        m_freeBeds.insert(branch.code, all);
    }

    QString personName(bool female)
    {
        QString name = m_random.pick(female ? femaleNames() : maleNames());
        if (m_random.percent(30))
            name += u' ' + m_random.pick(female ? femaleNames() : maleNames());
        name += u' ' + m_random.pick(surnames());
        if (m_random.percent(70))
            name += u' ' + m_random.pick(surnames());
        return name;
    }

    void patients(int inPatients)
    {
        int number = 0;
        for (int i = 0; i < m_options.patients; ++i) {
            const QString code = u"%1"_s.arg(++number, 12, 10, QChar(u'0'));
            const bool in = i < inPatients;
            const Branch &branch = i % 10 < branches().first().tenths ? branches().at(0) : branches().at(1);
            Ward ward = Ward::Adult;
            QString bed;
            if (in) {
                QList<Bed> &free = m_freeBeds[branch.code];
                const Bed taken = free.takeLast();
                ward = taken.ward;
                bed = taken.code;
            } else if (m_random.percent(15)) {
                ward = Ward::Child;
            }
            const bool female = m_random.percent(52);
            QString name;
            QDate born;
            switch (ward) {
            case Ward::Newborn:
                // newborns are registered under their mother's name until they get their own
                name = u"RN de "_s + personName(true);
                born = m_options.date.addDays(-m_random.between(0, 20));
                break;
            case Ward::Child:
                name = personName(female);
                born = m_options.date.addDays(-m_random.between(365, 11 * 365));
                break;
            case Ward::Adult:
                name = personName(female);
                born = m_options.date.addDays(-m_random.between(18 * 365, 95 * 365));
                break;
            }
            m_paciente.set(u"CDPACIENTE"_s, code)
                .set(u"NMPACIENTE"_s, name)
                .set(u"DTNASCPACI"_s, when(born))
                .set(u"IDSEXOPACI"_s, female ? u"F"_s : u"M"_s)
                .insert();
            if (in)
                admit(branch, code, ward, bed, born);
            else
                discharge(branch, code, ward);
        }
    }

    void stay(const QString &branch, const QString &patient, const QVariant &admitted, const QVariant &left,
              const QString &bed)
    {
        m_internac.set(u"CDFILIAL"_s, branch)
            .set(u"CDPACIENTE"_s, patient)
            .set(u"DTINTERNA"_s, admitted)
            .set(u"DTALTA"_s, left)
            .set(u"CDLEITO"_s, bed)
            .set(u"CDSERPADDIE"_s, m_random.pick(standards()).first)
            .insert();
    }

    QString anyBed(const QString &branch)
    {
        return m_random.pick(m_freeBeds.value(branch)).code;
    }

    void admit(const Branch &branch, const QString &patient, Ward ward, const QString &bed, QDate born)
    {
        // some came back: an earlier, closed stay must not count as the current one
        if (ward == Ward::Adult && m_random.percent(20)) {
            const QDate earlier = m_options.date.addDays(-m_random.between(90, 400));
            stay(branch.code, patient, when(earlier, m_random.between(0, 1439)),
                 when(earlier.addDays(m_random.between(2, 20)), m_random.between(480, 1080)), anyBed(branch.code));
        }
        QDate admitted = m_options.date.addDays(-m_random.between(0, 40));
        if (admitted < born)
            admitted = born;
        const int minute = m_random.between(0, 1439);
        stay(branch.code, patient, when(admitted, minute), {}, bed);
        const Stay current{branch.code, patient, OleDate::fromDate(admitted) + minute / 1440.0, ward};
        if (m_random.percent(85)) {
            m_servicesOnDate += prescribe(current, m_options.date, true);
            if (m_random.percent(25) && admitted < m_options.date)
                prescribe(current, m_options.date.addDays(-1), false);
        }
    }

    void discharge(const Branch &branch, const QString &patient, Ward ward)
    {
        // a third left the morning after the date: their services on the date exist but are
        // no longer to be copied
        const bool leftAfter = m_random.percent(33);
        const QDate left = leftAfter ? m_options.date.addDays(1) : m_options.date.addDays(-m_random.between(1, 60));
        const QDate admitted = left.addDays(-m_random.between(2, 30));
        const int minute = m_random.between(0, 1439);
        stay(branch.code, patient, when(admitted, minute), when(left, m_random.between(480, 720)), anyBed(branch.code));
        if (leftAfter)
            m_servicesOnDate += prescribe({branch.code, patient, OleDate::fromDate(admitted) + minute / 1440.0, ward},
                                          m_options.date, true);
    }

    // One or two services of the kind the ward eats, each with up to five items. Returns how
    // many services were written.
    int prescribe(const Stay &stay, QDate date, bool withItems)
    {
        const Branch &branch = stay.branch == branches().at(0).code ? branches().at(0) : branches().at(1);
        const QString type = stay.ward == Ward::Adult ? ServiceEnteral : ServiceLactario;
        QStringList candidates;
        for (const QString &code : branch.services) {
            if (service(code).type == type)
                candidates << code;
        }
        const int count = std::min(int(candidates.size()), m_random.percent(25) ? 2 : 1);
        for (int n = 1; n <= count; ++n) {
            const Service &service = DemoCatalog::service(candidates.takeAt(m_random.below(int(candidates.size()))));
            const QString diet = m_random.pick(service.diets);
            const QString sequence = u"%1"_s.arg(n, 2, 10, QChar(u'0'));
            QVariant weight;
            if (!m_random.percent(15)) {
                switch (stay.ward) {
                case Ward::Newborn: weight = m_random.between(1800, 4500) / 1000.0; break;
                case Ward::Child: weight = m_random.between(16, 80) / 2.0; break;
                case Ward::Adult: weight = m_random.between(90, 220) / 2.0; break;
                }
            }
            m_servinte.set(u"CDPACIENTE"_s, stay.patient)
                .set(u"DTSERVINTE"_s, when(date))
                .set(u"NRSEQUSERV"_s, sequence)
                .set(u"CDFILIAL"_s, branch.code)
                .set(u"CDSERVFILI"_s, service.code)
                .set(u"CDDIETPAD"_s, diet)
                .set(u"NRACOMPANA"_s, stay.ward == Ward::Adult ? (m_random.percent(50) ? QVariant(u"0"_s) : QVariant()) : QVariant(u"1"_s))
                .set(u"STPACIACOM"_s, stay.ward == Ward::Adult ? u"N"_s : u"S"_s)
                .set(u"IDIMPRSERV"_s, m_random.percent(60) ? u"S"_s : u"N"_s)
                .set(u"IDTIPOSERINT"_s, u"N"_s)
                .set(u"IDRESTSERIN"_s, m_random.percent(20) ? u"S"_s : u"N"_s)
                .set(u"CDDIETGRUPSI"_s, m_random.percent(30) ? QVariant(diet) : QVariant())
                .set(u"CDNUTRICIO"_s, m_random.pick(branch.nutritionists).code)
                .set(u"DTINTERNA"_s, m_db.dialect().dateTimeValue(stay.admitted))
                .set(u"DSSERVINTE"_s, m_random.percent(60) ? QVariant(m_random.pick(serviceNotes())) : QVariant())
                .set(u"NRSERVPESO"_s, weight)
                .insert();
            if (withItems && !m_random.percent(15))
                items(stay, date, sequence, service);
        }
        return count;
    }

    void items(const Stay &stay, QDate date, const QString &sequence, const Service &service)
    {
        const bool lactario = service.type == ServiceLactario;
        const int count = m_random.between(1, 5);
        for (int n = 1; n <= count; ++n) {
            // a schedule through the day, the last ones possibly after midnight
            const int at = (lactario ? 9 : 8) + (n - 1) * (lactario ? 3 : 4) + m_random.below(2);
            const bool nextDay = at >= 24;
            const double hourFraction = (at % 24) / 24.0;
            auto quantity = [this](double value) { return m_random.percent(10) ? QVariant() : QVariant(value); };
            m_confesco.set(u"CDPACIENTE"_s, stay.patient)
                .set(u"DTSERVINTE"_s, when(date))
                .set(u"NRSEQUSERV"_s, sequence)
                .set(u"CDSEQUCOPR"_s, u"%1"_s.arg(n, 4, 10, QChar(u'0')))
                .set(u"CDFILIAL"_s, stay.branch)
                .set(u"CDFILAUXPRAT"_s, lactario ? QVariant(stay.branch) : QVariant())
                .set(u"CDPRATO"_s, lactario ? QVariant(m_random.pick(lactarioDishes())) : QVariant())
                .set(u"CDPRODUTO"_s, lactario ? QVariant() : QVariant(m_random.pick(enteralProducts())))
                .set(u"QTSERVCONF"_s, quantity(m_random.between(1, 8)))
                .set(u"QTPRATCONF"_s, quantity(lactario ? 10.0 * m_random.between(2, 18) : 50.0 * m_random.between(2, 20)))
                .set(u"QTINFUCONF"_s, lactario ? QVariant() : quantity(m_random.between(42, 250) / 2.0))
                .set(u"HRCONSCONF"_s, hourFraction)
                .set(u"DTCONSCONF"_s, m_random.percent(10) ? QVariant()
                                                           : m_db.dialect().dateTimeValue(
                                                                 OleDate::fromDate(date.addDays(nextDay ? 1 : 0)) +
                                                                 hourFraction))
                .set(u"CDVIACESDIET"_s, m_random.pick(service.routes))
                .set(u"IDPREPCONF"_s, m_random.percent(70) ? u"S"_s : u"N"_s)
                .set(u"DSOBSCONF"_s, m_random.percent(70) ? QVariant(m_random.pick(itemNotes())) : QVariant())
                .insert();
        }
    }

    Database &m_db;
    const DemoOptions &m_options;
    Random m_random;
    Inserter m_servico, m_dietpadr, m_dietserv, m_andar, m_ala, m_leito, m_paciente, m_padraoserv, m_internac,
        m_nutricio, m_operador, m_servinte, m_confesco;
    QHash<QString, QList<Bed>> m_freeBeds;
    int m_servicesOnDate = 0;
};

void requireEmpty(Database &database)
{
    for (const Schema::Table &table : Schema::tables()) {
        // the schema's record of its versions is no data
        if (table.name == u"VERSAOESQUEMA")
            continue;
        SqlStatement count(database.sql(), u"SELECT COUNT(*) FROM "_s + table.name);
        count.exec();
        if (count.next() && count.value(0).toLongLong() > 0)
            throw EDatabaseError(u"O banco de dados já contém dados (tabela %1); o hospital de demonstração "
                                 u"precisa de um banco novo."_s.arg(table.name));
    }
}

} // namespace

namespace DemoHospital {

DemoSummary create(Database &database, const DemoOptions &options)
{
    if (options.patients < 1 || options.patients > MaxPatients)
        throw EValidationError(u"O número de pacientes deve estar entre 1 e %1."_s.arg(MaxPatients));
    if (!options.date.isValid())
        throw EValidationError(u"A data do hospital de demonstração é inválida."_s);
    Schema::create(database);
    SqlTransaction transaction(database);
    requireEmpty(database);
    DemoSummary summary;
    {
        Generator generator(database, options);
        summary = generator.run();
    } // the prepared statements go before the commit
    transaction.commit();
    return summary;
}

} // namespace DemoHospital

} // namespace rbx
