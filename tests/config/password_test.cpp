#include "config/base64.h"
#include "config/credentials.h"
#include "config/password.h"
#include "config/password_internal.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QSet>

#include <array>

namespace {

const QString kUnreadable = QStringLiteral("???");

std::array<std::uint8_t, PasswordSeedSize> SeedFromHex(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::array<std::uint8_t, PasswordSeedSize> seed{};
    EXPECT_EQ(bytes.size(), qsizetype(seed.size()));
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), seed.size()), seed.begin());
    return seed;
}

QByteArray Decoded(const QString& stored)
{
    const TSecretBytes bytes = Base64Decode(stored);
    return QByteArray(reinterpret_cast<const char*>(bytes.Data()), qsizetype(bytes.Size()));
}

QString Encoded(const QByteArray& bytes)
{
    return Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), std::size_t(bytes.size()));
}

struct TStoredAnswer {
    const char* PassPhrase;
    const char* Seed;
    const char16_t* Password;
    const char* Stored;
};

const TStoredAnswer kStoredAnswers[] = {
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "000102030405060708090a0b0c0d0e0f", u"",
     "AAECAwQFBgcICQoLDA0ODwYXgOcWocTUHhw5RxjiktQ="},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5", u"a",
     "paWlpaWlpaWlpaWlpaWlpTDIwCBG/EU1sDkeFB2bQ7o/0w=="},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0", u"geheim12",
     "//79/Pv6+fj39vX08/Lx8JrTN5Cdzk8Fk0Z/TsgYEqpFdPFijdY7kE0d7ZTCfmVx"},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "000102030405060708090a0b0c0d0e0f", u"geheim123",
     "AAECAwQFBgcICQoLDA0OD8OR3nU3k85NpATqJHR3+pgqB7U9wkHaedIdWJYCWpjFAAM="},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5", u"Kennwort mit Leerzeichen",
     "paWlpaWlpaWlpaWlpaWlpQP4P5yR67IkhB8AZ1vcZSGxXoDNtFwHZHTUOGv4fIa4zjU6A5r1n8/"
     "8b+LFmfv9eNpqz61Am+VPAHCFpy4AnIE="},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0", u"Gr\u00fc\u00dfe aus K\u00f6ln",
     "//79/Pv6+fj39vX08/Lx8INeEaYzqTX2q2H6pLP5uEDSptVFKnHaKpLe6cRay1dWwo21KG7hx+FYdh/k"},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "000102030405060708090a0b0c0d0e0f", u"xxxxxxx",
     "AAECAwQFBgcICQoLDA0OD37DAnWUTLiojemX2s1dyfC1NfiIan+wFaE+4LC1hg=="},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5", u"\U0001D11E",
     "paWlpaWlpaWlpaWlpaWlpWW95lAHWEmjlycHiVeMf8D/GeOC"},
    {"K7mQ2xV9pL4tR8wZ3nB6cY1dF5h", "fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0", u"ppppppppppppppppq",
     "//79/Pv6+fj39vX08/Lx8Dc00sOfPc9k7n4IvJrtE5HXDuYtuj9ck6B4xV6ChT7MsRNvmPa+uw6sAitUKn4hlM1O"},
    {"OtherPhrase", "000102030405060708090a0b0c0d0e0f", u"geheim12",
     "AAECAwQFBgcICQoLDA0ODwiRzRuWok4A6HWeJHvoC4Jf2cVczIkR9s00Cd2UJAl4"},
};

TEST(Credentials, BuiltInValuesHaveTheirFixedForm)
{
    EXPECT_EQ(BuiltInPassPhrase(), QStringLiteral("K7mQ2xV9pL4tR8wZ3nB6cY1dF5h"));
    const QString key = GetDatabaseKey();
    EXPECT_EQ(key.size(), 12);
    EXPECT_TRUE(key.endsWith(u'!'));
    EXPECT_EQ(std::count_if(key.begin(), key.end(), [](QChar c) { return c.isDigit(); }), 1);
    EXPECT_EQ(GetAccdbPassword(), key);
    const QString mdbPassword = GetMdbPassword();
    EXPECT_EQ(mdbPassword.size(), 6);
    EXPECT_TRUE(
        std::all_of(mdbPassword.begin(), mdbPassword.end(), [](QChar c) { return c >= u'a' && c <= u'z'; }));
    EXPECT_EQ(AccessUserName(), QStringLiteral("Administrator"));
}

