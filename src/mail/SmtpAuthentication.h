// The pieces of SMTP authentication that are plain text work: reading the
// extensions an EHLO reply offers, and the SASL responses of PLAIN, LOGIN
// and XOAUTH2 in base64 on one line.
#pragma once

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

}  // namespace quorvel
