#include "shared/uIniFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

QString decode(const QByteArray& bytes, bool* utf16) {
    *utf16 = false;
    if (bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE) {
        *utf16 = true;
        // An odd trailing byte cannot be half a character; drop it.
        const qsizetype units = (bytes.size() - 2) / 2;
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), units);
    }
    if (bytes.size() >= 2 && uchar(bytes[0]) == 0xFE && uchar(bytes[1]) == 0xFF) {
        *utf16 = true;
        QStringDecoder dec(QStringDecoder::Utf16BE);
        return dec(bytes.mid(2, (bytes.size() - 2) & ~qsizetype(1)));
    }
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = dec(body);
    if (dec.hasError())
        return QString::fromLocal8Bit(body); // a file in the local 8-bit encoding
    return text;
}

QString unquote(QString v) {
    v = v.trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    if (v.size() > TIniFile::kMaxValueLength)
        v.truncate(TIniFile::kMaxValueLength);
    return v;
}

QString oneLine(const QString& value) {
    QString v = value;
    v.replace(QLatin1String("\r\n"), QLatin1String(" "));
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    return v;
}

bool parseInt(const QString& text, qint32* out) {
    bool ok = false;
    const qint32 n = text.trimmed().toInt(&ok, 10);
    if (ok)
        *out = n;
    return ok;
}

} // namespace

TIniFile::TIniFile(const QString& fileName) : FFileName(fileName) {
    QFile f(fileName);
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly))
        bytes = f.readAll();
    parse(decode(bytes, &FUtf16));
}

TIniFile TIniFile::fromBytes(const QByteArray& bytes, const QString& fileName) {
    TIniFile ini;
    ini.FFileName = fileName;
    ini.parse(decode(bytes, &ini.FUtf16));
    return ini;
}

void TIniFile::parse(const QString& text) {
    FSections.clear();
    FSectionIndex.clear();
    FSections.push_back(TSection{});
    if (text.contains(QLatin1String("\r\n")))
        FEol = QStringLiteral("\r\n");

    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& raw = lines[i];
        if (i == lines.size() - 1 && raw.isEmpty())
            break; // the final line break does not start another line
        const QString t = raw.trimmed();
        if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            TSection s;
            s.Name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
            s.Lines.push_back(TLine{raw, {}, {}});
            FSections.push_back(std::move(s));
            if (!FSectionIndex.contains(FSections.back().Name.toLower()))
                FSectionIndex.insert(FSections.back().Name.toLower(), int(FSections.size() - 1));
            continue;
        }
        TSection& cur = FSections.back();
        TLine line{raw, {}, {}};
        const qsizetype eq = t.indexOf(u'=');
        if (eq > 0 && !t.startsWith(u';')) {
            line.Key = t.left(eq).trimmed();
            line.Value = unquote(t.mid(eq + 1));
            const QString lower = line.Key.toLower();
            if (!line.Key.isEmpty() && &cur != &FSections.front() && !cur.KeyIndex.contains(lower))
                cur.KeyIndex.insert(lower, int(cur.Lines.size()));
        }
        cur.Lines.push_back(std::move(line));
    }
}

const TIniFile::TLine* TIniFile::find(const QString& section, const QString& key) const {
    const QString lowerKey = key.toLower();
    // Duplicate section headers merge, as the private-profile functions read them:
    // the first section that holds the key wins.
    for (const TSection& s : FSections) {
        if (&s == &FSections.front() || s.Name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        const auto it = s.KeyIndex.constFind(lowerKey);
        if (it != s.KeyIndex.constEnd())
            return &s.Lines[*it];
    }
    return nullptr;
}

bool TIniFile::sectionExists(const QString& section) const {
    return FSectionIndex.contains(section.toLower());
}

bool TIniFile::valueExists(const QString& section, const QString& key) const {
    return find(section, key) != nullptr;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const TLine* line = find(section, key);
    return line ? line->Value : def;
}

qint32 TIniFile::ReadInteger(const QString& section, const QString& key, qint32 def) const {
    const TLine* line = find(section, key);
    qint32 n = def;
    if (line && parseInt(line->Value, &n))
        return n;
    return def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    const TLine* line = find(section, key);
    qint32 n = 0;
    if (line && parseInt(line->Value, &n))
        return n != 0;
    return def;
}

TIniFile::TSection& TIniFile::sectionFor(const QString& section) {
    const auto it = FSectionIndex.constFind(section.toLower());
    if (it != FSectionIndex.constEnd())
        return FSections[*it];
    TSection s;
    s.Name = section;
    s.Lines.push_back(TLine{QLatin1Char('[') + section + QLatin1Char(']'), {}, {}});
    FSections.push_back(std::move(s));
    FSectionIndex.insert(section.toLower(), int(FSections.size() - 1));
    return FSections.back();
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString v = oneLine(value);
    const QString lowerKey = key.toLower();
    for (TSection& s : FSections) {
        if (&s == &FSections.front() || s.Name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        const auto it = s.KeyIndex.constFind(lowerKey);
        if (it == s.KeyIndex.constEnd())
            continue;
        TLine& line = s.Lines[*it];
        line.Raw = line.Key + QLatin1Char('=') + v;
        line.Value = unquote(v);
        return;
    }
    TSection& s = sectionFor(section);
    // New keys go after the section's last non-blank line, not after trailing blank lines.
    qsizetype at = qsizetype(s.Lines.size());
    while (at > 1 && s.Lines[at - 1].Raw.trimmed().isEmpty())
        --at;
    s.Lines.insert(s.Lines.begin() + at, TLine{key + QLatin1Char('=') + v, key, unquote(v)});
    s.KeyIndex.clear();
    for (int i = 0; i < int(s.Lines.size()); ++i)
        if (!s.Lines[i].Key.isEmpty() && !s.KeyIndex.contains(s.Lines[i].Key.toLower()))
            s.KeyIndex.insert(s.Lines[i].Key.toLower(), i);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, qint32 value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray TIniFile::toBytes() const {
    QString text;
    for (const TSection& s : FSections)
        for (const TLine& l : s.Lines) {
            text += l.Raw;
            text += FEol;
        }
    if (!FUtf16)
        return text.toUtf8();
    QByteArray out("\xFF\xFE", 2);
    out.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return out;
}

bool TIniFile::UpdateFile() const {
    if (FFileName.isEmpty())
        return false;
    QSaveFile f(FFileName);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = toBytes();
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    // The new file takes the old one's place: for the user alone, as settings
    // hold the account's password digest.
    (void)f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                           QFileDevice::WriteUser);
    return f.commit();
}
