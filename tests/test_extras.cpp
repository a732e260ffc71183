// Feedback, the about dialog, a note's update history and the advertisement
// line: the requests as the web site and the services read them, every reply
// rule, and replies that are no answer at all.

#include "data/uFileVersion.h"
#include "extras/gui/uFmFeedback.h"
#include "extras/uFeedbackForm.h"
#include "extras/uZuvoAds.h"
#include "net/uEndpoints.h"
#include "note/uFmNote.h"
#include "note/uNoteAd.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uPageView.h"
#include "platform/uMessages.h"
#include "shared/uUrlEncoding.h"
#include "support/ServiceTestEnv.h"
#include "sync/uOtherTask.h"
#include "ui/uFmAbout.h"
#include "ui/uFmUpdateHistory.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

using testenv::TServiceTestEnv;

namespace {

TCannedReply text(const QByteArray& body, int status = 200) {
    TCannedReply r;
    r.Status = status;
    r.ContentType = "text/plain";
    r.Body = body;
    return r;
}

void submit(TFmFeedback& dialog, const QString& name, const QString& email, const QString& content) {
    dialog.edtfbName->setText(name);
    dialog.edtfbEmail->setText(email);
    dialog.mmofbContent->setPlainText(content);
    dialog.btnSubmit->click();
    ASSERT_TRUE(TServiceTestEnv::settle(dialog));
}

} // namespace

