#include "platform/gui/uPageDialog.h"

#include "platform/gui/uPageView.h"

#include <QShowEvent>
#include <QVBoxLayout>
#include <utility>

TPageDialog::TPageDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize,
                         std::function<void(const QString& url)> openUrl)
    : TFixedDialog(parent, flags, clientSize) {
    setModal(false);
    WebBrowser1 = new TPageView(this);
    WebBrowser1->OpenUrl = std::move(openUrl);
    auto* fill = new QVBoxLayout;
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(WebBrowser1);
    UseLayout(fill);
}

void TPageDialog::showEvent(QShowEvent* e) {
    TFixedDialog::showEvent(e);
    // A window brought back from being minimised keeps the page it has, and so
    // does one shown because its page had come.
    if (e->spontaneous() || std::exchange(FPageFetched, false))
        return;
    WebBrowser1->Navigate(PageRequest());
}

void TPageDialog::ShowWhenPageHasContent() {
    connect(
        WebBrowser1, &TPageView::PageShown, this,
        [this](bool ok) {
            if (!ok || WebBrowser1->toPlainText().trimmed().isEmpty())
                return;
            FPageFetched = true;
            show();
        },
        Qt::SingleShotConnection);
    WebBrowser1->Navigate(PageRequest());
}
