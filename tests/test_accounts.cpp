// Signing in, registering, the account panel with its QR code, and signing out:
// the requests as the sign-on service reads them, every reply rule, and replies
// that are no answer at all (server down, slow, HTTP errors, garbage, cut short,
// enormous, TLS refused), each of which leaves the dialog usable and stores nothing.

#include "account/gui/uFmLogin.h"
#include "account/gui/uFmLogout.h"
#include "account/gui/uFmQrcodeDl.h"
#include "account/gui/uFmRegister.h"
#include "account/gui/uFmUserInfo.h"
#include "account/uSignOn.h"
#include "app/uFmMain.h"
#include "data/uFileVersion.h"
#include "net/uServiceRequest.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uPageView.h"
#include "platform/uAnsi.h"
#include "shared/uMd5.h"
#include "support/ProgramFolder.h"
#include "support/ServiceTestEnv.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QUrlQuery>
#include <QtEndian>
#include <gtest/gtest.h>
#include <thread>

using testenv::TServiceTestEnv;

namespace {

QByteArray le32(qint32 code, qint32 id) {
    QByteArray b(8, '\0');
    qToLittleEndian(code, b.data());
    qToLittleEndian(id, b.data() + 4);
    return b;
}

TCannedReply bytes(const QByteArray& body, int status = 200) {
    TCannedReply r;
    r.Status = status;
    r.ContentType = "application/octet-stream";
    r.Body = body;
    return r;
}

// Form fields of a recorded body, in order, decoded.
QList<QPair<QString, QString>> formFields(const QByteArray& body) {
    QList<QPair<QString, QString>> out;
    for (const QByteArray& part : body.split('&')) {
        const qsizetype eq = part.indexOf('=');
        out.append({QString::fromUtf8(part.left(eq)),
                    QString::fromUtf8(QByteArray::fromPercentEncoding(part.mid(eq + 1)))});
    }
    return out;
}

class TLocale {
public:
    explicit TLocale(const char* name) : FOld(qgetenv("LC_ALL")) { qputenv("LC_ALL", name); }
    ~TLocale() { qputenv("LC_ALL", FOld); }

private:
    QByteArray FOld;
};

void signIn(TFmLogin& dialog, const QString& account, const QString& password) {
    dialog.edtUserName->setText(account);
    dialog.edtPassword->setText(password);
    dialog.btnLogin->click();
    ASSERT_TRUE(TServiceTestEnv::settle(dialog));
}

} // namespace

