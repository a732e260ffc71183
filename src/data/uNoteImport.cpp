#include "data/uNoteImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>

namespace {

// Nothing a note program writes comes near this; larger files are not notes.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
// Nested multiparts deeper than this are not a note's doing.
constexpr int kMaxMimeDepth = 8;
constexpr int kMaxSide = 4000;

QString decodeText(const QByteArray& bytes, const QByteArray& charset) {
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid()) {
            QString text = decoder.decode(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString normalizeText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// ---- MIME messages -----------------------------------------------------------------------

struct TMimePart {
    QHash<QByteArray, QByteArray> Headers; // lower-case names, unfolded values
    QByteArray Body;
};

std::optional<TMimePart> splitPart(const QByteArray& raw) {
    static const QRegularExpression headerLine(QStringLiteral("^[!-9;-~]+:"));
    TMimePart part;
    qsizetype pos = 0;
    QByteArray current;
    bool any = false;
    auto flush = [&] {
        if (current.isEmpty())
            return;
        const qsizetype colon = current.indexOf(':');
        part.Headers.insert(current.left(colon).trimmed().toLower(), current.mid(colon + 1).trimmed());
        current.clear();
    };
    while (pos <= raw.size()) {
        qsizetype end = raw.indexOf('\n', pos);
        const bool last = end < 0;
        if (last)
            end = raw.size();
        QByteArray line = raw.mid(pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = end + 1;
        if (line.isEmpty()) {
            flush();
            part.Body = last ? QByteArray() : raw.mid(pos);
            return any ? std::optional(part) : std::nullopt;
        }
        if ((line.startsWith(' ') || line.startsWith('\t')) && !current.isEmpty()) {
            current += ' ' + line.trimmed();
            continue;
        }
        if (!headerLine.match(QString::fromLatin1(line)).hasMatch())
            return std::nullopt; // not a header block: not a message
        flush();
        current = line;
        any = true;
        if (last)
            break;
    }
    flush();
    return any ? std::optional(part) : std::nullopt;
}

// "text/plain; charset=utf-8" -> type "text/plain" and the parameters.
QByteArray contentType(const TMimePart& part, QHash<QByteArray, QByteArray>* params) {
    const QList<QByteArray> pieces = part.Headers.value("content-type", "text/plain").split(';');
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const qsizetype eq = pieces[i].indexOf('=');
        if (eq < 0)
            continue;
        QByteArray value = pieces[i].mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        params->insert(pieces[i].left(eq).trimmed().toLower(), value);
    }
    return pieces.value(0).trimmed().toLower();
}

QByteArray decodeQuotedPrintable(const QByteArray& in, bool underscoreIsSpace) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=' && i + 1 < in.size() && (in[i + 1] == '\n' || in[i + 1] == '\r')) {
            i += in[i + 1] == '\r' && i + 2 < in.size() && in[i + 2] == '\n' ? 2 : 1; // soft line break
        } else if (c == '=' && i + 2 < in.size() && std::isxdigit(uchar(in[i + 1])) &&
                   std::isxdigit(uchar(in[i + 2]))) {
            out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += underscoreIsSpace && c == '_' ? ' ' : c;
        }
    }
    return out;
}

QByteArray transferDecoded(const TMimePart& part) {
    const QByteArray encoding = part.Headers.value("content-transfer-encoding").trimmed().toLower();
    if (encoding == "base64")
        return QByteArray::fromBase64(part.Body);
    if (encoding == "quoted-printable")
        return decodeQuotedPrintable(part.Body, false);
    return part.Body;
}

