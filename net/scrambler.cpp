#include "net/scrambler.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtDebug>

#include <zlib.h>

namespace {

constexpr char Version = 3;
constexpr char FlagCompressed = 0x01;
constexpr char FlagChecksum = 0x02;
constexpr char FlagHash = 0x04;
constexpr int DigestSize = 20;
// Deflate cannot expand a stream by more than about 1032 to 1.
constexpr qint64 MaxInflateRatio = 1032;

quint16 checksum(const QByteArray& data)
{
    return qChecksum(data.constData(), uint(data.size()));
}

QByteArray sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

QByteArray bigEndian16(quint16 v)
{
    QByteArray out(2, '\0');
    out[0] = char(v >> 8);
    out[1] = char(v & 0xff);
    return out;
}

}  // namespace

Scrambler::Scrambler() = default;

Scrambler::Scrambler(quint64 key) : m_key(key)
{
    splitKey();
}

void Scrambler::setKey(quint64 key)
{
    m_key = key;
    splitKey();
}

void Scrambler::splitKey()
{
    m_keyParts.clear();
    m_keyParts.resize(8);
    for (int i = 0; i < 8; ++i)
        m_keyParts[i] = char((m_key >> (8 * i)) & 0xff);
}

QByteArray Scrambler::encryptToByteArray(const QString& plaintext)
{
    return encryptToByteArray(plaintext.toUtf8());
}

QByteArray Scrambler::encryptToByteArray(QByteArray plaintext)
{
    if (m_keyParts.isEmpty()) {
        qWarning() << "No key set.";
        m_lastError = ErrorNoKeySet;
        return QByteArray();
    }

    QByteArray payload = plaintext;
    char flags = 0;
    if (m_compressionMode == CompressionAlways) {
        payload = qCompress(payload, 9);
        flags |= FlagCompressed;
    } else if (m_compressionMode == CompressionAuto) {
        const QByteArray compressed = qCompress(payload, 9);
        if (compressed.size() < payload.size()) {
            payload = compressed;
            flags |= FlagCompressed;
        }
    }

    QByteArray integrity;
    if (m_protectionMode == ProtectionChecksum) {
        integrity = bigEndian16(checksum(payload));
        flags |= FlagChecksum;
    } else if (m_protectionMode == ProtectionHash) {
        integrity = sha1(payload);
        flags |= FlagHash;
    }

    const char randomByte = char(QRandomGenerator::system()->generate() & 0xff);
    QByteArray block;
    block.reserve(1 + integrity.size() + payload.size());
    block.append(randomByte).append(integrity).append(payload);

    char last = 0;
    for (int i = 0; i < block.size(); ++i) {
        block[i] = char(block[i] ^ m_keyParts.at(i % 8) ^ last);
        last = block[i];
    }

    QByteArray result;
    result.reserve(2 + block.size());
    result.append(Version).append(flags).append(block);
    m_lastError = ErrorNoError;
    return result;
}

QString Scrambler::encryptToString(const QString& plaintext)
{
    return encryptToString(plaintext.toUtf8());
}

QString Scrambler::encryptToString(QByteArray plaintext)
{
    return QString::fromLatin1(encryptToByteArray(plaintext).toBase64());
}

QByteArray Scrambler::decryptToByteArray(const QString& cyphertext)
{
    return decryptToByteArray(QByteArray::fromBase64(cyphertext.toLatin1()));
}

QByteArray Scrambler::decryptToByteArray(QByteArray cypher)
{
    if (m_keyParts.isEmpty()) {
        qWarning() << "No key set.";
        m_lastError = ErrorNoKeySet;
        return QByteArray();
    }
    if (cypher.size() < 3)
        return QByteArray();
    if (cypher.at(0) != Version) {
        m_lastError = ErrorUnknownVersion;
        qWarning() << "Invalid version or not a ciphertext.";
        return QByteArray();
    }

    const char flags = cypher.at(1);
    QByteArray block = cypher.mid(2);
    char last = 0;
    for (int i = 0; i < block.size(); ++i) {
        const char current = block.at(i);
        block[i] = char(current ^ last ^ m_keyParts.at(i % 8));
        last = current;
    }
    block.remove(0, 1);  // the random byte

    // A value may carry both integrity values (checksum first); each covers
    // the payload and each is checked and removed.
    int integritySize = 0;
    if (flags & FlagChecksum)
        integritySize += 2;
    if (flags & FlagHash)
        integritySize += DigestSize;
    if (block.size() < integritySize) {
        m_lastError = ErrorIntegrityFailed;
        return QByteArray();
    }
    QByteArray payload = block.mid(integritySize);
    int at = 0;
    if (flags & FlagChecksum) {
        const quint16 stored = quint16((quint8(block.at(0)) << 8) | quint8(block.at(1)));
        at = 2;
        if (stored != checksum(payload)) {
            m_lastError = ErrorIntegrityFailed;
            return QByteArray();
        }
    }
    if ((flags & FlagHash) && block.mid(at, DigestSize) != sha1(payload)) {
        m_lastError = ErrorIntegrityFailed;
        return QByteArray();
    }

    if (flags & FlagCompressed) {
        QByteArray plain;
        if (!uncompress(payload, &plain)) {
            // A payload that passed its check but does not inflate is
            // damage too: say so rather than return an empty value as good.
            m_lastError = ErrorIntegrityFailed;
            return QByteArray();
        }
        payload = plain;
    }

    m_lastError = ErrorNoError;
    return payload;
}

bool Scrambler::uncompress(const QByteArray& payload, QByteArray* plain)
{
    if (payload.size() < 4)
        return false;
    const quint32 claimed = (quint32(quint8(payload.at(0))) << 24) | (quint32(quint8(payload.at(1))) << 16) |
                            (quint32(quint8(payload.at(2))) << 8) | quint32(quint8(payload.at(3)));
    const qint64 stream = payload.size() - 4;
    if (claimed == 0) {
        plain->clear();
        return true;
    }
    if (claimed > quint32(MaxUncompressedSize) || qint64(claimed) > stream * MaxInflateRatio)
        return false;
    plain->resize(int(claimed));
    uLongf produced = claimed;
    // The buffer holds exactly the claimed size: a stream that would yield
    // more fails here instead of growing the buffer.
    const int rc = ::uncompress(reinterpret_cast<Bytef*>(plain->data()), &produced,
                                reinterpret_cast<const Bytef*>(payload.constData()) + 4, uLong(stream));
    return rc == Z_OK && produced == claimed;
}

QString Scrambler::decryptToString(const QString& cyphertext)
{
    return decryptToString(QByteArray::fromBase64(cyphertext.toLatin1()));
}

QString Scrambler::decryptToString(QByteArray cypher)
{
    const QByteArray plain = decryptToByteArray(cypher);
    const int nul = plain.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? plain : plain.left(nul));
}