TEST(Feedback, FormValuesAreEncodedTwiceInOrderWithCrLfLineBreaks) {
    TServiceTestEnv t(QStringLiteral("feedback-form"));
    t.Server.setReply(text("0"));
    TFmFeedback dialog(t.Env);
    submit(dialog, QStringLiteral("Zoë B"), QStringLiteral("zoe@example.com"),
           QStringLiteral("line one\nline 2 & 100%"));
    const auto requests = t.Server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].Method, "POST");
    EXPECT_EQ(requests[0].Target, "/www/utils/feedback.php");
    EXPECT_EQ(requests[0].Headers.value("user-agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_FALSE(requests[0].Headers.contains("referer"));
    // The second encoding escapes the first one's "%" and "+" (a plus would read back as a blank).
    const QByteArray product =
        UrlEncodeBytes(("Zuvo Note v" + GetAppVersion()).toUtf8()).replace("%", "%25").replace("+", "%2B");
    EXPECT_EQ(requests[0].Body, "fbname=Zo%25C3%25AB%2BB&fbemail=zoe%2540example%252Ecom"
                                "&fbcontent=line%2Bone%250D%250Aline%2B2%2B%2526%2B100%2525&fbproduct=" +
                                    product);
    ASSERT_EQ(t.Messages.size(), 1);
    EXPECT_EQ(t.Messages[0].Text,
              QStringLiteral("Feedback submitted successfully, thanks for your suggestion!"));
    EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Information"));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(Feedback, LocalChecksStopBeforeAnyRequest) {
    TServiceTestEnv t(QStringLiteral("feedback-checks"));
    TFmFeedback dialog(t.Env);
    struct Case {
        const char* email;
        const char* content;
        const char* message;
    };
    const Case cases[] = {
        {"", "hello", "Email address is invalid."},
        {" zoe@example.com", "hello", "Email address is invalid."},
        {"zoe@example.com ", "hello", "Email address is invalid."},
        {"zoe@example.com", "", "Content cannot be blank."},
        {"zoe@example.com", "  \n\t ", "Content cannot be blank."},
    };
    for (const Case& c : cases) {
        t.Messages.clear();
        dialog.edtfbEmail->setText(QString::fromUtf8(c.email));
        dialog.mmofbContent->setPlainText(QString::fromUtf8(c.content));
        dialog.btnSubmit->click();
        ASSERT_EQ(t.Messages.size(), 1) << c.email << "|" << c.content;
        EXPECT_EQ(t.Messages[0].Text, QString::fromUtf8(c.message));
        EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Error"));
        EXPECT_EQ(t.Messages[0].Type, MB_ICONWARNING);
        // The fields stay as typed.
        EXPECT_EQ(dialog.edtfbEmail->text(), QString::fromUtf8(c.email));
    }
    EXPECT_TRUE(t.Server.requests().isEmpty());
}

TEST(Feedback, EveryFailedReplyShowsItsMessageAndTheDialogStaysForAnotherTry) {
    TServiceTestEnv t(QStringLiteral("feedback-replies"));
    const QString net = QStringLiteral("Failed to submit, network error.");
    const QString unknown = QStringLiteral("Failed to submit, unknown error.");
    TCannedReply slow = text("0");
    slow.DelayMs = 2500;
    TCannedReply cut = text("0");
    cut.DeclaredLength = 40;
    struct Case {
        const char* what;
        TCannedReply reply;
        QString message;
    };
    const Case cases[] = {
        {"incomplete", text("-1"), QStringLiteral("Failed to submit, incomplete information.")},
        {"site says network", text("-999"), net},
        {"other text", text("1"), unknown},
        {"empty", text(""), unknown},
        {"garbage", text(QByteArray("\xff\xfe\x00garbage", 10)), unknown},
        {"HTTP error", text("0", 503), net},
        {"slow", slow, net},
        {"cut short", cut, net},
        {"enormous", text(QByteArray(2 << 20, '0')), net},
    };
    TFmFeedback dialog(t.Env);
    for (const Case& c : cases) {
        t.Messages.clear();
        t.Server.setReply(c.reply);
        submit(dialog, {}, QStringLiteral("zoe@example.com"), QStringLiteral("hello"));
        ASSERT_EQ(t.Messages.size(), 1) << c.what;
        EXPECT_EQ(t.Messages[0].Text, c.message) << c.what;
        EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Error")) << c.what;
        EXPECT_TRUE(dialog.btnSubmit->isEnabled()) << c.what;
        EXPECT_NE(dialog.result(), QDialog::Accepted) << c.what;
        EXPECT_EQ(dialog.mmofbContent->toPlainText(), QStringLiteral("hello")) << c.what;
    }
    t.Messages.clear();
    SetServerRoot(testenv::deadRoot());
    submit(dialog, {}, QStringLiteral("zoe@example.com"), QStringLiteral("hello"));
    ASSERT_EQ(t.Messages.size(), 1);
    EXPECT_EQ(t.Messages[0].Text, net);
}

TEST(Feedback, ASecondClickWhileTheRequestRunsSendsNothingMore) {
    TServiceTestEnv t(QStringLiteral("feedback-once"));
    TCannedReply slowOk = text("0");
    slowOk.DelayMs = 300;
    t.Server.setReply(slowOk);
    TFmFeedback dialog(t.Env);
    dialog.edtfbEmail->setText(QStringLiteral("zoe@example.com"));
    dialog.mmofbContent->setPlainText(QStringLiteral("hello"));
    dialog.btnSubmit->click();
    EXPECT_FALSE(dialog.btnSubmit->isEnabled());
    dialog.btnSubmitClick();
    ASSERT_TRUE(TServiceTestEnv::settle(dialog));
    EXPECT_EQ(t.Server.requests().size(), 1);
    EXPECT_EQ(t.Messages.size(), 1);
}

TEST(Feedback, TheMailLinkNamesTheServersSupportAddressOrIsNotThere) {
    TServiceTestEnv t(QStringLiteral("feedback-mail"));
    // The server named none: no guessed address on a server of one's own.
    SetSupportMailAddress(QString());
    {
        TFmFeedback dialog(t.Env);
        dialog.show();
        EXPECT_FALSE(dialog.lblSendByEmail->isVisible());
        dialog.lblSendByEmailClick();
        EXPECT_TRUE(t.Opened.isEmpty());
        EXPECT_TRUE(dialog.isVisible());
    }
    SetSupportMailAddress(QStringLiteral("help@example.org"));
    TFmFeedback dialog(t.Env);
    dialog.show();
    EXPECT_TRUE(dialog.lblSendByEmail->isVisible());
    EXPECT_EQ(dialog.lblSendByEmail->text(),
              QStringLiteral("You can also send feedback to us by email help@example.org"));
    dialog.lblSendByEmailClick();
    EXPECT_EQ(t.Opened, QStringList{QStringLiteral("mailto:help@example.org")});
    EXPECT_FALSE(dialog.isVisible());
    SetSupportMailAddress(QString());
}

TEST(Feedback, TabLeavesTheCommentBoxInsteadOfTypingATab) {
    TServiceTestEnv t(QStringLiteral("feedback-tab"));
    TFmFeedback dialog(t.Env);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.mmofbContent->setFocus();
    QTest::keyClick(dialog.mmofbContent, Qt::Key_Tab);
    EXPECT_TRUE(dialog.mmofbContent->toPlainText().isEmpty());
    EXPECT_TRUE(dialog.mmofbContent->tabChangesFocus());
}

TEST(BasicInformation, NamesTheSupportAddressWhenItLooksLikeOne) {
    const struct {
        const char* Xml;
        const char* Expected;
    } cases[] = {
        {"<basicinfo><asyncserver>1.2.3.4</asyncserver><supportmail>help@example.org</supportmail></"
         "basicinfo>",
         "help@example.org"},
        {"<basicinfo><asyncserver>1.2.3.4</asyncserver></basicinfo>", ""},
        {"<other><supportmail>help@example.org</supportmail></other>", ""},
        {"<basicinfo><supportmail>not an address</supportmail></basicinfo>", ""},
        {"<basicinfo><supportmail>a@b@c</supportmail></basicinfo>", ""},
    };
    for (const auto& c : cases) {
        SetSupportMailAddress(ParseSupportAddress(c.Xml));
        EXPECT_EQ(SupportMailAddress(), QLatin1String(c.Expected)) << c.Xml;
    }
    SetSupportMailAddress(QString());
}

// --- about

TEST(About, ShowsTheVersionAndOpensItsLinks) {
    TServiceTestEnv t(QStringLiteral("about"));
    const QString version = GetAppVersion();
    ASSERT_FALSE(version.isEmpty());
    SetSupportMailAddress(QStringLiteral("help@example.org"));
    {
        TFmAbout dialog(t.Env);
        EXPECT_EQ(dialog.lblProductName->text(), QStringLiteral("Zuvo Note"));
        EXPECT_EQ(dialog.lblVersion->text(), version);
        EXPECT_EQ(dialog.lblHomePage->text(), t.Server.baseUrl());
        EXPECT_EQ(dialog.lblSupportMail->text(), QStringLiteral("help@example.org"));
        dialog.show();
        // Captions never run into their values, whatever font stands in for the dialog's.
        for (const auto& [caption, value] :
             {std::pair<QWidget*, QWidget*>{dialog.lblProductName, dialog.lblVersion},
              {dialog.lblHomePageCaption, dialog.lblHomePage},
              {dialog.lblMailCaption, dialog.lblSupportMail}})
            EXPECT_LT(caption->geometry().right(), value->x()) << value->objectName().toStdString();
        dialog.lblMobileVersionClick();
        EXPECT_EQ(t.DownloadPageCount, 1);
        EXPECT_TRUE(dialog.isVisible());
        dialog.lblHomePageClick();
        EXPECT_FALSE(dialog.isVisible());
    }
    TFmAbout mail(t.Env);
    mail.lblSupportMailClick();
    EXPECT_EQ(t.Opened, (QStringList{t.Server.baseUrl() + QStringLiteral("?from=app&version=") + version,
                                     QStringLiteral("mailto:help@example.org")}));
    // Without an address from the server the line is not there at all.
    SetSupportMailAddress(QString());
    TFmAbout none(t.Env);
    none.show();
    EXPECT_FALSE(none.lblSupportMail->isVisible());
    EXPECT_FALSE(none.lblMailCaption->isVisible());
}

// --- update history

TEST(UpdateHistory, PostsTheAccountAndNoteAsPlainBytesAndShowsThePage) {
    TServiceTestEnv t(QStringLiteral("history"));
    t.Options.FconfigUserID = QStringLiteral("4711");
    t.Options.FconfigUserPass = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69");
    TCannedReply page;
    page.Body = "<html><body><table><tr><td>3</td><td>Buy milk</td></tr></table></body></html>";
    t.Server.setReply(page);
    QWidget note;
    QPointer<TFmUpdateHistory> window = new TFmUpdateHistory(t.Env, &note);
    window->NoteID = QStringLiteral("0F8C2A8E-1D2B-4C55-9E1A-3B1F6C7D8E9F");
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->WebBrowser1->Loading(); }, 5000));
    const auto requests = t.Server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].Method, "POST");
    EXPECT_EQ(requests[0].Target, "/update_his.php?clang=1033");
    EXPECT_EQ(requests[0].Headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].Body, "userid=4711&userpass=5ebe2294ecd0e0f08eab7690d2a6ee69"
                                "&noteid=0F8C2A8E-1D2B-4C55-9E1A-3B1F6C7D8E9F");
    EXPECT_TRUE(window->WebBrowser1->toPlainText().contains(QStringLiteral("Buy milk")));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Note Update History"));
}

