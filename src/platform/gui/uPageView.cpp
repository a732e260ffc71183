#include "platform/gui/uPageView.h"

#include "platform/uAsyncCall.h"

#include <QUrl>

TPageView::TPageView(QWidget* parent) : QTextBrowser(parent) {
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::NoContextMenu);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (OpenUrl)
            OpenUrl(QUrl(FBase).resolved(link).toString());
    });
}

void TPageView::Navigate(const THttpRequest& request) {
    FBase = request.Url;
    const int serial = ++FSerial;
    ++FPending;
    RunAsync<THttpResponse>(
        this, [request] { return HttpPerform(request); },
        [this, serial](const THttpResponse& response) {
            --FPending;
            if (serial != FSerial)
                return;
            if (response.Ok) {
                setHtml(response.Text());
            } else {
                setHtml(QStringLiteral("<h3>This page cannot be displayed</h3><p>%1</p><p>%2</p>")
                            .arg(FBase.toHtmlEscaped(), response.Error.toHtmlEscaped()));
            }
            emit PageShown(response.Ok);
        });
}
