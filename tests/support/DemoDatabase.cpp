#include "DemoDatabase.h"

#include "HouseError.h"

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

} // namespace TestSupport

DemoDatabase::DemoDatabase(const DemoOptions &options)
{
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder"_s;
        return;
    }
    m_path = m_dir.filePath(u"demo.db"_s);
    try {
        auto database = open(u"demo-database-setup"_s);
        m_summary = DemoHospital::create(*database, options);
    } catch (const EHouseError &error) {
        m_error = error.message();
    }
}

std::unique_ptr<Database> DemoDatabase::open(const QString &connectionName) const
{
    return Database::open(url(), connectionName);
}
