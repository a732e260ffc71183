// INI files as the program and the server read them.

#include "shared/uIniFile.h"

#include <QString>
#include <gtest/gtest.h>

TEST(IniFile, ValuesAreOneLineOfAtMost2047CharactersInEitherEncoding) {
    const QString longValue(3000, QLatin1Char('x'));
    QString text = QStringLiteral("[s]\nlong=%1\nzh=便签\n").arg(longValue);
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    utf16.append('\x41'); // an odd trailing byte
    for (const QByteArray& bytes : {text.toUtf8(), utf16, QByteArray("\xEF\xBB\xBF") + text.toUtf8()}) {
        const TIniFile ini = TIniFile::fromBytes(bytes);
        EXPECT_EQ(ini.ReadString("S", "LONG", {}).size(), 2047);
        EXPECT_EQ(ini.ReadString("s", "zh", {}), QStringLiteral("便签"));
    }
}

TEST(IniFile, Utf16FilesAreWrittenBackAsUtf16) {
    QString text = QStringLiteral("[s]\r\nk=值\r\n");
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    TIniFile ini = TIniFile::fromBytes(utf16);
    ini.WriteString("s", "n", QStringLiteral("新"));
    const QByteArray out = ini.toBytes();
    ASSERT_TRUE(out.startsWith("\xFF\xFE"));
    const TIniFile back = TIniFile::fromBytes(out);
    EXPECT_EQ(back.ReadString("s", "k", {}), QStringLiteral("值"));
    EXPECT_EQ(back.ReadString("s", "n", {}), QStringLiteral("新"));
}