TEST(Password, KnownAnswersEncryptAndDecrypt)
{
    for (const TStoredAnswer& answer : kStoredAnswers) {
        const QString phrase = QString::fromLatin1(answer.PassPhrase);
        const QString password = QString::fromUtf16(answer.Password);
        const QString stored = QString::fromLatin1(answer.Stored);
        SCOPED_TRACE(answer.Stored);
        EXPECT_EQ(EncryptPasswordWithSeed(password, phrase, SeedFromHex(answer.Seed)), stored);
        EXPECT_EQ(DecryptPassword(stored, phrase), password);
        // The built-in phrase is the one an empty argument selects; any other phrase cannot read the value.
        const bool builtIn = phrase == BuiltInPassPhrase();
        EXPECT_EQ(DecryptPassword(stored, QString()), builtIn ? password : kUnreadable);
        EXPECT_EQ(DecryptPassword(stored, builtIn ? QStringLiteral("OtherPhrase") : BuiltInPassPhrase()),
                  kUnreadable);
    }
}

TEST(Password, KeyDerivationKnownAnswers)
{
    const struct {
        const char* Seed;
        const char* Key;
    } cases[] = {
        {"000102030405060708090a0b0c0d0e0f",
         "7c514f64b1f834f6aed51b87c15af6079e53e22bd9f91a08796b8e0f74a34cfd"},
        {"a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5",
         "42bc32038de74bec0cd99577c850a87c886161a2f5403248069ec1f0979fd615"},
    };
    QByteArray phraseBytes;
    for (QChar c : BuiltInPassPhrase())
        phraseBytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    for (const auto& c : cases) {
        std::array<std::uint8_t, PasswordKeySize> key{};
        DeriveKey(std::span(reinterpret_cast<const std::uint8_t*>(phraseBytes.data()),
                            std::size_t(phraseBytes.size())),
                  SeedFromHex(c.Seed), key);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(key.data()), key.size()).toHex(),
                  QByteArray(c.Key))
            << c.Seed;
    }
}

TEST(Password, RoundTripsAndStoredLength)
{
    // Lengths around the 8-code-unit block: CFB-8 only, one whole block, block plus CFB-8 bytes.
    const QString texts[] = {
        QString(),
        QStringLiteral("x"),
        QStringLiteral("1234567"),
        QStringLiteral("12345678"),
        QStringLiteral("123456789"),
        QStringLiteral("123456789012345"),
        QStringLiteral("1234567890123456"),
        QStringLiteral("12345678901234567"),
        QString::fromUtf16(u"\u00c4rger \u00fcber \u00d6l und Stra\u00dfe"),
        QString::fromUtf16(u"Noten \U0001D11E und \U0001F600"),
        QString(QChar(0xD800)) + QStringLiteral("lone surrogate"),
        QString(300, QChar(u'\u20ac')),
    };
    for (const QString& text : texts) {
        const QString stored = EncryptPassword(text, QString());
        EXPECT_EQ(stored.size(), 4 * ((32 + 2 * text.size() + 2) / 3)) << text.toStdString();
        EXPECT_EQ(DecryptPassword(stored, QString()), text) << text.toStdString();
        const QString withPhrase = EncryptPassword(text, QStringLiteral("Ein anderes Kennwort \u00df"));
        EXPECT_EQ(DecryptPassword(withPhrase, QStringLiteral("Ein anderes Kennwort \u00df")), text);
    }
    EXPECT_EQ(EncryptPassword(QString(), QString()).size(), 44);
    EXPECT_EQ(EncryptPassword(QStringLiteral("a"), QString()).size(), 48);
    EXPECT_EQ(EncryptPassword(QStringLiteral("geheim12"), QString()).size(), 64);
}

TEST(Password, EveryEncryptionDrawsANewSeed)
{
    QSet<QString> values;
    QSet<QByteArray> seeds;
    for (int i = 0; i < 50; ++i) {
        const QString stored = EncryptPassword(QStringLiteral("geheim"), QString());
        EXPECT_EQ(DecryptPassword(stored, QString()), QStringLiteral("geheim"));
        values.insert(stored);
        seeds.insert(Decoded(stored).left(16));
    }
    EXPECT_EQ(values.size(), 50);
    EXPECT_EQ(seeds.size(), 50);
}

