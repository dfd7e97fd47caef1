#include "FirebirdApiSession.h"

#include "FirebirdConnection.h"
#include "FirebirdDialect.h"
#include <protocol/HouseError.h>

#include <firebird/Interface.h>

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace rbx {

using namespace Qt::StringLiterals;
using Firebird::FbException;
using Firebird::IStatus;

namespace {

constexpr unsigned CharsetOctets = 1;
constexpr unsigned CharsetUnicodeFss = 3;
constexpr unsigned CharsetUtf8 = 4;
constexpr unsigned MaxVaryingBytes = 32765;

Firebird::IMaster *master()
{
    static Firebird::IMaster *const instance = Firebird::fb_get_master_interface();
    return instance;
}

Firebird::IUtil *util()
{
    static Firebird::IUtil *const instance = master()->getUtilInterface();
    return instance;
}

// One call's outcome for clean-up, which reports nothing and must never throw.
class QuietStatus final
{
public:
    QuietStatus() : m_status(master()->getStatus()), m_wrapper(m_status) {}
    ~QuietStatus() { m_status->dispose(); }
    QuietStatus(const QuietStatus &) = delete;
    QuietStatus &operator=(const QuietStatus &) = delete;

    Firebird::CheckStatusWrapper *get() { return &m_wrapper; }
    bool failed() { return (m_wrapper.getState() & IStatus::STATE_ERRORS) != 0; }

private:
    IStatus *m_status;
    Firebird::CheckStatusWrapper m_wrapper;
};

// The status of calls whose failure becomes an FbException.
class ThrowingStatus final
{
public:
    ThrowingStatus() : m_status(master()->getStatus()), m_wrapper(m_status) {}
    ~ThrowingStatus() { m_status->dispose(); }
    ThrowingStatus(const ThrowingStatus &) = delete;
    ThrowingStatus &operator=(const ThrowingStatus &) = delete;

    Firebird::ThrowStatusWrapper *get() { return &m_wrapper; }

private:
    IStatus *m_status;
    Firebird::ThrowStatusWrapper m_wrapper;
};

QString statusText(IStatus *status)
{
    char buffer[2048];
    const unsigned length = util()->formatStatus(buffer, sizeof buffer, status);
    // one message a line, each after the first marked with a "-"
    QStringList parts = QString::fromUtf8(buffer, qsizetype(std::min<unsigned>(length, sizeof buffer))).split(u'\n', Qt::SkipEmptyParts);
    for (QString &part : parts) {
        if (part.startsWith(u'-'))
            part.remove(0, 1);
    }
    return parts.join(u" - "_s);
}

// True when the status vector holds any of those error codes.
bool holdsAny(IStatus *status, std::initializer_list<ISC_STATUS> codes)
{
    const ISC_STATUS *item = status->getErrors();
    while (item && *item != isc_arg_end) {
        const ISC_STATUS kind = item[0];
        if (kind == isc_arg_gds && std::find(codes.begin(), codes.end(), item[1]) != codes.end())
            return true;
        item += kind == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

bool refusedByConstraint(IStatus *status)
{
    return holdsAny(status, {isc_unique_key_violation, isc_foreign_key, isc_no_dup});
}

// A concurrent writer held or changed the rows: waited for past the lock timeout, or updated
// under this transaction's snapshot.
bool metConcurrentWriter(IStatus *status)
{
    return holdsAny(status, {isc_deadlock, isc_update_conflict, isc_lock_conflict, isc_lock_timeout});
}

[[noreturn]] void failStatement(const FbException &error, const QString &sql)
{
    const QString message = u"Erro no banco de dados: %1 [%2]"_s.arg(statusText(error.getStatus()), sql.simplified().left(60));
    if (refusedByConstraint(error.getStatus()))
        throw EConstraintViolation(message);
    if (metConcurrentWriter(error.getStatus()))
        throw ETransactionConflict(message);
    throw EDatabaseError(message);
}

[[noreturn]] void failSession(const FbException &error, const QString &what)
{
    throw EDatabaseError(u"Erro no banco de dados: %1 (%2)"_s.arg(what, statusText(error.getStatus())));
}

QByteArray parameterBlock(unsigned kind, const std::function<void(Firebird::IXpbBuilder *, Firebird::ThrowStatusWrapper *)> &fill)
{
    ThrowingStatus status;
    Firebird::IXpbBuilder *builder = util()->getXpbBuilder(status.get(), kind, nullptr, 0);
    fill(builder, status.get());
    const QByteArray bytes(reinterpret_cast<const char *>(builder->getBuffer(status.get())),
                           qsizetype(builder->getBufferLength(status.get())));
    builder->dispose();
    return bytes;
}

// Snapshot, writing, waiting for a concurrent writer: the Qt driver's transaction, with a bound
// on the wait so that a stuck writer turns into an error instead of a hung call.
const QByteArray &writeTransaction()
{
    static const QByteArray tpb = parameterBlock(Firebird::IXpbBuilder::TPB, [](auto *builder, auto *status) {
        builder->insertTag(status, isc_tpb_concurrency);
        builder->insertTag(status, isc_tpb_write);
        builder->insertTag(status, isc_tpb_wait);
        builder->insertInt(status, isc_tpb_lock_timeout, FirebirdApiSession::LockTimeoutSeconds);
    });
    return tpb;
}

// One query outside the client's transaction: its rows from one snapshot.
const QByteArray &readTransaction()
{
    static const QByteArray tpb = parameterBlock(Firebird::IXpbBuilder::TPB, [](auto *builder, auto *status) {
        builder->insertTag(status, isc_tpb_concurrency);
        builder->insertTag(status, isc_tpb_read);
        builder->insertTag(status, isc_tpb_wait);
    });
    return tpb;
}

// What statements outside begin() are compiled in: Firebird wants a transaction for that. Read
// only and read committed, so that holding it for the attachment's life costs the server nothing.
const QByteArray &compileTransaction()
{
    static const QByteArray tpb = parameterBlock(Firebird::IXpbBuilder::TPB, [](auto *builder, auto *status) {
        builder->insertTag(status, isc_tpb_read_committed);
        builder->insertTag(status, isc_tpb_rec_version);
        builder->insertTag(status, isc_tpb_read);
    });
    return tpb;
}

const FirebirdDialect &firebirdDialect()
{
    static const FirebirdDialect dialect;
    return dialect;
}

void endQuietly(Firebird::IResultSet *&cursor)
{
    if (!cursor)
        return;
    QuietStatus status;
    cursor->close(status.get()); // releases it when it succeeds
    if (status.failed())
        cursor->release();
    cursor = nullptr;
}

void endQuietly(Firebird::ITransaction *&transaction, bool commit)
{
    if (!transaction)
        return;
    QuietStatus status;
    if (commit) {
        transaction->commit(status.get());
        if (!status.failed()) {
            transaction = nullptr;
            return;
        }
    }
    transaction->rollback(status.get());
    if (status.failed())
        transaction->release();
    transaction = nullptr;
}

// The shape of one field of a message.
struct Field
{
    unsigned type = SQL_NULL; // without the nullable bit
    int subType = 0;
    unsigned length = 0;
    unsigned charSet = 0;
    int scale = 0;

    bool operator==(const Field &) const = default;
    bool isText() const { return type == SQL_TEXT || type == SQL_VARYING; }
};

struct Layout
{
    std::vector<Field> fields;
    std::vector<unsigned> offsets;
    std::vector<unsigned> nullOffsets;
    unsigned length = 0;
};

Layout layoutOf(Firebird::IMessageMetadata *metadata, Firebird::ThrowStatusWrapper *status, QStringList *names = nullptr)
{
    Layout layout;
    const unsigned count = metadata->getCount(status);
    for (unsigned i = 0; i < count; ++i) {
        layout.fields.push_back({metadata->getType(status, i) & ~1u, metadata->getSubType(status, i),
                                 metadata->getLength(status, i), metadata->getCharSet(status, i),
                                 metadata->getScale(status, i)});
        layout.offsets.push_back(metadata->getOffset(status, i));
        layout.nullOffsets.push_back(metadata->getNullOffset(status, i));
        if (names)
            *names << QString::fromUtf8(metadata->getAlias(status, i));
    }
    layout.length = metadata->getMessageLength(status);
    return layout;
}

// A message buffer, aligned for any field the client library lays out in it.
class Message
{
public:
    void resize(unsigned bytes) { m_words.assign((bytes + 7) / 8, 0); }
    unsigned char *data() { return reinterpret_cast<unsigned char *>(m_words.data()); }
    const unsigned char *data() const { return reinterpret_cast<const unsigned char *>(m_words.data()); }

private:
    std::vector<std::uint64_t> m_words;
};

template <typename T> T read(const unsigned char *at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T> void write(unsigned char *at, T value) { std::memcpy(at, &value, sizeof value); }

qint64 julianDayOfBase()
{
    static const qint64 day = QDate(1858, 11, 17).toJulianDay(); // ISC_DATE 0
    return day;
}

ISC_DATE toIscDate(QDate date) { return ISC_DATE(date.toJulianDay() - julianDayOfBase()); }
ISC_TIME toIscTime(QTime time) { return ISC_TIME(time.msecsSinceStartOfDay()) * 10; }
QDate fromIscDate(ISC_DATE date) { return QDate::fromJulianDay(date + julianDayOfBase()); }
QTime fromIscTime(ISC_TIME time) { return QTime::fromMSecsSinceStartOfDay(int(time / 10)); }

// As Qt's drivers read a bound value: a null text, date or time binds NULL.
bool bindsNull(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString: return value.toString().isNull();
    case QMetaType::QByteArray: return value.toByteArray().isNull();
    case QMetaType::QDateTime: return !value.toDateTime().isValid();
    case QMetaType::QDate: return !value.toDate().isValid();
    case QMetaType::QTime: return !value.toTime().isValid();
    default: return value.isNull();
    }
}

QVariant scaled(qint64 value, int scale)
{
    double number = double(value);
    for (int i = scale; i < 0; ++i)
        number /= 10;
    return number;
}

unsigned bytesPerCharacter(unsigned charSet)
{
    return charSet == CharsetUtf8 ? 4 : charSet == CharsetUnicodeFss ? 3 : 1;
}

// How a parameter of that description is declared, as the input of an EXECUTE BLOCK; nothing
// for a type this session does not bind.
std::optional<QString> declaration(const Field &field)
{
    const auto charSet = [&field]() -> std::optional<QString> {
        switch (field.charSet) {
        case 0: return u"NONE"_s;
        case CharsetOctets: return u"OCTETS"_s;
        case 2: return u"ASCII"_s;
        case CharsetUnicodeFss: return u"UNICODE_FSS"_s;
        case CharsetUtf8: return u"UTF8"_s;
        default: return std::nullopt;
        }
    };
    const auto exact = [&field](const QString &whole, int digits) {
        return field.scale == 0 ? whole : u"NUMERIC(%1, %2)"_s.arg(digits).arg(-field.scale);
    };
    switch (field.type) {
    case SQL_VARYING:
    case SQL_TEXT: {
        const std::optional<QString> set = charSet();
        if (!set)
            return std::nullopt;
        return u"%1(%2) CHARACTER SET %3"_s.arg(field.type == SQL_TEXT ? u"CHAR"_s : u"VARCHAR"_s)
            .arg(field.length / bytesPerCharacter(field.charSet))
            .arg(*set);
    }
    case SQL_SHORT: return exact(u"SMALLINT"_s, 4);
    case SQL_LONG: return exact(u"INTEGER"_s, 9);
    case SQL_INT64: return exact(u"BIGINT"_s, 18);
    case SQL_FLOAT: return u"FLOAT"_s;
    case SQL_DOUBLE: return u"DOUBLE PRECISION"_s;
    case SQL_TIMESTAMP: return u"TIMESTAMP"_s;
    case SQL_TYPE_DATE: return u"DATE"_s;
    case SQL_TYPE_TIME: return u"TIME"_s;
    case SQL_BOOLEAN: return u"BOOLEAN"_s;
    default: return std::nullopt;
    }
}

bool isNameStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

// Where an EXECUTE BLOCK's list of input parameters ends: only that list takes parameters, and
// in the body that follows ":NAME" is one of the block's variables. The whole text elsewhere.
qsizetype parametersEnd(const QString &sql)
{
    static const QRegularExpression block(u"^\\s*EXECUTE\\s+BLOCK\\s*"_s, QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = block.match(sql);
    if (!match.hasMatch())
        return sql.size();
    qsizetype i = match.capturedEnd();
    if (i >= sql.size() || sql.at(i) != u'(')
        return i;
    for (int depth = 0; i < sql.size(); ++i) {
        if (sql.at(i) == u'(')
            ++depth;
        else if (sql.at(i) == u')' && --depth == 0)
            return i + 1;
    }
    return sql.size();
}

// The text with each ":NAME" replaced by "?", and the names in order. Literals, quoted
// identifiers and comments pass untouched: a colon inside them is no placeholder.
QString positional(const QString &sql, QStringList *names)
{
    QString out;
    out.reserve(sql.size());
    const qsizetype n = sql.size();
    const qsizetype parameters = parametersEnd(sql);
    qsizetype i = 0;
    const auto copyTo = [&](qsizetype end) {
        out += QStringView(sql).mid(i, end - i);
        i = end;
    };
    while (i < n) {
        const QChar c = sql.at(i);
        const QChar next = i + 1 < n ? sql.at(i + 1) : QChar();
        if (c == u'\'' || c == u'"') {
            qsizetype j = i + 1;
            while (j < n) {
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) { // a doubled quote stays inside
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            copyTo(j);
        } else if ((c == u'q' || c == u'Q') && next == u'\'' && i + 2 < n && (i == 0 || !isNameChar(sql.at(i - 1)))) {
            // Q'<x...x>': the text ends where its closing delimiter meets a quote
            const QChar open = sql.at(i + 2);
            const QString pairs = u"([{<"_s;
            const qsizetype pair = pairs.indexOf(open);
            const QChar close = pair >= 0 ? u")]}>"_s.at(pair) : open;
            const qsizetype end = sql.indexOf(QString(close) + u'\'', i + 3);
            copyTo(end < 0 ? n : end + 2);
        } else if (c == u'-' && next == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            copyTo(end < 0 ? n : end);
        } else if (c == u'/' && next == u'*') {
            const qsizetype end = sql.indexOf(u"*/"_s, i + 2);
            copyTo(end < 0 ? n : end + 2);
        } else if (c == u':' && isNameStart(next) && i < parameters) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql.at(j)))
                ++j;
            *names << sql.mid(i, j - i);
            out += u'?';
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

namespace FirebirdApi {

class Statement;

// The server's attachment, shared by the session and its statements so that a statement the
// session outlives fails cleanly instead of reaching a detached handle.
struct Attachment
{
    Firebird::IAttachment *handle = nullptr;
    Firebird::ITransaction *transaction = nullptr; // the one begin() opened
    Firebird::ITransaction *compiling = nullptr;   // started on the first prepare outside begin()
    std::vector<Statement *> statements;
    QString name;
    QString key;
    ThrowingStatus status;

    Firebird::IAttachment &live()
    {
        if (!handle)
            throw EDatabaseError(u"Erro no banco de dados: a conexão %1 já foi encerrada."_s.arg(name));
        return *handle;
    }
    // The open transaction, or the one statements are compiled in outside it.
    Firebird::ITransaction *forPrepare()
    {
        if (transaction)
            return transaction;
        if (!compiling) {
            const QByteArray &tpb = compileTransaction();
            compiling = live().startTransaction(status.get(), unsigned(tpb.size()),
                                                reinterpret_cast<const unsigned char *>(tpb.constData()));
        }
        return compiling;
    }
    // Ends the open transaction's cursors: their rows cannot outlive it.
    void closeCursorsOf(Firebird::ITransaction *transaction);
    void detach();
};

class Statement final : public PreparedStatement
{
public:
    Statement(std::shared_ptr<Attachment> attachment, const QString &sql);
    ~Statement() override;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void bind(const QString &placeholder, const QVariant &value) override;
    void exec() override;
    bool next() override;
    QVariant value(int column) const override;
    int column(const QString &name) const override;
    qint64 rowsAffected() const override;
    void finish() override;

    const QStringList &placeholders() const { return m_placeholders; }
    const Layout &declared() const { return m_declared; }
    bool hasCursor() const { return m_hasCursor; }

    // Closes the cursor if it reads in this transaction.
    void closeCursorIn(Firebird::ITransaction *transaction);
    // Before the attachment goes: nothing of this statement may hold a transaction open.
    void abandon();

private:
    Firebird::IMessageMetadata *inputFor(Firebird::ITransaction *transaction);
    ISC_QUAD createBlob(Firebird::ITransaction *transaction, const QByteArray &bytes);
    QVariant readBlob(Firebird::ITransaction *transaction, ISC_QUAD id);
    void readBlobs(Firebird::ITransaction *transaction);
    void closeResult();
    Firebird::ThrowStatusWrapper *status() { return m_attachment->status.get(); }

    std::shared_ptr<Attachment> m_attachment;
    QString m_sql;
    Firebird::IStatement *m_statement = nullptr;
    bool m_hasCursor = false;
    bool m_readOnly = false;

    QStringList m_placeholders;
    QList<QVariant> m_values;
    Firebird::IMessageMetadata *m_declaredInput = nullptr;
    Layout m_declared;
    Firebird::IMessageMetadata *m_builtInput = nullptr; // when values travel in other types
    std::vector<Field> m_builtFields;
    Message m_input;

    Firebird::IMessageMetadata *m_outputMetadata = nullptr;
    Layout m_output;
    QStringList m_columns;
    std::vector<QVariant> m_blobs; // per column: read while the row's transaction is open
    Message m_row;

    Firebird::IResultSet *m_cursor = nullptr;
    Firebird::ITransaction *m_cursorTransaction = nullptr;
    Firebird::ITransaction *m_own = nullptr; // when run outside begin()
    bool m_rowPending = false;               // the one row of a statement without a cursor
    bool m_onRow = false;
    mutable qint64 m_affected = -1;
    mutable bool m_affectedKnown = false;
};

void Attachment::closeCursorsOf(Firebird::ITransaction *transaction)
{
    for (Statement *statement : statements)
        statement->closeCursorIn(transaction);
}

void Attachment::detach()
{
    for (Statement *statement : statements)
        statement->abandon();
    endQuietly(transaction, false);
    endQuietly(compiling, true);
    if (!handle)
        return;
    QuietStatus quiet;
    handle->detach(quiet.get()); // releases it when it succeeds
    if (quiet.failed())
        handle->release();
    handle = nullptr;
}

Statement::Statement(std::shared_ptr<Attachment> attachment, const QString &sql)
    : m_attachment(std::move(attachment)), m_sql(sql)
{
    const QString text = positional(sql, &m_placeholders);
    for (qsizetype i = 0; i < m_placeholders.size(); ++i) {
        if (m_placeholders.indexOf(m_placeholders.at(i)) != i)
            throw EDatabaseError(u"Erro no banco de dados: o marcador %1 aparece mais de uma vez [%2]"_s.arg(
                m_placeholders.at(i), sql.simplified().left(60)));
    }
    m_values.resize(m_placeholders.size());
    const QByteArray utf8 = text.toUtf8();
    Firebird::IAttachment &handle = m_attachment->live();
    try {
        m_statement = handle.prepare(status(), m_attachment->forPrepare(), unsigned(utf8.size()), utf8.constData(),
                                     SQL_DIALECT_V6, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        m_hasCursor = (m_statement->getFlags(status()) & Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
        m_readOnly = m_statement->getType(status()) == isc_info_sql_stmt_select;
        m_declaredInput = m_statement->getInputMetadata(status());
        m_declared = layoutOf(m_declaredInput, status());
        m_outputMetadata = m_statement->getOutputMetadata(status());
        m_output = layoutOf(m_outputMetadata, status(), &m_columns);
    } catch (const FbException &error) {
        for (auto *metadata : {m_declaredInput, m_outputMetadata}) {
            if (metadata)
                metadata->release();
        }
        if (m_statement)
            m_statement->release();
        failStatement(error, sql);
    }
    if (m_declared.fields.size() != size_t(m_placeholders.size())) {
        // "?" written as such, or a placeholder inside text Firebird parses differently
        m_declaredInput->release();
        m_outputMetadata->release();
        m_statement->release();
        throw EDatabaseError(u"Erro no banco de dados: %1 parâmetros para %2 marcadores [%3]"_s.arg(
            m_declared.fields.size()).arg(m_placeholders.size()).arg(sql.simplified().left(60)));
    }
    m_blobs.resize(m_output.fields.size());
    m_row.resize(m_output.length);
    m_attachment->statements.push_back(this);
}

Statement::~Statement()
{
    abandon();
    auto &all = m_attachment->statements;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (m_builtInput)
        m_builtInput->release();
    m_declaredInput->release();
    m_outputMetadata->release();
    QuietStatus quiet;
    if (m_attachment->handle)
        m_statement->free(quiet.get()); // releases it when it succeeds
    if (!m_attachment->handle || quiet.failed())
        m_statement->release();
}

void Statement::bind(const QString &placeholder, const QVariant &value)
{
    const qsizetype at = m_placeholders.indexOf(placeholder);
    if (at < 0)
        throw EDatabaseError(u"Erro no banco de dados: o comando não tem o marcador %1 [%2]"_s.arg(
            placeholder, m_sql.simplified().left(60)));
    m_values[at] = value;
}

ISC_QUAD Statement::createBlob(Firebird::ITransaction *transaction, const QByteArray &bytes)
{
    ISC_QUAD id{};
    Firebird::IBlob *blob = m_attachment->live().createBlob(status(), transaction, &id, 0, nullptr);
    try {
        constexpr qsizetype Segment = 32768;
        for (qsizetype at = 0; at < bytes.size(); at += Segment) {
            const qsizetype length = std::min(Segment, bytes.size() - at);
            blob->putSegment(status(), unsigned(length), bytes.constData() + at);
        }
        blob->close(status());
    } catch (...) {
        QuietStatus quiet;
        blob->cancel(quiet.get());
        if (quiet.failed())
            blob->release();
        throw;
    }
    return id;
}

QVariant Statement::readBlob(Firebird::ITransaction *transaction, ISC_QUAD id)
{
    Firebird::IBlob *blob = m_attachment->live().openBlob(status(), transaction, &id, 0, nullptr);
    QByteArray bytes;
    try {
        char buffer[32768];
        for (;;) {
            unsigned length = 0;
            const int result = blob->getSegment(status(), sizeof buffer, buffer, &length);
            if (result != IStatus::RESULT_OK && result != IStatus::RESULT_SEGMENT)
                break;
            bytes.append(buffer, length);
        }
        blob->close(status());
    } catch (...) {
        blob->release();
        throw;
    }
    return bytes;
}

void Statement::readBlobs(Firebird::ITransaction *transaction)
{
    for (size_t i = 0; i < m_output.fields.size(); ++i) {
        const Field &field = m_output.fields[i];
        if (field.type != SQL_BLOB)
            continue;
        m_blobs[i] = QVariant();
        if (read<short>(m_row.data() + m_output.nullOffsets[i]) != 0)
            continue;
        const QVariant bytes = readBlob(transaction, read<ISC_QUAD>(m_row.data() + m_output.offsets[i]));
        m_blobs[i] = field.subType == isc_blob_text ? QVariant(QString::fromUtf8(bytes.toByteArray())) : bytes;
    }
}

// Values travel in their own types, the parameter's where they are the same; the server then
// converts, as it does for a literal.
Firebird::IMessageMetadata *Statement::inputFor(Firebird::ITransaction *transaction)
{
    const size_t count = m_declared.fields.size();
    std::vector<Field> fields(count);
    std::vector<QByteArray> texts(count);
    for (size_t i = 0; i < count; ++i) {
        const Field &declared = m_declared.fields[i];
        const QVariant &value = m_values[qsizetype(i)];
        Field &field = fields[i];
        field = declared;
        if (bindsNull(value))
            continue;
        const int type = value.metaType().id();
        if (declared.type == SQL_BLOB) {
            texts[i] = type == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
            continue;
        }
        switch (type) {
        case QMetaType::Bool:
            if (declared.type == SQL_BOOLEAN)
                break;
            [[fallthrough]];
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar: field = {SQL_INT64, 0, 8, 0, 0}; break;
        case QMetaType::Double:
        case QMetaType::Float: field = {SQL_DOUBLE, 0, 8, 0, 0}; break;
        case QMetaType::QDateTime: field = {SQL_TIMESTAMP, 0, 8, 0, 0}; break;
        case QMetaType::QDate: field = {SQL_TYPE_DATE, 0, 4, 0, 0}; break;
        case QMetaType::QTime: field = {SQL_TYPE_TIME, 0, 4, 0, 0}; break;
        default: {
            const bool binary = type == QMetaType::QByteArray;
            texts[i] = binary ? value.toByteArray() : value.toString().toUtf8();
            const unsigned bytes = unsigned(texts[i].size());
            if (bytes > MaxVaryingBytes)
                throw EDatabaseError(u"Erro no banco de dados: texto de %1 bytes longo demais para o marcador %2 [%3]"_s
                                         .arg(bytes)
                                         .arg(m_placeholders.at(qsizetype(i)), m_sql.simplified().left(60)));
            const unsigned charSet = binary ? CharsetOctets : CharsetUtf8;
            if (declared.type == SQL_VARYING && declared.charSet == charSet && bytes <= declared.length)
                break;
            // rounded up, so that texts of about one length share one layout
            field = {SQL_VARYING, 0, std::min(MaxVaryingBytes, std::max(declared.isText() ? declared.length : 0u, (bytes + 63) / 64 * 64)),
                     charSet, 0};
            break;
        }
        }
    }

    Firebird::IMessageMetadata *metadata = m_declaredInput;
    Layout layout;
    const Layout *chosen = &m_declared;
    if (fields != m_declared.fields) {
        if (!m_builtInput || fields != m_builtFields) {
            Firebird::IMetadataBuilder *builder = m_declaredInput->getBuilder(status());
            try {
                for (unsigned i = 0; i < count; ++i) {
                    if (fields[i] == m_declared.fields[i])
                        continue;
                    builder->setType(status(), i, fields[i].type | 1);
                    builder->setSubType(status(), i, fields[i].subType);
                    builder->setLength(status(), i, fields[i].length);
                    builder->setCharSet(status(), i, fields[i].charSet);
                    builder->setScale(status(), i, fields[i].scale);
                }
                Firebird::IMessageMetadata *built = builder->getMetadata(status());
                builder->release();
                if (m_builtInput)
                    m_builtInput->release();
                m_builtInput = built;
                m_builtFields = fields;
            } catch (...) {
                builder->release();
                throw;
            }
        }
        metadata = m_builtInput;
        layout = layoutOf(m_builtInput, status());
        chosen = &layout;
    }

    m_input.resize(chosen->length);
    unsigned char *message = m_input.data();
    for (size_t i = 0; i < count; ++i) {
        const QVariant &value = m_values[qsizetype(i)];
        const bool null = bindsNull(value);
        write<short>(message + chosen->nullOffsets[i], null ? -1 : 0);
        if (null)
            continue;
        unsigned char *at = message + chosen->offsets[i];
        switch (fields[i].type) {
        case SQL_VARYING:
            write<quint16>(at, quint16(texts[i].size()));
            std::memcpy(at + 2, texts[i].constData(), size_t(texts[i].size()));
            break;
        case SQL_INT64: write<qint64>(at, value.toLongLong()); break;
        case SQL_DOUBLE: write<double>(at, value.toDouble()); break;
        case SQL_BOOLEAN: write<FB_BOOLEAN>(at, value.toBool() ? FB_TRUE : FB_FALSE); break;
        case SQL_TIMESTAMP: {
            // the fields as they are, whatever the zone: what FirebirdDialect binds
            const QDateTime dateTime = value.toDateTime();
            write<ISC_TIMESTAMP>(at, {toIscDate(dateTime.date()), toIscTime(dateTime.time())});
            break;
        }
        case SQL_TYPE_DATE: write<ISC_DATE>(at, toIscDate(value.toDate())); break;
        case SQL_TYPE_TIME: write<ISC_TIME>(at, toIscTime(value.toTime())); break;
        case SQL_BLOB: write<ISC_QUAD>(at, createBlob(transaction, texts[i])); break;
        default:
            throw EDatabaseError(u"Erro no banco de dados: valor de tipo %1 para o marcador %2 [%3]"_s.arg(
                QString::fromLatin1(value.metaType().name()), m_placeholders.at(qsizetype(i)), m_sql.simplified().left(60)));
        }
    }
    return metadata;
}

void Statement::exec()
{
    Firebird::IAttachment &handle = m_attachment->live();
    closeResult();
    m_affectedKnown = false;
    try {
        Firebird::ITransaction *transaction = m_attachment->transaction;
        if (!transaction) {
            const QByteArray &tpb = m_readOnly ? readTransaction() : writeTransaction();
            transaction = m_own = handle.startTransaction(status(), unsigned(tpb.size()),
                                                          reinterpret_cast<const unsigned char *>(tpb.constData()));
        }
        Firebird::IMessageMetadata *input = inputFor(transaction);
        if (m_hasCursor) {
            m_cursor = m_statement->openCursor(status(), transaction, input, m_input.data(), m_outputMetadata, 0);
            m_cursorTransaction = transaction;
            return;
        }
        const bool row = !m_output.fields.empty();
        m_statement->execute(status(), transaction, input, m_input.data(), row ? m_outputMetadata : nullptr,
                             row ? m_row.data() : nullptr);
        if (row)
            readBlobs(transaction);
        if (m_own) {
            m_own->commit(status()); // releases it when it succeeds
            m_own = nullptr;
        }
        m_rowPending = row;
    } catch (const FbException &error) {
        endQuietly(m_cursor);
        endQuietly(m_own, false);
        failStatement(error, m_sql);
    } catch (...) {
        endQuietly(m_cursor);
        endQuietly(m_own, false);
        throw;
    }
}

bool Statement::next()
{
    m_onRow = false;
    if (m_rowPending) {
        m_rowPending = false;
        m_onRow = true;
        return true;
    }
    if (!m_cursor)
        return false;
    try {
        if (m_cursor->fetchNext(status(), m_row.data()) == IStatus::RESULT_OK) {
            readBlobs(m_cursorTransaction);
            m_onRow = true;
            return true;
        }
    } catch (const FbException &error) {
        endQuietly(m_cursor);
        endQuietly(m_own, false);
        failStatement(error, m_sql);
    }
    closeResult();
    return false;
}

QVariant Statement::value(int column) const
{
    if (!m_onRow || column < 0 || size_t(column) >= m_output.fields.size())
        return {};
    const Field &field = m_output.fields[size_t(column)];
    const unsigned char *row = m_row.data();
    if (read<short>(row + m_output.nullOffsets[size_t(column)]) != 0)
        return {};
    const unsigned char *at = row + m_output.offsets[size_t(column)];
    switch (field.type) {
    case SQL_VARYING: {
        const auto length = read<quint16>(at);
        const auto *bytes = reinterpret_cast<const char *>(at + 2);
        if (field.charSet == CharsetOctets)
            return QByteArray(bytes, length);
        return QString::fromUtf8(bytes, length);
    }
    case SQL_TEXT: {
        const auto *bytes = reinterpret_cast<const char *>(at);
        if (field.charSet == CharsetOctets)
            return QByteArray(bytes, qsizetype(field.length));
        // the server pads to the width in bytes; the value is as wide as the column in characters
        QString text = QString::fromUtf8(bytes, qsizetype(field.length));
        const qsizetype width = qsizetype(field.length / bytesPerCharacter(field.charSet));
        qsizetype end = text.size();
        while (end > width && text.at(end - 1) == u' ')
            --end;
        text.truncate(end);
        return text;
    }
    case SQL_SHORT: return field.scale < 0 ? scaled(read<qint16>(at), field.scale) : QVariant(int(read<qint16>(at)));
    case SQL_LONG: return field.scale < 0 ? scaled(read<qint32>(at), field.scale) : QVariant(int(read<qint32>(at)));
    case SQL_INT64: return field.scale < 0 ? scaled(read<qint64>(at), field.scale) : QVariant(qlonglong(read<qint64>(at)));
    case SQL_FLOAT: return double(read<float>(at));
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return read<double>(at);
    case SQL_TIMESTAMP: {
        const auto stamp = read<ISC_TIMESTAMP>(at);
        return QDateTime(fromIscDate(stamp.timestamp_date), fromIscTime(stamp.timestamp_time), Qt::UTC);
    }
    case SQL_TYPE_DATE: return fromIscDate(read<ISC_DATE>(at));
    case SQL_TYPE_TIME: return fromIscTime(read<ISC_TIME>(at));
    case SQL_BOOLEAN: return read<FB_BOOLEAN>(at) != FB_FALSE;
    case SQL_BLOB: return m_blobs[size_t(column)];
    default: return {};
    }
}

int Statement::column(const QString &name) const
{
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

qint64 Statement::rowsAffected() const
{
    if (m_hasCursor)
        return -1;
    if (!m_affectedKnown && m_attachment->handle) {
        // asked of the server only when someone wants it
        try {
            m_affected = qint64(m_statement->getAffectedRecords(m_attachment->status.get()));
            m_affectedKnown = true;
        } catch (const FbException &error) {
            failStatement(error, m_sql);
        }
    }
    return m_affected;
}

void Statement::closeResult()
{
    m_rowPending = false;
    m_onRow = false;
    try {
        if (m_cursor) {
            m_cursorTransaction = nullptr;
            m_cursor->close(status()); // releases it when it succeeds
            m_cursor = nullptr;
        }
        if (m_own) {
            m_own->commit(status());
            m_own = nullptr;
        }
    } catch (const FbException &error) {
        endQuietly(m_cursor);
        endQuietly(m_own, false);
        failStatement(error, m_sql);
    }
}

void Statement::finish() { closeResult(); }

void Statement::closeCursorIn(Firebird::ITransaction *transaction)
{
    if (m_cursor && m_cursorTransaction == transaction) {
        endQuietly(m_cursor);
        m_cursorTransaction = nullptr;
        m_onRow = false;
    }
}

void Statement::abandon()
{
    endQuietly(m_cursor);
    m_cursorTransaction = nullptr;
    endQuietly(m_own, true);
    m_rowPending = false;
    m_onRow = false;
}

} // namespace FirebirdApi

namespace {

void appendDpb(QByteArray &dpb, char item, const QByteArray &value)
{
    dpb.append(item);
    dpb.append(char(std::min<qsizetype>(value.size(), 255)));
    dpb.append(value.left(255));
}

// Our own copies of the password do not outlive their use.
void wipe(QByteArray &bytes) { std::fill(bytes.begin(), bytes.end(), '\0'); }

bool isIdentifier(const QString &name)
{
    if (name.isEmpty() || name.size() > 63 || !isNameStart(name.at(0)) || name.at(0).unicode() > 127)
        return false;
    return std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 128 && isNameChar(c); });
}

} // namespace

FirebirdApiSession::FirebirdApiSession(const QString &url, const QString &connectionName)
    : m_attachment(std::make_shared<FirebirdApi::Attachment>())
{
    QString problem;
    const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, &problem);
    if (!target)
        throw EDatabaseError(problem);
    const FirebirdServer::Credentials credentials = FirebirdServer::credentialsFromEnvironment();
    m_attachment->name = connectionName;
    // as the Qt connections name their database, so that both kinds share one key
    m_attachment->key = firebirdDialect().name() + u':' + target->path;

    QByteArray user = credentials.user.toUtf8();
    QByteArray password = credentials.password.toUtf8();
    QByteArray dpb(1, char(isc_dpb_version1));
    appendDpb(dpb, char(isc_dpb_user_name), user);
    appendDpb(dpb, char(isc_dpb_password), password);
    appendDpb(dpb, char(isc_dpb_lc_ctype), QByteArrayLiteral("UTF8"));
    const QByteArray where = target->connectionString().toUtf8();
    Firebird::IProvider *provider = master()->getDispatcher();
    try {
        m_attachment->handle = provider->attachDatabase(m_attachment->status.get(), where.constData(), unsigned(dpb.size()),
                                                        reinterpret_cast<const unsigned char *>(dpb.constData()));
    } catch (const FbException &error) {
        provider->release();
        wipe(dpb);
        wipe(password);
        throw EDatabaseError(u"Não foi possível abrir o banco Firebird %1: %2"_s.arg(target->connectionString(),
                                                                                     statusText(error.getStatus())));
    }
    provider->release();
    wipe(dpb);
    wipe(password);
}

FirebirdApiSession::~FirebirdApiSession()
{
    forgetStatements();
    m_probe.reset();
    m_attachment->detach();
}

const SqlDialect &FirebirdApiSession::dialect() const { return firebirdDialect(); }

QString FirebirdApiSession::name() const { return m_attachment->name; }

QString FirebirdApiSession::databaseKey() const { return m_attachment->key; }

std::unique_ptr<PreparedStatement> FirebirdApiSession::prepare(const QString &sql)
{
    return std::make_unique<FirebirdApi::Statement>(m_attachment, sql);
}

QString FirebirdApiSession::joined(const QStringList &sqls)
{
    // A few statements at most: the blocks kept, one for each list joined, stay few whatever
    // lists the callers make.
    constexpr qsizetype MaxParts = 8;
    if (sqls.size() < 2 || sqls.size() > MaxParts)
        return {};
    const QString key = sqls.join(u"\n;\n"_s);
    if (const auto known = m_joined.constFind(key); known != m_joined.constEnd())
        return *known;
    // Each part compiled alone tells the types of its parameters, which the block then declares;
    // the body names them as its variables, with the same colon.
    constexpr unsigned MaxInputBytes = 60000; // below the server's limit on one message
    QStringList inputs, body, names;
    unsigned bytes = 0;
    bool joinable = true;
    for (const QString &sql : sqls) {
        if (!joinable)
            break;
        const FirebirdApi::Statement part(m_attachment, sql);
        joinable = !part.hasCursor();
        for (qsizetype i = 0; joinable && i < part.placeholders().size(); ++i) {
            const QString name = part.placeholders().at(i).mid(1);
            const Field &field = part.declared().fields.at(size_t(i));
            const std::optional<QString> type = declaration(field);
            bytes += field.length;
            // one value a name: a name two parts share could not take two
            joinable = type && !names.contains(name) && bytes <= MaxInputBytes;
            names << name;
            inputs << u"%1 %2 = :%1"_s.arg(name, type.value_or(QString()));
        }
        body << sql.trimmed() + u';';
    }
    const QString block = joinable ? u"EXECUTE BLOCK (%1)\nAS\nBEGIN\n%2\nEND"_s.arg(inputs.join(u", "_s), body.join(u'\n'))
                                   : QString();
    m_joined.insert(key, block);
    return block;
}

void FirebirdApiSession::begin()
{
    FirebirdApi::Attachment &a = *m_attachment;
    Firebird::IAttachment &handle = a.live();
    if (a.transaction)
        throw EDatabaseError(u"Erro no banco de dados: a conexão %1 já tem uma transação aberta."_s.arg(a.name));
    const QByteArray &tpb = writeTransaction();
    try {
        a.transaction = handle.startTransaction(a.status.get(), unsigned(tpb.size()),
                                                reinterpret_cast<const unsigned char *>(tpb.constData()));
    } catch (const FbException &error) {
        failSession(error, u"a transação não pôde ser iniciada"_s);
    }
}

void FirebirdApiSession::commit()
{
    FirebirdApi::Attachment &a = *m_attachment;
    if (!a.transaction)
        throw EDatabaseError(u"Erro no banco de dados: a conexão %1 não tem transação aberta para confirmar."_s.arg(a.name));
    a.closeCursorsOf(a.transaction);
    try {
        a.transaction->commit(a.status.get()); // releases it when it succeeds
        a.transaction = nullptr;
    } catch (const FbException &error) {
        endQuietly(a.transaction, false);
        failSession(error, u"a transação não pôde ser confirmada"_s);
    }
}

void FirebirdApiSession::rollback()
{
    FirebirdApi::Attachment &a = *m_attachment;
    if (!a.transaction)
        return;
    a.closeCursorsOf(a.transaction);
    try {
        a.transaction->rollback(a.status.get());
        a.transaction = nullptr;
    } catch (const FbException &error) {
        a.transaction->release();
        a.transaction = nullptr;
        failSession(error, u"a transação não pôde ser desfeita"_s);
    }
}

namespace {

void runInTransaction(FirebirdApi::Attachment &a, const QString &verb, const QString &name)
{
    Firebird::IAttachment &handle = a.live();
    if (!isIdentifier(name))
        throw EDatabaseError(u"Erro no banco de dados: nome de ponto de salvamento inválido: \"%1\"."_s.arg(name));
    if (!a.transaction)
        throw EDatabaseError(u"Erro no banco de dados: %1 %2 sem transação aberta."_s.arg(verb, name));
    const QByteArray sql = (verb + u' ' + name).toUtf8();
    try {
        handle.execute(a.status.get(), a.transaction, unsigned(sql.size()), sql.constData(), SQL_DIALECT_V6, nullptr,
                       nullptr, nullptr, nullptr);
    } catch (const FbException &error) {
        failStatement(error, QString::fromUtf8(sql));
    }
}

} // namespace

void FirebirdApiSession::savepoint(const QString &name) { runInTransaction(*m_attachment, u"SAVEPOINT"_s, name); }

void FirebirdApiSession::releaseSavepoint(const QString &name)
{
    runInTransaction(*m_attachment, u"RELEASE SAVEPOINT"_s, name);
}

void FirebirdApiSession::rollbackToSavepoint(const QString &name)
{
    runInTransaction(*m_attachment, u"ROLLBACK TO SAVEPOINT"_s, name);
}

bool FirebirdApiSession::reaches(QString *why)
{
    try {
        if (!m_probe)
            m_probe = prepare(u"SELECT 1 FROM RDB$DATABASE"_s);
        m_probe->exec();
        const bool answered = m_probe->next();
        m_probe->finish();
        if (answered)
            return true;
        if (why)
            *why = u"o banco de dados não respondeu à consulta de teste"_s;
    } catch (const EDatabaseError &error) {
        if (why)
            *why = error.message();
    }
    return false;
}

std::unique_ptr<SqlSession> openFirebirdApiSession(const QString &url, const QString &connectionName)
{
    return std::make_unique<FirebirdApiSession>(url, connectionName);
}

} // namespace rbx
