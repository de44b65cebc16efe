#include "signengine/base64.h"

#include <QRandomGenerator>
#include <QTest>

// The codec of signatures and ciphertexts, checked against Qt's own Base64 as the independent implementation.
class TestBase64 : public QObject
{
    Q_OBJECT

private slots:
    void encodingMatchesExamples_data();
    void encodingMatchesExamples();
    void encodingNeedsRoomForTheNul();
    void decodingMatchesExamples_data();
    void decodingMatchesExamples();
    void decodingRejectsWhatIsNotStrictBase64_data();
    void decodingRejectsWhatIsNotStrictBase64();
    void decodingRespectsCapacity();
    void codecRoundTripsAgainstIndependentEncoder();
};

void TestBase64::encodingMatchesExamples_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("three bytes") << QByteArray("abc") << QByteArray("YWJj");
    QTest::newRow("two bytes") << QByteArray("ab") << QByteArray("YWI=");
    QTest::newRow("one byte") << QByteArray("a") << QByteArray("YQ==");
    QTest::newRow("empty") << QByteArray() << QByteArray("");
    const QByteArray signatureSized(256, '\xA7');
    QTest::newRow("256 bytes, no line breaks") << signatureSized << signatureSized.toBase64();
}

void TestBase64::encodingMatchesExamples()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QByteArray out(expected.size() + 1, '\x55');
    int written = -7;
    QCOMPARE(base64Encode(reinterpret_cast<const unsigned char*>(input.constData()), input.size(), out.data(),
                          out.size(), &written),
             0);
    QCOMPARE(written, expected.size());
    QCOMPARE(out, expected + '\0');
}

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

void TestBase64::decodingMatchesExamples_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("three bytes") << QByteArray("YWJj") << QByteArray("abc");
    QTest::newRow("two bytes") << QByteArray("YWI=") << QByteArray("ab");
    QTest::newRow("one byte") << QByteArray("YQ==") << QByteArray("a");
    QTest::newRow("padded group in the middle") << QByteArray("YQ==YWJj") << QByteArray("aabc");
    QTest::newRow("unused bits ignored") << QByteArray("YR==") << QByteArray("a");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("whole alphabet") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
                                    << QByteArray::fromBase64(
                                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

void TestBase64::decodingMatchesExamples()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QByteArray out(64, '\0');
    int written = -7;
    QCOMPARE(base64Decode(input.constData(), input.size(), reinterpret_cast<unsigned char*>(out.data()), out.size(),
                          &written),
             0);
    QCOMPARE(out.left(written), expected);
}

void TestBase64::decodingRejectsWhatIsNotStrictBase64_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("length 3") << QByteArray("YWJ");
    QTest::newRow("trailing line feed") << QByteArray("YWJj\n");
    QTest::newRow("line feed inside a group") << QByteArray("YWJjYW\nJ");
    QTest::newRow("carriage return") << QByteArray("YWJ\r");
    QTest::newRow("space") << QByteArray("YW J");
    QTest::newRow("tab") << QByteArray("YW\tJ");
    QTest::newRow("= before data") << QByteArray("YW=j");
    QTest::newRow("= first") << QByteArray("=WJj");
    QTest::newRow("= second") << QByteArray("Y===");
    QTest::newRow("only padding") << QByteArray("====");
    QTest::newRow("url-safe alphabet") << QByteArray("YW-_");
    QTest::newRow("byte above 127") << QByteArray("YW\xC3\xA9");
    QTest::newRow("NUL") << QByteArray("YW\0J", 4);
    QTest::newRow("bad group after good ones") << QByteArray("YWJjYWJjYW*j");
    QTest::newRow("bad group between good ones") << QByteArray("YWJjYW*jYWJjYWJj");
}

void TestBase64::decodingRejectsWhatIsNotStrictBase64()
{
    QFETCH(QByteArray, input);
    unsigned char out[64];
    int written = 0;
    QCOMPARE(base64Decode(input.constData(), input.size(), out, sizeof out, &written), -1);
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
        QByteArray encoded(reference.size() + 1, '\0');
        int written = 0;
        QCOMPARE(base64Encode(reinterpret_cast<const unsigned char*>(data.constData()), length, encoded.data(),
                              encoded.size(), &written),
                 0);
        QCOMPARE(encoded.left(written), reference);
        QByteArray decoded(length, '\0');
        QCOMPARE(base64Decode(reference.constData(), reference.size(), reinterpret_cast<unsigned char*>(decoded.data()),
                              length, &written),
                 0);
        QCOMPARE(decoded.left(written), data);
    }
}

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