TEST(Password, ChangedBytesAndLengthsAreUnreadable)
{
    // The check value covers the seed (through the key), the length and the last 16 cipher bytes:
    // CBC leaves only the last block in the register and CFB-8 shifts the oldest bytes out. Up to 8
    // code units that is every byte; beyond, an earlier cipher byte changed gives a garbled text.
    for (int units : {0, 1, 7, 8, 9, 12, 24}) {
        const QString password = QString(units, QChar(u'k'));
        const QByteArray bytes = Decoded(EncryptPassword(password, QString()));
        const qsizetype cipherSize = 2 * units;
        ASSERT_EQ(bytes.size(), 32 + cipherSize);
        const qsizetype coveredFrom = 16 + std::max<qsizetype>(0, cipherSize - 16);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            for (char flip : {char(0x01), char(0x80)}) {
                QByteArray changed = bytes;
                changed[i] = char(changed[i] ^ flip);
                const QString result = DecryptPassword(Encoded(changed), QString());
                if (i < 16 || i >= coveredFrom)
                    EXPECT_EQ(result, kUnreadable) << units << " units, byte " << i;
                else
                    EXPECT_NE(result, password) << units << " units, byte " << i;
            }
        for (const QByteArray& changed :
             {bytes.chopped(1), bytes.chopped(2), bytes + '\0', bytes + "AB", bytes.left(31), bytes.mid(1)})
            EXPECT_EQ(DecryptPassword(Encoded(changed), QString()), kUnreadable)
                << units << " units, " << changed.size() << " bytes";
    }
}

TEST(Password, CharactersOutsideTheAlphabetAreSkipped)
{
    const QString stored = EncryptPassword(QStringLiteral("geheim12"), QString());
    ASSERT_FALSE(stored.contains(u'='));
    QString spread;
    for (qsizetype i = 0; i < stored.size(); ++i)
        spread += stored[i] + QString::fromUtf16(i % 3 == 0 ? u" " : i % 3 == 1 ? u"\r\n" : u"\t\u00e4-");
    EXPECT_EQ(DecryptPassword(spread, QString()), QStringLiteral("geheim12"));
    EXPECT_EQ(DecryptPassword(QStringLiteral("  ") + stored + QStringLiteral("\n"), QString()),
              QStringLiteral("geheim12"));
    // "=" ends the input: what follows is not read.
    EXPECT_EQ(DecryptPassword(stored + QStringLiteral("=QUJD"), QString()), QStringLiteral("geheim12"));
}

TEST(Password, GarbageIsUnreadableAndNeverRaises)
{
    const QString garbage[] = {
        QString(),
        QStringLiteral("="),
        QStringLiteral("???"),
        QStringLiteral("geheim12"),
        QString(43, u'A'),
        QString(44, u'A'),
        QString(4000, u'/'),
        QStringLiteral("====AAAA"),
        QString(QChar(0xDC00)) + QString::fromUtf16(u"\U0001F600\u00ff\u0141"),
        QString(64, QChar(0)),
    };
    for (const QString& text : garbage) {
        EXPECT_NO_THROW(EXPECT_EQ(DecryptPassword(text, QString()), kUnreadable));
        EXPECT_NO_THROW(EXPECT_EQ(DecryptPassword(text, QStringLiteral("x")), kUnreadable));
    }
}

TEST(Base64, EncodesAndDecodesLeniently)
{
    const struct {
        const char16_t* Text;
        const char* Bytes;
    } decodeCases[] = {
        {u"", ""},
        {u"Q", ""},
        {u"QQ", "A"},
        {u"QUI", "AB"},
        {u"QUJD", "ABC"},
        {u"QQ==", "A"},
        {u"QUI=", "AB"},
        {u"QQ==QUJD", "A"},
        {u"Q U\nJ\tD", "ABC"},
        {u"QU\u00e4JD", "ABC"},
        {u"QUJDQ", "ABC"},
        {u"QUJDRA", "ABCD"},
        {u"=QUJD", ""},
    };
    for (const auto& c : decodeCases)
        EXPECT_EQ(Decoded(QString::fromUtf16(c.Text)), QByteArray(c.Bytes))
            << QString::fromUtf16(c.Text).toStdString();

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    for (qsizetype size : {0, 1, 2, 3, 4, 5, 256}) {
        const QByteArray bytes = all.left(size);
        EXPECT_EQ(Encoded(bytes), QString::fromLatin1(bytes.toBase64())) << size;
        EXPECT_EQ(Decoded(Encoded(bytes)), bytes) << size;
    }
}

} // namespace
