#pragma once
// A fixed-size window that is all page: each time it is shown it fetches the
// page its subclass asks for and shows it in an embedded page view.

#include "net/uHttpClient.h"
#include "platform/gui/uFixedDialog.h"

#include <functional>

class TPageView;

class TPageDialog : public TFixedDialog {
    Q_OBJECT
public:
    TPageView* WebBrowser1;

protected:
    // openUrl: where the page's links go (the user's own browser).
    TPageDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize,
                std::function<void(const QString& url)> openUrl);

    // The request of the page to show, built when the window is shown.
    [[nodiscard]] virtual THttpRequest PageRequest() const = 0;
    void showEvent(QShowEvent* e) override;

public:
    // Fetches the page first and shows the window only when the page came and
    // has something to say; an empty or failed page leaves the window hidden.
    void ShowWhenPageHasContent();

private:
    bool FPageFetched = false;
};
