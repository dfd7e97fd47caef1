#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QString>
#include <exception>

namespace rbx {

// The text a person reads for a failure: the house error's own message, a standard
// exception's what(), or a generic sentence for anything else.
RBX_PROTOCOL_EXPORT QString errorText(std::exception_ptr error);

// Every failure the house library raises. The message is what the user reads.
class RBX_PROTOCOL_EXPORT EHouseError : public std::exception
{
public:
    explicit EHouseError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A validation text raised through MensErro: shown once by the handler guard.
class RBX_PROTOCOL_EXPORT EValidationError : public EHouseError
{
public:
    using EHouseError::EHouseError;
};

// The connection could not be opened, broke, or an answer did not arrive in time.
class RBX_PROTOCOL_EXPORT EConnectionError : public EHouseError
{
public:
    using EHouseError::EHouseError;
};

// The remote service answered with an error; code is the protocol's error code.
class RBX_PROTOCOL_EXPORT ERemoteError : public EHouseError
{
public:
    ERemoteError(int code, QString message) : EHouseError(std::move(message)), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// A packet or a field value that does not fit what the record set declares.
class RBX_PROTOCOL_EXPORT EDataSetError : public EHouseError
{
public:
    using EHouseError::EHouseError;
};

// A text that should hold a number or a date and does not.
class RBX_PROTOCOL_EXPORT EConvertError : public EHouseError
{
public:
    using EHouseError::EHouseError;
};

// A database statement that failed (lookups, the server's own storage).
class RBX_PROTOCOL_EXPORT EDatabaseError : public EHouseError
{
public:
    using EHouseError::EHouseError;
};

} // namespace rbx
