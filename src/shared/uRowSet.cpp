#include "shared/uRowSet.h"

namespace {
const QVariant* cell(const TRowSet& rows, int row, const QString& column) {
    const int c = rows.columnIndex(column);
    if (c < 0 || row < 0 || row >= rows.rowCount())
        return nullptr;
    return &rows.Rows[row][c];
}
} // namespace

qint32 TRowSet::asInt(int row, const QString& column) const {
    const QVariant* v = cell(*this, row, column);
    if (!v || !v->isValid() || v->isNull())
        return 0;
    bool ok = false;
    const qlonglong n = v->toLongLong(&ok);
    return ok ? static_cast<qint32>(n) : 0;
}

QString TRowSet::asText(int row, const QString& column) const {
    const QVariant* v = cell(*this, row, column);
    if (!v || !v->isValid() || v->isNull())
        return {};
    return v->toString();
}

bool TRowSet::isNull(int row, const QString& column) const {
    const QVariant* v = cell(*this, row, column);
    return !v || !v->isValid() || v->isNull();
}