TEST(SignIn, RequestCarriesTrimmedAccountAndCodePageDigestAndStoresTheAccountAsTyped) {
    TLocale locale("en_US.UTF-8");
    TServiceTestEnv t(QStringLiteral("signin-request"));
    t.Server.setReply(bytes(le32(0, 4711) + "trailing bytes are ignored"));
    TFmLogin dialog(t.Env);
    // "€" is in the desktop's code page, the Chinese characters are not: they hash as "?".
    signIn(dialog, QStringLiteral("  user@example.com "), QStringLiteral("pä€密码"));

    const auto requests = t.Server.requests();
    ASSERT_EQ(requests.size(), 1);
    const TRecordedRequest& r = requests[0];
    EXPECT_EQ(r.Method, "POST");
    EXPECT_EQ(r.Target, "/sso/v3/login_80124.php");
    EXPECT_EQ(r.Headers.value("user-agent"), QByteArray(ServiceUserAgent));
    EXPECT_EQ(r.Headers.value("referer"), (t.Server.baseUrl() + "sso/v3/").toUtf8());
    const QByteArray cp1252 = "p\xE4\x80??";
    const QString digest = Md5Hex(cp1252);
    const auto fields = formFields(r.Body);
    ASSERT_EQ(fields.size(), 4);
    EXPECT_EQ(fields[0], qMakePair(QStringLiteral("username"), QStringLiteral("user@example.com")));
    EXPECT_EQ(fields[1], qMakePair(QStringLiteral("password"), digest));
    EXPECT_EQ(fields[2], qMakePair(QStringLiteral("version"), GetAppVersion()));
    EXPECT_EQ(fields[3], qMakePair(QStringLiteral("productidlist"), QStringLiteral("1,2")));

    EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("4711"));
    EXPECT_EQ(t.Options.FconfigUserPass, digest);
    EXPECT_EQ(t.Options.FconfigUserName, QStringLiteral("  user@example.com "));
    EXPECT_EQ(t.PushUserId.load(), 4711);
    // Saved at once.
    TNoteOptions saved;
    saved.LoadFromFile(t.Env.ConfigFile);
    EXPECT_EQ(saved.FconfigUserID, QStringLiteral("4711"));
    EXPECT_EQ(saved.FconfigUserPass, digest);

    ASSERT_EQ(t.Messages.size(), 1);
    EXPECT_EQ(t.Messages[0].Text, QStringLiteral("Sign in successfully."));
    EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Information"));
    EXPECT_EQ(t.SignedInCount, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(SignIn, EmptyFieldsAreRefusedBeforeAnyRequest) {
    TServiceTestEnv t(QStringLiteral("signin-empty"));
    TFmLogin dialog(t.Env);
    dialog.btnLogin->click();
    EXPECT_EQ(t.lastMessage(), QStringLiteral("Please input your account."));
    dialog.edtUserName->setText(QStringLiteral("   "));
    dialog.btnLogin->click();
    EXPECT_EQ(t.lastMessage(), QStringLiteral("Please input your password."));
    EXPECT_TRUE(t.Server.requests().isEmpty());
    EXPECT_EQ(t.Messages.last().Caption, QStringLiteral("Error"));
    EXPECT_EQ(t.Messages.last().Type, MB_ICONWARNING);
    // Blanks are the service's to judge: the request goes out.
    dialog.edtPassword->setText(QStringLiteral("x"));
    t.Server.setReply(bytes(le32(-1, 0)));
    dialog.btnLogin->click();
    ASSERT_TRUE(TServiceTestEnv::settle(dialog));
    EXPECT_EQ(t.Server.requests().size(), 1);
}

TEST(SignIn, PasswordsGoToAnotherHostOnlyOverHttpsInEitherLanguage) {
    const QString need = QStringLiteral("The server must use HTTPS: a password is never sent over an "
                                        "unencrypted connection.");
    const QString needZh = QString::fromUtf8("服务器必须使用 HTTPS：密码绝不会通过未加密的连接发送。");
    for (const bool chinese : {false, true}) {
        SCOPED_TRACE(chinese ? "Chinese" : "English");
        TServiceTestEnv t(QStringLiteral("signon-tls"));
        if (chinese) {
            ASSERT_TRUE(t.Language.LoadFromFile(
                TLanguageObject::LanguageFilePath(testenv::binDir(), QStringLiteral("Chinese"))));
        }
        const QString expected = chinese ? needZh : need;
        // Another host over plain http: nothing is sent, and the dialogs say why.
        SetServerRoot(QStringLiteral("http://sync.example.com:8086/"));
        TFmLogin login(t.Env);
        login.edtUserName->setText(QStringLiteral("user@example.com"));
        login.edtPassword->setText(QStringLiteral("secret-1"));
        login.btnLogin->click();
        EXPECT_FALSE(login.Busy());
        EXPECT_EQ(t.lastMessage(), expected);
        EXPECT_EQ(t.Messages.last().Caption, t.Language.Otherstitle_dlgerror());
        // The status line shows what fits of it; its tip says it all.
        EXPECT_EQ(login.lblStatus->toolTip(), expected);
        TFmRegister reg(t.Env);
        reg.edtUserName->setText(QStringLiteral("new@example.com"));
        reg.edtUName->setText(QStringLiteral("New"));
        reg.edtPassword->setText(QStringLiteral("secret-1"));
        reg.edtConfirmPass->setText(QStringLiteral("secret-1"));
        reg.btnRegisterClick();
        EXPECT_FALSE(reg.Busy());
        EXPECT_EQ(t.lastMessage(), expected);
        EXPECT_EQ(t.Messages.size(), 2);
        EXPECT_TRUE(t.Options.FconfigUserID.isEmpty());
        EXPECT_EQ(t.SignedInCount, 0);

        // This computer over plain http is fine: the request goes out.
        SetServerRoot(t.Server.baseUrl());
        t.Server.setReply(bytes(le32(0, 9)));
        signIn(login, QStringLiteral("user@example.com"), QStringLiteral("secret-1"));
        EXPECT_EQ(t.Server.requests().size(), 1);
        EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("9"));
    }
}

