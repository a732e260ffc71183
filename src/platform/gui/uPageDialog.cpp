#include "platform/gui/uPageDialog.h"

#include "platform/gui/uPageView.h"

#include <QShowEvent>

TPageDialog::TPageDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize,
                         std::function<void(const QString& url)> openUrl)
    : TFixedDialog(parent, flags, clientSize) {
    setModal(false);
    WebBrowser1 = new TPageView(this);
    WebBrowser1->setGeometry(QRect(QPoint(0, 0), clientSize));
    WebBrowser1->OpenUrl = std::move(openUrl);
}

void TPageDialog::showEvent(QShowEvent* e) {
    TFixedDialog::showEvent(e);
    // A window brought back from being minimised keeps the page it has.
    if (e->spontaneous())
        return;
    WebBrowser1->Navigate(PageRequest());
}
