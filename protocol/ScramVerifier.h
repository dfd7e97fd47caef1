#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QByteArray>
#include <QString>

#include <optional>

namespace rbx {

// What the server keeps of an operator's password for SCRAM-SHA-256: the salt, the iteration
// count, StoredKey and ServerKey. The password itself cannot be had back from it. Its text form
// is the one PostgreSQL stores: SCRAM-SHA-256$<iterations>:<salt>$<StoredKey>:<ServerKey>, each
// part in base64.
struct RBX_PROTOCOL_EXPORT ScramVerifier
{
    static constexpr int DefaultIterations = 4096;
    // Fewer iterations make a stolen verifier cheap to attack: such a one is refused.
    static constexpr int MinimumIterations = 4096;
    static constexpr int SaltBytes = 16;

    int iterations = 0;
    QByteArray salt;
    QByteArray storedKey;
    QByteArray serverKey;

    // With a fresh random salt; nothing when the password is empty or SASLprep refuses it.
    static std::optional<ScramVerifier> fromPassword(const QString &password, int iterations = DefaultIterations);
    // With the given salt, as RFC 7677's example does.
    static std::optional<ScramVerifier> fromPassword(const QString &password, const QByteArray &salt, int iterations);
    // Nothing when the text is malformed or its iteration count is below the minimum.
    static std::optional<ScramVerifier> fromText(const QString &text);
    QString toText() const;

    // For PLAIN: whether the password is the one this verifier was made from. Constant time.
    bool matches(const QString &password) const;
};

} // namespace rbx
