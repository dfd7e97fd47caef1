#include "TADOIBQuery.h"

#include "DBGeral.h"
#include <protocol/HouseError.h>

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
const QVariant &nullCell()
{
    static const QVariant null;
    return null;
}

bool isNameStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isNamePart(QChar c) { return c.isLetterOrNumber() || c == u'_'; }
} // namespace

QStringList placeholderNames(const QString &statement)
{
    QStringList names;
    QChar quote;
    for (qsizetype i = 0; i < statement.size(); ++i) {
        const QChar c = statement.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
            continue;
        }
        if (c != u':')
            continue;
        if (i + 1 < statement.size() && statement.at(i + 1) == u':') {
            ++i; // a cast, not a parameter
            continue;
        }
        qsizetype end = i + 1;
        if (end >= statement.size() || !isNameStart(statement.at(end)))
            continue;
        while (end < statement.size() && isNamePart(statement.at(end)))
            ++end;
        const QString name = statement.mid(i + 1, end - i - 1);
        if (!names.contains(name, Qt::CaseInsensitive))
            names.append(name);
        i = end - 1;
    }
    return names;
}

bool TADOIBStringField::IsNull() const { return m_owner->cell(m_column).isNull(); }

QString TADOIBStringField::AsString() const { return m_owner->cell(m_column).toString(); }

TADOIBQuery::TADOIBQuery(QString name, TdtmDBGeral *connection) : m_name(std::move(name)), m_connection(connection) {}

TADOIBQuery::~TADOIBQuery() = default;

const QStringList &TADOIBQuery::TextFor(QueryDialect dialect) const
{
    switch (dialect) {
    case QueryDialect::Oracle: return SQL_ORACLE;
    case QueryDialect::MsSql: return SQL_MSSQL;
    case QueryDialect::InterBase: return SQL_IB;
    case QueryDialect::Generic: break;
    }
    return SQL;
}

TdtmDBGeral &TADOIBQuery::Connection() const { return m_connection ? *m_connection : dtmDBGeral(); }

void TADOIBQuery::DeclareParams(const QStringList &names)
{
    for (const QString &name : names) {
        for (const auto &param : m_params) {
            if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
                throw rbx::EDatabaseError(QStringLiteral("%1: parâmetro %2 declarado duas vezes.").arg(m_name, name));
        }
        m_params.push_back(std::make_unique<TParam>(name));
    }
}

TParam &TADOIBQuery::ParamByName(const QString &name)
{
    for (const auto &param : m_params) {
        if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
            return *param;
    }
    throw rbx::EDatabaseError(QStringLiteral("%1: parâmetro '%2' não encontrado.").arg(m_name, name));
}

TADOIBStringField &TADOIBQuery::AddStringField(const QString &column, const QString &displayLabel, int size,
                                               int displayWidth, bool required)
{
    for (const auto &declared : m_fields) {
        if (declared->m_fieldName.compare(column, Qt::CaseInsensitive) == 0)
            throw rbx::EDatabaseError(QStringLiteral("%1: campo %2 declarado duas vezes.").arg(m_name, column));
    }
    auto field = std::make_unique<TADOIBStringField>();
    field->m_owner = this;
    field->m_name = m_name + column;
    field->m_fieldName = column;
    field->m_displayLabel = displayLabel.isEmpty() ? column : displayLabel;
    field->m_declaredSize = size;
    field->m_size = size;
    field->m_displayWidth = displayWidth;
    field->m_required = required;
    m_fields.push_back(std::move(field));
    return *m_fields.back();
}

QList<TADOIBStringField *> TADOIBQuery::Fields() const
{
    const auto &fields = m_fields.empty() ? m_dynamicFields : m_fields;
    QList<TADOIBStringField *> list;
    list.reserve(qsizetype(fields.size()));
    for (const auto &field : fields)
        list.append(field.get());
    return list;
}

