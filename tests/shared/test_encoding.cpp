// The percent encoding, the e-mail check and MD5: the program writes what the
// server reads, so both must get the very same results.

#include "shared/uEmail.h"
#include "shared/uMd5.h"
#include "shared/uUrlEncoding.h"

#include <QString>
#include <gtest/gtest.h>

TEST(UrlEncode, KeepsOnlyLettersAndDigits) {
    const struct {
        QByteArray bytes;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"Zuvo Note", "Zuvo+Note"},
        {"a+b", "a%2Bb"},
        {"AZaz09", "AZaz09"},
        {"-_.~", "%2D%5F%2E%7E"},
        {"&=%", "%26%3D%25"},
        {"v1.0.0.1", "v1%2E0%2E0%2E1"},
        {QString("便").toUtf8(), "%E4%BE%BF"},
        {QByteArray("\x00\x7f\xff", 3), "%00%7F%FF"},
        {"<a>\r\n", "%3Ca%3E%0D%0A"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlEncode(c.bytes), QString(c.expected)) << c.bytes.toHex().constData();
        EXPECT_EQ(UrlEncodeBytes(c.bytes), QByteArray(c.expected)) << c.bytes.toHex().constData();
    }
    // Every byte value, alone and amid others, against the rule itself.
    QByteArray all;
    QByteArray expected;
    for (int b = 0; b < 256; ++b) {
        const char ch = static_cast<char>(b);
        all += ch;
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
            expected += ch;
        else if (b == ' ')
            expected += '+';
        else
            expected += '%' + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
    }
    EXPECT_EQ(UrlEncodeBytes(all), expected);
    EXPECT_EQ(UrlEncodeBytes(all + all), expected + expected);
}

TEST(IsValidEmail, TheSixRules) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"a@b.cd", true},      {"first.last-1_x@mail.example.com", true},
        {"a@b.c", false},      // domain shorter than four
        {"a@bc.d", false},     // only one character after the dot
        {"a@bcde", false},     // no dot in the domain
        {"a@.bcd", true},      // the rules ask nothing more of the dot
        {"a..b@cd.ef", false}, // two dots in the local part
        {"ab@cd..ef", false},  // two dots in the domain
        {"@bc.de", false},     // nothing before the at sign
        {"abc.de", false},     // no at sign
        {"a@b@c.de", false},   // a second at sign
        {"a b@cd.ef", false},  // blank
        {"a+b@cd.ef", false},  // plus sign
        {"中@cd.ef", false},   // not ASCII
        {"a@cd.ef.", true},    // the first dot decides
        {"a_-@c-d.e_f", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidEmail(c.text), c.valid) << c.text;
}

TEST(Md5Hex, KnownDigests) {
    const struct {
        QByteArray bytes;
        const char* expected;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Md5Hex(c.bytes), QString(c.expected)) << c.bytes.constData();
        EXPECT_EQ(Md5HexOf(c.bytes.toStdString()), std::string(c.expected)) << c.bytes.constData();
    }
}

TEST(PercentDecode, EscapesAndPlusSigns) {
    const struct {
        const char* text;
        bool plusIsSpace;
        const char* expected;
    } cases[] = {
        {"a%2Bb+c", false, "a+b+c"}, {"a%2Bb+c", true, "a+b c"}, {"%e4%BE%bf", false, "\xE4\xBE\xBF"},
        {"100%", false, "100%"},   // nothing after the sign
        {"%4", false, "%4"},       // one digit only
        {"%4g%41", false, "%4gA"}, // not hexadecimal, then a good one
        {"%%41", false, "%A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentDecode(c.text, c.plusIsSpace), std::string(c.expected)) << c.text;
}

TEST(PercentDecode, UndoesTheFormEncodingOfEveryByte) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const QByteArray twice = all + "a b+c" + all;
    const QByteArray encoded = UrlEncodeBytes(twice);
    EXPECT_EQ(PercentDecode(std::string_view(encoded.constData(), std::size_t(encoded.size())), true),
              twice.toStdString());
}
