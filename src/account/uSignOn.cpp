#include "account/uSignOn.h"

#include "account/uServiceEnv.h"
#include "net/uEndpoints.h"
#include "net/uServiceRequest.h"
#include "platform/uAnsi.h"
#include "platform/uAsyncCall.h"
#include "shared/uEmail.h"
#include "shared/uMd5.h"

#include <QtEndian>

namespace {

// Blanks and control characters at both ends, as the services trim.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Sign-in sends the password digest, registration the password itself.
THttpRequest signOnPost(const QString& script, const QList<QString>& lines) {
    THttpRequest r = ServiceFormPost(TServiceCaller::SignOn, SignOnBase() + script, FormBody(lines));
    r.Referer = SignOnBase().toUtf8();
    return r;
}

} // namespace

void ApplyTimeouts(THttpRequest& request, const TServiceEnv& env) {
    if (env.ConnectTimeoutMs > 0)
        request.ConnectTimeoutMs = env.ConnectTimeoutMs;
    if (env.ReadTimeoutMs > 0)
        request.ReadTimeoutMs = env.ReadTimeoutMs;
}

void SendServiceRequest(QObject* receiver, THttpRequest request, const TServiceEnv& env,
                        std::function<void(const THttpResponse&)> done) {
    ApplyTimeouts(request, env);
    RunAsync<THttpResponse>(
        receiver, [request] { return HttpPerform(request); },
        [done = std::move(done)](const THttpResponse& response) { done(response); });
}

QString PasswordDigest(const QString& password) {
    return Md5Hex(ToAnsiBytes(password));
}

THttpRequest SignInRequest(const QString& account, const QString& password, const QString& version) {
    return signOnPost(QStringLiteral("login_80124.php"),
                      {QStringLiteral("username=") + trimBlanks(account),
                       QStringLiteral("password=") + PasswordDigest(password),
                       QStringLiteral("version=") + version, QStringLiteral("productidlist=1,2")});
}

TSignInReply ReadSignInReply(const THttpResponse& response) {
    TSignInReply reply;
    if (!response.Ok) {
        reply.Code = kSignInTransportFailed;
        return reply;
    }
    // A reply too short to hold both numbers is not one the service sends.
    if (response.Body.size() < 8)
        return reply;
    reply.Code = qFromLittleEndian<qint32>(response.Body.constData());
    reply.UserId = qFromLittleEndian<qint32>(response.Body.constData() + 4);
    reply.HasUserId = true;
    return reply;
}

TSignInOutcome SignInOutcome(qint32 code) {
    switch (code) {
    case 0:
        return TSignInOutcome::Success;
    case -1:
        return TSignInOutcome::NoUser;
    case -2:
        return TSignInOutcome::NoRight;
    case -3:
        return TSignInOutcome::Locked;
    case -4:
        return TSignInOutcome::InvalidRequest;
    case kSignInTransportFailed:
        return TSignInOutcome::NetworkError;
    default:
        return TSignInOutcome::Unknown;
    }
}

TRegisterCheck CheckRegisterInput(const TRegisterInput& in) {
    // The address is checked as typed: blanks around it make it invalid.
    if (!IsValidEmail(in.Account))
        return TRegisterCheck::InvalidAccount;
    if (trimBlanks(in.Account).isEmpty() || trimBlanks(in.Password).isEmpty() ||
        trimBlanks(in.UserName).isEmpty())
        return TRegisterCheck::Incomplete;
    if (in.Password.size() < 6)
        return TRegisterCheck::ShortPassword;
    if (in.Password != in.ConfirmPassword)
        return TRegisterCheck::Mismatch;
    return TRegisterCheck::Ok;
}

THttpRequest RegisterRequest(const TRegisterInput& in, const QString& affId) {
    const auto line = [](const char* name, const QString& value) { return QLatin1String(name) + value; };
    THttpRequest r =
        signOnPost(QStringLiteral("reg_6541z.php"),
                   {line("username=", trimBlanks(in.Account)), line("password=", in.Password),
                    line("uemail=", in.Account), line("uname=", in.UserName), line("utel=", in.Tel),
                    line("umobile=", in.Mobile), line("usite=", in.Site), line("uprovince=", in.Province),
                    line("ucity=", in.City), line("uqq=", in.QQ), line("umsn=", in.Msn),
                    line("uremark=", in.Remark), QStringLiteral("regfrom=Zuvo Note"), line("affid=", affId)});
    r.ConnectTimeoutMs = 20000;
    return r;
}

TRegisterOutcome ReadRegisterReply(const THttpResponse& response) {
    if (!response.Ok)
        return TRegisterOutcome::NetworkError;
    const QString text = response.Text().trimmed();
    if (text == QLatin1String("0"))
        return TRegisterOutcome::Success;
    if (text == QLatin1String("-1"))
        return TRegisterOutcome::Incomplete;
    if (text == QLatin1String("-2"))
        return TRegisterOutcome::Exists;
    if (text == QLatin1String("-999"))
        return TRegisterOutcome::NetworkError;
    return TRegisterOutcome::Unknown;
}