TADOIBStringField *TADOIBQuery::FindField(const QString &column)
{
    for (TADOIBStringField *field : Fields()) {
        if (field->FieldName().compare(column, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
}

TADOIBStringField &TADOIBQuery::FieldByName(const QString &column)
{
    if (TADOIBStringField *field = FindField(column))
        return *field;
    throw rbx::EDatabaseError(QStringLiteral("%1: campo '%2' não encontrado.").arg(m_name, column));
}

void TADOIBQuery::Open()
{
    if (m_active)
        return;
    try {
        OpenOnce();
    } catch (const rbx::EDatabaseError &) {
        if (!Connection().DropIfLost())
            throw;
        OpenOnce();
    }
}

void TADOIBQuery::OpenOnce()
{
    QSqlDatabase db = Connection().Database();
    const QueryDialect dialect = dialectFor(db);
    const QString statement = TextFor(dialect).join(u'\n');
    if (statement.trimmed().isEmpty())
        throw rbx::EDatabaseError(QStringLiteral("%1 não tem comando %2 para este banco de dados.")
                                 .arg(m_name, dialectName(dialect)));

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw rbx::EDatabaseError(QStringLiteral("%1: %2").arg(m_name, query.lastError().text()));
    QVariantMap bindings;
    for (const QString &name : placeholderNames(statement)) {
        const TParam &param = ParamByName(name);
        // Every parameter is a string parameter, also when it was never set.
        const QVariant value = param.IsNull() ? QVariant(QMetaType::fromType<QString>()) : param.Value();
        query.bindValue(u':' + name, value);
        bindings.insert(param.Name(), value);
    }
    if (!query.exec())
        throw rbx::EDatabaseError(QStringLiteral("%1: %2").arg(m_name, query.lastError().text()));

    const QSqlRecord record = query.record();
    QList<int> columns;
    m_dynamicFields.clear();
    if (m_fields.empty()) {
        for (int i = 0; i < record.count(); ++i) {
            auto field = std::make_unique<TADOIBStringField>();
            field->m_owner = this;
            field->m_fieldName = record.fieldName(i);
            field->m_name = m_name + field->m_fieldName;
            field->m_displayLabel = field->m_fieldName;
            field->m_size = std::max(0, record.field(i).length());
            field->m_column = i;
            m_dynamicFields.push_back(std::move(field));
        }
    } else {
        for (const auto &field : m_fields) {
            int column = -1;
            for (int i = 0; i < record.count(); ++i) {
                if (record.fieldName(i).compare(field->m_fieldName, Qt::CaseInsensitive) == 0) {
                    column = i;
                    break;
                }
            }
            if (column < 0)
                throw rbx::EDatabaseError(QStringLiteral("%1: o resultado não traz o campo %2.").arg(m_name, field->m_fieldName));
            columns.append(column);
        }
        for (std::size_t f = 0; f < m_fields.size(); ++f) {
            TADOIBStringField &field = *m_fields[f];
            field.m_column = columns.at(qsizetype(f));
            const int length = record.field(field.m_column).length();
            field.m_size = field.m_declaredSize > 0 ? field.m_declaredSize : std::max(0, length);
        }
    }

    QList<QList<QVariant>> rows;
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.append(query.value(i));
        rows.append(std::move(row));
    }
    if (query.lastError().isValid())
        throw rbx::EDatabaseError(QStringLiteral("%1: %2").arg(m_name, query.lastError().text()));

    m_rows = std::move(rows);
    m_row = 0;
    m_active = true;
    m_lastStatement = statement;
    m_lastBindings = bindings;
}

void TADOIBQuery::Close()
{
    m_rows.clear();
    m_row = 0;
    m_active = false;
    m_dynamicFields.clear();
}

void TADOIBQuery::Next()
{
    if (m_row < m_rows.size())
        ++m_row;
}

const QVariant &TADOIBQuery::cell(int column) const
{
    if (!m_active || column < 0 || GetEOF())
        return nullCell();
    const QList<QVariant> &row = m_rows.at(m_row);
    return column < row.size() ? row.at(column) : nullCell();
}

RowTable TADOIBQuery::rowTable()
{
    RowTable table;
    const QList<TADOIBStringField *> fields = Fields();
    for (const TADOIBStringField *field : fields)
        table.columns.append({field->FieldName(), field->DisplayLabel(), field->DisplayWidth(), true});
    table.rows.reserve(m_rows.size());
    for (const QList<QVariant> &row : std::as_const(m_rows)) {
        QStringList texts;
        texts.reserve(fields.size());
        for (const TADOIBStringField *field : fields)
            texts.append(field->m_column >= 0 && field->m_column < row.size() ? row.at(field->m_column).toString()
                                                                               : QString());
        table.rows.append(std::move(texts));
    }
    return table;
}
