#include "lang/uDateStamp.h"

namespace {

QString twoDigits(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

} // namespace

QString FormatDateStamp(const QString& format, const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    QString out;
    bool afterHour = false;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = format.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? format.size() : end;
            out += format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        const QChar lower = c.toLower();
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run).toLower() == lower)
            ++run;
        const bool two = run >= 2;
        switch (lower.unicode()) {
        case 'y':
            out += run >= 3 ? QString::number(d.year()) : twoDigits(d.year() % 100);
            afterHour = false;
            break;
        case 'm':
            if (afterHour)
                out += two ? twoDigits(t.minute()) : QString::number(t.minute());
            else
                out += two ? twoDigits(d.month()) : QString::number(d.month());
            afterHour = false;
            break;
        case 'd':
            out += two ? twoDigits(d.day()) : QString::number(d.day());
            afterHour = false;
            break;
        case 'h':
            out += two ? twoDigits(t.hour()) : QString::number(t.hour());
            afterHour = true;
            break;
        case 'n':
            out += two ? twoDigits(t.minute()) : QString::number(t.minute());
            afterHour = false;
            break;
        case 's':
            out += two ? twoDigits(t.second()) : QString::number(t.second());
            afterHour = false;
            break;
        default:
            out += format.mid(i, run);
            break;
        }
        i += run;
    }
    return out;
}
