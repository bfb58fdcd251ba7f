// The pieces of SMTP and POP3 authentication that are plain text work:
// reading the extensions an EHLO reply offers, and the SASL responses of
// PLAIN, LOGIN, XOAUTH2 and OAUTHBEARER in base64 on one line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The parameters of `keyword` (e.g. "AUTH" gives "PLAIN LOGIN") when a line
// of the EHLO reply offers it, in upper case; empty when the line has none.
// Keywords match whatever their case.
std::optional<std::string> EhloExtension(std::string_view reply, std::string_view keyword);
// True when the blank-separated `words` contain `word`.
bool HasWord(std::string_view words, std::string_view word);

// Base64 of the bytes, on one line without a line break.
std::string Base64Line(std::string_view bytes);
// "\0user\0password" (RFC 4616), in base64.
std::string PlainResponse(const std::string& user, const std::string& password);
// "user=U\1auth=Bearer T\1\1", in base64.
std::string XOAuth2Response(const std::string& user, const std::string& token);
// "n,a=U,\1host=H\1port=P\1auth=Bearer T\1\1" (RFC 7628), in base64; "," and
// "=" of the user are written "=2C" and "=3D".
std::string OAuthBearerResponse(const std::string& user, const std::string& host, uint16_t port,
                                const std::string& token);

// The mechanism for an OAuth 2 token among the offered ones (upper case,
// blank-separated): `wanted` when given and offered; without `wanted`
// "OAUTHBEARER", else "XOAUTH2"; else empty.
std::string_view OAuthMechanism(std::string_view offered, std::string_view wanted);
// The initial response of that mechanism.
std::string OAuthResponse(std::string_view mechanism, const std::string& user,
                          const std::string& host, uint16_t port, const std::string& token);
// What answers the challenge that explains a refused token, so that the
// server sends its final refusal: a lone 0x01 for OAUTHBEARER (RFC 7628,
// 3.2.3), nothing for XOAUTH2; in base64.
std::string_view OAuthRefusalAnswer(std::string_view mechanism);
// Logs the decoded explanation of a refused token (event 100033), such as
// {"status":"401",...}; `challenge` is the base64 after "334 " or "+ ".
void LogTokenRefusal(std::string_view protocol, const std::string& host, std::string_view challenge);

}  // namespace quorvel