TEST(SignIn, SignInAndSignOutSayWhenTheSettingsFileCouldNotBeSaved) {
    TServiceTestEnv t(QStringLiteral("signon-unsaved"));
    // A folder that is a file: no user, not even root, can write below it.
    const QString blocker = testenv::freshDir(QStringLiteral("unsaved")) + QStringLiteral("/not-a-folder");
    testenv::writeFile(blocker, "x");
    t.Env.ConfigFile = blocker + QStringLiteral("/config.ini");
    t.Server.setReply(bytes(le32(0, 12)));
    TFmLogin login(t.Env);
    signIn(login, QStringLiteral("user@example.com"), QStringLiteral("secret-1"));
    // Signed in for this run all the same.
    EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("12"));
    EXPECT_EQ(t.SignedInCount, 1);
    ASSERT_EQ(t.Messages.size(), 1);
    EXPECT_EQ(t.Messages[0].Text,
              QStringLiteral(
                  "Signed in, but the settings file could not be saved: sign in again after a restart."));
    EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(t.Messages[0].Type, MB_ICONWARNING);

    TFmLogout logout(t.Env);
    logout.btnLogout->click();
    EXPECT_EQ(logout.result(), IDYES);
    EXPECT_TRUE(t.Options.FconfigUserID.isEmpty());
    ASSERT_EQ(t.Messages.size(), 2);
    EXPECT_EQ(t.Messages[1].Text, QStringLiteral("Logged out, but the settings file could not be saved: the "
                                                 "account is back after a restart."));
    EXPECT_EQ(t.Messages[1].Type, MB_ICONWARNING);
}

TEST(Registration, TheRetypeFieldTakesAsManyCharactersAsThePasswordField) {
    TServiceTestEnv t(QStringLiteral("register-long"));
    t.Server.setReply(bytes("0"));
    TFmRegister reg(t.Env);
    EXPECT_EQ(reg.edtConfirmPass->maxLength(), reg.edtPassword->maxLength());
    const QString password = QString(40, QLatin1Char('p'));
    reg.edtUserName->setText(QStringLiteral("long@example.com"));
    reg.edtUName->setText(QStringLiteral("Long"));
    reg.edtPassword->setText(password);
    reg.edtConfirmPass->setText(password);
    EXPECT_EQ(reg.edtConfirmPass->text(), password);
    reg.btnRegisterClick();
    ASSERT_TRUE(TServiceTestEnv::settle(reg));
    const auto requests = t.Server.requests();
    ASSERT_EQ(requests.size(), 1);
    const auto fields = formFields(requests[0].Body);
    ASSERT_GE(fields.size(), 2);
    EXPECT_EQ(fields[1], qMakePair(QStringLiteral("password"), password));
    EXPECT_EQ(t.lastMessage(), QStringLiteral("Submit successfully, please remember your password well."));
}

