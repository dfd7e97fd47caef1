#pragma once

#include "Database.h"
#include "DemoHospital.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {
// The fixed day of the demo prescriptions in tests, so that no test depends on the clock.
QDate demoDate();
DemoOptions demoOptions(int patients = 40);
} // namespace TestSupport

// A demo hospital in a SQLite file of a temporary folder, removed with the object.
class DemoDatabase final
{
public:
    explicit DemoDatabase(const DemoOptions &options = TestSupport::demoOptions());
    DemoDatabase(const DemoDatabase &) = delete;
    DemoDatabase &operator=(const DemoDatabase &) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QString path() const { return m_path; }
    QString url() const { return QStringLiteral("sqlite:") + m_path; }
    const DemoSummary &summary() const { return m_summary; }
    // A connection of the caller's own, for looking straight into the database.
    std::unique_ptr<Database> open(const QString &connectionName) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
    DemoSummary m_summary;
};
