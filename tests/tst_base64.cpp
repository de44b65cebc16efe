#include "signengine/base64.h"

#include <QRandomGenerator>
#include <QTest>

// The codec of signatures and ciphertexts, checked against Qt's own Base64 as the independent implementation.
class TestBase64 : public QObject
{
    Q_OBJECT

private slots:
    void encodingNeedsRoomForTheNul();
    void decodingAcceptsOnlyStrictBase64_data();
    void decodingAcceptsOnlyStrictBase64();
    void decodingRespectsCapacity();
    void codecRoundTripsAgainstIndependentEncoder();
};

void TestBase64::encodingNeedsRoomForTheNul()
{
    const unsigned char bytes[256] = {};
    char out[345];
    int written = -7;
    QCOMPARE(base64Encode(bytes, 3, out, 4, &written), -1);
    QCOMPARE(written, -7);
    QCOMPARE(base64Encode(bytes, 3, out, 5, &written), 0);
    QCOMPARE(base64Encode(bytes, 256, out, 344, &written), -1);
    QCOMPARE(base64Encode(bytes, 256, out, 345, &written), 0);
    QCOMPARE(written, 344);
    QCOMPARE(base64Encode(bytes, 0, out, 0, &written), -1);
    QCOMPARE(base64Encode(bytes, 3, nullptr, 5, &written), -1);
    QCOMPARE(base64Encode(bytes, -1, out, 5, &written), -1);
}

// Text that the independent encoder never writes, but that is strict Base64 all the same, and what is not.
void TestBase64::decodingAcceptsOnlyStrictBase64_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected"); // null: refused
    QTest::newRow("padded group in the middle") << QByteArray("YQ==YWJj") << QByteArray("aabc");
    QTest::newRow("unused bits ignored") << QByteArray("YR==") << QByteArray("a");
    QTest::newRow("length 3") << QByteArray("YWJ") << QByteArray();
    QTest::newRow("trailing line feed") << QByteArray("YWJj\n") << QByteArray();
    QTest::newRow("line feed inside a group") << QByteArray("YWJjYW\nJ") << QByteArray();
    QTest::newRow("carriage return") << QByteArray("YWJ\r") << QByteArray();
    QTest::newRow("space") << QByteArray("YW J") << QByteArray();
    QTest::newRow("tab") << QByteArray("YW\tJ") << QByteArray();
    QTest::newRow("= before data") << QByteArray("YW=j") << QByteArray();
    QTest::newRow("= first") << QByteArray("=WJj") << QByteArray();
    QTest::newRow("= second") << QByteArray("Y===") << QByteArray();
    QTest::newRow("only padding") << QByteArray("====") << QByteArray();
    QTest::newRow("url-safe alphabet") << QByteArray("YW-_") << QByteArray();
    QTest::newRow("byte above 127") << QByteArray("YW\xC3\xA9") << QByteArray();
    QTest::newRow("NUL") << QByteArray("YW\0J", 4) << QByteArray();
    QTest::newRow("bad group after good ones") << QByteArray("YWJjYWJjYW*j") << QByteArray();
    QTest::newRow("bad group between good ones") << QByteArray("YWJjYW*jYWJjYWJj") << QByteArray();
}

void TestBase64::decodingAcceptsOnlyStrictBase64()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QByteArray out(64, '\0');
    int written = -7;
    QCOMPARE(base64Decode(input.constData(), input.size(), reinterpret_cast<unsigned char*>(out.data()), out.size(),
                          &written),
             expected.isNull() ? -1 : 0);
    if (!expected.isNull())
        QCOMPARE(out.left(written), expected);
}

void TestBase64::decodingRespectsCapacity()
{
    unsigned char out[4];
    int written = -7;
    QCOMPARE(base64Decode("YWJj", 4, out, 2, &written), -1);
    QCOMPARE(base64Decode("YWJj", 4, out, 3, &written), 0);
    unsigned char nine[9];
    QCOMPARE(base64Decode("YWJjYWJjYWJj", 12, nine, 8, &written), -1);
    QCOMPARE(base64Decode("YWJjYWJjYWJj", 12, nine, 9, &written), 0);
    QCOMPARE(written, 9);
    QCOMPARE(base64Decode("YWI=", 4, out, 1, &written), -1);
    QCOMPARE(base64Decode("YQ==", 4, out, 1, &written), 0);
    QCOMPARE(base64Decode("YQ==", 4, out, 0, &written), -1);
    QCOMPARE(base64Decode("", 0, out, 0, &written), 0);
    QCOMPARE(written, 0);
    QCOMPARE(base64Decode("YWJj", 4, nullptr, 3, &written), -1);
}

void TestBase64::codecRoundTripsAgainstIndependentEncoder()
{
    QRandomGenerator random(20260101);
    for (int round = 0; round < 400; ++round) {
        const int length = round < 20 ? round : random.bounded(3000);
        QByteArray data(length, Qt::Uninitialized);
        for (char& c : data)
            c = static_cast<char>(random.bounded(256));
        const QByteArray reference = data.toBase64();
        // Exactly the room for the text and its NUL.
        QByteArray encoded(reference.size() + 1, '\x55');
        int written = -7;
        QCOMPARE(base64Encode(reinterpret_cast<const unsigned char*>(data.constData()), length, encoded.data(),
                              encoded.size(), &written),
                 0);
        QCOMPARE(written, reference.size());
        QCOMPARE(encoded, reference + '\0');
        QByteArray decoded(length, '\0');
        QCOMPARE(base64Decode(reference.constData(), reference.size(), reinterpret_cast<unsigned char*>(decoded.data()),
                              length, &written),
                 0);
        QCOMPARE(decoded.left(written), data);
    }
}

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
