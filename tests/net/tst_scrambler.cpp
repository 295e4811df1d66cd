// The credential scrambler: round trips, the byte format's promises, damage
// and hostile input.

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include "net/scrambler.h"

namespace {

QByteArray randomBytes(QRandomGenerator& rng, int n)
{
    QByteArray b(n, '\0');
    for (char& c : b)
        c = char(rng.bounded(256));
    return b;
}

QByteArray be16(quint16 v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xff);
}

// A byte form scrambled as the format defines it, for values the program
// itself never writes: random byte 'r', then the given integrity values and
// payload.
QByteArray craft(quint64 key, char flags, const QByteArray& rest)
{
    const QByteArray block = 'r' + rest;
    QByteArray out = QByteArray(1, 3) + flags;
    char last = 0;
    for (int i = 0; i < block.size(); ++i)
        out += last = char(block.at(i) ^ char(key >> (8 * (i % 8))) ^ last);
    return out;
}

QByteArray sum(const QByteArray& payload)
{
    return be16(qChecksum(payload.constData(), uint(payload.size())));
}

}  // namespace

class TestScrambler : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsEveryLength()
    {
        QRandomGenerator rng(1234);
        Scrambler s(rng.generate64());
        for (int n = 0; n <= 4096; ++n) {
            // Incompressible and compressible data in turn, so both paths run.
            const QByteArray plain = (n % 2) ? randomBytes(rng, n) : QByteArray(n, char('a' + n % 26));
            QCOMPARE(s.decryptToByteArray(s.encryptToByteArray(plain)), plain);
            QCOMPARE(s.lastError(), Scrambler::ErrorNoError);
        }
        for (const QString& text : {QString(), QStringLiteral("pässwörd ☃ 密码")}) {
            // The random byte: two values may match by chance (1 in 256), eight never all do.
            QSet<QString> values;
            for (int i = 0; i < 8; ++i)
                values << s.encryptToString(text);
            QVERIFY(values.size() > 1);
            for (const QString& once : values)
                QCOMPARE(s.decryptToString(once), text);
        }
    }

    void formatPromises()
    {
        Scrambler s(0);  // a zero key is a key
        const QByteArray empty = s.encryptToByteArray(QByteArray());
        QCOMPARE(empty.size(), 5);
        QCOMPARE(empty.left(2), QByteArray("\x03\x02"));
        QCOMPARE(s.encryptToString(QString()).size(), 8);
        QCOMPARE(s.encryptToByteArray(QByteArray(13, 'x')).at(1) & 0x01, 0);
        QCOMPARE(s.encryptToByteArray(QByteArray(200, 'x')).at(1) & 0x01, 0x01);
        QCOMPARE(s.decryptToString(s.encryptToByteArray(QByteArray("ab\0cd", 5))), QStringLiteral("ab"));

        Scrambler none;
        QVERIFY(none.encryptToByteArray(QByteArray("x")).isEmpty());
        QCOMPARE(none.lastError(), Scrambler::ErrorNoKeySet);
        QVERIFY(none.decryptToString(s.encryptToString(QStringLiteral("x"))).isEmpty());
        QCOMPARE(none.lastError(), Scrambler::ErrorNoKeySet);

        // A wrong version is named; too short keeps the previous error.
        QVERIFY(s.decryptToByteArray(QByteArray("\x07\x02\x00\x00", 4)).isEmpty());
        QCOMPARE(s.lastError(), Scrambler::ErrorUnknownVersion);
        QVERIFY(s.decryptToByteArray(QByteArray("\x03\x02", 2)).isEmpty());
        QCOMPARE(s.lastError(), Scrambler::ErrorUnknownVersion);
    }

    void damageIsDetected()
    {
        Scrambler a(0x0123456789abcdefULL);
        Scrambler b(0x0123456789abcdeeULL);
        const QByteArray plain("corporate-proxy-password");
        const QByteArray cypher = a.encryptToByteArray(plain);
        // Any one changed byte garbles at most two neighbours: the 16-bit
        // checksum always catches that.
        for (int i = 2; i < cypher.size(); ++i) {
            QByteArray damaged = cypher;
            damaged[i] = char(damaged[i] ^ 0x5a);
            QVERIFY(a.decryptToByteArray(damaged).isEmpty());
            QCOMPARE(a.lastError(), Scrambler::ErrorIntegrityFailed);
        }
        // Another key: refused, bar the rare 16-bit checksum coincidence.
        int refused = 0;
        for (int i = 0; i < 50; ++i)
            refused += b.decryptToByteArray(a.encryptToByteArray(plain)).isEmpty();
        QVERIFY(refused >= 49);
        a.setIntegrityProtectionMode(Scrambler::ProtectionHash);
        const QByteArray hashed = a.encryptToByteArray(plain);
        QCOMPARE(int(hashed.at(1)), 0x04);
        QCOMPARE(a.decryptToByteArray(hashed), plain);
        QVERIFY(b.decryptToByteArray(hashed).isEmpty());
    }

    void bothIntegrityValuesCheckedAndStripped()
    {
        const quint64 key = 0xfeedface12345678ULL;
        Scrambler s(key);
        const QByteArray payload("user:secret");
        QByteArray digest = QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
        QCOMPARE(s.decryptToByteArray(craft(key, 0x06, sum(payload) + digest + payload)), payload);
        QCOMPARE(s.lastError(), Scrambler::ErrorNoError);
        QVERIFY(s.decryptToByteArray(craft(key, 0x06, sum(payload) + digest.left(10))).isEmpty());
        QCOMPARE(s.lastError(), Scrambler::ErrorIntegrityFailed);
        digest[7] = char(digest[7] ^ 1);
        QVERIFY(s.decryptToByteArray(craft(key, 0x06, sum(payload) + digest + payload)).isEmpty());
        QCOMPARE(s.lastError(), Scrambler::ErrorIntegrityFailed);
    }

    void compressedClaimsAreBounded()
    {
        Scrambler s(42);
        const QByteArray big(1 << 20, 'a');
        const QByteArray stream = qCompress(big, 9).mid(4);
        const auto value = [&](quint32 claimed) {
            const QByteArray payload = be16(quint16(claimed >> 16)) + be16(quint16(claimed)) + stream;
            return craft(42, 0x03, sum(payload) + payload);
        };
        QCOMPARE(s.decryptToByteArray(value(quint32(big.size()))), big);  // an honest claim
        for (quint32 claimed : {100u, quint32(big.size() - 1), 0x7fffffffu, 0xffffffffu}) {
            QVERIFY(s.decryptToByteArray(value(claimed)).isEmpty());
            QCOMPARE(s.lastError(), Scrambler::ErrorIntegrityFailed);
        }
    }

    void hostileInputNeverCrashes()
    {
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        QRandomGenerator rng(99);
        Scrambler s(rng.generate64());
        QVector<QByteArray> seeds;
        for (int n : {0, 1, 13, 40, 300, 2000}) {
            for (auto mode : {Scrambler::CompressionAuto, Scrambler::CompressionAlways, Scrambler::CompressionNever}) {
                s.setCompressionMode(mode);
                seeds << s.encryptToByteArray(QByteArray(n, 'q') + randomBytes(rng, n / 4));
            }
        }
        for (int i = 0; i < 100000; ++i) {
            QByteArray input = randomBytes(rng, rng.bounded(64));
            if (i % 4 == 1 && input.size() > 1)
                input[0] = 3;
            if (i % 2 == 0) {  // a real value, mutated
                input = seeds.at(rng.bounded(seeds.size()));
                for (int m = rng.bounded(1, 4); m > 0 && !input.isEmpty(); --m) {
                    const int at = rng.bounded(input.size());
                    switch (rng.bounded(4)) {
                    case 0: input[at] = char(rng.bounded(256)); break;
                    case 1: input.remove(at, rng.bounded(1, 8)); break;
                    case 2: input.insert(at, randomBytes(rng, rng.bounded(1, 8))); break;
                    default: input[1] = char(rng.bounded(8)); break;  // any flag combination
                    }
                }
            }
            const QByteArray out = (i % 3) ? s.decryptToByteArray(input)
                                           : s.decryptToString(QString::fromLatin1(input.toBase64())).toUtf8();
            if (s.lastError() != Scrambler::ErrorNoError)
                QVERIFY(out.isEmpty());
        }
        qInstallMessageHandler(previous);
    }
};

QTEST_GUILESS_MAIN(TestScrambler)
#include "tst_scrambler.moc"
