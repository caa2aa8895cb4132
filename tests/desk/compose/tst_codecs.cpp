#include "compose/Base64.h"
#include "compose/FieldEscaping.h"
#include "compose/Windows1252.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray randomBytes(QRandomGenerator &random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

// Sprinkles the white space a transfer may add (line breaks, a CR LF at
// the end, stray blanks) between the characters of a Base64 text.
QByteArray withWhiteSpace(QRandomGenerator &random, const QByteArray &text)
{
    static const char blanks[] = {' ', '\t', '\r', '\n'};
    QByteArray spaced;
    for (const char c : text) {
        while (random.bounded(4) == 0)
            spaced += blanks[random.bounded(4)];
        spaced += c;
    }
    if (random.bounded(2))
        spaced += "\r\n";
    return spaced;
}

} // namespace

class TestCodecs : public QObject
{
    Q_OBJECT

private slots:
    // --- Windows-1252 -----------------------------------------------------

    void windows1252MatchesPythonsTable()
    {
        // Python's cp1252 codec is an independent statement of the code page.
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"), QStringLiteral("for b in range(256):\n"
                                                           "    try: print(ord(bytes([b]).decode('cp1252')))\n"
                                                           "    except UnicodeDecodeError: print(-1)\n")});
        if (!python.waitForStarted())
            QSKIP("python3 is not available");
        QVERIFY(python.waitForFinished());
        const QList<QByteArray> lines = python.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 256);
        int undefined = 0;
        for (int byte = 0; byte < 256; ++byte) {
            const int expected = lines[byte].toInt();
            if (expected < 0) {
                ++undefined;
                continue;
            }
            QCOMPARE(int(Windows1252::charOf(static_cast<unsigned char>(byte)).unicode()), expected);
            QCOMPARE(int(Windows1252::codeOf(QChar(expected))), byte);
        }
        QCOMPARE(undefined, 5);
    }

    void windows1252KeepsEveryByte()
    {
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = static_cast<char>(i);
        const QString text = Windows1252::decode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(Windows1252::encode(text), all);

        QRandomGenerator random(1252);
        for (int round = 0; round < 200; ++round) {
            const QByteArray bytes = randomBytes(random, random.bounded(300));
            QCOMPARE(Windows1252::encode(Windows1252::decode(bytes)), bytes);
        }
    }

    void windows1252EncodesOnlyItsOwnCharacters()
    {
        // Over every UTF-16 unit: exactly the 256 characters that bytes
        // decode to are held, each goes back to its own byte, and every
        // other one becomes '?'.
        int held = 0;
        for (int u = 0; u <= 0xFFFF; ++u) {
            const QChar c(static_cast<char16_t>(u));
            const unsigned char code = Windows1252::codeOf(c);
            if (Windows1252::holds(c)) {
                ++held;
                QCOMPARE(Windows1252::charOf(code), c);
            } else {
                QCOMPARE(code, static_cast<unsigned char>('?'));
            }
        }
        QCOMPARE(held, 256);
    }

    void windows1252MissingCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addRow("greek omega") << QStringLiteral("a\u03A9b") << QByteArray("a?b");
        QTest::addRow("cyrillic") << QStringLiteral("\u0416") << QByteArray("?");
        QTest::addRow("emoji, a surrogate pair") << QStringLiteral("\U0001F600") << QByteArray("??");
        QTest::addRow("latin-1 letters stay") << QStringLiteral("\u00E9\u00FF") << QByteArray("\xE9\xFF");
        QTest::addRow("euro and trade mark") << QStringLiteral("\u20AC\u2122") << QByteArray("\x80\x99");
    }
    void windows1252MissingCharacters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Windows1252::encode(text), bytes);
    }

    // --- Field escaping ---------------------------------------------------

    void convertToASCII_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("codes");
        QTest::addRow("example") << QStringLiteral("Hi, A!") << QStringLiteral("72 105 44 32 65 33");
        QTest::addRow("empty") << QString() << QString();
        QTest::addRow("one character") << QStringLiteral("A") << QStringLiteral("65");
        QTest::addRow("lower case is not raised") << QStringLiteral("a") << QStringLiteral("97");
        QTest::addRow("CR LF") << QStringLiteral("\r\n") << QStringLiteral("13 10");
        QTest::addRow("spaces are characters") << QStringLiteral(" a ") << QStringLiteral("32 97 32");
        QTest::addRow("NUL") << QString(QChar(0)) << QStringLiteral("0");
        QTest::addRow("euro sign") << QStringLiteral("\u20AC") << QStringLiteral("128");
        QTest::addRow("y diaeresis") << QStringLiteral("\u00FF") << QStringLiteral("255");
        QTest::addRow("outside the code page") << QStringLiteral("x\u03A9") << QStringLiteral("120 63");
    }
    void convertToASCII()
    {
        QFETCH(QString, text);
        QFETCH(QString, codes);
        QCOMPARE(ConvertToASCII(text), codes);
    }

    void decodeFromASCII_data()
    {
        QTest::addColumn<QString>("codes");
        QTest::addColumn<QString>("text");
        QTest::addRow("example") << QStringLiteral("72 105 44 32 65 33") << QStringLiteral("Hi, A!");
        QTest::addRow("empty") << QString() << QString();
        QTest::addRow("one code") << QStringLiteral("65") << QStringLiteral("A");
        QTest::addRow("CR LF") << QStringLiteral("13 10") << QStringLiteral("\r\n");
        QTest::addRow("doubled spaces") << QStringLiteral("72  105   33") << QStringLiteral("Hi!");
        QTest::addRow("leading and trailing spaces") << QStringLiteral(" 72 105 ") << QStringLiteral("Hi");
        QTest::addRow("only spaces") << QStringLiteral("   ") << QString();
        QTest::addRow("record end on the last token") << QStringLiteral("66 67\r\n\r\n") << QStringLiteral("BC");
        QTest::addRow("tab around a token") << QStringLiteral("\t65\t 66") << QStringLiteral("AB");
        QTest::addRow("line break between two numbers skipped whole")
            << QStringLiteral("65 66\r\n67 68") << QStringLiteral("AD");
        QTest::addRow("0 and 255") << QStringLiteral("0 255") << QString(QChar(0)) + QChar(0xFF);
        QTest::addRow("high codes are Windows-1252") << QStringLiteral("128 153") << QStringLiteral("\u20AC\u2122");
        QTest::addRow("leading zeros") << QStringLiteral("065 0066 000000000000000000067") << QStringLiteral("ABC");
        QTest::addRow("zeros only") << QStringLiteral("000 65") << QString(QChar(0)) + u'A';
        QTest::addRow("256 skipped") << QStringLiteral("65 256 66") << QStringLiteral("AB");
        QTest::addRow("0256 skipped") << QStringLiteral("65 0256 66") << QStringLiteral("AB");
        QTest::addRow("1000 skipped") << QStringLiteral("65 1000 66") << QStringLiteral("AB");
        QTest::addRow("huge number skipped") << QStringLiteral("65 99999999999999999999999 66") << QStringLiteral("AB");
        QTest::addRow("65601 does not wrap to A") << QStringLiteral("65601 66") << QStringLiteral("B");
        QTest::addRow("minus sign") << QStringLiteral("-65 66") << QStringLiteral("B");
        QTest::addRow("minus zero") << QStringLiteral("-0 66") << QStringLiteral("B");
        QTest::addRow("plus sign") << QStringLiteral("+65 66") << QStringLiteral("B");
        QTest::addRow("fraction") << QStringLiteral("65.0 66") << QStringLiteral("B");
        QTest::addRow("decimal comma") << QStringLiteral("6,5 66") << QStringLiteral("B");
        QTest::addRow("exponent") << QStringLiteral("6e1 66") << QStringLiteral("B");
        QTest::addRow("hexadecimal") << QStringLiteral("0x41 &H41 66") << QStringLiteral("B");
        QTest::addRow("letters") << QStringLiteral("abc 66") << QStringLiteral("B");
        QTest::addRow("digits with a letter") << QStringLiteral("65a 66") << QStringLiteral("B");
        QTest::addRow("arabic-indic digits") << QStringLiteral("\u0666\u0665 66") << QStringLiteral("B");
        QTest::addRow("full-width digits") << QStringLiteral("\uFF16\uFF15 66") << QStringLiteral("B");
        QTest::addRow("two tokens in a tab") << QStringLiteral("65\t66 67") << QStringLiteral("C");
    }
    void decodeFromASCII()
    {
        QFETCH(QString, codes);
        QFETCH(QString, text);
        QCOMPARE(DecodeFromASCII(codes), text);
    }

    void escapingRoundTrips()
    {
        QRandomGenerator random(3232);
        QList<qsizetype> sizes;
        for (int i = 0; i < 100; ++i)
            sizes << random.bounded(200);
        sizes << 32766 << 32767 << 40000;
        for (const qsizetype size : sizes) {
            const QString text = Windows1252::decode(randomBytes(random, size));
            const QString codes = ConvertToASCII(text);
            // One plain decimal code per character, single spaces between.
            const QStringList tokens = codes.isEmpty() ? QStringList() : codes.split(u' ');
            QCOMPARE(tokens.size(), size);
            for (const QString &token : tokens) {
                bool number = false;
                const int code = token.toInt(&number);
                QVERIFY2(number && code >= 0 && code <= 255 && token == QString::number(code), qPrintable(token));
            }
            QCOMPARE(DecodeFromASCII(codes), text);
        }
    }

    void escapingReplacesMissingCharacters()
    {
        const QString text = QStringLiteral("\u03A9\u0416 ok");
        QCOMPARE(DecodeFromASCII(ConvertToASCII(text)), QStringLiteral("?? ok"));
    }

    // --- Base64 -----------------------------------------------------------

    void base64Vectors_data()
    {
        // RFC 4648, section 10, and the example "abc".
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::addRow("empty") << QByteArray() << QByteArray();
        QTest::addRow("f") << QByteArray("f") << QByteArray("Zg==");
        QTest::addRow("fo") << QByteArray("fo") << QByteArray("Zm8=");
        QTest::addRow("foo") << QByteArray("foo") << QByteArray("Zm9v");
        QTest::addRow("foob") << QByteArray("foob") << QByteArray("Zm9vYg==");
        QTest::addRow("fooba") << QByteArray("fooba") << QByteArray("Zm9vYmE=");
        QTest::addRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
        QTest::addRow("abc") << QByteArray("abc") << QByteArray("YWJj");
        QTest::addRow("plus and slash") << QByteArray("\xFB\xFF\xBF") << QByteArray("+/+/");
        QTest::addRow("zero bytes") << QByteArray(4, '\0') << QByteArray("AAAAAA==");
    }
    void base64Vectors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        QCOMPARE(Base64::encode(bytes), text);
        QCOMPARE(Base64Encode(bytes), QString::fromLatin1(text));
        const Result<QByteArray> decoded = Base64::decode(text);
        QVERIFY2(decoded, qPrintable(decoded.error()));
        QCOMPARE(*decoded, bytes);
    }

    void base64IgnoresWhiteSpace_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addRow("LF line breaks, CR LF at the end") << QByteArray("Zm9v\nYmFy\nYWJj\r\n") << QByteArray("foobarabc");
        QTest::addRow("blanks and tabs everywhere") << QByteArray(" Z m\t9 v ") << QByteArray("foo");
        QTest::addRow("inside the padding") << QByteArray("Zg=\n=") << QByteArray("f");
        QTest::addRow("after the padding") << QByteArray("Zm8=\r\n\r\n  ") << QByteArray("fo");
        QTest::addRow("white space only") << QByteArray(" \r\n\t") << QByteArray();
    }
    void base64IgnoresWhiteSpace()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        const auto decoded = Base64::decode(text);
        QVERIFY(decoded);
        QCOMPARE(*decoded, bytes);
    }

    void base64Refusals_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addRow("bad character") << QByteArray("Zm9v!mFy");
        QTest::addRow("url-safe alphabet") << QByteArray("Zm-_");
        QTest::addRow("NUL byte") << QByteArray("Zm9v\0YmFy", 9);
        QTest::addRow("high byte") << QByteArray("Zm9v\xC3\xA9");
        QTest::addRow("form feed is not our white space") << QByteArray("Zm9v\fYmFy");
        QTest::addRow("= first") << QByteArray("=Zm9");
        QTest::addRow("= second") << QByteArray("Z=m9");
        QTest::addRow("= alone") << QByteArray("=");
        QTest::addRow("= after a whole group") << QByteArray("Zm9v=");
        QTest::addRow("three =") << QByteArray("Zg===");
        QTest::addRow("one character, then =") << QByteArray("Z===");
        QTest::addRow("data after ==") << QByteArray("Zg==Zm9v");
        QTest::addRow("data after =") << QByteArray("Zm8=Zm9v");
        QTest::addRow("letter between =") << QByteArray("Zg=A=");
        QTest::addRow("one character") << QByteArray("Z");
        QTest::addRow("truncated group") << QByteArray("Zm9vYmF");
        QTest::addRow("missing padding") << QByteArray("Zm8");
        QTest::addRow("half the padding") << QByteArray("Zg=");
    }
    void base64Refusals()
    {
        QFETCH(QByteArray, text);
        const Result<QByteArray> decoded = Base64::decode(text);
        QVERIFY(!decoded);
        QVERIFY(!decoded.error().isEmpty());
        QVERIFY(decoded->isEmpty());
        const Result<QString> asText = Base64Decode(QString::fromLatin1(text));
        QVERIFY(!asText);
        QCOMPARE(asText.error(), decoded.error());
    }

    // The refusal names the character where the text went wrong, counted
    // over every piece fed, wherever the groups before it were read.
    void base64RefusalSaysWhere_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("position");
        QTest::addRow("first character") << QList<QByteArray>{"!m9v"} << 1;
        QTest::addRow("after whole groups") << QList<QByteArray>{"Zm9vYmFyZm9v!"} << 13;
        QTest::addRow("inside a group after whole groups") << QList<QByteArray>{"Zm9vYmFyZm!v"} << 11;
        QTest::addRow("after a line break") << QList<QByteArray>{"Zm9v\nYmFy\r\nZ-9v"} << 13;
        QTest::addRow("in a later piece") << QList<QByteArray>{"Zm9vYm", "FyZm9v", "YmF.y"} << 16;
        QTest::addRow("after the end mark") << QList<QByteArray>{"Zm9vYmFyZg==", "Zm9v"} << 13;
    }
    void base64RefusalSaysWhere()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, position);
        Base64::Decoder decoder;
        QByteArray bytes;
        Outcome fed;
        for (const QByteArray &piece : pieces)
            if (fed)
                fed = decoder.feed(piece, bytes);
        QVERIFY(!fed);
        QVERIFY2(fed.error().contains(QStringLiteral("character %1").arg(position)), qPrintable(fed.error()));
    }

    void base64DecodeRefusesCharactersBeyondLatin1()
    {
        QVERIFY(!Base64Decode(QStringLiteral("Zm9v\u0100")));
        QVERIFY(!Base64Decode(QStringLiteral("Zm9v\u20AC")));
    }

    void base64RoundTrips()
    {
        QRandomGenerator random(6464);
        QList<qsizetype> sizes;
        for (qsizetype size = 0; size <= 64; ++size)
            sizes << size;
        sizes << 1000 << 65535 << 65536 << 1'000'001 << 3 * 1024 * 1024 + 2;
        for (const qsizetype size : sizes) {
            const QByteArray bytes = randomBytes(random, size);
            const QByteArray text = Base64::encode(bytes);
            QCOMPARE(text, bytes.toBase64());
            const auto plain = Base64::decode(text);
            QVERIFY(plain);
            QCOMPARE(*plain, bytes);
            const QByteArray spaced = withWhiteSpace(random, text);
            const auto decoded = Base64::decode(spaced);
            QVERIFY2(decoded, qPrintable(QStringLiteral("size %1").arg(size)));
            QCOMPARE(*decoded, bytes);
        }
    }

    // Wide steps take 24 bytes at a time and read a little beyond them:
    // every start offset and every length around a step's edge must give
    // the same text as Qt's encoder, with nothing read past the input's end.
    void base64EncodesAnySliceAlike()
    {
        QRandomGenerator random(2424);
        const QByteArray bytes = randomBytes(random, 4096);
        for (qsizetype offset = 0; offset < 33; ++offset) {
            for (qsizetype size = 0; size < 130; ++size) {
                // A copy of exactly `size` bytes, so a sanitizer sees any read past its end.
                const QByteArray slice = bytes.mid(offset, size);
                QCOMPARE(Base64::encode(slice), slice.toBase64());
            }
        }
        const QByteArray large = bytes.repeated(700).mid(7, 2'000'003);
        QCOMPARE(Base64::encode(large), large.toBase64());
    }

    void base64TextLayerKeepsHighBytes()
    {
        // Bytes 128-255 become their Windows-1252 characters, and encoding
        // that text's bytes again gives the same Base64.
        QByteArray high;
        for (int i = 128; i < 256; ++i)
            high += static_cast<char>(i);
        const QString base64 = QString::fromLatin1(high.toBase64());
        const auto text = Base64Decode(base64);
        QVERIFY(text);
        QCOMPARE(text->size(), 128);
        QCOMPARE(text->at(0), QChar(0x20AC));
        QCOMPARE(text->at(127), QChar(0xFF));
        QCOMPARE(Base64Encode(Windows1252::encode(*text)), base64);
    }

    void decoderInPieces()
    {
        QRandomGenerator random(4444);
        for (int round = 0; round < 300; ++round) {
            const QByteArray bytes = randomBytes(random, random.bounded(400));
            QByteArray text = withWhiteSpace(random, bytes.toBase64());
            const bool spoil = round % 3 == 0 && !text.isEmpty();
            if (spoil) {
                // A character that no Base64 text holds, or a cut-off end.
                if (round % 2)
                    text[random.bounded(text.size())] = '*';
                else
                    text.append("QQ");
            }
            const auto whole = Base64::decode(text);
            QCOMPARE(bool(whole), !spoil);

            Base64::Decoder decoder;
            QByteArray streamed;
            Outcome decoded;
            for (qsizetype at = 0; at < text.size() && decoded;) {
                const qsizetype piece = std::min<qsizetype>(random.bounded(9), text.size() - at);
                decoded = decoder.feed(QByteArrayView(text).sliced(at, piece), streamed);
                at += piece;
            }
            if (decoded)
                decoded = decoder.finish();
            QCOMPARE(decoded.ok(), !spoil);
            if (decoded)
                QCOMPARE(streamed, *whole);
            else
                QCOMPARE(decoded.error(), whole.error());
        }
    }

    void decoderStaysFailed()
    {
        Base64::Decoder decoder;
        QByteArray out;
        const Outcome first = decoder.feed("Zm*v", out);
        QVERIFY(!first);
        // The same reason every time, not one made up for the later call.
        QCOMPARE(decoder.feed("Zm9v", out).error(), first.error());
        QCOMPARE(decoder.finish().error(), first.error());
        QVERIFY(!out.contains("foo"));
    }
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
