#pragma once
// The program's embedded browser: a read-only text browser that shows one page
// fetched by our own HTTP client (off the UI thread). Links open in the user's
// own browser; a page that cannot be fetched shows an error page of its own.

#include "net/uHttpClient.h"

#include <QTextBrowser>
#include <functional>

class TPageView : public QTextBrowser {
    Q_OBJECT
public:
    explicit TPageView(QWidget* parent = nullptr);

    // Fetches and shows the page; a later call replaces an earlier one's page.
    void Navigate(const THttpRequest& request);
    [[nodiscard]] bool Loading() const { return FPending > 0; }

    std::function<void(const QString& url)> OpenUrl;

signals:
    void PageShown(bool ok);

private:
    QString FBase;
    int FPending = 0;
    int FSerial = 0;
};
