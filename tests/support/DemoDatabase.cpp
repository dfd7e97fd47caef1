#include "DemoDatabase.h"

#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include "TestOperators.h"

namespace rbx {

using namespace Qt::StringLiterals;

namespace TestSupport {

QDate demoDate() { return QDate(2024, 3, 14); }

DemoOptions demoOptions(int patients)
{
    DemoOptions options;
    options.patients = patients;
    options.date = demoDate();
    return options;
}

QString dateLiteral(double oleDate)
{
    return OleDate::toDateTime(oleDate).toString(u"yyyy-MM-dd hh:mm:ss.zzz"_s);
}

} // namespace TestSupport

DemoDatabase::DemoDatabase(const DemoOptions &options, TestSupport::Engine which) : m_scratch(u"demo"_s, which)
{
    const QString unavailable = TestSupport::engineUnavailable(which);
    if (!unavailable.isEmpty()) {
        m_error = unavailable;
        return;
    }
    try {
        auto database = open(u"demo-database-setup"_s);
        m_summary = DemoHospital::create(*database, options);
        TestSupport::givePasswords(*database);
    } catch (const EHouseError &error) {
        m_error = error.message();
    }
}

std::unique_ptr<Database> DemoDatabase::open(const QString &connectionName) const
{
    return Database::open(url(), connectionName);
}

} // namespace rbx