// Encoded words in a header ("=?utf-8?B?...?="); blanks between two of them vanish.
QString decodeHeader(const QByteArray& value) {
    static const QRegularExpression word(QStringLiteral(R"(=\?([^?]+)\?([bBqQ])\?([^?]*)\?=)"));
    const QString text = QString::fromLatin1(value);
    QString out;
    qsizetype pos = 0;
    bool lastWasWord = false;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString between = text.mid(pos, m.capturedStart() - pos);
        if (!(lastWasWord && between.trimmed().isEmpty()))
            out += decodeText(between.toLatin1(), {});
        const QByteArray payload = m.captured(3).toLatin1();
        const QByteArray bytes = m.captured(2).compare(QLatin1String("b"), Qt::CaseInsensitive) == 0
                                     ? QByteArray::fromBase64(payload)
                                     : decodeQuotedPrintable(payload, true);
        QByteArray charset = m.captured(1).toLatin1();
        charset = charset.left(charset.indexOf('*') < 0 ? charset.size()
                                                        : charset.indexOf('*')); // RFC 2231 language
        out += decodeText(bytes, charset);
        pos = m.capturedEnd();
        lastWasWord = true;
    }
    out += decodeText(text.mid(pos).toLatin1(), {});
    return out.simplified();
}

QString htmlToText(QString html) {
    static const QRegularExpression hidden(QStringLiteral("<(head|style|script)[^>]*>.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression breaks(QStringLiteral("<br\\s*/?>|</(p|div|li|h[1-6]|tr)\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression numeric(QStringLiteral("&#(x?)([0-9a-fA-F]+);"));
    static const QRegularExpression blankRuns(QStringLiteral("[ \\t]+"));
    html.remove(hidden);
    html.replace(QLatin1Char('\n'), QLatin1Char(' '));
    html.replace(breaks, QStringLiteral("\n"));
    html.remove(tags);
    html.replace(blankRuns, QStringLiteral(" "));
    QString out;
    qsizetype pos = 0;
    for (auto it = numeric.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += html.mid(pos, m.capturedStart() - pos);
        bool ok = false;
        const uint code = m.captured(2).toUInt(&ok, m.captured(1).isEmpty() ? 10 : 16);
        if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
            const char32_t c = code;
            out += QString::fromUcs4(&c, 1);
        }
        pos = m.capturedEnd();
    }
    out += html.mid(pos);
    out.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    out.replace(QLatin1String("&lt;"), QLatin1String("<"));
    out.replace(QLatin1String("&gt;"), QLatin1String(">"));
    out.replace(QLatin1String("&quot;"), QLatin1String("\""));
    out.replace(QLatin1String("&apos;"), QLatin1String("'"));
    out.replace(QLatin1String("&amp;"), QLatin1String("&"));
    QStringList lines = out.split(QLatin1Char('\n'));
    for (QString& l : lines)
        l = l.trimmed();
    return lines.join(QLatin1Char('\n')).trimmed();
}

// The readable text of a part: plain text first, HTML turned into text second.
std::optional<QString> bodyText(const TMimePart& part, int depth) {
    QHash<QByteArray, QByteArray> params;
    const QByteArray type = contentType(part, &params);
    if (type.startsWith("multipart/")) {
        const QByteArray boundary = params.value("boundary");
        if (boundary.isEmpty() || depth >= kMaxMimeDepth)
            return std::nullopt;
        const QByteArray marker = "--" + boundary;
        const QList<QByteArray> chunks = part.Body.split('\n');
        QList<QByteArray> parts;
        QByteArray current;
        bool inside = false;
        for (QByteArray line : chunks) {
            const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
            if (bare == marker || bare == marker + "--") {
                if (inside)
                    parts.append(current);
                current.clear();
                inside = bare == marker;
                continue;
            }
            if (inside)
                current += line + '\n';
        }
        std::optional<QString> html;
        for (const QByteArray& raw : parts) {
            const std::optional<TMimePart> sub = splitPart(raw);
            if (!sub)
                continue;
            QHash<QByteArray, QByteArray> subParams;
            const QByteArray subType = contentType(*sub, &subParams);
            if (subType == "text/html") {
                if (!html)
                    html = bodyText(*sub, depth + 1);
                continue;
            }
            if (std::optional<QString> text = bodyText(*sub, depth + 1))
                return text;
        }
        return html;
    }
    if (type != "text/plain" && type != "text/html")
        return std::nullopt;
    const QString text = decodeText(transferDecoded(part), params.value("charset"));
    return type == "text/html" ? htmlToText(text) : normalizeText(text);
}

// ---- files ------------------------------------------------------------------------------------

std::optional<QByteArray> readSmallFile(const QString& path, QString* why) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = f.errorString();
        return std::nullopt;
    }
    if (f.size() > kMaxFileBytes) {
        *why = QStringLiteral("too large");
        return std::nullopt;
    }
    return f.readAll();
}