TEST(UpdateHistory, AFailedPageShowsAnErrorPageAndTheWindowGoesWithItsNote) {
    TServiceTestEnv t(QStringLiteral("history-fail"));
    auto* note = new QWidget;
    QPointer<TFmUpdateHistory> window = new TFmUpdateHistory(t.Env, note);
    t.Server.setReply(text("", 500));
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->WebBrowser1->Loading(); }, 5000));
    EXPECT_TRUE(window->WebBrowser1->toPlainText().contains(QStringLiteral("cannot be displayed")));
    // Signed out: the page is asked for with empty values all the same.
    EXPECT_EQ(t.Server.requests().value(0).Body, "userid=&userpass=&noteid=");
    delete note;
    EXPECT_TRUE(window.isNull());
}

// --- the advertisement line

TEST(Ads, OnlyEntriesWithTextAndAddressCountInDocumentOrder) {
    struct Case {
        const char* what;
        QByteArray xml;
        QStringList texts;
    };
    const Case cases[] = {
        {"two entries",
         "<?xml version=\"1.0\"?><ads><aditem><adtext>One</adtext><adurl>http://a/1</adurl></aditem>"
         "<aditem><adurl>http://a/2</adurl><adtext>Two &amp; more</adtext></aditem></ads>",
         {"One", "Two & more"}},
        {"empty address or text",
         "<ads><aditem><adtext>x</adtext><adurl></adurl></aditem>"
         "<aditem><adtext/><adurl>http://a</adurl></aditem>"
         "<aditem><adtext>ok</adtext><adurl>http://b</adurl></aditem></ads>",
         {"ok"}},
        {"other elements",
         "<ads><note/><aditem><adtext>y</adtext><adurl>u</adurl><extra/></aditem></ads>",
         {"y"}},
        {"wrong document element", "<list><aditem><adtext>y</adtext><adurl>u</adurl></aditem></list>", {}},
        {"cut off after one entry",
         "<ads><aditem><adtext>kept</adtext><adurl>u</adurl></aditem><aditem><adt",
         {"kept"}},
        {"not XML", "\xff\xfe garbage", {}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        QStringList texts;
        for (const TAdItem& ad : ReadAdList(c.xml))
            texts << ad.AdText;
        EXPECT_EQ(texts, c.texts) << c.what;
    }
}

TEST(Ads, TheWorkerAsksWithLanguageAppAndVersionAndHandsTheListOverOnTheUiThread) {
    TServiceTestEnv t(QStringLiteral("ads"));
    TCannedReply reply;
    reply.ContentType = "text/xml";
    reply.Body = "<ads><aditem><adtext>Line</adtext><adurl>http://x/</adurl></aditem></ads>";
    t.Server.setReply(reply);
    QObject receiver;
    const THttpRequest request = AdRequest(2052, UrlEncode("Zuvo Note"), UrlEncode("v1.2.3.4"));
    bool finished = false;
    SetAdList({});
    StartAdWorker(&receiver, request, [&] {
        finished = true;
        EXPECT_EQ(AdList().size(), 1); // handed over before the announcement
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 5000));
    const auto requests = t.Server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].Target, "/ads/getad.php?clang=2052&app=Zuvo+Note&appver=v1%2E2%2E3%2E4");
    EXPECT_EQ(requests[0].Headers.value("referer"), (t.Server.baseUrl() + "ads/getad.php").toUtf8());
    EXPECT_EQ(requests[0].Headers.value("user-agent"), QByteArray(ServiceUserAgent));
    ASSERT_EQ(AdList().size(), 1);
    EXPECT_EQ(AdList()[0].AdUrl, QStringLiteral("http://x/"));

    // A service that fails leaves the list empty and still announces the end.
    for (const TCannedReply& bad : {text("<ads/>", 500), text("garbage")}) {
        finished = false;
        t.Server.setReply(bad);
        StartAdWorker(&receiver, request, [&] { finished = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 5000));
        EXPECT_TRUE(AdList().isEmpty());
    }
}