TEST(SignIn, EveryFailureShowsItsMessageTwiceStoresNothingAndLeavesTheDialogUsable) {
    TServiceTestEnv t(QStringLiteral("signin-failures"));
    const QString noUser = QStringLiteral("Failed to sign in: no such account, or a wrong password.");
    const QString net = QStringLiteral("Failed to sign in, network error, please contact us.");
    const QString unknown = QStringLiteral("Failed to sign in, unknown error.");
    TCannedReply slow = bytes(le32(0, 5));
    slow.DelayMs = 2500;
    TCannedReply cut = bytes(le32(0, 5));
    cut.DeclaredLength = 64;
    struct Case {
        const char* what;
        TCannedReply reply;
        QString root; // empty: the loopback server
        QString message;
        qint32 pushUserId; // -7: untouched
    };
    const Case cases[] = {
        {"wrong password", bytes(le32(-1, 0)), {}, noUser, 0},
        {"expired",
         bytes(le32(-2, 9)),
         {},
         QStringLiteral("Your account has expired, please contact us."),
         9},
        {"locked", bytes(le32(-3, 0)), {}, QStringLiteral("Your account is locked, please contact us."), 0},
        {"invalid request", bytes(le32(-4, 0)), {}, QStringLiteral("Invalid request, please try again."), 0},
        {"other code", bytes(le32(17, 3)), {}, unknown, 3},
        {"empty body", bytes({}), {}, unknown, -7},
        {"seven bytes", bytes(le32(0, 5).left(7)), {}, unknown, -7},
        {"HTTP error", bytes(le32(0, 5), 500), {}, net, -7},
        {"slower than the read time-out", slow, {}, net, -7},
        {"cut short", cut, {}, net, -7},
        {"enormous", bytes(QByteArray(kTextReplyLimit + 1, '\0')), {}, net, -7},
        {"server down", {}, testenv::deadRoot(), net, -7},
        {"TLS refused", {}, QStringLiteral("https://127.0.0.1:%1/"), net, -7},
    };
    TFmLogin dialog(t.Env);
    for (const Case& c : cases) {
        t.Messages.clear();
        t.PushUserId = -7;
        t.Server.setReply(c.reply);
        SetServerRoot(c.root.isEmpty()        ? t.Server.baseUrl()
                      : c.root.contains("%1") ? c.root.arg(t.Server.port())
                                              : c.root);
        signIn(dialog, QStringLiteral("user@example.com"), QStringLiteral("secret"));
        ASSERT_EQ(t.Messages.size(), 1) << c.what;
        // A server that cannot be reached is named, so that a wrong address shows.
        const QString expected =
            c.message == net ? QStringLiteral("Failed to sign in: the server %1 cannot be reached. Check the "
                                              "server address and the network.")
                                   .arg(SignOnBase())
                             : c.message;
        EXPECT_EQ(t.Messages[0].Text, expected) << c.what;
        EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Error")) << c.what;
        EXPECT_EQ(t.Messages[0].Type, MB_ICONWARNING) << c.what;
        // The status line shows as much as fits, never running off; its tip and the box say it all.
        const QString shown = dialog.lblStatus->text();
        EXPECT_EQ(dialog.lblStatus->toolTip(), expected) << c.what;
        EXPECT_TRUE(shown == expected ||
                    (shown.endsWith(QChar(0x2026)) && expected.startsWith(shown.chopped(1))))
            << c.what << ": " << shown.toStdString();
        EXPECT_LE(dialog.lblStatus->fontMetrics().horizontalAdvance(shown), dialog.StatusBar1->width())
            << c.what << ": cut off";
        EXPECT_EQ(t.PushUserId.load(), c.pushUserId) << c.what;
        EXPECT_TRUE(dialog.btnLogin->isEnabled() && dialog.edtUserName->isEnabled() &&
                    dialog.edtPassword->isEnabled())
            << c.what;
        EXPECT_TRUE(t.Options.FconfigUserID.isEmpty() && t.Options.FconfigUserPass.isEmpty() &&
                    t.Options.FconfigUserName.isEmpty())
            << c.what;
        EXPECT_FALSE(t.configWritten()) << c.what;
        EXPECT_EQ(t.SignedInCount, 0) << c.what;
        EXPECT_TRUE(dialog.isVisible() || dialog.result() != QDialog::Accepted) << c.what;
    }
    // After all that, the same dialog still signs in.
    SetServerRoot(t.Server.baseUrl());
    t.Server.setReply(bytes(le32(0, 12)));
    signIn(dialog, QStringLiteral("user@example.com"), QStringLiteral("secret"));
    EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("12"));
    EXPECT_TRUE(t.configWritten());
}

TEST(SignIn, ControlsWaitDisabledWhileTheRequestRunsAndTheProgramKeepsTurning) {
    TServiceTestEnv t(QStringLiteral("signin-busy"));
    TCannedReply slowOk = bytes(le32(0, 8));
    slowOk.DelayMs = 300;
    t.Server.setReply(slowOk);
    TFmLogin dialog(t.Env);
    dialog.edtUserName->setText(QStringLiteral("a@b.cd"));
    dialog.edtPassword->setText(QStringLiteral("pw"));
    dialog.btnLogin->click();
    // The click returned before the reply: the UI thread was not held.
    EXPECT_TRUE(dialog.Busy());
    EXPECT_FALSE(dialog.btnLogin->isEnabled() || dialog.edtUserName->isEnabled() ||
                 dialog.edtPassword->isEnabled());
    EXPECT_EQ(dialog.lblStatus->text(), QStringLiteral("Signing in..."));
    dialog.btnLogin->click(); // a second click starts nothing
    ASSERT_TRUE(TServiceTestEnv::settle(dialog));
    EXPECT_EQ(t.Server.requests().size(), 1);
    EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("8"));
}

