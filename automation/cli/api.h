#pragma once
// The two calls ovctl makes to Orvia's local API, and what every way they can fail tells
// the user.
#include "http_client.h"
#include "types.h"

#include <string_view>

namespace ovctl {

// The major API version this client speaks.
inline constexpr std::string_view kApiMajorVersion = "1";

// GET /v1/ping without token: Orvia's answer once it speaks API version 1.
Result<Json> ping(const Settings& settings);

// POST /v1/cmd/<command> with the bearer token and the arguments as compact JSON.
Result<Json> call(const Settings& settings, std::string_view command, const Json& args);

// The decisions of `ping` and `call` on an exchange's outcome, without the network.
Result<Json> ping_outcome(const Settings& settings, const Result<HttpResponse>& exchange);
Result<Json> call_outcome(const Settings& settings, const Result<HttpResponse>& exchange);

}  // namespace ovctl