TEST(Ads, TheLineShowsAsWrittenAndOnlyWebAddressesOpen) {
    const struct {
        const char* Url;
        bool Opens;
    } links[] = {
        {"http://example.org/coffee", true},
        {"https://example.org/", true},
        {"HTTPS://EXAMPLE.ORG/", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"mailto:ads@example.org", false},
        {"/usr/bin/xterm", false},
        {"smb://host/share", false},
        {"http:///no-host", false},
        {"http ://example.org/", false},
        {"", false},
    };
    const QString markup =
        QStringLiteral("<b>Big</b> <img src=\"file:///x.png\"> <a href=\"file:///\">sale</a> & more");
    QStringList opened;
    const auto previous = TNoteAd::OpenUrlHook;
    TNoteAd::OpenUrlHook = [&](const QString& url) { opened << url; };
    for (const auto& l : links) {
        SCOPED_TRACE(l.Url);
        EXPECT_EQ(IsWebLink(QString::fromLatin1(l.Url)), l.Opens);
        QWidget note;
        TNoteAd ad(&note, [] { return false; });
        SetAdList({{markup, QString::fromLatin1(l.Url)}});
        ad.WMUpdateAd(true);
        EXPECT_EQ(ad.lblAd->textFormat(), Qt::PlainText);
        EXPECT_EQ(ad.lblAd->text(), markup);
        // The tooltip shows the same characters, not what they would draw.
        QTextDocument tip;
        tip.setHtml(ad.lblAd->toolTip());
        EXPECT_EQ(tip.toPlainText(), markup);
        opened.clear();
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(ad.lblAd, &release);
        EXPECT_EQ(opened, l.Opens ? QStringList{QString::fromLatin1(l.Url)} : QStringList{});
    }
    TNoteAd::OpenUrlHook = previous;
    SetAdList({});
}