void addUnreadable(TImportScan& scan, const QString& path, const QString& why) {
    scan.Unreadable.append(QDir::toNativeSeparators(path) + QStringLiteral(": ") + why);
}

void scanInfoFile(const QString& infoPath, TImportScan& scan) {
    QString why;
    const std::optional<QByteArray> info = readSmallFile(infoPath, &why);
    if (!info) {
        addUnreadable(scan, infoPath, why);
        return;
    }
    // The info file names its content file; older ones leave it to the shared suffix.
    QString content = QFileInfo(infoPath).fileName().replace(0, 5, QStringLiteral("content-"));
    for (const QByteArray& line : info->split('\n'))
        if (line.startsWith("content "))
            content = QString::fromUtf8(line.mid(8).trimmed());
    const QString contentPath = QFileInfo(infoPath).dir().filePath(QFileInfo(content).fileName());
    const std::optional<QByteArray> text = readSmallFile(contentPath, &why);
    if (!text) {
        addUnreadable(scan, contentPath, why);
        return;
    }
    // The pads' shared look lives beside them; without it each pad's own look counts.
    const QString stylePath = QFileInfo(infoPath).dir().filePath(QStringLiteral("default-style"));
    QString styleWhy;
    const QByteArray style = QFileInfo::exists(stylePath)
                                 ? readSmallFile(stylePath, &styleWhy).value_or(QByteArray())
                                 : QByteArray();
    TImportedNote note = NoteImport::ParseInfoFile(*info, *text, style);
    note.Source = contentPath;
    if (!note.Text.isEmpty())
        scan.Notes.append(note);
}

// quiet: a file in a mixed folder that is not a message is simply not a note.
void scanMessageFile(const QString& path, TImportScan& scan, bool quiet) {
    QString why;
    const std::optional<QByteArray> bytes = readSmallFile(path, &why);
    if (!bytes) {
        addUnreadable(scan, path, why);
        return;
    }
    std::optional<TImportedNote> note = NoteImport::ParseNoteMessage(*bytes);
    if (!note) {
        if (!quiet)
            addUnreadable(scan, path, QStringLiteral("not a note message"));
        return;
    }
    note->Source = path;
    scan.Notes.append(*note);
}

QStringList filesIn(const QString& folder) {
    QStringList out;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        out.append(dir.filePath(name));
    return out;
}

bool isInfoFile(const QString& path) {
    return QFileInfo(path).fileName().startsWith(QLatin1String("info-"));
}

bool isContentFile(const QString& path) {
    return QFileInfo(path).fileName().startsWith(QLatin1String("content-"));
}

QString fromPango(const QString& description, int* size, bool* bold) {
    QStringList words = description.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool ok = false;
    const double pt = words.isEmpty() ? 0 : words.last().toDouble(&ok);
    if (ok) {
        *size = int(pt + 0.5);
        words.removeLast();
    }
    static const QStringList styles{QStringLiteral("bold"),    QStringLiteral("italic"),
                                    QStringLiteral("oblique"), QStringLiteral("normal"),
                                    QStringLiteral("regular"), QStringLiteral("medium")};
    while (!words.isEmpty() && styles.contains(words.last().toLower())) {
        if (words.last().compare(QLatin1String("bold"), Qt::CaseInsensitive) == 0)
            *bold = true;
        words.removeLast();
    }
    return words.join(QLatin1Char(' '));
}

int toSide(const QByteArray& value) {
    bool ok = false;
    const int v = value.trimmed().toInt(&ok);
    return ok && v > 0 ? std::min(v, kMaxSide) : 0;
}

} // namespace