TEST(SignIn, LinksOpenTheRegistrationDialogAndThePasswordPage) {
    TServiceTestEnv t(QStringLiteral("signin-links"));
    TFmLogin dialog(t.Env);
    dialog.lblTitleForgotPwClick();
    EXPECT_EQ(t.Opened,
              QStringList{t.Server.baseUrl() + QStringLiteral("www/forgotpassword.php?clang=1033")});
    EXPECT_EQ(dialog.lblTitleForgotPw->x(), dialog.lblTitleRegister->geometry().right() + 1 + 10);
    QString opened;
    const TModalHandler previous = SetModalHandler([&](QDialog& d) {
        opened = d.windowTitle();
        return int(QDialog::Rejected);
    });
    dialog.lblTitleRegisterClick();
    SetModalHandler(previous);
    EXPECT_EQ(opened, QStringLiteral("Free Sign Up"));
}

TEST(SignIn, RejectedStoredCredentialsOpenTheDialogWhileTheReportingWorkerWaits) {
    const testenv::TProgramSetup setup = testenv::MakeProgramSetup();
    TFmMain main(setup.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    QStringList shown;
    std::atomic<bool> workerDone{false};
    bool doneWhileOpen = true;
    const TModalHandler previous = SetModalHandler([&](QDialog& d) {
        shown << QLatin1String(d.metaObject()->className());
        // The worker is still inside its report while the dialog is open.
        if (shown.size() == 1) {
            QTest::qWait(50);
            doneWhileOpen = workerDone.load();
        }
        return int(QDialog::Rejected);
    });
    std::thread worker([&] {
        SendMessageW(&main, WM_LOGINFAILED);
        workerDone = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return workerDone.load(); }, 5000));
    worker.join();
    main.actRegister->trigger();
    main.actLogin->trigger();
    SetModalHandler(previous);
    EXPECT_FALSE(doneWhileOpen);
    EXPECT_EQ(shown, (QStringList{"TFmLogin", "TFmRegister", "TFmLogin"}));
    main.Shutdown();
}

// --- the account panel, its QR code, signing out, the download page

