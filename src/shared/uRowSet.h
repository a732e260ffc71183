#pragma once
// The rows of one SQLite select as the program reads them.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// The rows of one select, read by column name or by position. Null values are
// held as invalid QVariants, so readers can tell null from 0 or "" where it matters.
struct TRowSet {
    bool Open = false;
    QStringList Columns;
    QList<QVector<QVariant>> Rows;

    [[nodiscard]] int columnIndex(const QString& name) const { return Columns.indexOf(name, 0); }
    [[nodiscard]] int rowCount() const { return static_cast<int>(Rows.size()); }
    // Integer form of a column; null or non-numeric reads as 0.
    [[nodiscard]] qint32 asInt(int row, const QString& column) const;
    // Text form of a column; null reads as empty.
    [[nodiscard]] QString asText(int row, const QString& column) const;
    [[nodiscard]] bool isNull(int row, const QString& column) const;
};
