#pragma once

#include <db/Database.h>
#include <db/DemoHospital.h>
#include "TestEngine.h"

#include <QString>

#include <memory>

namespace rbx {

namespace TestSupport {
// The fixed day of the demo prescriptions in tests, so that no test depends on the clock.
QDate demoDate();
DemoOptions demoOptions(int patients = 40);
// A date-time as a SQL literal both products compare with their date-time columns.
QString dateLiteral(double oleDate);
} // namespace TestSupport

// A demo hospital in a database of the run's product (see TestEngine.h), removed with the object.
class DemoDatabase final
{
public:
    explicit DemoDatabase(const DemoOptions &options = TestSupport::demoOptions(),
                          TestSupport::Engine which = TestSupport::engine());
    DemoDatabase(const DemoDatabase &) = delete;
    DemoDatabase &operator=(const DemoDatabase &) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QString path() const { return m_scratch.path(); }
    QString url() const { return m_scratch.url(); }
    const DemoSummary &summary() const { return m_summary; }
    // A connection of the caller's own, for looking straight into the database.
    std::unique_ptr<Database> open(const QString &connectionName) const;

private:
    ScratchDatabase m_scratch;
    QString m_error;
    DemoSummary m_summary;
};

} // namespace rbx
