#pragma once
// The sign-on service: the sign-in and registration requests and how their
// replies are read. No windows here, so every rule is testable on its own.

#include "net/uHttpClient.h"

#include <QString>
#include <functional>

class QObject;

struct TServiceEnv;

// Applies the environment's time-outs, when it sets any, over a request's own.
void ApplyTimeouts(THttpRequest& request, const TServiceEnv& env);
// Sends the request off the UI thread with the environment's time-outs; done
// runs on the receiver's thread, and not at all when the receiver is gone.
void SendServiceRequest(QObject* receiver, THttpRequest request, const TServiceEnv& env,
                        std::function<void(const THttpResponse&)> done);

// MD5 of the password's bytes in the desktop's code page (characters it lacks
// become its substitute), as 32 lower-case hexadecimal digits.
[[nodiscard]] QString PasswordDigest(const QString& password);

[[nodiscard]] THttpRequest SignInRequest(const QString& account, const QString& password,
                                         const QString& version);

// Result codes the client sets itself.
inline constexpr qint32 kSignInNotAsked = -1000;
inline constexpr qint32 kSignInTransportFailed = -999;

struct TSignInReply {
    qint32 Code = kSignInNotAsked;
    qint32 UserId = 0;
    bool HasUserId = false; // the reply carried both numbers
};

// Eight bytes: result code and user id, signed 32-bit little-endian; more is
// ignored. Shorter or empty replies are an unknown failure.
[[nodiscard]] TSignInReply ReadSignInReply(const THttpResponse& response);

enum class TSignInOutcome { Success, NoUser, NoRight, Locked, InvalidRequest, NetworkError, Unknown };
[[nodiscard]] TSignInOutcome SignInOutcome(qint32 code);

// --- registration

struct TRegisterInput {
    QString Account, UserName, Password, ConfirmPassword;
    QString Tel, Mobile, Site, Province, City, QQ, Msn, Remark;
};

enum class TRegisterCheck { Ok, InvalidAccount, Incomplete, ShortPassword, Mismatch };
// The local checks, in the order the user meets them.
[[nodiscard]] TRegisterCheck CheckRegisterInput(const TRegisterInput& input);

[[nodiscard]] THttpRequest RegisterRequest(const TRegisterInput& input, const QString& affId);

enum class TRegisterOutcome { Success, Incomplete, Exists, NetworkError, Unknown };
[[nodiscard]] TRegisterOutcome ReadRegisterReply(const THttpResponse& response);