TEST(Ads, OnlyTheNoteThatShowsTheLineCarriesItAndItsHourlyTimer) {
    SetAdList({{QStringLiteral("Only line"), QStringLiteral("http://only/")}});
    TFmNote plain;
    TFmNote carrier;
    carrier.ShowAd = true;
    plain.show();
    carrier.show();
    for (TFmNote* n : {&plain, &carrier})
        SendMessageW(n, WM_UPDATEAD, 0, 0);
    EXPECT_TRUE(plain.findChildren<TNoteAd*>().isEmpty());
    const QList<TNoteAd*> ads = carrier.findChildren<TNoteAd*>();
    ASSERT_EQ(ads.size(), 1);
    EXPECT_EQ(ads[0]->lblAd->text(), QStringLiteral("Only line"));
    EXPECT_TRUE(ads[0]->lblAd->isHidden());
    EXPECT_TRUE(ads[0]->tmrAd->isActive());
    SetAdList({});
}

TEST(Ads, OnlyWindowsWithTheFlagTakeAnEntryAndAnEmptyListKeepsTheLastOne) {
    QWidget note;
    TNoteAd ad(&note, [] { return false; });
    SetAdList({{QStringLiteral("Only line"), QStringLiteral("http://only/")}});
    ad.WMUpdateAd(false);
    EXPECT_TRUE(ad.lblAd->text().isEmpty());
    ad.WMUpdateAd(true);
    EXPECT_EQ(ad.lblAd->text(), QStringLiteral("Only line"));
    EXPECT_EQ(ad.lblAd->toolTip(), QStringLiteral("Only line"));
    EXPECT_TRUE(ad.lblAd->isHidden());
    SetAdList({});
    ad.WMUpdateAd(true);
    EXPECT_EQ(ad.lblAd->text(), QStringLiteral("Only line"));
    EXPECT_EQ(ad.tmrAd->interval(), 3600000);
    QStringList opened;
    const auto previous = TNoteAd::OpenUrlHook;
    TNoteAd::OpenUrlHook = [&](const QString& url) { opened << url; };
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(ad.lblAd, &release);
    TNoteAd::OpenUrlHook = previous;
    EXPECT_EQ(opened, QStringList{QStringLiteral("http://only/")});
}
