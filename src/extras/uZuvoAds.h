#pragma once
// The advertisement line: one fetch of the service's list per run, handed over
// on the UI thread, where note windows and alarm windows read it.

#include "data/uDataTypes.h"
#include "net/uHttpClient.h"

#include <QList>
#include <QString>
#include <functional>

class QObject;

// GET getad.php with the system language, the application name and version
// (both already URL-encoded), the service User-Agent and Referer, and 10 s
// time-outs: a hung service must not keep a thread for ever.
[[nodiscard]] THttpRequest AdRequest(quint16 languageId, const QString& appFlag, const QString& appVer);

// The entries of an "ads" document whose text and address are both set, in
// document order. What cannot be read adds nothing; entries read before a
// fault in the document are kept.
[[nodiscard]] QList<TAdItem> ReadAdList(const QByteArray& xml);

// An entry's address opens in the user's browser only when it is a web page:
// http or https with a host. The service's list is not trusted with more
// (file:, a program's own scheme, a local path).
[[nodiscard]] bool IsWebLink(const QString& url);

// The run's list (UI thread only); empty until the worker has filled it.
[[nodiscard]] const QList<TAdItem>& AdList();
void SetAdList(QList<TAdItem> list);

// Fetches the list off the UI thread, hands it over on the receiver's thread
// and then calls finished there.
void StartAdWorker(QObject* receiver, const THttpRequest& request, std::function<void()> finished);
