#pragma once
// INI files with the semantics of the desktop's private-profile functions:
// section and key names match without regard to case, the first of duplicate
// keys wins, a value is one line (at most 2047 characters, surrounding blanks and
// one pair of enclosing quotes removed), and a save keeps every other line,
// key and section in its place.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

class TIniFile {
public:
    static constexpr int kMaxValueLength = 2047;

    TIniFile() = default;
    // Reads the file; a missing or unreadable file gives an empty one.
    explicit TIniFile(const QString& fileName);
    [[nodiscard]] static TIniFile fromBytes(const QByteArray& bytes, const QString& fileName = {});

    [[nodiscard]] const QString& fileName() const { return FFileName; }

    [[nodiscard]] bool sectionExists(const QString& section) const;
    [[nodiscard]] bool valueExists(const QString& section, const QString& key) const;
    [[nodiscard]] QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // A value that is not a decimal integer gives the default.
    [[nodiscard]] qint32 ReadInteger(const QString& section, const QString& key, qint32 def) const;
    // Any integer other than 0 is true; a value that is not an integer gives the default.
    [[nodiscard]] bool ReadBool(const QString& section, const QString& key, bool def) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, qint32 value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Writes the whole file beside itself and renames it into place, so a crash or
    // a full disk never leaves a truncated file. Returns false when nothing was written.
    [[nodiscard]] bool UpdateFile() const;
    [[nodiscard]] QByteArray toBytes() const;

private:
    struct TLine {
        QString Raw;   // the line as it stands in the file
        QString Key;   // empty for lines that hold no key
        QString Value; // the value as read (trimmed, quotes removed)
    };
    struct TSection {
        QString Name; // as spelled in the file; empty for lines before the first section
        std::vector<TLine> Lines;
        QHash<QString, int> KeyIndex; // lower-case key -> first line holding it
    };

    void parse(const QString& text);
    [[nodiscard]] const TLine* find(const QString& section, const QString& key) const;
    TSection& sectionFor(const QString& section);

    QString FFileName;
    std::vector<TSection> FSections;
    QHash<QString, int> FSectionIndex; // lower-case name -> first section of that name
    bool FUtf16 = false;
    QString FEol = QStringLiteral("\n");
};
