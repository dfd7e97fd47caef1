#pragma once

#include <house/rbx_house_export.h>

#include "RowSource.h"
#include "QueryDialect.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class TADOIBQuery;
class TdtmDBGeral;

// A query parameter. Every parameter is a string parameter; one never set is bound as null.
class RBX_HOUSE_EXPORT TParam
{
public:
    explicit TParam(QString name) : m_name(std::move(name)) {}

    const QString &Name() const { return m_name; }
    QString AsString() const { return m_value.toString(); }
    void SetAsString(const QString &value) { m_value = value; }
    bool IsNull() const { return m_value.isNull(); }
    void Clear() { m_value = QVariant(); }
    const QVariant &Value() const { return m_value; }

private:
    QString m_name;
    QVariant m_value;
};

// A string result field declared on the query: named query + column, with a label and widths.
class RBX_HOUSE_EXPORT TADOIBStringField
{
public:
    const QString &Name() const { return m_name; }
    const QString &FieldName() const { return m_fieldName; }
    const QString &DisplayLabel() const { return m_displayLabel; }
    // Width in characters; 0 until the database tells it when the screen gives none.
    int Size() const { return m_size; }
    // A display width not given equals the width.
    int DisplayWidth() const { return m_displayWidth > 0 ? m_displayWidth : m_size; }
    bool Required() const { return m_required; }

    bool IsNull() const;
    // The current row's value; null and past-the-end read as empty text.
    QString AsString() const;

private:
    friend class TADOIBQuery;
    const TADOIBQuery *m_owner = nullptr;
    QString m_name;
    QString m_fieldName;
    QString m_displayLabel;
    int m_declaredSize = 0;
    int m_size = 0;
    int m_displayWidth = 0;
    bool m_required = false;
    int m_column = -1;
};

// A dialect-aware lookup query over the shared database module. It holds a generic text and one
// per database kind and runs the one that fits the connection (see dialectFor). Parameters are
// bound by name, never pasted into the text. Opening reads the whole result and stands on its
// first row.
class RBX_HOUSE_EXPORT TADOIBQuery final : public RowSource
{
public:
    explicit TADOIBQuery(QString name = {}, TdtmDBGeral *connection = nullptr);
    ~TADOIBQuery() override;
    TADOIBQuery(const TADOIBQuery &) = delete;
    TADOIBQuery &operator=(const TADOIBQuery &) = delete;

    const QString &Name() const { return m_name; }

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;
    // The text the query runs on a database of that dialect.
    const QStringList &TextFor(QueryDialect dialect) const;

    // Null means the shared module dtmDBGeral().
    void SetConnection(TdtmDBGeral *connection) { m_connection = connection; }
    TdtmDBGeral &Connection() const;

    // Declares the parameters, in their declared order.
    void DeclareParams(const QStringList &names);
    const std::vector<std::unique_ptr<TParam>> &Params() const { return m_params; }
    // Raises EDatabaseError for a parameter that was not declared.
    TParam &ParamByName(const QString &name);

    TADOIBStringField &AddStringField(const QString &column, const QString &displayLabel, int size,
                                      int displayWidth = 0, bool required = false);
    QList<TADOIBStringField *> Fields() const;
    // Raises EDatabaseError for a field the query does not have.
    TADOIBStringField &FieldByName(const QString &column);
    TADOIBStringField *FindField(const QString &column);

    // Runs the statement. Raises EDatabaseError when the connection fails, the dialect has no
    // statement, a parameter of the text was not declared, the statement fails, or the result
    // lacks a declared field. A failed Open leaves the query closed. A read that fails because
    // the connection died under it runs once more on a new connection.
    void Open();
    void Close();
    bool Active() const { return m_active; }
    bool IsEmpty() const { return m_rows.isEmpty(); }
    bool GetEOF() const { return m_row >= m_rows.size(); }
    void First() { m_row = 0; }
    void Next();
    qsizetype RecordCount() const { return m_rows.size(); }
    // The text the last Open ran, and the values it bound by name.
    const QString &LastStatement() const { return m_lastStatement; }
    const QVariantMap &LastBindings() const { return m_lastBindings; }

    RowTable rowTable() override;

private:
    friend class TADOIBStringField;
    const QVariant &cell(int column) const;
    void OpenOnce();

    QString m_name;
    TdtmDBGeral *m_connection;
    std::vector<std::unique_ptr<TParam>> m_params;
    std::vector<std::unique_ptr<TADOIBStringField>> m_fields;
    std::vector<std::unique_ptr<TADOIBStringField>> m_dynamicFields; // when none is declared
    QList<QList<QVariant>> m_rows;
    qsizetype m_row = 0;
    bool m_active = false;
    QString m_lastStatement;
    QVariantMap m_lastBindings;
};

// The ":NAME" placeholders of a statement, each once, in order of appearance; quoted literals
// and "::" are skipped.
RBX_HOUSE_EXPORT QStringList placeholderNames(const QString &statement);
