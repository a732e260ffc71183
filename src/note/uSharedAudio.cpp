#include "note/uSharedAudio.h"

#include "note/uNoteContext.h"
#include "note/uNoteManager.h"
#include "platform/gui/uAudioPlayer.h"
#include "shared/uNoteId.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>

namespace {

QPixmap drawPicture(bool play) {
    QPixmap pm(20, 22);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x3a, 0x3a, 0x3a), 1.2));
    p.setBrush(QColor(0xfa, 0xfa, 0xfa));
    p.drawEllipse(QRectF(1, 2, 18, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2c, 0x7b, 0xd6));
    if (play) {
        QPainterPath tri;
        tri.moveTo(7.5, 6.5);
        tri.lineTo(15, 11);
        tri.lineTo(7.5, 15.5);
        tri.closeSubpath();
        p.drawPath(tri);
    } else {
        p.setBrush(QColor(0xd6, 0x3b, 0x2c));
        p.drawRect(QRectF(6.5, 7.5, 7, 7));
    }
    return pm;
}

} // namespace

QPixmap AudioPlayPicture() {
    static const QPixmap pm = drawPicture(true);
    return pm;
}

QPixmap AudioStopPicture() {
    static const QPixmap pm = drawPicture(false);
    return pm;
}

QString AudioFilePath(const TNoteContext& context, const QString& noteId) {
    return NoteFileIn(DataFolderOf(context) + QStringLiteral("audio/"), noteId);
}

TAudioPlayer* SharedPlayer(const TNoteContext& context) {
    return context.SharedPlayer ? context.SharedPlayer() : nullptr;
}

bool StartSharedPlayback(const TNoteContext& context, const QString& path, QProgressBar* bar, QLabel* image,
                         QLabel* label, QAbstractButton* button) {
    TAudioPlayer* player = SharedPlayer(context);
    if (!player)
        return false;
    if (context.FollowPlayback)
        context.FollowPlayback(bar, image, label, button);
    return player->TryOpen(path);
}

void StopSharedPlayback(const TNoteContext& context) {
    if (TAudioPlayer* player = SharedPlayer(context))
        player->Stop();
}

void ResetOtherAudioControls(const TNoteContext& context, QWidget* except) {
    if (TNoteManager* windows = NoteWindows(context))
        windows->Broadcast(WM_RESETAUDIOCTRL, 0, reinterpret_cast<LPARAM>(except), except);
}
