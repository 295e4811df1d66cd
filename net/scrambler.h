#pragma once
// Turns a short text into a self-describing scrambled text and back with a
// 64-bit key: a key-dependent XOR cascade over a block that starts with a
// random byte and carries an integrity value. Used for the proxy user name
// and password kept in the settings store.
//
// Byte form: version (3), flags (0x01 compressed, 0x02 16-bit checksum,
// 0x04 SHA-1 digest), then the scrambled block: random byte, integrity
// value(s), payload. The text form is the Base64 of the byte form.

#include <QByteArray>
#include <QString>
#include <QVector>

class Scrambler
{
public:
    enum CompressionMode { CompressionAuto = 0, CompressionAlways = 1, CompressionNever = 2 };
    enum IntegrityProtectionMode { ProtectionNone = 0, ProtectionChecksum = 1, ProtectionHash = 2 };
    enum Error { ErrorNoError = 0, ErrorNoKeySet = 1, ErrorUnknownVersion = 2, ErrorIntegrityFailed = 3 };

    Scrambler();
    explicit Scrambler(quint64 key);

    void setKey(quint64 key);
    void setCompressionMode(CompressionMode mode) { m_compressionMode = mode; }
    void setIntegrityProtectionMode(IntegrityProtectionMode mode) { m_protectionMode = mode; }
    Error lastError() const { return m_lastError; }

    QByteArray encryptToByteArray(const QString& plaintext);
    QByteArray encryptToByteArray(QByteArray plaintext);
    QString encryptToString(const QString& plaintext);
    QString encryptToString(QByteArray plaintext);

    QByteArray decryptToByteArray(const QString& cyphertext);
    QByteArray decryptToByteArray(QByteArray cypher);
    QString decryptToString(const QString& cyphertext);
    QString decryptToString(QByteArray cypher);

    // The largest plain size a compressed payload may claim: values are
    // short, so a larger claim is damage, not data worth allocating for.
    static constexpr int MaxUncompressedSize = 16 * 1024 * 1024;

private:
    void splitKey();
    // Inflates a payload in the compressed form (4-byte big-endian plain
    // size, zlib stream); false when the claim is implausible or the stream
    // does not yield exactly the claimed size.
    static bool uncompress(const QByteArray& payload, QByteArray* plain);

    quint64 m_key = 0;
    QVector<char> m_keyParts;
    CompressionMode m_compressionMode = CompressionAuto;
    IntegrityProtectionMode m_protectionMode = ProtectionChecksum;
    Error m_lastError = ErrorNoError;
};