namespace {

// What a real decoder reads from the image: the bytes of the symbol.
QByteArray decodeQr(const QImage& image) {
    const QString file = testenv::freshDir(QStringLiteral("qr")) + QStringLiteral("/code.png");
    // Larger than shown, so the decoder needs no luck; the image itself is what the panel shows.
    image.scaled(image.size() * 4).save(file);
    QProcess p;
    p.start(QStringLiteral("zbarimg"),
            {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sbinary"), file});
    p.waitForFinished(20000);
    QByteArray out = p.readAllStandardOutput();
    if (out.endsWith('\n'))
        out.chop(1);
    return out;
}

void signedInAs(TServiceTestEnv& t, const QString& id, const QString& name, const QString& pass) {
    t.Options.FconfigUserID = id;
    t.Options.FconfigUserName = name;
    t.Options.FconfigUserPass = pass;
}

} // namespace

TEST(AccountPanel, QrCodeDecodesToTheAccountTextInTheDesktopCodePage) {
    const QString digest = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69");
    struct Case {
        const char* locale;
        QString id, name, pass;
        QByteArray expected;
    };
    const Case cases[] = {
        {"en_US.UTF-8", QStringLiteral("4711"), QStringLiteral("user@example.com"), digest,
         "USERID=4711&USERNAME=user@example.com&PASSWORD=" + digest.toLatin1()},
        // Nobody signed in: the three values are empty.
        {"en_US.UTF-8", {}, {}, {}, "USERID=&USERNAME=&PASSWORD="},
        // Characters the code page lacks become its substitute; the rest travel as UTF-8.
        {"en_US.UTF-8", QStringLiteral("7"), QStringLiteral("Zoë 王"), digest,
         "USERID=7&USERNAME=Zo\xC3\xAB ?&PASSWORD=" + digest.toLatin1()},
        {"zh_CN.UTF-8", QStringLiteral("7"), QStringLiteral("王小明"), digest,
         "USERID=7&USERNAME=\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E&PASSWORD=" + digest.toLatin1()},
        // A line break pair inside a value is dropped.
        {"en_US.UTF-8", QStringLiteral("7"), QStringLiteral("a\r\nb"), digest,
         "USERID=7&USERNAME=ab&PASSWORD=" + digest.toLatin1()},
    };
    for (const Case& c : cases) {
        TLocale locale(c.locale);
        TServiceTestEnv t(QStringLiteral("panel-qr"));
        signedInAs(t, c.id, c.name, c.pass);
        TFmUserInfo panel(t.Env);
        panel.setAttribute(Qt::WA_DeleteOnClose, false); // it lives on this stack
        panel.show();
        // The code carries the account's secret: nothing of it shows before a click.
        EXPECT_TRUE(panel.QrImage().isNull());
        EXPECT_TRUE(panel.imgQrCode->pixmap().isNull());
        EXPECT_EQ(panel.imgQrCode->text(), QStringLiteral("Click to show the QR code"));
        QTest::mouseClick(panel.imgQrCode, Qt::LeftButton);
        const QImage image = panel.QrImage();
        ASSERT_FALSE(image.isNull()) << c.locale;
        EXPECT_FALSE(panel.imgQrCode->pixmap().isNull());
        // 3 pixels a module, a 2-module margin: a version-N symbol has 17 + 4N modules a side.
        EXPECT_EQ(image.width(), image.height());
        EXPECT_EQ(image.width() % 3, 0);
        EXPECT_EQ((image.width() / 3 - 4 - 17) % 4, 0);
        EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(6, 6), QColor(Qt::black)); // the finder pattern's corner
        EXPECT_EQ(decodeQr(image), c.expected) << c.locale << " " << c.name.toStdString();
        EXPECT_EQ(panel.lblCurrUser->text(), c.name);
        // Closing takes the code away with the panel.
        panel.close();
        EXPECT_TRUE(panel.QrImage().isNull());
        EXPECT_TRUE(panel.imgQrCode->pixmap().isNull());
    }
}

TEST(SignOut, ForgetsTheAccountClosesThePushChannelAndKeepsTheRest) {
    TServiceTestEnv t(QStringLiteral("signout"));
    signedInAs(t, QStringLiteral("4711"), QStringLiteral("user@example.com"), QStringLiteral("d1g3st"));
    t.Options.FconfigPcID = QStringLiteral("PC");
    t.PushUserId = 4711;
    {
        TFmLogout cancelled(t.Env);
        EXPECT_EQ(
            cancelled.lblQuestion->text(),
            QStringLiteral("You have signed in with user@example.com, are you sure you want to log out?"));
        cancelled.btnCancel->click();
        EXPECT_EQ(cancelled.result(), QDialog::Rejected);
        EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("4711"));
        EXPECT_EQ(t.SignedOutCount, 0);
    }
    TFmLogout dialog(t.Env);
    dialog.btnLogout->click();
    EXPECT_EQ(dialog.result(), IDYES);
    EXPECT_TRUE(t.Options.FconfigUserID.isEmpty() && t.Options.FconfigUserName.isEmpty() &&
                t.Options.FconfigUserPass.isEmpty());
    EXPECT_EQ(t.Options.FconfigPcID, QStringLiteral("PC"));
    EXPECT_EQ(t.PushUserId.load(), 4711);
    EXPECT_EQ(t.SignedOutCount, 1);
    ASSERT_EQ(t.Messages.size(), 1);
    EXPECT_EQ(t.Messages[0].Text, QStringLiteral("Logged out successfully!"));
    EXPECT_EQ(t.Messages[0].Caption, QStringLiteral("Information"));
    EXPECT_EQ(t.Messages[0].Type, MB_ICONINFORMATION);
    TNoteOptions saved;
    saved.LoadFromFile(t.Env.ConfigFile);
    EXPECT_TRUE(saved.FconfigUserID.isEmpty() && saved.FconfigUserName.isEmpty());
    EXPECT_EQ(saved.FconfigPcID, QStringLiteral("PC"));
}