namespace NoteImport {

std::optional<qint32> ParseColor(const QString& text) {
    const QString t = text.trimmed().toLower();
    auto pack = [](int r, int g, int b) { return qint32(r | (g << 8) | (b << 16)); };
    auto hexChannel = [](const QString& digits, bool* ok) {
        const int v = digits.toInt(ok, 16);
        const int max = (1 << (4 * int(digits.size()))) - 1;
        return *ok && !digits.isEmpty() && digits.size() <= 4 ? (v * 255 + max / 2) / max : (*ok = false, 0);
    };
    static const QRegularExpression xSpec(
        QStringLiteral(R"(^rgb:([0-9a-f]{1,4})/([0-9a-f]{1,4})/([0-9a-f]{1,4})$)"));
    static const QRegularExpression css(
        QStringLiteral(R"(^rgba?\(\s*(\d{1,3})\s*,\s*(\d{1,3})\s*,\s*(\d{1,3})\s*(,\s*[\d.]+\s*)?\)$)"));
    static const QRegularExpression triple(QStringLiteral(R"(^(\d{1,5})\s+(\d{1,5})\s+(\d{1,5})$)"));
    static const QRegularExpression hash(QStringLiteral(R"(^#((?:[0-9a-f]{3}){1,4})$)"));
    if (const auto m = xSpec.match(t); m.hasMatch()) {
        bool a = false, b = false, c = false;
        const int r = hexChannel(m.captured(1), &a), g = hexChannel(m.captured(2), &b),
                  bl = hexChannel(m.captured(3), &c);
        return a && b && c ? std::optional(pack(r, g, bl)) : std::nullopt;
    }
    if (const auto m = css.match(t); m.hasMatch()) {
        const int r = m.captured(1).toInt(), g = m.captured(2).toInt(), b = m.captured(3).toInt();
        return r <= 255 && g <= 255 && b <= 255 ? std::optional(pack(r, g, b)) : std::nullopt;
    }
    if (const auto m = triple.match(t); m.hasMatch()) {
        int r = m.captured(1).toInt(), g = m.captured(2).toInt(), b = m.captured(3).toInt();
        if (std::max({r, g, b}) > 65535)
            return std::nullopt;
        if (std::max({r, g, b}) > 255) { // 16-bit channels
            r >>= 8;
            g >>= 8;
            b >>= 8;
        }
        return pack(r, g, b);
    }
    if (const auto m = hash.match(t); m.hasMatch()) {
        const QString digits = m.captured(1);
        const qsizetype n = digits.size() / 3;
        bool a = false, b = false, c = false;
        const int r = hexChannel(digits.mid(0, n), &a), g = hexChannel(digits.mid(n, n), &b),
                  bl = hexChannel(digits.mid(2 * n, n), &c);
        return a && b && c ? std::optional(pack(r, g, bl)) : std::nullopt;
    }
    return std::nullopt;
}

namespace {

// The look lines an info file and the shared default-style file have in common.
struct TPadStyle {
    std::optional<qint32> Back;
    std::optional<qint32> Text;
    std::optional<QString> Font;
    bool FollowColor = false;
    bool FollowFont = false;
};

TPadStyle parseStyle(const QByteArray& lines, TImportedNote* note) {
    TPadStyle style;
    for (QByteArray line : lines.split('\n')) {
        line = line.trimmed();
        const qsizetype sp = line.indexOf(' ');
        if (sp <= 0)
            continue;
        const QByteArray key = line.left(sp);
        const QByteArray value = line.mid(sp + 1).trimmed();
        if (key == "width" && note)
            note->Width = toSide(value);
        else if (key == "height" && note)
            note->Height = toSide(value);
        else if (key == "back")
            style.Back = ParseColor(QString::fromUtf8(value));
        else if (key == "text")
            style.Text = ParseColor(QString::fromUtf8(value));
        else if (key == "fontname")
            style.Font = QString::fromUtf8(value);
        else if (key == "follow_color")
            style.FollowColor = value == "1";
        else if (key == "follow_font")
            style.FollowFont = value == "1";
    }
    return style;
}

} // namespace

TImportedNote ParseInfoFile(const QByteArray& info, const QByteArray& content,
                            const QByteArray& defaultStyle) {
    TImportedNote note;
    note.Text = normalizeText(decodeText(content, "UTF-8"));
    const TPadStyle own = parseStyle(info, &note);
    const TPadStyle shared = parseStyle(defaultStyle, nullptr);
    // A pad that follows the default style shows the shared colours and font,
    // whatever its own lines still say; where the shared file lacks one, the
    // pad's own is the best guess left.
    note.BackColor = own.FollowColor && shared.Back ? shared.Back : own.Back;
    note.TextColor = own.FollowColor && shared.Text ? shared.Text : own.Text;
    const std::optional<QString> font = own.FollowFont && shared.Font ? shared.Font : own.Font;
    if (font)
        note.FontName = fromPango(*font, &note.FontSize, &note.FontBold);
    return note;
}

std::optional<TImportedNote> ParseNoteMessage(const QByteArray& message) {
    const std::optional<TMimePart> part = splitPart(message);
    if (!part)
        return std::nullopt;
    const QString title = decodeHeader(part->Headers.value("subject"));
    const QString body = bodyText(*part, 0).value_or(QString());
    TImportedNote note;
    if (body.isEmpty() || body.startsWith(title))
        note.Text = body.isEmpty() ? title : body;
    else if (title.isEmpty())
        note.Text = body;
    else
        note.Text = title + QLatin1Char('\n') + body;
    if (note.Text.isEmpty())
        return std::nullopt;
    return note;
}

TImportScan Scan(const QString& path) {
    TImportScan scan;
    const QFileInfo fi(path);
    if (fi.isDir()) {
        const QDir dir(path);
        if (dir.exists(QStringLiteral("cur")) || dir.exists(QStringLiteral("new"))) {
            for (const char* sub : {"cur", "new"})
                for (const QString& file : filesIn(dir.filePath(QLatin1String(sub))))
                    scanMessageFile(file, scan, false);
            return scan;
        }
        for (const QString& file : filesIn(path)) {
            if (isInfoFile(file))
                scanInfoFile(file, scan);
            else if (!isContentFile(file))
                scanMessageFile(file, scan, true);
        }
        return scan;
    }
    if (!fi.exists()) {
        addUnreadable(scan, path, QStringLiteral("not found"));
    } else if (isInfoFile(path)) {
        scanInfoFile(path, scan);
    } else if (isContentFile(path)) {
        QString why;
        if (const std::optional<QByteArray> text = readSmallFile(path, &why)) {
            TImportedNote note = ParseInfoFile({}, *text);
            note.Source = path;
            if (!note.Text.isEmpty())
                scan.Notes.append(note);
        } else {
            addUnreadable(scan, path, why);
        }
    } else {
        scanMessageFile(path, scan, false);
    }
    return scan;
}

TNoteItem ToNoteItem(const TImportedNote& note, const QString& id, const QList<qint32>& palette) {
    TNoteItem item;
    item.NoteID = id;
    item.NNote = note.Text;
    item.FmTrans = 160;
    item.FmW = note.Width > 0 ? std::max(note.Width, 120) : 220;
    item.FmH = note.Height > 0 ? std::max(note.Height, 40) : 100;
    item.FontColor = note.TextColor.value_or(0);
    item.FontName = note.FontName.isEmpty() ? QStringLiteral("Tahoma") : note.FontName;
    item.FontSize = note.FontSize > 0 ? std::min(note.FontSize, 72) : 9;
    item.FontBold = note.FontBold ? 1 : 0;
    item.ShowNote = 1;
    if (note.BackColor) {
        auto channel = [](qint32 c, int shift) { return (c >> shift) & 0xFF; };
        qint64 best = -1;
        for (int i = 0; i < palette.size(); ++i) {
            qint64 d = 0;
            for (int shift : {0, 8, 16}) {
                const qint64 diff = channel(palette[i], shift) - channel(*note.BackColor, shift);
                d += diff * diff;
            }
            if (best < 0 || d < best) {
                best = d;
                item.BGColorIdx = i;
            }
        }
    }
    return item;
}

} // namespace NoteImport
