#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Pause.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// Up to 10 attempts (home page, jslogin, QR image) until an image arrives, with a pause
// before each new attempt that grows by a second per failure (up to 5 s); without a pause
// the attempts follow each other at once. Only a whole PNG, JPEG or GIF counts as the
// image. Replaces the session's cookies and uuid on the way and leaves the image in
// qr_image (empty when every attempt failed or the pause was cut short). The cycle takes
// the profile's login mode, which jslogin asks for.
void FetchQrCode(const ServiceLink& link, Session& session, const platform::Pause& pause = {});

// True for bytes that begin with the signature and end with the end marker of a PNG, a
// JPEG or a GIF: a server error page or a cut-off image is not a QR code.
bool IsImage(std::string_view bytes);

struct PollAnswer {
    std::string code;    // the text after "window.code=" up to ";"; empty when missing
    std::string answer;  // the whole answer, which CompleteLogin reads
};

// One long poll of the login state (the service holds it up to 30 s).
PollAnswer PollLogin(const ServiceLink& link, const Session& session);

// Sends status reports 1 and 2; their answers are ignored.
void ReportScan(const ServiceLink& link, const Session& session);

// The URL a "200" poll answer or a location answer names (the text after the first `="`
// up to the next quote), with "&fun=new" appended when it holds no "fun". Empty when none.
std::string RedirectUrlOf(std::string_view answer);

struct LoginCredentials {
    std::string uin;
    std::string sid;
    std::string pass_ticket;
    std::string skey;  // every "@" removed
};

// The credentials of the redirect's XML answer; nullopt unless it says <ret>0</ret> and
// holds a wxsid and a wxuin of 1 to 20 ASCII digits (the Uin names a folder on disk).
std::optional<LoginCredentials> ParseRedirectAnswer(std::string_view answer);

// True for 1 to 20 ASCII digits.
bool IsUin(std::string_view text);

// The service's "no" to a login: a redirect answer whose <ret> is a number other than 0.
struct LoginRefusal {
    std::string ret;      // the decimal code, such as "1203"
    std::string message;  // the service's <message> in GBK, entities decoded, at most 2 KB
};
// Nothing for a success, and for an answer that is no such XML (a network failure).
std::optional<LoginRefusal> ParseRefusal(std::string_view answer);

// Follows the redirect of a "200" poll answer and stores the credentials. A desktop-mode
// session sends the desktop client's two header lines on both redirect requests. On
// failure only the cookies already received and Delay have changed, and `refusal` (when
// given) tells whether the service said no.
bool CompleteLogin(const ServiceLink& link, std::string_view poll_answer, Session& session,
                   std::optional<LoginRefusal>* refusal = nullptr);

// webwxinit: succeeds only when the answer's Ret is 0 and it holds a SyncKey with entries
// and the own User (with its UserName and a valid Uin); then takes the SyncKey and the own
// profile from it. Otherwise both stay as they were. The answer is kept in init_answer (as
// the service sent it) either way.
bool InitSession(const ServiceLink& link, ProtocolState& state);

}  // namespace zelmo::protocol
