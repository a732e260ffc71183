#include "platform/uAutostart.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QTextStream>

namespace {

QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : xdg;
}

// The string escapes every desktop-entry value may carry.
QString unescapeValue(const QString& v) {
    QString out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v.at(i) != QLatin1Char('\\') || i + 1 == v.size()) {
            out += v.at(i);
            continue;
        }
        const QChar n = v.at(++i);
        switch (n.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += n;
            break;
        }
    }
    return out;
}

} // namespace

QString AutostartFilePath() {
    return configHome() + QStringLiteral("/autostart/zuvonote.desktop");
}

QString ExecLineFor(const QString& program) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    // Field codes start with "%"; a literal one is doubled. Then the value's own escaping.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return quoted;
}

QString ExecCommand(const QString& execValue) {
    const QString v = unescapeValue(execValue).trimmed();
    QString arg;
    if (v.startsWith(QLatin1Char('"'))) {
        for (qsizetype i = 1; i < v.size(); ++i) {
            const QChar c = v.at(i);
            if (c == QLatin1Char('\\') && i + 1 < v.size()) {
                arg += v.at(++i);
            } else if (c == QLatin1Char('"')) {
                break;
            } else {
                arg += c;
            }
        }
    } else {
        const qsizetype space = v.indexOf(QLatin1Char(' '));
        arg = space < 0 ? v : v.left(space);
    }
    return arg.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

namespace {

// The keys of the entry's [Desktop Entry] group, as written (first one wins).
QHash<QString, QString> readEntryKeys() {
    QHash<QString, QString> keys;
    QFile f(AutostartFilePath());
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    QTextStream in(&f);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inEntry || eq <= 0 || line.startsWith(QLatin1Char('#')))
            continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace

QString ReadAutostartCommand() {
    const QHash<QString, QString> keys = readEntryKeys();
    const auto exec = keys.constFind(QStringLiteral("Exec"));
    return exec == keys.constEnd() ? QString() : ExecCommand(*exec);
}

bool AutostartIsFor(const QString& exePath) {
    const QHash<QString, QString> keys = readEntryKeys();
    const auto exec = keys.constFind(QStringLiteral("Exec"));
    if (exec == keys.constEnd())
        return false;
    const QString command = ExecCommand(*exec);
    // The desktop's own switches turn the entry off while leaving it in place.
    const bool disabled = keys.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
                          keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false");
    return !disabled && !command.isEmpty() && command.toLower() == exePath.toLower();
}

bool WriteAutostartEntry(const QString& exePath) {
    QDir().mkpath(configHome() + QStringLiteral("/autostart"));
    QSaveFile f(AutostartFilePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&f);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Zuvo Note\n"
        << "Exec=" << ExecLineFor(exePath)
        << '\n'
        // Desktops skip the entry once the program is gone (uninstalled, moved).
        << "TryExec=" << QString(exePath).replace(QLatin1Char('\\'), QStringLiteral("\\\\")) << '\n'
        << "Icon=zuvonote\n"
        << "X-GNOME-Autostart-enabled=true\n";
    out.flush();
    return f.commit();
}

bool DeleteAutostartEntry() {
    return QFile::remove(AutostartFilePath());
}
