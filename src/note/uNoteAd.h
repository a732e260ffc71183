#pragma once
// A note window's advertisement line: a random entry of the run's list, a new
// one every hour, for windows built with the advertisement flag. The note's
// layout keeps the label hidden; a click on it opens the entry's address.

#include "data/uDataTypes.h"

#include <QObject>
#include <functional>

class QLabel;
class QTimer;
class QWidget;

// Shows an entry's line exactly as written: neither the label nor its tooltip
// reads markup from the service.
void SetAdLabelText(QLabel* label, const QString& text);

class TNoteAd : public QObject {
    Q_OBJECT
public:
    // note: the window that carries the label; preview: it never asks for a new entry itself.
    TNoteAd(QWidget* note, std::function<bool()> isPreview);

    // The note's WM_UPDATEAD: a new random entry when the window shows ads.
    void WMUpdateAd(bool showAd);

    // Opens addresses; tests replace it.
    static std::function<void(const QString& url)> OpenUrlHook;

    TAdItem ADItem;
    QLabel* lblAd;
    QTimer* tmrAd;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* FNote;
};
