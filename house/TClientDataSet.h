#pragma once

#include <house/rbx_house_export.h>

#include <protocol/WireProtocol.h>

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

class TClientDataSet;

// A persistent field of a record set, declared before any packet arrives.
class RBX_HOUSE_EXPORT TField
{
public:
    const QString &FieldName() const { return m_name; }
    rbx::Wire::FieldType DataType() const { return m_type; }
    // Declared width in characters for text fields, 0 otherwise.
    int Size() const { return m_size; }
    const QString &DisplayLabel() const { return m_displayLabel; }
    int DisplayWidth() const { return m_displayWidth; }

    bool IsNull() const;
    // Null reads as empty text; a float reads in general notation with up to 15 significant
    // digits and the locale's decimal separator.
    QString AsString() const;
    // OLE date; null reads as 0.
    double AsDateTime() const;
    // Null reads as 0.
    double AsFloat() const;

private:
    friend class TClientDataSet;
    const QVariant &value() const;

    const TClientDataSet *m_owner = nullptr;
    QString m_name;
    rbx::Wire::FieldType m_type = rbx::Wire::FieldType::String;
    int m_size = 0;
    QString m_displayLabel;
    int m_displayWidth = 0;
    int m_column = -1; // position in the current packet's rows
};

// An in-memory table filled whole from a data packet and read row by row.
class RBX_HOUSE_EXPORT TClientDataSet
{
public:
    explicit TClientDataSet(QString name = {}) : m_name(std::move(name)) {}
    TClientDataSet(const TClientDataSet &) = delete;
    TClientDataSet &operator=(const TClientDataSet &) = delete;

    const QString &Name() const { return m_name; }

    TField &AddField(const QString &name, rbx::Wire::FieldType type, int size = 0, const QString &displayLabel = {},
                     int displayWidth = 0);
    const QList<TField *> Fields() const;
    TField &FieldByName(const QString &name);
    const TField &FieldByName(const QString &name) const;
    TField *FindField(const QString &name);

    // Replaces every row with the packet's and stands on the first. Raises when a declared field
    // is missing, has another type, or holds a text longer than its declared size.
    void SetData(const rbx::Wire::Packet &packet);
    void Close();

    bool Active() const { return m_active; }
    bool IsEmpty() const { return m_rows.isEmpty(); }
    bool Eof() const { return m_row >= m_rows.size(); }
    void First() { m_row = 0; }
    void Next();
    qsizetype RecordCount() const { return m_rows.size(); }
    qsizetype RecNo() const { return m_row; }

private:
    friend class TField;

    QString m_name;
    std::vector<std::unique_ptr<TField>> m_fields;
    QHash<QString, TField *> m_byName;
    QList<QList<QVariant>> m_rows;
    qsizetype m_row = 0;
    bool m_active = false;
};