TEST(AccountPanel, SigningOutClosesThePanelCancellingLeavesItOpen) {
    TServiceTestEnv t(QStringLiteral("panel-signout"));
    signedInAs(t, QStringLiteral("1"), QStringLiteral("a@b.cd"), QStringLiteral("x"));
    QPointer<TFmUserInfo> panel = new TFmUserInfo(t.Env);
    panel->show();
    int answer = QDialog::Rejected;
    const TModalHandler previous = SetModalHandler([&](QDialog& d) {
        auto* logout = qobject_cast<TFmLogout*>(&d);
        if (logout && answer == IDYES)
            logout->btnLogout->click();
        return answer == IDYES ? d.result() : answer;
    });
    panel->btnLogout->click();
    EXPECT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(t.Options.FconfigUserID, QStringLiteral("1"));
    answer = IDYES;
    panel->btnLogout->click();
    SetModalHandler(previous);
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.isNull(); }, 2000));
    EXPECT_TRUE(t.Options.FconfigUserID.isEmpty());
    EXPECT_EQ(t.SignedOutCount, 1);

    TFmUserInfo other(t.Env);
    other.btnChangePassClick();
    EXPECT_EQ(t.Opened,
              QStringList{t.Server.baseUrl() + QStringLiteral("www/forgotpassword.php?clang=1033")});
}

TEST(DownloadPage, AfterSignInItAppearsOnlyWhenTheServersPageHasSomethingToSay) {
    TServiceTestEnv t(QStringLiteral("download-page-content"));
    signedInAs(t, QStringLiteral("4711"), QStringLiteral("a@b.cd"), QStringLiteral("x"));
    const struct {
        const char* What;
        TCannedReply Reply;
        bool Shown;
    } cases[] = {
        {"a page with text", bytes("<html><body><h2>Get the phone app</h2></body></html>"), true},
        {"an empty page", bytes(""), false},
        {"a page of markup and blanks only", bytes("<html><body>\n  <p> </p></body></html>"), false},
        {"an error", bytes("<p>broken</p>", 502), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        t.Server.setReply(c.Reply);
        const int before = int(t.Server.requests().size());
        TFmQrcodeDl dialog(t.Env);
        dialog.ShowWhenPageHasContent();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.WebBrowser1->Loading(); }, 5000));
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog.isVisible(), c.Shown);
        // Shown, it keeps the page it fetched: one request, not two.
        EXPECT_EQ(int(t.Server.requests().size()) - before, 1);
    }
}

TEST(DownloadPage, ShowsTheSitePageForTheUserAndAnErrorPageWhenItCannotBeFetched) {
    TServiceTestEnv t(QStringLiteral("download-page"));
    signedInAs(t, QStringLiteral("4711"), QStringLiteral("a@b.cd"), QStringLiteral("x"));
    TCannedReply page;
    page.Body = "<html><body><h2>Get the phone app</h2><a href=\"app.apk\">download</a></body></html>";
    t.Server.setReply(page);
    TFmQrcodeDl dialog(t.Env);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.WebBrowser1->Loading(); }, 5000));
    ASSERT_EQ(t.Server.requests().size(), 1);
    EXPECT_EQ(t.Server.requests()[0].Method, "GET");
    EXPECT_EQ(t.Server.requests()[0].Target, "/qrcode_dl.php?userid=4711&clang=1033");
    EXPECT_TRUE(dialog.WebBrowser1->toPlainText().contains(QStringLiteral("Get the phone app")));
    emit dialog.WebBrowser1->anchorClicked(QUrl(QStringLiteral("app.apk")));
    EXPECT_EQ(t.Opened, QStringList{t.Server.baseUrl() + QStringLiteral("app.apk")});
    // Closing hides; the next showing fetches again.
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    t.Server.setReply(bytes("<p>broken</p>", 502));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.WebBrowser1->Loading(); }, 5000));
    EXPECT_TRUE(dialog.WebBrowser1->toPlainText().contains(QStringLiteral("cannot be displayed")));
}
