#pragma once
// The alarm window of a note whose reminder fell due: when it fired, what the
// note says, an icon that shakes every five seconds, the alarm sound repeated
// with a short pause until the window closes, the note's recording on the
// shared player, one advertisement line, and a way to change the reminder.

#include "data/uDataTypes.h"
#include "note/uNoteContext.h"

#include "platform/gui/uFixedDialog.h"
#include <QDateTime>

#include <QPointer>
#include <QString>
#include <functional>

class QLabel;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TAudioPlayer;
class TScheduleObject;

class TFmAlertWindow : public TFixedDialog {
    Q_OBJECT
public:
    // owner: the note window (the alarm window closes with it); context: the
    // note's, for the texts, the alarm sounds and the shared player.
    explicit TFmAlertWindow(QWidget* owner = nullptr, TNoteContextPtr context = {});
    // Releases NoteID from the open-alarm list, however the window ends.
    ~TFmAlertWindow() override;

    // The process-wide advertisement lines; empty until the advertisement worker fills them.
    static std::function<QList<TAdItem>()> AdListProvider;
    // Opens web addresses; tests replace it.
    static std::function<void(const QString& url)> OpenUrlHook;

    QString NoteID;
    int NoteType = 0;
    QPointer<TScheduleObject> SchObject;
    int ShakeTimes = 0;
    TAdItem ADItem;

    QLabel* imgAlarm;
    QLabel* lblAlertTime;
    QFrame* Panel2;
    QPlainTextEdit* mmoAlertText;
    QFrame* Panel1;
    QLabel* lblAd;
    QPushButton* btnSetupAlert;
    QPushButton* btnClose;
    QPushButton* btnPlay;
    QTimer* tmrShake1;
    QTimer* tmrShake2;
    QTimer* tmrAlarmSoundTrack;
    QTimer* tmrPlayerYanshi;

    [[nodiscard]] TAudioPlayer* MediaPlayer1() const { return FPlayer; }

    void btnCloseClick();
    void btnSetupAlertClick();
    void btnPlayClick();
    void tmrShake1Timer();
    void tmrShake2Timer();
    void tmrAlarmSoundTrackTimer();
    void tmrPlayerYanshiTimer();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Esc anywhere in the window: close it (and free it) like the close button.
    void reject() override;
    // A click on the advertisement line opens its page.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void WMUpdateLanguage() override;
    void StopSound();

    TNoteContextPtr FContext;
    TAudioPlayer* FPlayer;
    bool FShown = false;
};

// What the note window knows when its reminder falls due.
struct TAlarmRequest {
    QString NoteId;
    int NoteType = 0;
    QString Text;
    TScheduleObject* SchObject = nullptr;
    QDateTime FiredAt;
    TNoteContextPtr Context;
};

// The note window's reaction to a due reminder: unless an alarm window is
// already open for this note (its id in the open-alarm list), adds the id,
// opens an alarm window owned by `owner` and shows it without waiting.
// Returns the new window, or null when one was already open.
TFmAlertWindow* OpenAlarmWindow(QWidget* owner, const TAlarmRequest& request);
// The caption of the firing time: the user's short date and long time format.
[[nodiscard]] QString AlarmTimeCaption(const QDateTime& when);
